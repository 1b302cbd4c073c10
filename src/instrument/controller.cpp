#include "instrument/controller.h"

#include "instrument/specsheet.h"
#include "gpib/gpibmodule.h"
#include "gpib/messagebox.h"
#include "text/numberparse.h"
#include "instrument/commands.h"
#include "instrument/readback.h"
#include "instrument/settingsstore.h"
#include "instrument/storedsettings.h"
#include "instrument/validation.h"
#include "text/version.h"

#include <cstdlib>

namespace {

// The options' keys in the store and their defaults, in menu order.
struct OptionItem
{
    const char *key;
    bool fallback;
};

constexpr OptionItem OptionItems[6] = {
    {"Start with saved settings", false},
    {"Save settings at Exit", false},
    {"Apply options changed immediately", false},
    {"Turn off output at Start and Exit", true},
    {"Turn off output before change", true},
    {"Confirm output change", true},
};

} // namespace

Controller::Controller(MainView &view, GpibModule &gpib, MessageBoxService &boxes,
                       ProgramEnd &programEnd, SettingsStore &store)
    : m_view(view), m_gpib(gpib), m_boxes(boxes), m_programEnd(programEnd), m_store(store)
{}

std::string Controller::section() const
{
    return SettingsSection(m_gpib.modelName());
}

// --- Start and end ---

void Controller::Form_Load()
{
    m_gpib.IdentifyFunctionGenerator(m_address);
    if (m_gpib.deviceHandle() != 0) {
        m_profile = SelectModelProfile(m_gpib.modelName());
        // These models have no variable symmetry.
        if (!HasSymmetry(m_profile.ModelIndex))
            m_view.setFieldEnabled(Field::Symmetry, false);
    }
    m_view.setTitle(MainWindowTitle(m_gpib.modelName()));
    const EventGuard::Scope quiet(SuppressEvents);
    m_view.selectOption(Group::Load, m_profile.ModelIndex == Model::FG5010 ? 0 : 1);
}

void Controller::Form_Activate()
{
    // A box or a wait inside the start-up sequence may activate the window again before
    // the sequence is done (a closing box hands the activation back): it runs once.
    if (StartupDone || m_startupRunning)
        return;
    m_startupRunning = true;
    if (m_profile.ModelIndex == Model::None)
        EndWithoutGenerator();
    const BusyScope busy(m_view);
    m_view.setInitCaption("Initialize " + m_gpib.modelName());
    for (size_t i = 0; i < std::size(OptionItems); ++i)
        m_view.setChecked(static_cast<Option>(i),
                          OptionValue(m_store.read(section(), OptionItems[i].key, ""),
                                      OptionItems[i].fallback));
    SavedSettingsExist = OptionValue(m_store.read(section(), "Saved Exist", ""), false);
    if (!SavedSettingsExist)
        m_view.setCommandEnabled(Command::LoadSaved, false);
    // Nothing has read the output yet, so what the window shows proves nothing: the
    // option promises an output that is off, so switch it off whatever it shows.
    if (m_view.isChecked(Option::TurnOffOutput))
        SwitchOutputOff();
    else
        ReadOutputState();
    // The user may close the window while the start-up waits on the bus.
    if (m_closed) {
        m_startupRunning = false;
        return;
    }
    if (m_view.isChecked(Option::StartSaved)) {
        LoadSavedSettings();
        if (m_view.isChecked(Option::TurnOffOutput) || m_view.isChecked(Option::TurnOffAtChange))
            TurnOutputOff();
        ApplySettings();
    } else {
        RefreshFromInstrument();
    }
    StartupDone = true;
    m_startupRunning = false;
}

void Controller::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    bool stored = true;
    for (size_t i = 0; i < std::size(OptionItems); ++i) {
        if (OptionChanged[i])
            stored &= m_store.write(section(), OptionItems[i].key,
                                    OptionText(m_view.isChecked(static_cast<Option>(i))));
    }
    if (!stored)
        TellStoreFailure();
    GpibDriver &driver = m_gpib.driver();
    driver.ibclr(m_gpib.deviceHandle());
    // Judged by the clear's own status: an error number left over from an earlier call
    // must not skip the save and the final "OUT OFF".
    const bool unreachable = (driver.ibsta() & gpib::ERR) &&
                             (driver.iberr() == gpib::ENOL || driver.iberr() == gpib::EBUS);
    if (!unreachable) {
        if (m_view.isChecked(Option::SaveAtExit))
            SaveSettings();
        if (m_view.isChecked(Option::TurnOffOutput))
            m_gpib.WriteCommand(m_gpib.deviceHandle(), "OUT OFF");
    }
    m_closed = true;
}

void Controller::OptionItemClick(Option o)
{
    OptionChanged[static_cast<size_t>(o)] = true;
    m_view.moveFocus(FocusTarget::Amplitude);
}

// --- Saved settings ---

void Controller::SaveSettings()
{
    if (m_closed)
        return;
    // What is stored is the instrument's state, not edits that were never applied.
    // Counted, not flagged: a save the user starts while this one waits on the bus must not
    // hide this one's failures.
    const unsigned failedBefore = m_failedQueries;
    ReadAllSettings();
    // A read that failed (its box has said why), or the window closed while reading, leaves
    // empty fields behind: storing them would overwrite the saved set with zeros.
    if (m_closed || m_failedQueries != failedBefore)
        return;
    const SettingsSnapshot s = settings();
    SettingsStore::Values values = {
        {"Amplitude", s.Amplitude},
        {"Offset", s.Offset},
        {"50 Ohm", s.load == OutputLoad::FiftyOhms ? "1" : "0"},
        {"Function", std::to_string(s.SelectedFunction)},
        {"Frequency", s.Frequency},
        {"Frequency Multiplier", std::to_string(s.FrequencyMultiplier)},
        {"Symmetry", s.Symmetry},
    };
    if (!SavedSettingsExist)
        values.emplace_back("Saved Exist", "True");
    // A store that refused the set has nothing new to load: the commands stay as they were.
    if (!m_store.write(section(), values)) {
        TellStoreFailure();
        return;
    }
    if (!SavedSettingsExist) {
        SavedSettingsExist = true;
        m_view.setCommandEnabled(Command::LoadSaved, true);
    }
    m_view.moveFocus(FocusTarget::Amplitude);
}

void Controller::TellStoreFailure()
{
    // Closing is one action: options and the save at exit that both fail give one box.
    if (m_unloaded) {
        if (m_toldStoreFailureAtExit)
            return;
        m_toldStoreFailureAtExit = true;
    }
    m_boxes.show("Settings could not be stored in\n" + m_store.location() +
                     "\n\nCheck that it can be written.",
                 AppTitle, MessageBoxService::Buttons::Ok, MessageBoxService::Icon::Exclamation);
}

void Controller::LoadSavedSettings()
{
    const EventGuard::Scope quiet(SuppressEvents);
    const std::string sec = section();
    const StoredSettings saved = ReadStoredSettings(
        [this, &sec](const char *key, const char *fallback) {
            return m_store.read(sec, key, fallback);
        },
        m_profile.ModelIndex);
    m_view.selectOption(Group::Load, static_cast<int>(saved.loadOption));
    m_view.setFieldText(Field::Amplitude, saved.Amplitude);
    m_view.setFieldText(Field::Offset, saved.Offset);
    m_view.selectOption(Group::Waveform, static_cast<int>(saved.waveformOption));
    m_view.setFieldText(Field::Frequency, saved.Frequency);
    m_view.selectOption(Group::Unit, static_cast<int>(saved.unitOption));
    if (HasSymmetry(m_profile.ModelIndex))
        m_view.setFieldText(Field::Symmetry, saved.Symmetry);

    m_view.markField(Field::Amplitude, false);
    m_view.markField(Field::Offset, false);
    markGroup(Group::Load, false);
    markGroup(Group::Waveform, false);
    markGroup(Group::Unit, false);
    m_view.markField(Field::Frequency, false);
    ReadOutputState();
}

void Controller::LoadSavedSettingsAndApply()
{
    LoadSavedSettings();
    if (m_view.isChecked(Option::TurnOffAtChange))
        TurnOutputOff();
    ApplySettings();
}

// --- Sending settings and switching the output ---

SettingsSnapshot Controller::settings() const
{
    SettingsSnapshot s;
    s.Amplitude = m_view.fieldText(Field::Amplitude);
    s.Offset = m_view.fieldText(Field::Offset);
    s.Frequency = m_view.fieldText(Field::Frequency);
    s.Symmetry = m_view.fieldText(Field::Symmetry);
    s.load = m_view.selectedOption(Group::Load) == 1 ? OutputLoad::FiftyOhms : OutputLoad::OpenCircuit;
    const int unit = m_view.selectedOption(Group::Unit);
    s.FrequencyMultiplier = unit == 1 ? 3 : unit == 2 ? 6 : 0;
    const int wave = m_view.selectedOption(Group::Waveform);
    s.SelectedFunction = static_cast<int16_t>(wave < 0 ? 3 : wave);
    return s;
}

bool Controller::SendCommand(int16_t handle, const std::string &text)
{
    if (m_closed || text.empty())
        return false;
    // A device clear first, so that the instrument takes the line from a clean start.
    m_gpib.driver().ibclr(handle);
    m_gpib.WriteCommand(handle, text);
    return !m_gpib.gpibErrorFlag();
}

bool Controller::ValidateSettings(int16_t scope)
{
    if (m_closed)
        return false;
    const std::string errors = SettingErrors(scope, settings(), m_profile);
    if (errors.empty())
        return true;
    const auto answer = m_boxes.show(SettingErrorBoxText(errors, m_gpib.modelName()),
                                     "Setting Error", MessageBoxService::Buttons::YesNo,
                                     MessageBoxService::Icon::Critical);
    if (answer == MessageBoxService::Answer::Yes)
        Menu_About_Click();
    return false;
}

void Controller::ApplySettings()
{
    if (m_closed)
        return;
    const BusyScope busy(m_view);
    if (!ValidateSettings(CheckAll))
        return;
    // A line that did not reach the instrument leaves its changes marked and Apply enabled.
    if (SendCommand(m_gpib.deviceHandle(), SettingLine(settings(), m_profile.ModelIndex))) {
        ClearChangeMarks();
        setCommandsEnabled({Command::Apply}, false);
    }
    m_view.moveFocus(FocusTarget::ToggleOutput);
}

void Controller::TurnOutputOff()
{
    if (OutputIsOn)
        SwitchOutputOff();
}

void Controller::SwitchOutputOff()
{
    // If the command did not go through the output is still on: nothing to wait for.
    if (!SendCommand(m_gpib.deviceHandle(), "OUT OFF"))
        return;
    OutputIsOn = false;
    ShowOutputState();
    const BusyScope busy(m_view); // a second for the output to settle
    m_gpib.Delay(1.0f);
}

void Controller::ShowOutputState()
{
    m_view.showOutputState(OutputIsOn);
}

void Controller::Button_ToggleOutput_Click()
{
    if (m_closed)
        return;
    const std::string target = OutputIsOn ? "OFF" : "ON";
    if (m_view.isChecked(Option::ConfirmOnOff)) {
        const auto answer = m_boxes.show("Confirm turning " + target + " output.", "Change Output",
                                         MessageBoxService::Buttons::YesNo,
                                         MessageBoxService::Icon::Exclamation);
        if (answer == MessageBoxService::Answer::No)
            return;
    }
    if (!SendCommand(m_gpib.deviceHandle(), "OUT " + target))
        return;
    OutputIsOn = !OutputIsOn;
    ShowOutputState();
}

void Controller::OptionClick(Group g)
{
    if (SuppressEvents)
        return;
    if (m_view.isChecked(Option::ApplyOptions))
        Button_Apply_Click();
    else
        markGroup(g, true);
    setCommandsEnabled({Command::Apply, Command::Save}, true);
}

void Controller::Menu_InitFG_Click()
{
    if (m_closed)
        return;
    m_gpib.WriteCommand(m_gpib.deviceHandle(), "INIT");
    RefreshFromInstrument();
}

void Controller::Menu_About_Click()
{
    const int16_t address = m_gpib.AddressForDeviceHandle(m_gpib.deviceHandle());
    m_view.showAbout(SpecSheet(m_profile, m_gpib.modelName(), address));
}

// --- Change marks ---

void Controller::SetGroupMark(int16_t code)
{
    const int magnitude = std::abs(code);
    if (magnitude >= 3 && magnitude <= 5)
        m_view.markGroup(static_cast<Group>(magnitude), code < 0);
}

void Controller::ReleaseApplyIfClean(int16_t code)
{
    // In item-code order; a group is judged by its frame alone.
    const auto marked = [this](int16_t item) {
        switch (item) {
        case 1:
            return m_view.isFieldMarked(Field::Amplitude);
        case 2:
            return m_view.isFieldMarked(Field::Offset);
        case 3:
            return m_view.isGroupMarked(Group::Load);
        case 4:
            return m_view.isGroupMarked(Group::Waveform);
        case 5:
            return m_view.isFieldMarked(Field::Frequency);
        case 6:
            return m_view.isGroupMarked(Group::Unit);
        default:
            return m_view.isFieldMarked(Field::Symmetry);
        }
    };
    for (int16_t item = 1; item <= 7; ++item) {
        if (item != code && marked(item))
            return;
    }
    setCommandsEnabled({Command::Apply}, false);
}

void Controller::UpdateCommandStates(int16_t code)
{
    const bool enabled = code > 0;
    const int magnitude = std::abs(code);
    if (magnitude > 1)
        m_view.setCommandEnabled(Command::Save, enabled);
    if (magnitude == 1 || magnitude == 3)
        m_view.setCommandEnabled(Command::Apply, enabled);
}

void Controller::markGroup(Group g, bool marked)
{
    const auto code = static_cast<int16_t>(g);
    SetGroupMark(marked ? static_cast<int16_t>(-code) : code);
}

void Controller::releaseApplyIfClean(Field f)
{
    constexpr int16_t items[] = {1, 2, 5, 7}; // in Field's order
    ReleaseApplyIfClean(items[static_cast<size_t>(f)]);
}

void Controller::setCommandsEnabled(std::initializer_list<Command> commands, bool enabled)
{
    int16_t code = 0;
    for (const Command c : commands)
        code = static_cast<int16_t>(code | (c == Command::Apply ? 1 : c == Command::Save ? 2 : 0));
    UpdateCommandStates(enabled ? code : static_cast<int16_t>(-code));
}

void Controller::ClearChangeMarks()
{
    m_view.markField(Field::Amplitude, false);
    m_view.markField(Field::Offset, false);
    markGroup(Group::Load, false);
    markGroup(Group::Waveform, false);
    m_view.markField(Field::Frequency, false);
    markGroup(Group::Unit, false);
    m_view.markField(Field::Symmetry, false);
}
