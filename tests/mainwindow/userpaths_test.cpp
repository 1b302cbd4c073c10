// What a user meets in the fields and groups: every way text can enter a field, the
// focus and the caret, the colours on screen, names for screen readers, and the cursor.
#include "support/loadedform.h"

#include "mainwindow/entryfield.h"

#include <QAccessible>
#include <QAccessibleEditableTextInterface>
#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFrame>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <set>

namespace {

using Answer = MessageBoxService::Answer;

struct User : LoadedForm
{
    explicit User(const std::string &listeners = "FG5010@5") : LoadedForm(listeners)
    {
        show();
        for (QAction *a : ui().Menu_Settings->actions())
            a->setChecked(false);
    }

    EntryField *field(const char *name)
    {
        return form->findChild<EntryField *>(QString::fromLatin1(name));
    }

    // Into `f` from the output button, holding `before` (written by the program).
    EntryField *enter(const char *name, const char *before)
    {
        EntryField *f = field(name);
        ui().Button_ToggleOutput->setFocus();
        controller().SuppressEvents = true;
        f->setProgramText(QString::fromLatin1(before));
        controller().SuppressEvents = false;
        f->setFocus();
        return f;
    }

    bool wrote(const std::string &what) const
    {
        for (const std::string &w : writes())
            if (w.find(what) != std::string::npos)
                return true;
        return false;
    }
};

QRgb pixelBesideText(QWidget *w)
{
    return w->grab().toImage().pixel(w->width() - 3, w->height() / 2);
}

TEST(Paste, NoWayOfPastingPutsTextIntoAField)
{
    const char *const fields[] = {"Amplitude", "Offset", "Frequency", "Symmetry"};
    QClipboard *clipboard = QApplication::clipboard();
    for (const char *name : fields) {
        SCOPED_TRACE(name);
        User h;
        clipboard->setText(QStringLiteral("5;OUT ON"));
        if (clipboard->supportsSelection())
            clipboard->setText(QStringLiteral("5;OUT ON"), QClipboard::Selection);
        EntryField *f = h.enter(name, "");
        QTest::keyClick(f, Qt::Key_Insert, Qt::ShiftModifier);
        QTest::keyClick(f, Qt::Key_V, Qt::ControlModifier);
        QTest::mouseClick(f, Qt::MiddleButton);
        EXPECT_EQ(f->text(), "");
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
        h.boxes.answers = {Answer::No}; // an empty field may be out of range
        QTest::keyClick(f, Qt::Key_Return);
        EXPECT_TRUE(h.writes().empty());
    }
}

TEST(Paste, ATextThatIsNoNumberNeverReachesTheBus)
{
    // Whatever path a future text takes into a field (here automation through the
    // accessibility interface), the command it would make is refused, with the box.
    const struct
    {
        const char *field;
        Qt::Key key; // Enter in the field, or Apply
    } cases[] = {{"Amplitude", Qt::Key_Return}, {"Offset", Qt::Key_Return},
                 {"Frequency", Qt::Key_Return}, {"Symmetry", Qt::Key_Return},
                 {"Symmetry", Qt::Key_A}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.field);
        User h;
        EntryField *f = h.enter(c.field, "");
        QAccessible::queryAccessibleInterface(f)->editableTextInterface()->insertText(0, QStringLiteral("2;OUT ON"));
        ASSERT_EQ(f->text(), "2;OUT ON");
        h.boxes.answers = {Answer::No};
        if (c.key == Qt::Key_A)
            h.ui().Button_Apply->click();
        else
            QTest::keyClick(f, c.key);
        ASSERT_EQ(h.boxes.boxes.size(), 1u);
        EXPECT_EQ(h.boxes.boxes[0].title, "Setting Error");
        EXPECT_FALSE(h.wrote("OUT ON"));
        EXPECT_TRUE(h.writes().empty());
    }
}

TEST(Selection, KeysAreJudgedOnTheTextTheyWillMake)
{
    const struct
    {
        const char *field;
        const char *before;
        int selectFrom, selectLength; // -1: no selection, caret at the end
        const char *keys;
        const char *after;
    } cases[] = {
        {"Offset", "-1.500", 0, 6, ".5", ".5"},
        {"Amplitude", "1.500", 0, 5, ",5", ".5"},
        {"Amplitude", "1.500", 1, 4, ".5", "1.5"},
        {"Amplitude", "1.500", 2, 3, ".5", "1.5"}, // the "." that stays still refuses
        {"Offset", "-1.500", 0, 6, "-2", "-2"},
        {"Offset", "2", 0, 1, "-", "-"},
        {"Offset", "12.5", 0, 2, "-", "-.5"},
        {"Offset", "0.5", -1, 0, "-", "-0.5"},
        {"Offset", "-1.5", 0, 1, "+", "-1.5"},
        {"Offset", "-1.5", -1, 0, "+", "1.500"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.field << " '" << c.before << "' " << c.selectFrom << " + " << c.keys);
        User h;
        EntryField *f = h.enter(c.field, c.before);
        if (c.selectFrom < 0)
            f->end(false);
        else
            f->setSelection(c.selectFrom, c.selectLength);
        QTest::keyClicks(f, QString::fromLatin1(c.keys));
        EXPECT_EQ(f->text().toStdString(), c.after);
    }
}

TEST(Focus, ArrivingSelectsNothingAndTypingKeepsTheValue)
{
    const Qt::FocusReason reasons[] = {Qt::TabFocusReason, Qt::BacktabFocusReason,
                                       Qt::ShortcutFocusReason, Qt::MouseFocusReason,
                                       Qt::OtherFocusReason};
    for (const Qt::FocusReason reason : reasons) {
        SCOPED_TRACE(reason);
        User h;
        EntryField *f = h.enter("Offset", "");
        h.ui().Button_ToggleOutput->setFocus();
        f->setProgramText(QStringLiteral("-1.5"));
        f->setFocus(reason);
        EXPECT_FALSE(f->hasSelectedText());
        QTest::keyClicks(f, QStringLiteral(".5"));
        EXPECT_EQ(f->text(), "5-1.5");
    }
    // The real keys: Tab from Amplitude into Offset.
    User h;
    EntryField *a = h.enter("Amplitude", "1.000");
    QTest::keyClick(a, Qt::Key_Tab);
    ASSERT_TRUE(h.ui().Offset->hasFocus());
    EXPECT_FALSE(h.ui().Offset->hasSelectedText());
}

TEST(Caret, TextsTheProgramWritesShowTheirBeginning)
{
    User h("FG5010@5");
    h.generator().receive("OFFS -1.5");
    h.ui().Button_Refresh->click();
    for (EntryField *f : {h.ui().Amplitude, h.ui().Offset, h.ui().Frequency, h.ui().Symmetry})
        EXPECT_EQ(f->cursorPosition(), 0) << f->objectName().toStdString();
    EntryField *o = h.enter("Offset", "-1.500");
    o->end(false);
    QTest::keyClick(o, Qt::Key_Plus);
    EXPECT_EQ(o->cursorPosition(), 0);
    QTest::keyClick(o, Qt::Key_Minus);
    EXPECT_EQ(o->text(), "-1.500");
    EXPECT_EQ(o->cursorPosition(), 0);
    // Reformatted on leaving.
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
    // The user clicks an option of each group it does not show yet.
    for (QRadioButton *clicked : {h.ui().WaveFunction[1], h.ui().FreqMult[2], h.ui().OutInto[1]}) {
        QTest::mouseClick(clicked, Qt::LeftButton);
        for (QObject *o : clicked->parentWidget()->children()) {
            if (auto *option = qobject_cast<QRadioButton *>(o)) {
                EXPECT_EQ(pixelBesideText(option), change) << option->objectName().toStdString();
            }
        }
    }
    h.ui().Button_Apply->click();
    for (QRadioButton *o : h.ui().WaveFunction)
        EXPECT_NE(pixelBesideText(o), change) << o->objectName().toStdString();
}

TEST(Tab, IntoAGroupLandsOnItsSelectedOption)
{
    User h;
    h.controller().SuppressEvents = true;
    h.ui().WaveFunction[1]->setChecked(true);
    h.ui().FreqMult[0]->setChecked(true);
    h.controller().SuppressEvents = false;
    const struct
    {
        QWidget *from;
        Qt::KeyboardModifiers modifiers;
        QWidget *to;
    } cases[] = {
        {h.ui().OutInto[0], Qt::NoModifier, h.ui().WaveFunction[1]},
        {h.ui().Frequency, Qt::ShiftModifier, h.ui().WaveFunction[1]},
        {h.ui().Button_ToggleOutput, Qt::NoModifier, h.ui().FreqMult[0]},
        {h.ui().FreqMult[0], Qt::NoModifier, h.ui().Button_SaveSettings},
        {h.ui().Offset, Qt::NoModifier, h.ui().OutInto[0]},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.from->objectName().toStdString());
        c.from->setFocus();
        QTest::keyClick(c.from, Qt::Key_Tab, c.modifiers);
        EXPECT_EQ(QApplication::focusWidget(), c.to);
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
        const QString name = QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
        EXPECT_FALSE(name.isEmpty()) << w->objectName().toStdString();
        EXPECT_TRUE(names.insert(name).second) << "twice: " << name.toStdString() << " " << w->objectName().toStdString();
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(h.ui().Frame5)->text(QAccessible::Name).toStdString(), "Frequency unit");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(h.ui().Offset)->text(QAccessible::Name).toStdString(), "Offset");
}

TEST(Cursor, BusyDuringTheWaitsOnly)
{
    User h;
    std::vector<Qt::CursorShape> seen;
    h.events.pending.push_back([&seen] {
        const QCursor *c = QGuiApplication::overrideCursor();
        seen.push_back(c ? c->shape() : Qt::ArrowCursor);
    });
    h.ui().Button_Refresh->click();
    EXPECT_EQ(seen, std::vector<Qt::CursorShape>{Qt::WaitCursor});
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(Companion, AFailedCompanionStaysMarked)
{
    User h("AFG5102@5");
    EntryField *s = h.enter("Symmetry", "50");
    s->selectAll();
    QTest::keyClicks(s, QStringLiteral("40"));
    EntryField *f = h.enter("Frequency", "1.000");
    f->selectAll();
    QTest::keyClicks(f, QStringLiteral("2"));
    // The instrument goes away while the program waits for the answer to "OFFS?".
    h.events.pending.push_back([&h] { h.unplug(); });
    h.boxes.answers = {Answer::Ok, Answer::Ok, Answer::Ok};
    QTest::keyClick(f, Qt::Key_Return);
    ASSERT_TRUE(h.wrote("FREQ 2E+"));
    EXPECT_FALSE(h.wrote("SYM"));
    EXPECT_TRUE(h.form->isFieldMarked(Field::Symmetry));
    EXPECT_TRUE(h.ui().Button_Apply->isEnabled());
}

} // namespace
