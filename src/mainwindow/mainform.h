#pragma once

#include "instrument/controller.h"
#include "instrument/mainview.h"
#include "mainwindow/mainformui.h"

#include <QColor>
#include <QMainWindow>

#include <functional>

class EntryField;
class GeneratorLauncher;
class GpibModule;
class MessageBoxService;
class ProgramEnd;
class QFrame;
class QRadioButton;
class SettingsStore;
class ShellService;

// What the main window needs from the platform besides the bus.
struct FormServices
{
    MessageBoxService &boxes;
    ProgramEnd &programEnd;
    ShellService &shell;
    SettingsStore &store;
    // Starts a window for another generator on the bus (none: it cannot be started).
    GeneratorLauncher *launcher = nullptr;
    // The address of this window's generator (1 to 30); 0 takes the first on the bus.
    int16_t address = 0;
};

// The main window: its controls, shown as the controller says, and the controls' events
// handed to the controller. It holds no procedure of its own.
class MainForm : public QMainWindow, public MainView
{
    Q_OBJECT

public:
    MainForm(GpibModule &gpib, const FormServices &services, QWidget *parent = nullptr);

    // The load step: runs before the window is first shown.
    void Form_Load();

    // Asked first when the window is to close: true when it takes the close over (a bus
    // call is under way and must end first; the program then closes by itself).
    void setCloseTaker(std::function<bool()> taker) { m_closeTaker = std::move(taker); }
    // True from the start of the shut-down sequence on.
    bool closing() const { return m_closing; }

    MainFormUi &ui() { return m_ui; }
    Controller &controller() { return m_controller; }

    // The change colour, RGB 255, 128, 128.
    static const QColor ChangeColor;

    // MainView
    std::string fieldText(Field f) const override;
    std::string fieldTextAfterKey(Field f) const override;
    void setFieldText(Field f, const std::string &text) override;
    void setFieldEnabled(Field f, bool enabled) override;
    int selectedOption(Group g) const override;
    void selectOption(Group g, int index) override;
    bool isChecked(Option o) const override;
    void setChecked(Option o, bool checked) override;
    bool isFieldMarked(Field f) const override;
    void markField(Field f, bool marked) override;
    bool isGroupMarked(Group g) const override;
    void markGroup(Group g, bool marked) override;
    void setCommandEnabled(Command c, bool enabled) override;
    void moveFocus(FocusTarget t) override;
    void setTitle(const std::string &title) override;
    void setInitCaption(const std::string &caption) override;
    void showOutputState(bool on) override;
    void showAbout(const std::string &sheet) override;
    int chooseGenerator(const std::vector<std::string> &choices) override;
    void beginBusy() override;
    void endBusy() override;

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void connectHandlers();
    EntryField *field(Field f) const;
    QFrame *frame(Group g) const;
    std::vector<QRadioButton *> options(Group g) const;

    ShellService &m_shell;
    MainFormUi m_ui;
    Controller m_controller;
    // The unmarked colour of the groups: the window's own background, taken at load.
    QColor m_normalBackColor;
    std::function<bool()> m_closeTaker;
    bool m_closing = false;
};
