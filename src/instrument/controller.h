#pragma once

#include "instrument/mainview.h"
#include "instrument/profile.h"
#include "instrument/settings.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>

class GeneratorLauncher;
class GpibModule;
class MessageBoxService;
class ProgramEnd;
class SettingsStore;

// The main window's procedures without the window: sending settings and switching the
// output, reading the instrument back, the entry fields' rules, the change marks, the
// options, the saved settings and the start-up and shut-down sequences. It reaches the
// window through MainView only; the window forwards its controls' events here.
//
// Raised while the program itself writes to the controls: the change, focus and option
// handlers then do nothing. Counted, because a handler that runs inside another's wait may
// raise and lower it too, and must not lower the outer one's.
class EventGuard
{
public:
    explicit operator bool() const { return m_depth > 0; }

    class Scope
    {
    public:
        explicit Scope(EventGuard &guard) : m_guard(guard) { ++m_guard.m_depth; }
        ~Scope() { --m_guard.m_depth; }
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        EventGuard &m_guard;
    };

private:
    int m_depth = 0;
};

// Everything runs on the window's one thread. The waits inside the bus I/O let other
// handlers run in the middle of an exchange; SuppressEvents is the only guard.
class Controller
{
public:
    Controller(MainView &view, GpibModule &gpib, MessageBoxService &boxes, ProgramEnd &programEnd,
               SettingsStore &store);

    MainView &view() { return m_view; }
    const ModelProfile &profile() const { return m_profile; }
    GpibModule &gpib() { return m_gpib; }

    // --- Start and end ---

    // The generator this window is for, by its address (1 to 30); 0, the default, takes
    // the first generator on the bus. Set before the load step.
    void chooseAddress(int16_t address) { m_address = address; }
    // What starts a window for another generator (none: it cannot be started).
    void setLauncher(GeneratorLauncher *launcher) { m_launcher = launcher; }

    // Before the window is first shown: finds and identifies the instrument, chooses its
    // profile, sets the title and the start state.
    void Form_Load();
    // The first activation's start-up sequence; later activations do nothing.
    void Form_Activate();
    // Closing the window: stores the changed options, then saves the settings and
    // switches the output off as the options say. Runs once; a store that refuses what
    // it writes gets one box, and the close goes on.
    void Form_Unload();
    // True once the shut-down sequence is over: nothing more is sent, even from a
    // handler that was waiting on the bus when the window closed.
    bool closed() const { return m_closed; }

    // --- Sending settings and switching the output ---

    // Device clear, then the line; true when the write went through. An empty line
    // (a field text that was no number) is not sent: false.
    bool SendCommand(int16_t handle, const std::string &text);
    // Checks everything and sends it as one line.
    void ApplySettings();
    // Switches the output off if it is on, then waits a second.
    void TurnOutputOff();
    // Checks the settings of `scope` (0 all, 1 amplitude and offset, 5 frequency and
    // symmetry); shows the "Setting Error" box, whose Yes opens About, when any is out
    // of range.
    bool ValidateSettings(int16_t scope);
    static constexpr int16_t CheckAll = 0, CheckVolts = 1, CheckFrequency = 5;
    SettingsSnapshot settings() const;

    // --- Reading the instrument back ---

    // A query to the instrument; "" once the window is closed.
    std::string Query(const std::string &query);
    void ReadAllSettings();
    void RefreshFromInstrument();

    // --- Saved settings and options ---

    // Reads the instrument back and stores its settings for this model. A store that
    // refuses them gets a box, and Load Settings stays as it was.
    void SaveSettings();
    // Fills the window from the stored settings; sends nothing.
    void LoadSavedSettings();
    // The load commands: the stored settings into the window, then to the instrument.
    void LoadSavedSettingsAndApply();

    // --- Handlers of the window's controls ---

    void Button_Apply_Click() { ApplySettings(); }
    void Button_ToggleOutput_Click();
    void Button_Refresh_Click() { RefreshFromInstrument(); }
    void Menu_InitFG_Click();
    void Menu_About_Click();
    // Asks the other listeners, offers the supported generators among them and starts a
    // window for the one picked.
    void Menu_OpenAnother_Click();
    // An option of a group became selected, by the user or the program.
    void OptionClick(Group g);
    // A click on one of the six option items; the item has toggled its mark already.
    void OptionItemClick(Option o);

    // The entry fields.
    void Change(Field f);
    void GotFocus(Field f);
    void LostFocus(Field f);
    void DblClick(Field f);
    // Sees each typed character first (Enter 13, Backspace 8, Ctrl+V 22); sets it to 0
    // to discard it.
    void KeyPress(Field f, int16_t &keyAscii);

    // --- Change marks. Item codes: 1 amplitude, 2 offset, 3 load group, 4 waveform
    // group, 5 frequency, 6 unit group, 7 symmetry. Group codes: 3, 4, 5. ---

    // Below 0 marks, 0 and above unmarks the group named by the magnitude.
    void SetGroupMark(int16_t code);
    // Disables Apply unless an item other than `code` is still marked.
    void ReleaseApplyIfClean(int16_t code);
    // Sign: enable or disable. Magnitude 1: Apply; 2: the save commands; 3: both.
    void UpdateCommandStates(int16_t code);
    // The typed doors to the three above, which the procedures use.
    void markGroup(Group g, bool marked);
    void releaseApplyIfClean(Field f);
    // Apply and Save only (LoadSaved has rules of its own).
    void setCommandsEnabled(std::initializer_list<Command> commands, bool enabled);
    // Unmarks every field and group; leaves the commands alone.
    void ClearChangeMarks();

    // --- State the window and the tests look at ---

    // Raised while the controls are written by the program, not the user; a view that
    // fills its own controls raises it too.
    EventGuard &eventGuard() { return SuppressEvents; }
    // True once the first activation's start-up sequence has ended.
    bool startupDone() const { return StartupDone; }
    // The output as last switched or read back.
    bool outputIsOn() const { return OutputIsOn; }
    // True when this model has a stored set that Load Settings can load.
    bool savedSettingsExist() const { return SavedSettingsExist; }

private:
    void Commit(Field f);
    // The one box of a user action whose settings the store refused.
    void TellStoreFailure();
    // The box that ends a program that found no supported generator (at its address).
    [[noreturn]] void EndWithoutGenerator();
    // "OUT OFF", then a second for the output to settle.
    void SwitchOutputOff();
    void ReadSymmetryOrFifty();
    void ShowOutputState();
    void ReadAmplitude();
    void ReadOffset();
    void ReadFrequency();
    void ReadFunction();
    void ReadSymmetry();
    void ReadOutputState();
    bool holdsValue(Field f) const;
    std::string command(Field f) const;
    std::string section() const;

    EventGuard SuppressEvents;
    bool StartupDone = false;
    bool OutputIsOn = false;
    bool SavedSettingsExist = false;
    std::array<bool, 6> OptionChanged{}; // clicked since the start: stored at the close
    // The text of the field that last received the focus, taken at that moment.
    std::string FocusText;

    MainView &m_view;
    GpibModule &m_gpib;
    MessageBoxService &m_boxes;
    ProgramEnd &m_programEnd;
    SettingsStore &m_store;
    ModelProfile m_profile;
    int16_t m_address = 0;
    GeneratorLauncher *m_launcher = nullptr;
    bool m_startupRunning = false;
    bool m_unloaded = false;
    bool m_closed = false;
    bool m_toldStoreFailureAtExit = false;
    unsigned m_failedQueries = 0; // queries that came back empty
};
