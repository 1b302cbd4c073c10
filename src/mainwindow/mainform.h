#pragma once

#include "instrument/profile.h"
#include "instrument/settings.h"
#include "mainwindow/changemarks.h"
#include "mainwindow/entryfields.h"
#include "mainwindow/mainformui.h"

#include <QMainWindow>

#include <array>
#include <cstdint>

class GpibModule;
class MessageBoxService;
class ProgramEnd;
class SettingsStore;
class ShellService;

// What the main window needs from the platform besides the bus.
struct FormServices
{
    MessageBoxService &boxes;
    ProgramEnd &programEnd;
    ShellService &shell;
    SettingsStore &store;
};

// The main window: the instrument's settings, its output, and the commands that send,
// read back, save and load them. Its handlers run on the window's one thread; the
// waits inside the bus I/O let other handlers run in the middle of an exchange.
class MainForm : public QMainWindow
{
    Q_OBJECT

public:
    MainForm(GpibModule &gpib, const FormServices &services, QWidget *parent = nullptr);

    // The load step: finds and identifies the instrument, chooses its profile and sets
    // the window's start state. Runs before the window is first shown.
    void Form_Load();
    // The first activation's start-up sequence; later activations do nothing.
    void Form_Activate();
    // Closing the window (close box or Exit): stores the changed options, then saves the
    // settings and switches the output off as the options say. Runs once.
    void Form_Unload();

    MainFormUi &ui() { return m_ui; }
    ChangeMarks &marks() { return m_marks; }
    EntryFields &fields() { return m_fields; }
    GpibModule &gpib() { return m_gpib; }
    const ModelProfile &profile() const { return m_profile; }

    // --- Sending settings and switching the output ---

    // Device clear, then the line; true when the write went through (a failed write was
    // reported and the user chose to go on: false).
    bool SendCommand(int16_t &handle, const std::string &text);
    // Checks everything and sends it as one line.
    void ApplySettings();
    // Switches the output off if it is on, then waits a second.
    void TurnOutputOff();
    void ShowOutputState();
    // Checks the settings of `scope` (see SettingErrors); shows the "Setting Error" box,
    // whose Yes opens the About window, when any is out of range.
    bool ValidateSettings(int16_t scope);

    int16_t FrequencyMultiplier() const;
    int16_t SelectedFunction() const;
    SettingsSnapshot settings() const;

    // A query to the instrument; "" once the window is closed.
    std::string Query(const std::string &query);
    // True once the shut-down sequence is over: the window then sends nothing more, even
    // from a handler that was waiting on the bus when the window closed.
    bool closed() const { return m_closed; }

    // --- Reading the instrument back ---

    void ReadAmplitude();
    void ReadOffset();
    void ReadFrequency();
    void ReadFunction();
    void ReadSymmetry();
    void ReadOutputState();
    void ReadAllSettings();
    void RefreshFromInstrument();

    // --- Saved settings and options ---

    // Reads the instrument back and stores its settings for this model.
    void SaveSettings();
    // Fills the window from the stored settings; sends nothing.
    void LoadSavedSettings();
    // The load commands: the stored settings into the window, then to the instrument.
    void LoadSavedSettingsAndApply();
    // A click on one of the six option items (index 0 to 5 in menu order).
    void OptionItemClick(int index);

    // --- Handlers ---

    void Button_Apply_Click();
    void Button_ToggleOutput_Click();
    void Button_Refresh_Click();
    void Menu_InitFG_Click();
    void Menu_About_Click();
    // A click on an option of a group (3 load, 4 waveform, 5 unit), by user or program.
    void OptionClick(int16_t groupCode, int index);

    bool SuppressEvents = false;
    bool StartupDone = false;
    bool OutputIsOn = false;
    bool SavedSettingsExist = false;
    std::array<bool, 6> OptionChanged{};

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void connectHandlers();
    void SelectModelProfile();
    void SwitchOutputOffAtStart();
    std::string section() const;
    std::string fieldText(const QWidget *field) const;
    void setFieldText(QWidget *field, const std::string &text);

    GpibModule &m_gpib;
    MessageBoxService &m_boxes;
    ProgramEnd &m_programEnd;
    ShellService &m_shell;
    SettingsStore &m_store;
    MainFormUi m_ui;
    ChangeMarks m_marks{m_ui};
    EntryFields m_fields{*this};
    ModelProfile m_profile;
    bool m_startupRunning = false;
    bool m_unloaded = false;
    bool m_closed = false;
};
