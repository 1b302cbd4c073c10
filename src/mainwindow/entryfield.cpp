#include "mainwindow/entryfield.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMenu>

namespace {

bool isFocusMove(Qt::FocusReason reason)
{
    // The window losing activation, a popup or the menu bar taking the keyboard: the
    // focus comes back to the same control, so for the handlers nothing happened.
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
           reason != Qt::MenuBarFocusReason;
}

// The key a replaced character would have been typed with.
int keyFor(char16_t c)
{
    if (c >= 'a' && c <= 'z')
        return Qt::Key_A + (c - 'a');
    if (c < 0x80)
        return c; // Qt's key codes for printable ASCII are the upper-case characters
    return Qt::Key_unknown;
}

} // namespace

EntryField::EntryField(int longestTypedText, QWidget *parent)
    : QLineEdit(parent), m_longestTypedText(longestTypedText)
{}

void EntryField::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const QString text = event->text();
    // Keys that type nothing (arrows, Home, End, Delete) edit the box as usual.
    if (!enter && (text.isEmpty() || event->key() == Qt::Key_Delete)) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    char16_t typed = enter ? u'\r' : text.at(0).unicode();
    // Ctrl with a letter types that letter's control character (Ctrl+V is 22), whatever
    // text the platform attached to the event.
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    if (ctrl && !enter && event->key() >= Qt::Key_A && event->key() <= Qt::Key_Z)
        typed = static_cast<char16_t>(event->key() - Qt::Key_A + 1);
    int16_t keyAscii = typed <= 0xFF ? static_cast<int16_t>(typed) : int16_t{-1};
    const int16_t original = keyAscii;
    emit keyPress(keyAscii);
    if (keyAscii == 0) {
        event->accept();
        return;
    }
    const bool printable = keyAscii >= 32 && keyAscii != 127;
    if (printable && text.size() <= 1 &&
        text.size() + this->text().size() - selectedText().size() > m_longestTypedText) {
        event->accept();
        return;
    }
    if (keyAscii == original) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    const QChar replaced(static_cast<char16_t>(static_cast<uint8_t>(keyAscii)));
    QKeyEvent substitute(QEvent::KeyPress, keyFor(replaced.unicode()), event->modifiers(),
                         QString(replaced), event->isAutoRepeat(), 1);
    QLineEdit::keyPressEvent(&substitute);
    event->setAccepted(substitute.isAccepted());
}

void EntryField::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    if (isFocusMove(event->reason()))
        emit focusReceived();
}

void EntryField::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    if (isFocusMove(event->reason()))
        emit focusLost();
}

void EntryField::mouseDoubleClickEvent(QMouseEvent *event)
{
    QLineEdit::mouseDoubleClickEvent(event);
    emit doubleClicked();
}

void EntryField::contextMenuEvent(QContextMenuEvent *event)
{
    // Keys filter what reaches the box; a paste from the menu would go round them.
    QMenu *menu = createStandardContextMenu();
    // Newer Qt names the standard actions; older Qt shows only the key after a tab.
    const QString pasteKey = QKeySequence(QKeySequence::Paste).toString(QKeySequence::NativeText);
    for (QAction *action : menu->actions()) {
        if (action->objectName() == QLatin1String("edit-paste") ||
            (!pasteKey.isEmpty() && action->text().section(QLatin1Char('\t'), 1) == pasteKey))
            menu->removeAction(action);
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}
