#include "mainwindow/mainform.h"

#include "about/aboutform.h"
#include "about/specsheet.h"
#include "app/settingsstore.h"
#include "gpib/gpibmodule.h"
#include "gpib/messagebox.h"
#include "gpib/numberparse.h"
#include "instrument/commands.h"
#include "instrument/readback.h"
#include "instrument/storedsettings.h"
#include "instrument/validation.h"
#include "mainwindow/busycursor.h"
#include "mainwindow/entryfield.h"
#include "mainwindow/shapes.h"
#include "version.h"

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>

namespace {

// The six options, in menu order: their keys in the store and their defaults.
struct OptionItem
{
    QAction *MainFormUi::*item;
    const char *key;
    bool fallback;
};

constexpr OptionItem OptionItems[6] = {
    {&MainFormUi::Menu_StartSaved, "Start with saved settings", false},
    {&MainFormUi::Menu_SaveAtExit, "Save settings at Exit", false},
    {&MainFormUi::Menu_ApplyOptions, "Apply options changed immediately", false},
    {&MainFormUi::Menu_TurnOffOutput, "Turn off output at Start and Exit", true},
    {&MainFormUi::Menu_TurnOffAtChange, "Turn off output before change", true},
    {&MainFormUi::Menu_ConfirmOnOff, "Confirm output change", true},
};

} // namespace

MainForm::MainForm(GpibModule &gpib, const FormServices &services, QWidget *parent)
    : QMainWindow(parent), m_gpib(gpib), m_boxes(services.boxes),
      m_programEnd(services.programEnd), m_shell(services.shell), m_store(services.store)
{
    m_ui.setupUi(this);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    connectHandlers();
}

void MainForm::connectHandlers()
{
    // An option's click handler runs whenever the option becomes selected, by the user or
    // by the program: the handlers rely on SuppressEvents to tell the two apart.
    auto connectGroup = [this](auto &options, int16_t groupCode) {
        for (size_t i = 0; i < options.size(); ++i) {
            connect(options[i], &QRadioButton::toggled, this, [this, groupCode, i](bool on) {
                if (on)
                    OptionClick(groupCode, static_cast<int>(i));
            });
        }
    };
    connectGroup(m_ui.OutInto, 3);
    connectGroup(m_ui.WaveFunction, 4);
    connectGroup(m_ui.FreqMult, 5);

    connect(m_ui.Button_Apply, &QPushButton::clicked, this, &MainForm::Button_Apply_Click);
    connect(m_ui.Button_ToggleOutput, &QPushButton::clicked, this,
            &MainForm::Button_ToggleOutput_Click);
    connect(m_ui.Button_Refresh, &QPushButton::clicked, this, &MainForm::Button_Refresh_Click);
    connect(m_ui.Menu_InitFG, &QAction::triggered, this, &MainForm::Menu_InitFG_Click);
    connect(m_ui.Menu_About, &QAction::triggered, this, &MainForm::Menu_About_Click);
    connect(m_ui.Menu_Exit, &QAction::triggered, this, &QWidget::close);
    connect(m_ui.Button_SaveSettings, &QPushButton::clicked, this, &MainForm::SaveSettings);
    connect(m_ui.Menu_SaveSettings, &QAction::triggered, this, &MainForm::SaveSettings);
    connect(m_ui.Button_LoadSavedSettings, &QPushButton::clicked, this,
            &MainForm::LoadSavedSettingsAndApply);
    connect(m_ui.Menu_LoadlSavedSettings, &QAction::triggered, this,
            &MainForm::LoadSavedSettingsAndApply);
    for (int i = 0; i < 6; ++i) {
        // The item has toggled its own check mark by the time it reports the click.
        connect(m_ui.*OptionItems[i].item, &QAction::triggered, this,
                [this, i] { OptionItemClick(i); });
    }
    m_fields.connectFields();
}

void MainForm::Form_Load()
{
    m_gpib.IdentifyFunctionGenerator();
    if (m_gpib.DeviceHandle != 0)
        SelectModelProfile();
    setWindowTitle(QString::fromStdString(MainWindowTitle(m_gpib.ModelName)));
    m_marks.NormalBackColor = palette().color(QPalette::Active, QPalette::Window);

    SuppressEvents = true;
    m_ui.OutInto[m_profile.ModelIndex == 1 ? 0 : 1]->setChecked(true);
    SuppressEvents = false;
}

void MainForm::SelectModelProfile()
{
    m_profile = ::SelectModelProfile(m_gpib.ModelName);
    // These models have no variable symmetry.
    if (m_profile.ModelIndex == 2)
        m_ui.Symmetry->setEnabled(false);
}

std::string MainForm::section() const
{
    return SettingsSection(m_gpib.ModelName);
}

void MainForm::Form_Activate()
{
    // A box or a wait inside the start-up sequence may activate the window again before
    // the sequence is done: it runs once.
    if (StartupDone || m_startupRunning)
        return;
    if (m_profile.ModelIndex == 0) {
        m_boxes.show("No supported function generator (FG5010, AFG5101, AFG5102, PFG5105) found "
                     "on the bus !\n\nProgram will terminate.",
                     "Error", MessageBoxService::Buttons::Ok, MessageBoxService::Icon::Critical);
        m_programEnd.end();
    }
    m_startupRunning = true;
    const BusyCursor busy;
    m_ui.Menu_InitFG->setText(QString::fromStdString("Initialize " + m_gpib.ModelName));
    for (const OptionItem &o : OptionItems)
        (m_ui.*o.item)->setChecked(OptionValue(m_store.read(section(), o.key, ""), o.fallback));
    SavedSettingsExist = OptionValue(m_store.read(section(), "Saved Exist", ""), false);
    if (!SavedSettingsExist) {
        m_ui.Menu_LoadlSavedSettings->setEnabled(false);
        m_ui.Menu_StartSaved->setEnabled(false);
        m_ui.Button_LoadSavedSettings->setEnabled(false);
    }
    if (m_ui.Menu_TurnOffOutput->isChecked())
        SwitchOutputOffAtStart();
    else
        ReadOutputState();
    // The user may close the window while the start-up waits on the bus.
    if (m_closed) {
        m_startupRunning = false;
        return;
    }
    if (m_ui.Menu_StartSaved->isChecked()) {
        LoadSavedSettings();
        if (m_ui.Menu_TurnOffOutput->isChecked() || m_ui.Menu_TurnOffAtChange->isChecked())
            TurnOutputOff();
        ApplySettings();
    } else {
        RefreshFromInstrument();
    }
    StartupDone = true;
    m_startupRunning = false;
}

void MainForm::SwitchOutputOffAtStart()
{
    // Nothing has read the output yet, so what the window shows proves nothing: the
    // option promises an output that is off, so switch it off whatever it shows.
    if (!SendCommand(m_gpib.DeviceHandle, "OUT OFF"))
        return;
    OutputIsOn = false;
    ShowOutputState();
    m_gpib.Delay(1.0f);
}

void MainForm::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    for (size_t i = 0; i < std::size(OptionItems); ++i) {
        if (OptionChanged[i]) {
            const OptionItem &o = OptionItems[i];
            m_store.write(section(), o.key, OptionText((m_ui.*o.item)->isChecked()));
        }
    }
    GpibDriver &driver = m_gpib.driver();
    driver.ibclr(m_gpib.DeviceHandle);
    // Judged by the clear's own status: an error number left over from an earlier call
    // must not skip the save and the final "OUT OFF".
    const bool unreachable = (driver.ibsta() & gpib::ERR) &&
                             (driver.iberr() == gpib::ENOL || driver.iberr() == gpib::EBUS);
    if (!unreachable) {
        if (m_ui.Menu_SaveAtExit->isChecked())
            SaveSettings();
        if (m_ui.Menu_TurnOffOutput->isChecked())
            m_gpib.WriteCommand(m_gpib.DeviceHandle, "OUT OFF");
    }
    m_closed = true;
}

void MainForm::OptionItemClick(int index)
{
    OptionChanged[static_cast<size_t>(index)] = true;
    m_ui.Amplitude->setFocus();
}

// --- Saved settings ---

void MainForm::SaveSettings()
{
    if (m_closed)
        return;
    // What is stored is the instrument's state, not edits that were never applied.
    ReadAllSettings();
    // Closed while reading: the reads after the close came back empty, and storing them
    // would overwrite the settings saved at exit with zeros.
    if (m_closed)
        return;
    const SettingsSnapshot s = settings();
    const std::string sec = section();
    m_store.write(sec, "Amplitude", s.Amplitude);
    m_store.write(sec, "Offset", s.Offset);
    m_store.write(sec, "50 Ohm", s.load == OutputLoad::FiftyOhms ? "1" : "0");
    m_store.write(sec, "Function", std::to_string(s.SelectedFunction));
    m_store.write(sec, "Frequency", s.Frequency);
    m_store.write(sec, "Frequency Multiplier", std::to_string(s.FrequencyMultiplier));
    m_store.write(sec, "Symmetry", s.Symmetry);
    if (!SavedSettingsExist) {
        m_store.write(sec, "Saved Exist", "True");
        SavedSettingsExist = true;
        m_ui.Menu_LoadlSavedSettings->setEnabled(true);
        m_ui.Menu_StartSaved->setEnabled(true);
        m_ui.Button_LoadSavedSettings->setEnabled(true);
    }
    m_ui.Amplitude->setFocus();
}

void MainForm::LoadSavedSettings()
{
    SuppressEvents = true;
    const std::string sec = section();
    const StoredSettings saved = ReadStoredSettings(
        [this, &sec](const char *key, const char *fallback) {
            return m_store.read(sec, key, fallback);
        },
        m_profile.ModelIndex);
    m_ui.OutInto[saved.loadOption]->setChecked(true);
    setFieldText(m_ui.Amplitude, saved.Amplitude);
    setFieldText(m_ui.Offset, saved.Offset);
    m_ui.WaveFunction[saved.waveformOption]->setChecked(true);
    setFieldText(m_ui.Frequency, saved.Frequency);
    m_ui.FreqMult[saved.unitOption]->setChecked(true);
    if (m_profile.ModelIndex != 2)
        setFieldText(m_ui.Symmetry, saved.Symmetry);

    ChangeMarks::markField(m_ui.Amplitude, false);
    ChangeMarks::markField(m_ui.Offset, false);
    m_marks.SetGroupMark(3);
    m_marks.SetGroupMark(4);
    m_marks.SetGroupMark(5);
    ChangeMarks::markField(m_ui.Frequency, false);
    ReadOutputState();
    SuppressEvents = false;
}

void MainForm::LoadSavedSettingsAndApply()
{
    LoadSavedSettings();
    if (m_ui.Menu_TurnOffAtChange->isChecked())
        TurnOutputOff();
    ApplySettings();
}

// --- Fields and options ---

std::string MainForm::fieldText(const QWidget *field) const
{
    // The bus carries 8-bit characters.
    return static_cast<const QLineEdit *>(field)->text().toLatin1().toStdString();
}

void MainForm::setFieldText(QWidget *field, const std::string &text)
{
    static_cast<EntryField *>(field)->setProgramText(QString::fromLatin1(text));
}

int16_t MainForm::FrequencyMultiplier() const
{
    if (m_ui.FreqMult[1]->isChecked())
        return 3;
    if (m_ui.FreqMult[2]->isChecked())
        return 6;
    return 0;
}

int16_t MainForm::SelectedFunction() const
{
    for (int16_t i = 0; i < 3; ++i) {
        if (m_ui.WaveFunction[static_cast<size_t>(i)]->isChecked())
            return i;
    }
    return 3;
}

SettingsSnapshot MainForm::settings() const
{
    SettingsSnapshot s;
    s.Amplitude = fieldText(m_ui.Amplitude);
    s.Offset = fieldText(m_ui.Offset);
    s.Frequency = fieldText(m_ui.Frequency);
    s.Symmetry = fieldText(m_ui.Symmetry);
    s.load = m_ui.OutInto[1]->isChecked() ? OutputLoad::FiftyOhms : OutputLoad::OpenCircuit;
    s.FrequencyMultiplier = FrequencyMultiplier();
    s.SelectedFunction = SelectedFunction();
    return s;
}

// --- Sending settings and switching the output ---

bool MainForm::SendCommand(int16_t &handle, const std::string &text)
{
    // An empty line is a field text that was no number: nothing goes out.
    if (m_closed || text.empty())
        return false;
    // A device clear first, so that the instrument takes the line from a clean start.
    m_gpib.driver().ibclr(handle);
    m_gpib.WriteCommand(handle, text);
    return !m_gpib.GpibErrorFlag;
}

bool MainForm::ValidateSettings(int16_t scope)
{
    if (m_closed)
        return false;
    const std::string errors = SettingErrors(scope, settings(), m_profile);
    if (errors.empty())
        return true;
    const auto answer = m_boxes.show(SettingErrorBoxText(errors, m_gpib.ModelName),
                                     "Setting Error", MessageBoxService::Buttons::YesNo,
                                     MessageBoxService::Icon::Critical);
    if (answer == MessageBoxService::Answer::Yes)
        Menu_About_Click();
    return false;
}

void MainForm::ApplySettings()
{
    if (m_closed)
        return;
    const BusyCursor busy;
    if (!ValidateSettings(0))
        return;
    // A line that did not reach the instrument leaves its changes marked and Apply enabled.
    if (SendCommand(m_gpib.DeviceHandle, SettingLine(settings(), m_profile.ModelIndex))) {
        m_marks.ClearChangeMarks();
        m_marks.UpdateCommandStates(-1);
    }
    m_ui.Button_ToggleOutput->setFocus();
}

void MainForm::TurnOutputOff()
{
    if (!OutputIsOn)
        return;
    // If the command did not go through the output is still on: nothing to wait for.
    if (!SendCommand(m_gpib.DeviceHandle, "OUT OFF"))
        return;
    OutputIsOn = false;
    ShowOutputState();
    m_gpib.Delay(1.0f);
}

void MainForm::ShowOutputState()
{
    m_ui.ActualOutput->setText(OutputIsOn ? QStringLiteral("ON") : QStringLiteral("OFF"));
    m_ui.Shape1->setFillColor(OutputIsOn ? QColor(0, 255, 0) : QColor(255, 0, 0));
    m_ui.Button_ToggleOutput->setText(OutputIsOn ? QStringLiteral("&Turn OFF Output")
                                                 : QStringLiteral("&Turn ON Output"));
}

void MainForm::Button_Apply_Click()
{
    ApplySettings();
}

void MainForm::Button_ToggleOutput_Click()
{
    if (m_closed)
        return;
    const std::string target = OutputIsOn ? "OFF" : "ON";
    if (m_ui.Menu_ConfirmOnOff->isChecked()) {
        const auto answer = m_boxes.show("Confirm turning " + target + " output.", "Change Output",
                                         MessageBoxService::Buttons::YesNo,
                                         MessageBoxService::Icon::Exclamation);
        if (answer == MessageBoxService::Answer::No)
            return;
    }
    if (!SendCommand(m_gpib.DeviceHandle, "OUT " + target))
        return;
    OutputIsOn = !OutputIsOn;
    ShowOutputState();
}

void MainForm::OptionClick(int16_t groupCode, int index)
{
    (void)index;
    if (SuppressEvents)
        return;
    if (m_ui.Menu_ApplyOptions->isChecked())
        Button_Apply_Click();
    else
        m_marks.SetGroupMark(static_cast<int16_t>(-groupCode));
    m_marks.UpdateCommandStates(3);
}

// --- Reading the instrument back ---

std::string MainForm::Query(const std::string &query)
{
    if (m_closed)
        return {};
    return m_gpib.QueryInstrument(m_gpib.DeviceHandle, query);
}

void MainForm::ReadAmplitude()
{
    const float volts = VoltsFromReply(ReplyValue(Query("AMPL?"), "AMPL"));
    const double factor = LoadFactor(m_profile.ModelIndex, settings().load);
    setFieldText(m_ui.Amplitude, FieldText(static_cast<float>(volts / factor), 104));
}

void MainForm::ReadOffset()
{
    const float volts = VoltsFromReply(ReplyValue(Query("OFFS?"), "OFFS"));
    const double factor = LoadFactor(m_profile.ModelIndex, settings().load);
    setFieldText(m_ui.Offset, FieldText(static_cast<float>(volts / factor), 104));
}

void MainForm::ReadFrequency()
{
    const FrequencyReading f = FrequencyFromReply(ReplyValue(Query("FREQ?"), "FREQ"));
    // The unit first: its click handler runs as for a user's click unless events are
    // suppressed.
    m_ui.FreqMult[static_cast<size_t>(f.unitIndex)]->setChecked(true);
    setFieldText(m_ui.Frequency, FieldText(f.value, 104));
}

void MainForm::ReadFunction()
{
    const int option = WaveformFromReply(ReplyValue(Query("FUNC?"), "FUNC"));
    m_ui.WaveFunction[static_cast<size_t>(option)]->setChecked(true);
}

void MainForm::ReadSymmetry()
{
    const float symmetry =
        static_cast<float>(LeadingNumber(ReplyValue(Query("SYM?"), "SYM")));
    setFieldText(m_ui.Symmetry, FieldText(symmetry, 2));
}

void MainForm::ReadOutputState()
{
    OutputIsOn = OutputOnFromReply(Query("OUT?"));
    ShowOutputState();
}

void MainForm::ReadAllSettings()
{
    const BusyCursor busy;
    ReadAmplitude();
    ReadOffset();
    ReadFrequency();
    ReadFunction();
    // The AFG5101 and PFG5105 have no symmetry query: asking would cost a timeout and an
    // error box on every save.
    if (m_profile.ModelIndex == 2)
        setFieldText(m_ui.Symmetry, "50");
    else
        ReadSymmetry();
    ReadOutputState();
    m_gpib.processPendingEvents();
}

void MainForm::RefreshFromInstrument()
{
    const BusyCursor busy;
    SuppressEvents = true;
    ReadAmplitude();
    ReadOffset();
    ReadFunction();
    ReadFrequency();
    if (m_profile.ModelIndex == 2)
        setFieldText(m_ui.Symmetry, "50");
    else
        ReadSymmetry();
    ReadOutputState();
    m_marks.ClearChangeMarks();
    m_marks.UpdateCommandStates(-1);
    m_marks.UpdateCommandStates(2);
    m_ui.Button_ToggleOutput->setFocus();
    SuppressEvents = false;
}

void MainForm::Button_Refresh_Click()
{
    RefreshFromInstrument();
}

void MainForm::Menu_InitFG_Click()
{
    if (m_closed)
        return;
    m_gpib.WriteCommand(m_gpib.DeviceHandle, "INIT");
    RefreshFromInstrument();
}

void MainForm::Menu_About_Click()
{
    const int16_t address = m_gpib.AddressForDeviceHandle(m_gpib.DeviceHandle);
    // Built afresh for each opening and gone when it closes.
    AboutForm about(SpecSheet(m_profile, m_gpib.ModelName, address), m_shell, this);
    about.exec();
}

void MainForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (event->spontaneous())
        return;
    if (!StartupDone) {
        // Centred on the screen when it first opens.
        if (const QScreen *s = screen())
            move(s->availableGeometry().center() - rect().center());
        // Ask to be activated, so that the start-up sequence also runs where no window
        // manager activates new windows.
        activateWindow();
    }
}

void MainForm::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    QMainWindow::closeEvent(event);
}

bool MainForm::focusNextPrevChild(bool next)
{
    QWidget *target = m_ui.nextInTabChain(focusWidget(), next);
    if (!target)
        return QMainWindow::focusNextPrevChild(next);
    target->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

void MainForm::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
}
