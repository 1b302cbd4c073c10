#include "mainwindow/mainform.h"

#include "gpib/gpibmodule.h"
#include "gpib/messagebox.h"
#include "mainwindow/entryfield.h"
#include "version.h"

#include <QGuiApplication>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>

MainForm::MainForm(GpibModule &gpib, MessageBoxService &boxes, ProgramEnd &programEnd,
                   QWidget *parent)
    : QMainWindow(parent), m_gpib(gpib), m_boxes(boxes), m_programEnd(programEnd)
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

void MainForm::Form_Activate()
{
    if (StartupDone)
        return;
    if (m_profile.ModelIndex == 0) {
        m_boxes.show("No supported function generator (FG5010, AFG5101, AFG5102, PFG5105) found "
                     "on the bus !\n\nProgram will terminate.",
                     "Error", MessageBoxService::Buttons::Ok, MessageBoxService::Icon::Critical);
        m_programEnd.end();
    }
    StartupDone = true;
}

void MainForm::OptionClick(int16_t groupCode, int index)
{
    (void)groupCode;
    (void)index;
    if (SuppressEvents)
        return;
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

void MainForm::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
}
