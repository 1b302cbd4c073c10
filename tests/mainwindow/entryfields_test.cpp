#include "support/loadedform.h"

#include "mainwindow/entryfield.h"

#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using Answer = MessageBoxService::Answer;

// The window shown, with the user in one field that held `before` when they got there.
struct Typing : LoadedForm
{
    explicit Typing(const std::string &listeners = "FG5010@5") : LoadedForm(listeners)
    {
        show();
        // No options: each test checks the ones it is about.
        for (QAction *a : ui().Menu_Settings->actions())
            a->setChecked(false);
    }

    EntryField *enter(EntryField *f, const char *before = "")
    {
        // From somewhere else, so that the field really receives the focus.
        ui().Button_ToggleOutput->setFocus();
        form->SuppressEvents = true;
        f->setText(QString::fromLatin1(before));
        form->SuppressEvents = false;
        f->setFocus();
        QApplication::processEvents();
        return f;
    }

    void retype(EntryField *f, const char *text)
    {
        f->selectAll();
        QTest::keyClick(f, Qt::Key_Backspace);
        QTest::keyClicks(f, QString::fromLatin1(text));
    }

    static bool marked(const EntryField *f) { return ChangeMarks::isFieldMarked(f); }
};

struct KeyCase
{
    const char *field;
    const char *before;
    const char *keys;
    const char *after;
};

TEST(FieldKeys, PassReplaceOrRefuseEachCharacter)
{
    QApplication::clipboard()->setText(QStringLiteral("99"));
    const KeyCase cases[] = {
        {"Amplitude", "", "1,5", "1.5"},
        {"Amplitude", "", "1.5.", "1.5"},
        {"Amplitude", "", "1.5,", "1.5"},
        {"Amplitude", "", "2abcE+-x", "2"},
        {"Frequency", "", "12,5", "12.5"},
        {"Frequency", "", "1e3", "13"},
        {"Symmetry", "", "4,", "4."},
        {"Symmetry", "", "4..", "4."},
        {"Symmetry", "", "405", "40"}, // two characters at most, when typing
        {"Offset", "", "-", "-"},
        {"Offset", "", "-1.5", "-1.5"},
        {"Offset", "0.5", "-", "-0.5"},
        {"Offset", "0", "-", "0"},
        {"Offset", "-0.5", "-", "-0.5"},
        {"Offset", "-1.5", "+", "1.500"},
        {"Offset", "1.5", "+", "1.5"},
        {"Offset", "", "+", ""},
    };
    for (const KeyCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.field << " '" << c.before << "' + " << c.keys);
        Typing h;
        auto *f = h.form->findChild<EntryField *>(QString::fromLatin1(c.field));
        h.enter(f, c.before);
        f->end(false);
        QTest::keyClicks(f, QString::fromLatin1(c.keys));
        EXPECT_EQ(f->text().toStdString(), c.after);
        EXPECT_TRUE(h.writes().empty());
    }
}

TEST(FieldKeys, ClipboardKeysAreRefused)
{
    QApplication::clipboard()->setText(QStringLiteral("99"));
    Typing h;
    EntryField *f = h.enter(h.ui().Frequency, "12");
    f->selectAll();
    QTest::keyClick(f, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(f, Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(f, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(f->text(), "12");
    EXPECT_EQ(QApplication::clipboard()->text(), "99");
}

TEST(FieldKeys, EditingKeysKeepWorking)
{
    Typing h;
    EntryField *f = h.enter(h.ui().Amplitude, "123");
    QTest::keyClick(f, Qt::Key_Home);
    QTest::keyClick(f, Qt::Key_Delete);
    QTest::keyClick(f, Qt::Key_End);
    QTest::keyClick(f, Qt::Key_Left);
    QTest::keyClick(f, Qt::Key_Backspace);
    EXPECT_EQ(f->text(), "3");
}

TEST(FieldMarks, FollowTheValueTheFieldHadWhenEntered)
{
    Typing h;
    EntryField *a = h.enter(h.ui().Amplitude, "1.000");
    h.retype(a, "1");
    EXPECT_FALSE(Typing::marked(a)); // same value
    EXPECT_FALSE(h.ui().Button_Apply->isEnabled());
    h.retype(a, "2");
    EXPECT_TRUE(Typing::marked(a));
    EXPECT_TRUE(h.ui().Button_Apply->isEnabled());
    EXPECT_TRUE(h.ui().Button_SaveSettings->isEnabled());
    // Typing the old value back does not take the mark away.
    h.retype(a, "1");
    EXPECT_TRUE(Typing::marked(a));
    // A field at 0 is never marked.
    EntryField *f = h.enter(h.ui().Frequency, "5.000");
    h.retype(f, "0");
    EXPECT_FALSE(Typing::marked(f));
    // An offset of 0 is a value like any other.
    EntryField *o = h.enter(h.ui().Offset, "1.000");
    h.retype(o, "0");
    EXPECT_TRUE(Typing::marked(o));
}

struct LeaveCase
{
    const char *field;
    const char *before;
    const char *typed;
    const char *after;
};

TEST(FieldLeave, TidiesTheTextOrPutsTheOldOneBack)
{
    const LeaveCase cases[] = {
        {"Amplitude", "1.000", "2", "2.000"},   {"Amplitude", "1.000", "0.5", "0.500"},
        {"Frequency", "1.000", "12", "12.00"},  {"Frequency", "1.000", "1000", "1000"},
        {"Offset", "1.000", "0", "0.000"},      {"Symmetry", "50", "40", "40.00"},
        {"Amplitude", "1.000", "", "1.000"},    {"Amplitude", "1.000", "0", "1.000"},
        {"Frequency", "2.000", "0", "2.000"},   {"Symmetry", "50", "", "50"},
        {"Offset", "-1.500", "", "-1.500"},
    };
    for (const LeaveCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.field << " '" << c.typed << "'");
        Typing h;
        auto *f = h.form->findChild<EntryField *>(QString::fromLatin1(c.field));
        h.enter(f, c.before);
        h.retype(f, c.typed);
        const bool markedBefore = Typing::marked(f);
        const bool applyBefore = h.ui().Button_Apply->isEnabled();
        QTest::keyClick(f, Qt::Key_Tab);
        EXPECT_FALSE(f->hasFocus());
        EXPECT_EQ(f->text().toStdString(), c.after);
        // The tidying itself never marks anything.
        EXPECT_EQ(Typing::marked(f), markedBefore);
        EXPECT_EQ(h.ui().Button_Apply->isEnabled(), applyBefore);
    }
}

TEST(FieldLeave, AMessageBoxIsNoFocusChange)
{
    Typing h;
    EntryField *a = h.enter(h.ui().Amplitude, "1.000");
    h.retype(a, "99");
    h.boxes.answers = {Answer::No};
    // The "Setting Error" box takes the keyboard for a while; the field must not be
    // tidied or re-read in the middle of the Enter.
    QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(a, &out);
    EXPECT_EQ(a->text(), "99");
    QTest::keyClick(a, Qt::Key_Return);
    EXPECT_EQ(a->text(), "99");
    EXPECT_EQ(h.boxes.boxes.size(), 1u);
}

struct DoubleClickCase
{
    const char *field;
    const char *before; // also the text when the field got the focus
    const char *after;
    bool marked;
    bool applyAfter; // Apply was enabled before the double click
};

TEST(FieldDoubleClick, EmptiesResetsOrSetsTheDefault)
{
    const DoubleClickCase cases[] = {
        {"Amplitude", "2.000", "", false, false},
        {"Frequency", "12.00", "", false, false},
        {"Symmetry", "50", "50", false, true},
        {"Symmetry", "40", "50", true, true},
        {"Offset", "2", "0.000", true, true},
        {"Offset", "0.000", "", false, false},
        {"Offset", "", "0.000", false, true},
    };
    for (const DoubleClickCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.field << " '" << c.before << "'");
        Typing h;
        auto *f = h.form->findChild<EntryField *>(QString::fromLatin1(c.field));
        h.enter(f, c.before);
        // Another field still marked does not keep Apply enabled.
        ChangeMarks::markField(h.ui().Frequency == f ? h.ui().Amplitude : h.ui().Frequency, true);
        h.ui().Button_Apply->setEnabled(true);
        QTest::mouseDClick(f, Qt::LeftButton);
        EXPECT_EQ(f->text().toStdString(), c.after);
        EXPECT_EQ(Typing::marked(f), c.marked);
        EXPECT_EQ(h.ui().Button_Apply->isEnabled(), c.applyAfter);
    }
}

TEST(FieldEnter, AnUnmarkedOutOfRangeValueIsReportedAndNothingSent)
{
    Typing h;
    EntryField *a = h.enter(h.ui().Amplitude, "99");
    h.boxes.answers = {Answer::No};
    QTest::keyClick(a, Qt::Key_Return);
    ASSERT_EQ(h.boxes.boxes.size(), 1u);
    EXPECT_EQ(h.boxes.boxes[0].title, "Setting Error");
    EXPECT_TRUE(h.writes().empty());
    EXPECT_TRUE(a->hasFocus());
}

TEST(FieldEnter, AmplitudeSendsItsValueInTheInstrumentsLoad)
{
    Typing h;
    h.ui().OutInto[1]->setChecked(true); // 50 ohms on an FG5010: doubled
    h.trace.clear();
    EntryField *a = h.enter(h.ui().Amplitude, "1.000");
    h.retype(a, "3");
    QTest::keyClick(a, Qt::Key_Return);
    EXPECT_EQ(h.writes(), (std::vector<std::string>{"clear 5", "write 5 AMPL 6"}));
    EXPECT_FALSE(Typing::marked(a));
    // The load group went out with it; nothing else is pending.
    EXPECT_NE(h.ui().Frame3->palette().color(QPalette::Window), ChangeMarks::ChangeColor);
    EXPECT_FALSE(h.ui().Button_Apply->isEnabled());
    EXPECT_TRUE(h.ui().Offset->hasFocus());
    EXPECT_EQ(a->text(), "3.000");
}

TEST(FieldEnter, FrequencyTakesAMarkedSymmetryAlong)
{
    Typing h("AFG5102@5");
    MainFormUi &ui = h.ui();
    ui.FreqMult[1]->setChecked(true);
    // Symmetry changed to 40 and still marked (leaving it by hand would tidy it to 40.00).
    EntryField *s = ui.Symmetry;
    h.form->SuppressEvents = true;
    s->setText(QStringLiteral("40"));
    h.form->SuppressEvents = false;
    ChangeMarks::markField(s, true);
    EntryField *f = h.enter(ui.Frequency, "1.000");
    h.retype(f, "12");
    h.trace.clear();
    QTest::keyClick(f, Qt::Key_Return);
    EXPECT_EQ(h.trace, (std::vector<std::string>{"clear 5", "write 5 FREQ 12E+3",
                                                 "write 5 OFFS?", "read 5 OFFS 0.00E+0",
                                                 "clear 5", "write 5 SYM 40"}));
    EXPECT_FALSE(Typing::marked(f));
    EXPECT_FALSE(Typing::marked(s));
    EXPECT_NE(ui.Frame5->palette().color(QPalette::Window), ChangeMarks::ChangeColor);
    EXPECT_FALSE(ui.Button_Apply->isEnabled());
    EXPECT_TRUE(ui.Amplitude->hasFocus());
}

TEST(FieldEnter, SymmetryAloneOrWithAMarkedFrequency)
{
    for (const bool frequencyMarked : {false, true}) {
        SCOPED_TRACE(frequencyMarked);
        Typing h("AFG5102@5");
        MainFormUi &ui = h.ui();
        h.enter(ui.Frequency, "1.000");
        if (frequencyMarked) {
            EntryField *f = h.enter(ui.Frequency, "1.000");
            h.retype(f, "2");
            ui.FreqMult[2]->setChecked(true);
        }
        EntryField *s = h.enter(ui.Symmetry, "50");
        h.retype(s, "30");
        h.trace.clear();
        QTest::keyClick(s, Qt::Key_Return);
        std::vector<std::string> expected = {"clear 5", "write 5 SYM 30"};
        if (frequencyMarked)
            expected.insert(expected.end(), {"write 5 OFFS?", "read 5 OFFS 0.00E+0", "clear 5",
                                             "write 5 FREQ 2.000E+6"}); // tidied when left
        EXPECT_EQ(h.trace, expected);
        EXPECT_FALSE(Typing::marked(ui.Frequency));
        EXPECT_TRUE(ui.Amplitude->hasFocus());
    }
}

TEST(FieldEnter, TurnsTheOutputOffFirstWhenTheStartAndExitOptionSaysSo)
{
    for (const bool startAndExit : {true, false}) {
        SCOPED_TRACE(startAndExit);
        Typing h;
        MainFormUi &ui = h.ui();
        ui.Menu_TurnOffOutput->setChecked(startAndExit);
        ui.Menu_TurnOffAtChange->setChecked(!startAndExit);
        ui.Button_ToggleOutput->click();
        ASSERT_TRUE(h.form->OutputIsOn);
        EntryField *a = h.enter(ui.Amplitude, "1.000");
        h.retype(a, "2");
        h.trace.clear();
        const double before = h.elapsedSeconds();
        QTest::keyClick(a, Qt::Key_Return);
        std::vector<std::string> expected = {"clear 5", "write 5 AMPL 2"};
        if (startAndExit)
            expected.insert(expected.begin(), {"clear 5", "write 5 OUT OFF"});
        EXPECT_EQ(h.writes(), expected);
        EXPECT_EQ(h.form->OutputIsOn, !startAndExit);
        EXPECT_NEAR(h.elapsedSeconds() - before, startAndExit ? 1.0 : 0.0, 1e-9);
    }
}

TEST(FieldEnter, AValueThatDidNotGoThroughStaysMarked)
{
    Typing h("AFG5102@5");
    MainFormUi &ui = h.ui();
    EntryField *s = h.enter(ui.Symmetry, "50");
    h.retype(s, "40");
    EntryField *f = h.enter(ui.Frequency, "1.000");
    h.retype(f, "12");
    h.unplug();
    h.boxes.answers = {Answer::Ok};
    QTest::keyClick(f, Qt::Key_Return);
    EXPECT_EQ(h.boxes.boxes.size(), 1u); // the GPIB error, and no companion after it
    EXPECT_TRUE(Typing::marked(f));
    EXPECT_TRUE(Typing::marked(s));
    EXPECT_TRUE(f->hasFocus());
}

TEST(FieldSpace, TogglesTheOutputAndTypesTheBlank)
{
    Typing h;
    MainFormUi &ui = h.ui();
    ui.Menu_ConfirmOnOff->setChecked(true);
    EntryField *f = h.enter(ui.Frequency, "12");
    f->end(false);
    h.boxes.answers = {Answer::Yes};
    QTest::keyClick(f, Qt::Key_Space);
    EXPECT_EQ(h.boxes.boxes.at(0).text, "Confirm turning ON output.");
    EXPECT_TRUE(h.form->OutputIsOn);
    EXPECT_EQ(ui.ActualOutput->text(), "ON");
    EXPECT_EQ(f->text(), "12 ");
    EXPECT_FALSE(Typing::marked(f)); // a blank changes no value
}

} // namespace
