#include "support/loadedform.h"

#include "app/settingsstore.h"
#include "mainwindow/entryfield.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using Answer = MessageBoxService::Answer;

// One run of the program: loaded, then started as at its first activation.
struct ProgramRun : LoadedForm
{
    using LoadedForm::LoadedForm;

    void start()
    {
        form->Form_Activate();
    }

    std::string stored(const char *model, const char *key)
    {
        return store.read(SettingsSection(model), key, "(missing)");
    }

    void storeValue(const char *model, const char *key, const char *value)
    {
        store.write(SettingsSection(model), key, value);
    }

    std::vector<bool> options()
    {
        std::vector<bool> checked;
        for (QAction *a : {ui().Menu_StartSaved, ui().Menu_SaveAtExit, ui().Menu_ApplyOptions,
                           ui().Menu_TurnOffOutput, ui().Menu_TurnOffAtChange,
                           ui().Menu_ConfirmOnOff})
            checked.push_back(a->isChecked());
        return checked;
    }
};

TEST(StartUp, AnEmptyStoreGivesTheDefaultsAndAReadBack)
{
    ProgramRun h;
    h.generator().receive("AMPL 2;FREQ 5E+3;OUT ON");
    h.start();

    EXPECT_EQ(h.options(), (std::vector<bool>{false, false, false, true, true, true}));
    EXPECT_FALSE(h.ui().Menu_LoadlSavedSettings->isEnabled());
    EXPECT_FALSE(h.ui().Menu_StartSaved->isEnabled());
    EXPECT_FALSE(h.ui().Button_LoadSavedSettings->isEnabled());
    EXPECT_EQ(h.ui().Menu_InitFG->text(), "Initialize FG5010");
    // The output is switched off whatever the window shows, then everything is read back.
    ASSERT_GE(h.trace.size(), 3u);
    EXPECT_EQ(h.trace[0], "clear 5");
    EXPECT_EQ(h.trace[1], "write 5 OUT OFF");
    EXPECT_EQ(h.trace[2], "write 5 AMPL?");
    EXPECT_FALSE(h.generator().state().outputOn);
    EXPECT_NEAR(h.elapsedSeconds(), 1.0 + 6 * 0.1, 1e-6);
    EXPECT_EQ(h.ui().Amplitude->text(), "2.000");
    EXPECT_EQ(h.ui().Frequency->text(), "5.000");
    EXPECT_TRUE(h.ui().FreqMult[1]->isChecked());
    EXPECT_FALSE(h.ui().Button_Apply->isEnabled());
    EXPECT_TRUE(h.form->StartupDone);

    // A later activation (back from the About window, say) does nothing at all.
    h.trace.clear();
    h.storeValue("FG5010", "Confirm output change", "False");
    h.form->Form_Activate();
    EXPECT_TRUE(h.trace.empty());
    EXPECT_TRUE(h.ui().Menu_ConfirmOnOff->isChecked());
}

TEST(StartUp, WithoutTheStartOptionTheOutputIsOnlyAskedFor)
{
    ProgramRun h;
    h.storeValue("FG5010", "Turn off output at Start and Exit", "False");
    h.generator().receive("OUT ON");
    h.start();
    EXPECT_EQ(h.trace.at(0), "write 5 OUT?");
    EXPECT_TRUE(h.generator().state().outputOn);
    EXPECT_TRUE(h.form->OutputIsOn);
    EXPECT_EQ(h.ui().ActualOutput->text(), "ON");
}

TEST(StartUp, WithSavedSettingsTheOutputGoesOffJustBeforeTheyAreApplied)
{
    ProgramRun h("AFG5102@5");
    for (const auto &[key, value] : std::vector<std::pair<const char *, const char *>>{
             {"Start with saved settings", "True"},
             {"Turn off output at Start and Exit", "False"},
             {"Turn off output before change", "True"},
             {"Saved Exist", "True"},
             {"Amplitude", "3"},
             {"Frequency", "2.5"},
             {"Frequency Multiplier", "3"},
             {"Function", "1"},
             {"Symmetry", "40"}})
        h.storeValue("AFG5102", key, value);
    h.generator().receive("OUT ON");
    h.start();
    EXPECT_EQ(h.writes(), (std::vector<std::string>{
                              "write 5 OUT?", "write 5 OUT?", "clear 5", "write 5 OUT OFF",
                              "clear 5",
                              "write 5 AMPL 3.000;OFFS 0.000;FREQ 2.500E+3;FUNC SQUARE;SYM 40"}));
    EXPECT_EQ(h.generator().state().frequency, 2500);
    EXPECT_FALSE(h.generator().state().outputOn);
    EXPECT_FALSE(h.ui().Button_Apply->isEnabled());
    EXPECT_TRUE(h.ui().Button_LoadSavedSettings->isEnabled());
}

TEST(StartUp, WithoutASupportedModelNothingIsWritten)
{
    ProgramRun h("OTHER@3");
    h.boxes.answers = {Answer::Ok};
    EXPECT_THROW(h.start(), ProgramEnded);
    EXPECT_FALSE(QFile::exists(h.storeFile));
}

TEST(Options, ToggledOnesAreWrittenAtExitAndOthersLeftAlone)
{
    ProgramRun h;
    h.storeValue("FG5010", "Confirm output change", "Maybe"); // no version writes this
    h.start();
    EXPECT_TRUE(h.ui().Menu_ConfirmOnOff->isChecked()); // its default
    h.ui().Menu_SaveAtExit->trigger();
    h.ui().Menu_SaveAtExit->trigger(); // and back
    h.ui().Menu_ApplyOptions->trigger();
    EXPECT_TRUE(h.ui().Amplitude->hasFocus() || !h.form->isVisible());
    h.trace.clear();
    h.ui().Menu_Exit->trigger();
    h.form->Form_Unload(); // only once, however often the window is closed

    EXPECT_EQ(h.stored("FG5010", "Save settings at Exit"), "False");
    EXPECT_EQ(h.stored("FG5010", "Apply options changed immediately"), "True");
    EXPECT_EQ(h.stored("FG5010", "Confirm output change"), "Maybe");
    EXPECT_EQ(h.stored("FG5010", "Start with saved settings"), "(missing)");
    EXPECT_EQ(h.writes(), (std::vector<std::string>{"clear 5", "write 5 OUT OFF"}));
}

TEST(Options, EachModelKeepsItsOwn)
{
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("Wavedial.conf"));
    {
        ProgramRun pfg("PFG5105@5", file);
        pfg.start();
        pfg.ui().Menu_ConfirmOnOff->trigger();
        pfg.form->Form_Unload();
    }
    ProgramRun afg("AFG5101@5", file);
    afg.start();
    EXPECT_TRUE(afg.ui().Menu_ConfirmOnOff->isChecked());
    ProgramRun pfgAgain("PFG5105@5", file);
    pfgAgain.start();
    EXPECT_FALSE(pfgAgain.ui().Menu_ConfirmOnOff->isChecked());
    // The section keeps its backslash in the file.
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("[Settings%5CPFG5105]"));
}

TEST(Options, OddStoredTextsFallBackToDefaults)
{
    ProgramRun h;
    for (const auto &[key, value] : std::vector<std::pair<const char *, const char *>>{
             {"Start with saved settings", "yes"},
             {"Turn off output before change", "0"},
             {"Save settings at Exit", "TRUE"},
             {"50 Ohm", "7"},
             {"Function", "-1"},
             {"Frequency Multiplier", "12"},
             {"Amplitude", "junk"}})
        h.storeValue("FG5010", key, value);
    h.start();
    EXPECT_EQ(h.options(), (std::vector<bool>{false, true, false, true, true, true}));
    h.form->LoadSavedSettings();
    EXPECT_TRUE(h.ui().OutInto[1]->isChecked());
    EXPECT_TRUE(h.ui().WaveFunction[0]->isChecked());
    EXPECT_TRUE(h.ui().FreqMult[0]->isChecked());
    EXPECT_EQ(h.ui().Amplitude->text(), "0.000");
}

TEST(SavedSettings, StoreTheInstrumentsValuesNotAnUnappliedEdit)
{
    ProgramRun h;
    h.start();
    h.generator().receive("AMPL 2;FREQ 2.5E+3;FUNC TRIANGLE;SYM 40");
    h.ui().Amplitude->setText(QStringLiteral("7")); // typed, never sent
    h.ui().Button_SaveSettings->click();

    EXPECT_EQ(h.stored("FG5010", "Amplitude"), "2.000");
    EXPECT_EQ(h.ui().Amplitude->text(), "2.000");
    EXPECT_EQ(h.stored("FG5010", "Offset"), "0.000");
    EXPECT_EQ(h.stored("FG5010", "50 Ohm"), "0");
    EXPECT_EQ(h.stored("FG5010", "Function"), "2");
    EXPECT_EQ(h.stored("FG5010", "Frequency"), "2.500");
    EXPECT_EQ(h.stored("FG5010", "Frequency Multiplier"), "3");
    EXPECT_EQ(h.stored("FG5010", "Symmetry"), "40");
    // The first save enables the load commands at once.
    EXPECT_EQ(h.stored("FG5010", "Saved Exist"), "True");
    EXPECT_TRUE(h.ui().Button_LoadSavedSettings->isEnabled());
    EXPECT_TRUE(h.ui().Menu_LoadlSavedSettings->isEnabled());
    EXPECT_TRUE(h.ui().Menu_StartSaved->isEnabled());

    // Loaded back, they show as they were saved.
    h.ui().FreqMult[0]->setChecked(true);
    h.ui().Frequency->setText(QStringLiteral("9"));
    h.form->LoadSavedSettings();
    EXPECT_EQ(h.ui().Frequency->text(), "2.500");
    EXPECT_TRUE(h.ui().FreqMult[1]->isChecked());
    EXPECT_TRUE(h.ui().WaveFunction[2]->isChecked());
}

TEST(SavedSettings, AnEmptySectionLoadsTheDefaults)
{
    for (const char *model : {"FG5010", "AFG5101"}) {
        SCOPED_TRACE(model);
        ProgramRun h(std::string(model) + "@5");
        h.start();
        h.form->SuppressEvents = true;
        h.ui().Symmetry->setText(QStringLiteral("33"));
        h.form->SuppressEvents = false;
        h.form->LoadSavedSettings();
        EXPECT_EQ(h.ui().Amplitude->text(), "1.000");
        EXPECT_EQ(h.ui().Offset->text(), "0.000");
        EXPECT_EQ(h.ui().Frequency->text(), "1000");
        EXPECT_TRUE(h.ui().FreqMult[0]->isChecked());
        EXPECT_TRUE(h.ui().WaveFunction[0]->isChecked());
        EXPECT_TRUE(h.ui().OutInto[1]->isChecked());
        EXPECT_EQ(h.ui().Symmetry->text(), std::string(model) == "FG5010" ? "50" : "33");
        EXPECT_FALSE(h.form->SuppressEvents);
    }
}

TEST(SavedSettings, LoadingTurnsTheOutputOffFirstWhenTheOptionSaysSo)
{
    for (const bool turnOff : {true, false}) {
        SCOPED_TRACE(turnOff);
        ProgramRun h;
        h.start();
        h.ui().Menu_ConfirmOnOff->setChecked(false);
        h.ui().Menu_TurnOffAtChange->setChecked(turnOff);
        h.storeValue("FG5010", "Saved Exist", "True");
        h.ui().Button_ToggleOutput->click();
        h.trace.clear();
        const double before = h.elapsedSeconds();
        h.ui().Button_LoadSavedSettings->setEnabled(true);
        h.ui().Button_LoadSavedSettings->click();
        // The defaults: 1 V into 50 ohms, which the FG5010 makes from 2 V open circuit.
        std::vector<std::string> expected = {"write 5 OUT?", "clear 5",
                                             "write 5 AMPL 2;OFFS 0;FREQ 1000E+0;FUNC SINE;SYM 50"};
        if (turnOff)
            expected.insert(expected.begin() + 1, {"clear 5", "write 5 OUT OFF"});
        EXPECT_EQ(h.writes(), expected);
        EXPECT_EQ(h.generator().state().outputOn, !turnOff);
        EXPECT_NEAR(h.elapsedSeconds() - before, (turnOff ? 1.0 : 0.0) + 0.1, 1e-6);
    }
}

TEST(ShutDown, SavesAndSwitchesOffAsTheOptionsSay)
{
    ProgramRun h;
    h.start();
    h.ui().Menu_SaveAtExit->trigger();
    h.generator().receive("AMPL 4");
    h.trace.clear();
    ASSERT_FALSE(h.form->OutputIsOn);
    h.form->close();
    EXPECT_EQ(h.stored("FG5010", "Amplitude"), "4.000");
    EXPECT_EQ(h.stored("FG5010", "Save settings at Exit"), "True");
    // "OUT OFF" goes out even though the window shows the output off, without a clear.
    ASSERT_FALSE(h.trace.empty());
    EXPECT_EQ(h.trace.front(), "clear 5");
    EXPECT_EQ(h.trace.back(), "write 5 OUT OFF");
    EXPECT_EQ(h.writes().size(), 2u + 6u); // clear, six queries, OUT OFF
}

TEST(ShutDown, AnUnreachableInstrumentOnlyGetsTheOptionsStored)
{
    ProgramRun h;
    h.start();
    h.ui().Menu_SaveAtExit->trigger();
    h.unplug();
    h.trace.clear();
    h.form->Form_Unload();
    EXPECT_EQ(h.stored("FG5010", "Save settings at Exit"), "True");
    EXPECT_EQ(h.stored("FG5010", "Amplitude"), "(missing)");
    EXPECT_EQ(h.trace, std::vector<std::string>{"nolistener 5"});
    EXPECT_TRUE(h.boxes.boxes.empty());
}

TEST(ShutDown, AnOldErrorNumberDoesNotStopIt)
{
    ProgramRun h;
    h.start();
    // An earlier write to nobody left error 2 behind, answered with OK.
    int16_t stranger = h.gpib.driver().ibdev(0, 9, 0, 11, 1, 0);
    h.boxes.answers = {Answer::Ok};
    h.gpib.WriteCommand(stranger, "AMPL 1");
    ASSERT_EQ(h.gpib.driver().iberr(), 2);
    h.trace.clear();
    h.form->Form_Unload();
    EXPECT_EQ(h.trace, (std::vector<std::string>{"clear 5", "write 5 OUT OFF"}));
}

TEST(ShutDown, ClosingDuringTheStartUpEndsItWithoutAnotherWord)
{
    ProgramRun h;
    h.storeValue("FG5010", "Start with saved settings", "True");
    h.storeValue("FG5010", "Saved Exist", "True");
    h.storeValue("FG5010", "Amplitude", "99"); // would give a "Setting Error" box if applied
    h.form->show();
    // The user closes the window while the start-up waits for the output to settle.
    h.events.pending.push_back([&h] { h.form->close(); });
    h.trace.clear();
    h.start();
    EXPECT_EQ(h.trace, (std::vector<std::string>{"clear 5", "write 5 OUT OFF", "clear 5",
                                                 "write 5 OUT OFF"}));
    EXPECT_TRUE(h.form->closed());
    EXPECT_FALSE(h.form->StartupDone);
    EXPECT_TRUE(h.boxes.boxes.empty());
    // Anything still queued behind the close sends nothing either.
    h.form->ApplySettings();
    h.form->RefreshFromInstrument();
    h.ui().Button_ToggleOutput->click();
    h.form->Form_Unload();
    EXPECT_EQ(h.trace.size(), 4u);
}

TEST(TwoRuns, OptionsAndSavedSettingsSurvive)
{
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("Wavedial.conf"));
    {
        ProgramRun first("FG5010@5", file);
        first.start();
        first.generator().receive("AMPL 6;FREQ 20E+3;FUNC SQUARE");
        first.ui().Button_SaveSettings->click();
        first.ui().Menu_StartSaved->trigger();
        first.form->Form_Unload();
    }
    ProgramRun second("FG5010@5", file);
    second.start();
    EXPECT_TRUE(second.ui().Menu_StartSaved->isChecked());
    EXPECT_EQ(second.generator().state().amplitude, 6);
    EXPECT_EQ(second.generator().state().frequency, 20e3);
    EXPECT_EQ(second.generator().state().waveform, SimFunctionGenerator::Waveform::Square);
    EXPECT_EQ(second.ui().Amplitude->text(), "6.000");
}

} // namespace
