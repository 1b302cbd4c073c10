// What only the real window shows: keys as the user types them, every way text could
// enter a field, focus and caret, colours on screen, tab stops and names for screen readers.
#include "support/loadedform.h"

#include "mainwindow/entryfield.h"
#include "mainwindow/shapes.h"

#include <QAccessible>
#include <QAccessibleEditableTextInterface>
#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTest>

#include <gtest/gtest.h>

#include <set>

namespace {

using Answer = MessageBoxService::Answer;

struct User : LoadedForm
{
    User()
    {
        for (QAction *a : ui().Menu_Settings->actions())
            a->setChecked(false);
    }
    // Into the field from the output button, holding `before` as the program wrote it.
    EntryField *enter(const char *name, const char *before)
    {
        auto *f = form->findChild<EntryField *>(QString::fromLatin1(name));
        ui().Button_ToggleOutput->setFocus();
        {
            const EventGuard::Scope quiet(controller().eventGuard());
            f->setProgramText(QString::fromLatin1(before));
        }
        f->setFocus();
        return f;
    }
};

QString accessibleName(QWidget *w)
{
    return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
}

QString shownText(const QWidget *w)
{
    if (auto *l = qobject_cast<const QLabel *>(w))
        return l->text();
    if (auto *b = qobject_cast<const QAbstractButton *>(w))
        return b->text();
    return qobject_cast<const QLineEdit *>(w)->text();
}

void show(QWidget *w, const QString &text)
{
    if (auto *l = qobject_cast<QLabel *>(w))
        l->setText(text);
    else if (auto *b = qobject_cast<QAbstractButton *>(w))
        b->setText(text);
    else
        qobject_cast<EntryField *>(w)->setProgramText(text);
}

QRect inkBetween(const QImage &a, const QImage &b)
{
    QRect ink;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                ink |= QRect(x, y, 1, 1);
    return ink;
}

// The same text in the same font, painted with nothing to cut it.
QRect inkUnbounded(const QWidget *control, const QString &text)
{
    int flags = Qt::AlignLeft | Qt::AlignTop;
    // Buttons underline their shortcut's letter where the style does.
    if (qobject_cast<const QAbstractButton *>(control)) {
        const bool underline = control->style()->styleHint(QStyle::SH_UnderlineShortcut, nullptr, control);
        flags |= underline ? Qt::TextShowMnemonic : Qt::TextHideMnemonic;
    }
    const qreal dpr = control->devicePixelRatioF();
    QImage blank(QSize(400, 100) * dpr, QImage::Format_ARGB32);
    blank.setDevicePixelRatio(dpr);
    blank.fill(Qt::white);
    QImage drawn = blank;
    QPainter p(&drawn);
    p.setFont(control->font());
    p.setPen(Qt::black);
    p.drawText(QRectF(10, 10, 380, 80), flags, text);
    p.end();
    return inkBetween(blank, drawn);
}

// The pixels that `text` changes in `control` against the same control without it, and
// the ink of the same text painted whole.
std::pair<QRect, QRect> inkShownAndWhole(QWidget *control, const QString &text)
{
    const QString before = shownText(control);
    show(control, QString());
    const QImage blank = control->grab().toImage();
    show(control, text);
    const QImage drawn = control->grab().toImage();
    const QRect whole = inkUnbounded(control, text);
    show(control, before);
    return {inkBetween(blank, drawn), whole};
}

TEST(Keys, RealKeysPassReplaceOrRefuseCharacters)
{
    const struct { const char *field, *before; int from, length; const char *keys, *after; } rows[] = {
        {"Amplitude", "", -1, 0, "1,5.x", "1.5"},
        {"Symmetry", "", -1, 0, "405", "40"}, // two characters at most, when typing
        {"Offset", "-1.500", 0, 6, ".5", ".5"}, // the selected "." goes: no value ten times too large
        {"Frequency", "123", -1, 0, "\b", "12"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message() << r.field << " '" << r.before << "' " << r.from << " + " << r.keys);
        User h;
        EntryField *f = h.enter(r.field, r.before);
        if (r.from < 0)
            f->end(false);
        else
            f->setSelection(r.from, r.length);
        for (const char *k = r.keys; *k; ++k)
            *k == '\b' ? QTest::keyClick(f, Qt::Key_Backspace) : QTest::keyClicks(f, QString(QChar(*k)));
        EXPECT_EQ(f->text().toStdString(), r.after);
        EXPECT_TRUE(h.writes().empty());
    }
}

TEST(Paste, NoWayOfPastingPutsTextIntoAFieldOrOntoTheBus)
{
    QClipboard *clipboard = QApplication::clipboard();
    User h;
    clipboard->setText(QStringLiteral("5;OUT ON"));
    if (clipboard->supportsSelection())
        clipboard->setText(QStringLiteral("5;OUT ON"), QClipboard::Selection);
    EntryField *f = h.enter("Frequency", "");
    QTest::keyClick(f, Qt::Key_Insert, Qt::ShiftModifier);
    QTest::keyClick(f, Qt::Key_V, Qt::ControlModifier);
    QTest::mouseClick(f, Qt::MiddleButton);
    EXPECT_EQ(f->text(), "");
    EXPECT_EQ(clipboard->text(), "5;OUT ON");
    // The field's menu offers nothing that would paste, cut or undo.
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(2, 2), f->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(f, &menuEvent);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QStringList entries;
    for (QAction *a : menu->actions())
        if (!a->isSeparator())
            entries << a->text();
    EXPECT_EQ(entries, QStringList({QStringLiteral("&Copy"), QStringLiteral("Select All")}));
    menu->close();
    // A text that takes another way in (here automation) is refused where it would
    // become a command, by Enter and by Apply.
    EntryField *a = h.enter("Amplitude", "");
    QAccessible::queryAccessibleInterface(a)->editableTextInterface()->insertText(0, QStringLiteral("2;OUT ON"));
    h.boxes.answers = {Answer::No, Answer::No};
    QTest::keyClick(a, Qt::Key_Return);
    h.ui().Button_Apply->click();
    ASSERT_EQ(h.boxes.boxes.size(), 2u);
    EXPECT_EQ(h.boxes.boxes[1].title, "Setting Error");
    EXPECT_TRUE(h.writes().empty());
}

TEST(Focus, ArrivingSelectsNothingAndOnlyMovesBetweenControlsCount)
{
    for (const Qt::FocusReason reason : {Qt::TabFocusReason, Qt::BacktabFocusReason, Qt::ShortcutFocusReason,
                                         Qt::MouseFocusReason, Qt::OtherFocusReason}) {
        SCOPED_TRACE(reason);
        User h;
        EntryField *f = h.enter("Offset", "");
        h.ui().Button_ToggleOutput->setFocus();
        f->setProgramText(QStringLiteral("-1.5"));
        f->setFocus(reason);
        QTest::keyClicks(f, QStringLiteral(".5"));
        EXPECT_EQ(f->text(), "5-1.5");
    }
    // A box or a popup taking the keyboard for a while is no focus change: the field
    // is neither tidied nor re-read in the middle of an Enter.
    User h;
    EntryField *a = h.enter("Amplitude", "1.000");
    a->selectAll();
    QTest::keyClicks(a, QStringLiteral("99"));
    for (const Qt::FocusReason reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason, Qt::MenuBarFocusReason}) {
        QFocusEvent out(QEvent::FocusOut, reason);
        QApplication::sendEvent(a, &out);
    }
    EXPECT_EQ(a->text(), "99");
    QTest::keyClick(a, Qt::Key_Tab);
    EXPECT_EQ(a->text(), "99.00");
    EXPECT_FALSE(h.ui().Offset->hasSelectedText());
}

TEST(Caret, TextsTheProgramWritesShowTheirBeginning)
{
    User h;
    h.generator().receive("OFFS -1.5");
    h.ui().Button_Refresh->click();
    for (EntryField *f : {h.ui().Amplitude, h.ui().Offset, h.ui().Frequency, h.ui().Symmetry})
        EXPECT_EQ(f->cursorPosition(), 0) << f->objectName().toStdString();
    EntryField *o = h.enter("Offset", "-1.500");
    o->end(false);
    QTest::keyClick(o, Qt::Key_Plus);
    EXPECT_EQ(o->cursorPosition(), 0);
    EntryField *s = h.enter("Symmetry", "");
    QTest::keyClicks(s, QStringLiteral("40"));
    QTest::keyClick(s, Qt::Key_Tab);
    EXPECT_EQ(s->text(), "40.00");
    EXPECT_EQ(s->cursorPosition(), 0);
}

TEST(Groups, AMarkedGroupColoursItsButtonsOnScreen)
{
    User h;
    const QRgb change = qRgb(255, 128, 128);
    // The top right corner: the caption never reaches it, whatever the font's metrics.
    const auto pixelBesideText = [](QWidget *w) { return w->grab().toImage().pixel(w->width() - 1, 0); };
    for (QRadioButton *clicked : {h.ui().WaveFunction[1], h.ui().FreqMult[2], h.ui().OutInto[1]}) {
        QTest::mouseClick(clicked, Qt::LeftButton);
        for (QRadioButton *option : clicked->parentWidget()->findChildren<QRadioButton *>())
            EXPECT_EQ(pixelBesideText(option), change) << option->objectName().toStdString();
    }
    h.ui().Button_Apply->click();
    for (QRadioButton *o : h.ui().WaveFunction)
        EXPECT_NE(pixelBesideText(o), change) << o->objectName().toStdString();
}

// At 96 dots per inch here; tests/CMakeLists.txt runs it again at 144.
TEST(Fit, EveryCaptionAndEveryValueShowsWholeInsideItsBox)
{
    User h;
    const EventGuard::Scope quiet(h.controller().eventGuard());
    if (QWidget *focused = QApplication::focusWidget())
        focused->clearFocus(); // no caret, no focus frame
    const MainFormUi &ui = h.ui();
    // The longest texts the program writes into each field: four significant figures
    // read back, a typed number tidied to its own length, the sign key before six typed
    // figures of an offset.
    std::vector<std::pair<QWidget *, QString>> rows = {
        {ui.Amplitude, "30.00"}, {ui.Amplitude, "12345"}, {ui.Offset, "-1.500"}, {ui.Offset, "-15.00"},
        {ui.Offset, "-999999"}, {ui.Frequency, "999.9"}, {ui.Frequency, "99999"}, {ui.Symmetry, "35.00"},
        {ui.Symmetry, "9.000"},
    };
    for (const bool on : {false, true}) {
        h.form->showOutputState(on);
        for (QWidget *w : h.form->centralWidget()->findChildren<QWidget *>())
            if (qobject_cast<QLabel *>(w) || qobject_cast<QAbstractButton *>(w))
                rows.emplace_back(w, shownText(w));
    }
    for (const auto &[control, text] : rows) {
        SCOPED_TRACE(control->objectName().toStdString() + " '" + text.toStdString() + "'");
        const auto [ink, whole] = inkShownAndWhole(control, text);
        // A cut glyph loses columns or rows; one of antialiasing is no cut.
        EXPECT_NEAR(ink.width(), whole.width(), 1);
        EXPECT_NEAR(ink.height(), whole.height(), 1);
    }
}

TEST(Tab, FieldsFirstAGroupIsOneStopOnItsSelectedOption)
{
    User h;
    {
        const EventGuard::Scope quiet(h.controller().eventGuard());
        h.ui().WaveFunction[1]->setChecked(true);
        h.ui().FreqMult[0]->setChecked(true);
    }
    MainFormUi &ui = h.ui();
    const struct { QWidget *from; Qt::KeyboardModifiers modifiers; QWidget *to; } rows[] = {
        {ui.Offset, Qt::NoModifier, ui.OutInto[0]},
        {ui.OutInto[0], Qt::NoModifier, ui.WaveFunction[1]},
        {ui.Frequency, Qt::ShiftModifier, ui.WaveFunction[1]},
        {ui.FreqMult[0], Qt::NoModifier, ui.Button_SaveSettings}, // loading is off: nothing saved
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.from->objectName().toStdString());
        r.from->setFocus();
        QTest::keyClick(r.from, Qt::Key_Tab, r.modifiers);
        EXPECT_EQ(QApplication::focusWidget(), r.to);
    }
}

TEST(Names, EveryControlTellsAScreenReaderWhatItIs)
{
    User h;
    std::set<QString> names;
    for (QWidget *w : h.form->findChildren<QWidget *>()) {
        const bool named = qobject_cast<QLineEdit *>(w) || qobject_cast<QAbstractButton *>(w) ||
                           w->objectName().startsWith(QLatin1String("Frame"));
        if (!named || w->objectName().startsWith(QLatin1String("qt_")))
            continue;
        EXPECT_FALSE(accessibleName(w).isEmpty()) << w->objectName().toStdString();
        EXPECT_TRUE(names.insert(accessibleName(w)).second) << "twice: " << accessibleName(w).toStdString();
    }
    EXPECT_EQ(accessibleName(h.ui().Frame5), "Frequency unit");
    EXPECT_EQ(accessibleName(h.ui().Offset), "Offset");
    // A window for another generator: the Settings menu's last item, after a rule.
    const QList<QAction *> items = h.ui().Menu_Settings->actions();
    ASSERT_GE(items.size(), 2);
    EXPECT_EQ(items.back()->text(), "Open &Another Generator...");
    EXPECT_TRUE(items[items.size() - 2]->isSeparator());
    // The output's state is heard, not only seen, and follows the output.
    const std::pair<QWidget *, const char *> displays[] = {{h.ui().ActualOutput, "Output"},
                                                           {h.ui().Shape1, "Output lamp"}};
    for (const char *state : {"OFF", "ON", "OFF"}) {
        for (const auto &[display, name] : displays) {
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(display);
            EXPECT_EQ(a->text(QAccessible::Name), name);
            const QString value = a->text(QAccessible::Value);
            EXPECT_TRUE(value.endsWith(QLatin1String(" ") + QLatin1String(state))) << value.toStdString();
        }
        h.ui().Button_ToggleOutput->click();
    }
}

} // namespace
