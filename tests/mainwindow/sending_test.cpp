#include "support/loadedform.h"
#include "support/modal.h"

#include "mainwindow/entryfield.h"
#include "mainwindow/shapes.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

namespace {

using Answer = MessageBoxService::Answer;

struct Loaded : LoadedForm
{
    using LoadedForm::LoadedForm;
    void type(EntryField *f, const char *text) { f->setText(QString::fromLatin1(text)); }
};

TEST(ApplySettings, SendsTheWholeLineAndClearsTheMarks)
{
    Loaded h;
    MainFormUi &ui = h.ui();
    h.type(ui.Amplitude, "5");
    h.type(ui.Offset, "0");
    h.type(ui.Frequency, "10");
    h.type(ui.Symmetry, "50");
    ui.FreqMult[1]->setChecked(true); // marks the unit group, enables Apply
    ChangeMarks::markField(ui.Amplitude, true);
    h.trace.clear();

    ui.Button_Apply->click();

    EXPECT_EQ(h.writes(), (std::vector<std::string>{
                              "clear 5", "write 5 AMPL 5;OFFS 0;FREQ 10E+3;FUNC SINE;SYM 50"}));
    EXPECT_EQ(h.generator().state().frequency, 10e3);
    EXPECT_FALSE(ChangeMarks::isFieldMarked(ui.Amplitude));
    EXPECT_NE(ui.Frame5->palette().color(QPalette::Window), ChangeMarks::ChangeColor);
    EXPECT_FALSE(ui.Button_Apply->isEnabled());
    EXPECT_TRUE(h.boxes.boxes.empty());
}

TEST(ApplySettings, RefusesOutOfRangeSettingsWithTheSettingErrorBox)
{
    Loaded h;
    MainFormUi &ui = h.ui();
    h.type(ui.Amplitude, "25");
    h.type(ui.Offset, "0");
    h.type(ui.Frequency, "10");
    ui.FreqMult[2]->setChecked(true);
    h.type(ui.Symmetry, "80");
    ui.Button_Apply->setEnabled(true);
    h.boxes.answers = {Answer::No};

    h.form->ApplySettings();

    EXPECT_TRUE(h.writes().empty());
    ASSERT_EQ(h.boxes.boxes.size(), 1u);
    const auto &box = h.boxes.boxes[0];
    EXPECT_EQ(box.text, "Amplitude is out of range (too high).\n\nSymmetry is out of range (too "
                        "high).\nFor 10 MHz Symmetry must be 75 % or lower.\n\nSelect Yes to see "
                        "the specs of FG5010.");
    EXPECT_EQ(box.title, "Setting Error");
    EXPECT_EQ(box.buttons, MessageBoxService::Buttons::YesNo);
    EXPECT_EQ(box.icon, MessageBoxService::Icon::Critical);
    EXPECT_TRUE(ui.Button_Apply->isEnabled());
    EXPECT_EQ(ui.Frame5->palette().color(QPalette::Window), ChangeMarks::ChangeColor);
}

TEST(ApplySettings, YesInTheSettingErrorBoxShowsTheSheet)
{
    Loaded h;
    h.type(h.ui().Amplitude, "99");
    h.boxes.answers = {Answer::Yes};
    QString shown;
    whenModalOpens([&shown](QDialog *d) {
        if (auto *l = d->findChild<QLabel *>(QStringLiteral("Label_Description")))
            shown = l->text();
    });
    EXPECT_FALSE(h.form->ValidateSettings(1));
    EXPECT_TRUE(shown.startsWith("Connected to FG5010 at GPIB address 5\n\n"));
    EXPECT_TRUE(h.writes().empty());
}

TEST(ApplySettings, AFailedWriteLeavesTheMarksAndApply)
{
    Loaded h;
    MainFormUi &ui = h.ui();
    h.type(ui.Amplitude, "1");
    h.type(ui.Offset, "0");
    h.type(ui.Frequency, "1");
    h.type(ui.Symmetry, "50");
    ui.WaveFunction[1]->setChecked(true);
    h.unplug();
    h.boxes.answers = {Answer::Ok};

    h.form->ApplySettings();

    ASSERT_EQ(h.boxes.boxes.size(), 1u);
    EXPECT_EQ(h.boxes.boxes[0].title, "GPIB ERROR # 2");
    EXPECT_TRUE(ui.Button_Apply->isEnabled());
    EXPECT_EQ(ui.Frame4->palette().color(QPalette::Window), ChangeMarks::ChangeColor);
}

TEST(OptionClick, MarksOrAppliesAtOnce)
{
    for (const bool applyAtOnce : {false, true}) {
        SCOPED_TRACE(applyAtOnce);
        Loaded h("AFG5101@5");
        MainFormUi &ui = h.ui();
        h.type(ui.Amplitude, "2.00");
        h.type(ui.Offset, "-1");
        h.type(ui.Frequency, "250");
        ui.Menu_ApplyOptions->setChecked(applyAtOnce);

        ui.WaveFunction[2]->setChecked(true);

        if (applyAtOnce) {
            EXPECT_EQ(h.writes(), (std::vector<std::string>{
                                      "clear 5", "write 5 AMPL 2.00;OFFS -1;FREQ 250E+0;FUNC "
                                                 "TRIANGLE"}));
            EXPECT_NE(ui.Frame4->palette().color(QPalette::Window), ChangeMarks::ChangeColor);
        } else {
            EXPECT_TRUE(h.writes().empty());
            EXPECT_EQ(ui.Frame4->palette().color(QPalette::Window), ChangeMarks::ChangeColor);
        }
        // Either way Apply is enabled afterwards, and the save commands too.
        EXPECT_TRUE(ui.Button_Apply->isEnabled());
        EXPECT_TRUE(ui.Button_SaveSettings->isEnabled());
        // The other groups keep their choices.
        EXPECT_TRUE(ui.OutInto[1]->isChecked());
        EXPECT_TRUE(ui.FreqMult[0]->isChecked());
    }
}

struct ToggleCase
{
    const char *name;
    bool confirm;
    std::vector<Answer> answers;
    bool sent;
};

TEST(ToggleOutput, SwitchesWithOrWithoutConfirmation)
{
    const ToggleCase cases[] = {
        {"noConfirmation", false, {}, true},
        {"confirmedYes", true, {Answer::Yes}, true},
        {"confirmedNo", true, {Answer::No}, false},
    };
    for (const ToggleCase &c : cases) {
        SCOPED_TRACE(c.name);
        Loaded h;
        MainFormUi &ui = h.ui();
        ui.Menu_ConfirmOnOff->setChecked(c.confirm);
        h.boxes.answers.assign(c.answers.begin(), c.answers.end());

        ui.Button_ToggleOutput->click();

        if (c.confirm) {
            ASSERT_EQ(h.boxes.boxes.size(), 1u);
            EXPECT_EQ(h.boxes.boxes[0].text, "Confirm turning ON output.");
            EXPECT_EQ(h.boxes.boxes[0].title, "Change Output");
            EXPECT_EQ(h.boxes.boxes[0].icon, MessageBoxService::Icon::Exclamation);
        }
        EXPECT_EQ(h.form->OutputIsOn, c.sent);
        EXPECT_EQ(h.generator().state().outputOn, c.sent);
        EXPECT_EQ(ui.ActualOutput->text(), c.sent ? "ON" : "OFF");
        EXPECT_EQ(ui.Shape1->fillColor(), c.sent ? QColor(0, 255, 0) : QColor(255, 0, 0));
        EXPECT_EQ(ui.Button_ToggleOutput->text(), c.sent ? "&Turn OFF Output" : "&Turn ON Output");
        EXPECT_EQ(h.writes().size(), c.sent ? 2u : 0u);
    }
}

TEST(ToggleOutput, AFailedWriteChangesNothing)
{
    Loaded h;
    h.unplug();
    h.boxes.answers = {Answer::Ok};
    h.ui().Button_ToggleOutput->click();
    EXPECT_FALSE(h.form->OutputIsOn);
    EXPECT_EQ(h.ui().ActualOutput->text(), "OFF");
    EXPECT_EQ(h.boxes.boxes.at(0).title, "GPIB ERROR # 2");
}

TEST(TurnOutputOff, SendsOnlyWhenOnAndWaitsASecond)
{
    Loaded h;
    h.form->TurnOutputOff();
    EXPECT_TRUE(h.writes().empty());
    EXPECT_EQ(h.elapsedSeconds(), 0.0);

    h.ui().Button_ToggleOutput->click();
    const double before = h.elapsedSeconds();
    h.trace.clear();
    h.form->TurnOutputOff();
    EXPECT_EQ(h.writes(), (std::vector<std::string>{"clear 5", "write 5 OUT OFF"}));
    EXPECT_FALSE(h.form->OutputIsOn);
    EXPECT_NEAR(h.elapsedSeconds() - before, 1.0, 1e-9);

    // A failed "OUT OFF": the output is still on, and there is nothing to wait for.
    h.form->OutputIsOn = true;
    h.unplug();
    h.boxes.answers = {Answer::Ok};
    const double beforeFailure = h.elapsedSeconds();
    h.form->TurnOutputOff();
    EXPECT_TRUE(h.form->OutputIsOn);
    EXPECT_EQ(h.elapsedSeconds(), beforeFailure);
}

TEST(Refresh, ReadsEverySettingBackWithoutSendingOrMarking)
{
    Loaded h;
    MainFormUi &ui = h.ui();
    h.generator().receive("AMPL 5;OFFS -1.5;FREQ 10E+6;FUNC TRIANGLE;SYM 37.5;OUT ON");
    ui.OutInto[1]->setChecked(true); // 50 ohms: shows half the FG5010's figures
    ui.Menu_ApplyOptions->setChecked(true);
    h.trace.clear();
    ui.Button_Apply->setEnabled(true);

    ui.Button_Refresh->click();

    for (const std::string &line : h.trace)
        EXPECT_TRUE(!line.starts_with("write ") || line.ends_with("?")) << line;
    EXPECT_EQ(ui.Amplitude->text(), "2.500");
    EXPECT_EQ(ui.Offset->text(), "-0.750");
    EXPECT_EQ(ui.Frequency->text(), "10.00");
    EXPECT_TRUE(ui.FreqMult[2]->isChecked());
    EXPECT_TRUE(ui.WaveFunction[2]->isChecked());
    EXPECT_EQ(ui.Symmetry->text(), "38");
    EXPECT_TRUE(h.form->OutputIsOn);
    EXPECT_EQ(ui.Shape1->fillColor(), QColor(0, 255, 0));
    EXPECT_FALSE(ui.Button_Apply->isEnabled());
    EXPECT_TRUE(ui.Button_SaveSettings->isEnabled());
    for (const QWidget *g : {static_cast<QWidget *>(ui.Frame3), static_cast<QWidget *>(ui.Frame4),
                             static_cast<QWidget *>(ui.Frame5)})
        EXPECT_NE(g->palette().color(QPalette::Window), ChangeMarks::ChangeColor);
    EXPECT_FALSE(h.form->SuppressEvents);
}

TEST(Refresh, ConvertsMillivoltsToTheChosenLoad)
{
    for (const int load : {1, 0}) {
        Loaded h("AFG5101@5");
        h.generator().receive("AMPL 20E-3");
        h.ui().OutInto[static_cast<size_t>(load)]->setChecked(true);
        h.form->RefreshFromInstrument();
        EXPECT_EQ(h.ui().Amplitude->text(), load == 1 ? "0.020" : "0.040");
        // No symmetry query on this model.
        EXPECT_EQ(h.ui().Symmetry->text(), "50");
        for (const std::string &line : h.trace)
            EXPECT_NE(line, "write 5 SYM?");
    }
}

TEST(ReadAllSettings, ActsLikeTheUserOnChangedOptionsButNeverAsksAnAfg5101ForSymmetry)
{
    Loaded h("PFG5105@5");
    MainFormUi &ui = h.ui();
    h.generator().receive("FREQ 2E+6;FUNC SQUARE");
    h.form->ReadAllSettings();
    // The selections changed as by a click: their groups are marked.
    EXPECT_TRUE(ui.FreqMult[2]->isChecked());
    EXPECT_EQ(ui.Frame5->palette().color(QPalette::Window), ChangeMarks::ChangeColor);
    EXPECT_EQ(ui.Frame4->palette().color(QPalette::Window), ChangeMarks::ChangeColor);
    EXPECT_EQ(ui.Symmetry->text(), "50");
    EXPECT_TRUE(h.boxes.boxes.empty());
    for (const std::string &line : h.trace)
        EXPECT_NE(line, "write 5 SYM?");
    EXPECT_GE(h.events.processed, 1);
}

TEST(InitializeMenu, ResetsTheInstrumentAndReadsItBack)
{
    Loaded h("AFG5102@9");
    h.generator(9).receive("AMPL 3;FREQ 2E+6;OUT ON");
    h.trace.clear();
    h.ui().Menu_InitFG->trigger();
    ASSERT_GE(h.trace.size(), 2u);
    EXPECT_EQ(h.trace[0], "write 9 INIT"); // no device clear before it
    EXPECT_EQ(h.ui().Amplitude->text(), "1.000");
    EXPECT_EQ(h.ui().Frequency->text(), "1.000");
    EXPECT_TRUE(h.ui().FreqMult[1]->isChecked());
    EXPECT_FALSE(h.form->OutputIsOn);
}

} // namespace
