#include "mainwindow/mainform.h"

#include "about/aboutform.h"
#include "mainwindow/entryfield.h"
#include "mainwindow/shapes.h"

#include <QAction>
#include <QCursor>
#include <QFrame>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>

const QColor MainForm::ChangeColor(255, 128, 128);

namespace {

constexpr Field Fields[] = {Field::Amplitude, Field::Offset, Field::Frequency, Field::Symmetry};
constexpr Group Groups[] = {Group::Load, Group::Waveform, Group::Unit};

void setBackground(QWidget *w, QPalette::ColorRole role, const QColor &color)
{
    QPalette p = w->palette();
    p.setColor(role, color);
    w->setPalette(p);
}

// The unmarked colour of the entry fields: the system's background of editable text.
QColor fieldBackground()
{
    return QGuiApplication::palette().color(QPalette::Active, QPalette::Base);
}

} // namespace

MainForm::MainForm(GpibModule &gpib, const FormServices &services, QWidget *parent)
    : QMainWindow(parent), m_shell(services.shell),
      m_controller(*this, gpib, services.boxes, services.programEnd, services.store)
{
    m_controller.chooseAddress(services.address);
    m_controller.setLauncher(services.launcher);
    m_ui.setupUi(this);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    connectHandlers();
}

void MainForm::connectHandlers()
{
    Controller &c = m_controller;
    for (const Field f : Fields) {
        EntryField *w = field(f);
        // The change handler runs on every change of the text, the program's included.
        connect(w, &QLineEdit::textChanged, this, [&c, f] { c.Change(f); });
        connect(w, &EntryField::focusReceived, this, [&c, f] { c.GotFocus(f); });
        connect(w, &EntryField::focusLost, this, [&c, f] { c.LostFocus(f); });
        connect(w, &EntryField::doubleClicked, this, [&c, f] { c.DblClick(f); });
        connect(w, &EntryField::keyPress, this, [&c, f](int16_t &key) { c.KeyPress(f, key); });
    }
    // An option's click handler runs whenever the option becomes selected, by the user or
    // by the program: the controller tells the two apart by SuppressEvents.
    for (const Group g : Groups) {
        for (QRadioButton *o : options(g))
            connect(o, &QRadioButton::toggled, this, [&c, g](bool on) {
                if (on)
                    c.OptionClick(g);
            });
    }
    connect(m_ui.Button_Apply, &QPushButton::clicked, this, [&c] { c.Button_Apply_Click(); });
    connect(m_ui.Button_ToggleOutput, &QPushButton::clicked, this, [&c] { c.Button_ToggleOutput_Click(); });
    connect(m_ui.Button_Refresh, &QPushButton::clicked, this, [&c] { c.Button_Refresh_Click(); });
    connect(m_ui.Menu_InitFG, &QAction::triggered, this, [&c] { c.Menu_InitFG_Click(); });
    connect(m_ui.Menu_About, &QAction::triggered, this, [&c] { c.Menu_About_Click(); });
    connect(m_ui.Menu_OpenAnother, &QAction::triggered, this, [&c] { c.Menu_OpenAnother_Click(); });
    connect(m_ui.Menu_Exit, &QAction::triggered, this, &QWidget::close);
    connect(m_ui.Button_SaveSettings, &QPushButton::clicked, this, [&c] { c.SaveSettings(); });
    connect(m_ui.Menu_SaveSettings, &QAction::triggered, this, [&c] { c.SaveSettings(); });
    connect(m_ui.Button_LoadSavedSettings, &QPushButton::clicked, this, [&c] { c.LoadSavedSettingsAndApply(); });
    connect(m_ui.Menu_LoadlSavedSettings, &QAction::triggered, this, [&c] { c.LoadSavedSettingsAndApply(); });
    for (int i = 0; i < 6; ++i) {
        // The item has toggled its own check mark by the time it reports the click.
        const auto o = static_cast<Option>(i);
        connect(m_ui.optionItem(o), &QAction::triggered, this, [&c, o] { c.OptionItemClick(o); });
    }
}

void MainForm::Form_Load()
{
    m_normalBackColor = palette().color(QPalette::Active, QPalette::Window);
    m_controller.Form_Load();
}

// --- The controls by their roles ---

EntryField *MainForm::field(Field f) const
{
    switch (f) {
    case Field::Amplitude:
        return m_ui.Amplitude;
    case Field::Offset:
        return m_ui.Offset;
    case Field::Frequency:
        return m_ui.Frequency;
    case Field::Symmetry:
        break;
    }
    return m_ui.Symmetry;
}

QFrame *MainForm::frame(Group g) const
{
    return g == Group::Load ? m_ui.Frame3 : g == Group::Waveform ? m_ui.Frame4 : m_ui.Frame5;
}

std::vector<QRadioButton *> MainForm::options(Group g) const
{
    if (g == Group::Load)
        return {m_ui.OutInto.begin(), m_ui.OutInto.end()};
    if (g == Group::Waveform)
        return {m_ui.WaveFunction.begin(), m_ui.WaveFunction.end()};
    return {m_ui.FreqMult.begin(), m_ui.FreqMult.end()};
}

// --- MainView ---

std::string MainForm::fieldText(Field f) const
{
    // The bus carries 8-bit characters.
    return field(f)->text().toLatin1().toStdString();
}

std::string MainForm::fieldTextAfterKey(Field f) const
{
    const EntryField *w = field(f);
    QString t = w->text();
    if (w->hasSelectedText())
        t.remove(w->selectionStart(), w->selectedText().size());
    return t.toLatin1().toStdString();
}

void MainForm::setFieldText(Field f, const std::string &text)
{
    field(f)->setProgramText(QString::fromLatin1(text));
}

void MainForm::setFieldEnabled(Field f, bool enabled)
{
    field(f)->setEnabled(enabled);
}

int MainForm::selectedOption(Group g) const
{
    const auto o = options(g);
    for (size_t i = 0; i < o.size(); ++i)
        if (o[i]->isChecked())
            return static_cast<int>(i);
    return -1;
}

void MainForm::selectOption(Group g, int index)
{
    options(g).at(static_cast<size_t>(index))->setChecked(true);
}

bool MainForm::isChecked(Option o) const
{
    return m_ui.optionItem(o)->isChecked();
}

void MainForm::setChecked(Option o, bool checked)
{
    m_ui.optionItem(o)->setChecked(checked);
}

bool MainForm::isFieldMarked(Field f) const
{
    return field(f)->palette().color(QPalette::Active, QPalette::Base) == ChangeColor;
}

void MainForm::markField(Field f, bool marked)
{
    setBackground(field(f), QPalette::Base, marked ? ChangeColor : fieldBackground());
}

bool MainForm::isGroupMarked(Group g) const
{
    return frame(g)->palette().color(QPalette::Active, QPalette::Window) == ChangeColor;
}

void MainForm::markGroup(Group g, bool marked)
{
    const QColor color = marked ? ChangeColor : m_normalBackColor;
    setBackground(frame(g), QPalette::Window, color);
    // Buttons fill their background from the Button role, not the Window role.
    for (QRadioButton *o : options(g)) {
        setBackground(o, QPalette::Window, color);
        setBackground(o, QPalette::Button, color);
    }
}

void MainForm::setCommandEnabled(Command c, bool enabled)
{
    switch (c) {
    case Command::Apply:
        m_ui.Button_Apply->setEnabled(enabled);
        break;
    case Command::Save:
        m_ui.Menu_SaveSettings->setEnabled(enabled);
        m_ui.Button_SaveSettings->setEnabled(enabled);
        break;
    case Command::LoadSaved:
        m_ui.Menu_LoadlSavedSettings->setEnabled(enabled);
        m_ui.Menu_StartSaved->setEnabled(enabled);
        m_ui.Button_LoadSavedSettings->setEnabled(enabled);
        break;
    }
}

void MainForm::moveFocus(FocusTarget t)
{
    QWidget *w = t == FocusTarget::ToggleOutput ? static_cast<QWidget *>(m_ui.Button_ToggleOutput)
                                                : field(static_cast<Field>(t));
    w->setFocus();
}

void MainForm::setTitle(const std::string &title)
{
    setWindowTitle(QString::fromStdString(title));
}

void MainForm::setInitCaption(const std::string &caption)
{
    m_ui.Menu_InitFG->setText(QString::fromStdString(caption));
}

void MainForm::showOutputState(bool on)
{
    m_ui.showOutputState(on);
}

void MainForm::showAbout(const std::string &sheet)
{
    // Built afresh for each opening and gone when it closes.
    AboutForm about(sheet, m_shell, this);
    about.exec();
}

int MainForm::chooseGenerator(const std::vector<std::string> &choices)
{
    QStringList items;
    for (const std::string &c : choices)
        items << QString::fromStdString(c);
    bool ok = false;
    const QString picked = QInputDialog::getItem(this, QStringLiteral("Open Another Generator"),
                                                 QStringLiteral("&Generator:"), items, 0, false, &ok);
    return ok ? static_cast<int>(items.indexOf(picked)) : -1;
}

void MainForm::beginBusy()
{
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void MainForm::endBusy()
{
    QGuiApplication::restoreOverrideCursor();
}

// --- Window events ---

void MainForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (event->spontaneous() || m_controller.startupDone())
        return;
    // Centred on the screen when it first opens.
    if (const QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
    // Ask to be activated, so that the start-up sequence also runs where no window
    // manager activates new windows.
    activateWindow();
}

void MainForm::closeEvent(QCloseEvent *event)
{
    // A second close while the shut-down sequence waits on the bus: that one finishes.
    if (m_closing || (m_closeTaker && m_closeTaker())) {
        event->ignore();
        return;
    }
    m_closing = true;
    m_controller.Form_Unload();
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
        m_controller.Form_Activate();
}
