#include "mainwindow/entryfield.h"

#include "forms/formstyle.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

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
{
    // A dropped text would go round the key filter.
    setAcceptDrops(false);
}

void EntryField::setProgramText(const QString &text)
{
    setText(text);
    setCursorPosition(0);
}

void EntryField::keepTextsWhole()
{
    m_fullPoints = font().pointSizeF();
    connect(this, &QLineEdit::textChanged, this, &EntryField::fitText, Qt::UniqueConnection);
    fitText();
}

void EntryField::fitText()
{
    fitFonts(m_fullPoints, {{this, {text()}}});
}

void EntryField::keyPressEvent(QKeyEvent *event)
{
    // Paste (Shift+Insert included) would put any text into the box, and cut and undo
    // change it behind the handlers' back; the key table refuses Ctrl+V, Ctrl+X and
    // Ctrl+Z, so every key that means the same is refused too.
    const bool ctrlLetter = (event->modifiers() & Qt::ControlModifier) &&
                            event->key() >= Qt::Key_A && event->key() <= Qt::Key_Z;
    if (!ctrlLetter && (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut) ||
                        event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo))) {
        event->accept();
        return;
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const QString text = event->text();
    // Keys that type nothing (arrows, Home, End, Delete) edit the box as usual.
    if (!enter && !ctrlLetter && (text.isEmpty() || event->key() == Qt::Key_Delete)) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    // Several characters in one event (auto-repeat, a composed key): each goes through
    // the filter and the length limit on its own.
    if (!enter && !ctrlLetter && text.size() > 1) {
        for (const QChar c : text) {
            QKeyEvent single(QEvent::KeyPress, keyFor(c.unicode()), event->modifiers(), QString(c));
            keyPressEvent(&single);
        }
        event->accept();
        return;
    }
    // Ctrl with a letter types that letter's control character (Ctrl+V is 22), whatever
    // text the platform attached to the event.
    const char16_t typed = enter        ? u'\r'
                           : ctrlLetter ? static_cast<char16_t>(event->key() - Qt::Key_A + 1)
                                        : text.at(0).unicode();
    int16_t keyAscii = typed <= 0xFF ? static_cast<int16_t>(typed) : int16_t{-1};
    const int16_t original = keyAscii;
    emit keyPress(keyAscii);
    if (keyAscii == 0) {
        event->accept();
        return;
    }
    const bool printable = keyAscii >= 32 && keyAscii != 127;
    if (printable && 1 + this->text().size() - selectedText().size() > m_longestTypedText) {
        event->accept();
        return;
    }
    // A control key the handler let pass stays a character: Ctrl+V must not paste.
    if (keyAscii == original && !ctrlLetter) {
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
    // QLineEdit selects the whole text when the focus comes by Tab or a shortcut; here
    // the text stays as it was, so that the first key typed does not wipe the value.
    const int caret = cursorPosition();
    const bool hadSelection = hasSelectedText();
    QLineEdit::focusInEvent(event);
    if (!hadSelection && hasSelectedText())
        setCursorPosition(caret);
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

void EntryField::mousePressEvent(QMouseEvent *event)
{
    // The middle button pastes the X selection: refused like any other paste.
    if (event->button() == Qt::MiddleButton) {
        event->accept();
        return;
    }
    QLineEdit::mousePressEvent(event);
}

void EntryField::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::MiddleButton) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void EntryField::inputMethodEvent(QInputMethodEvent *event)
{
    // What an input method commits goes through the key filter character by character,
    // as if typed; its composing text is never shown in the box.
    const QString committed = event->commitString();
    event->accept();
    for (const QChar c : committed) {
        QKeyEvent key(QEvent::KeyPress, keyFor(c.unicode()), Qt::NoModifier, QString(c));
        keyPressEvent(&key);
    }
}

void EntryField::contextMenuEvent(QContextMenuEvent *event)
{
    // Only what works and keeps to the key filter: no paste, cut, undo or redo.
    auto *menu = new QMenu(this);
    QAction *copyAction = menu->addAction(tr("&Copy"), this, &QLineEdit::copy);
    copyAction->setEnabled(hasSelectedText() && echoMode() == QLineEdit::Normal);
    menu->addSeparator();
    QAction *all = menu->addAction(tr("Select All"), this, &QLineEdit::selectAll);
    all->setEnabled(!text().isEmpty());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}
