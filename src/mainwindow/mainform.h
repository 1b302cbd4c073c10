#pragma once

#include "instrument/profile.h"
#include "mainwindow/changemarks.h"
#include "mainwindow/mainformui.h"

#include <QMainWindow>

#include <cstdint>

class GpibModule;
class MessageBoxService;
class ProgramEnd;

// The main window: the instrument's settings, its output, and the commands that send,
// read back, save and load them. Its handlers run on the window's one thread; the
// waits inside the bus I/O let other handlers run in the middle of an exchange.
class MainForm : public QMainWindow
{
    Q_OBJECT

public:
    MainForm(GpibModule &gpib, MessageBoxService &boxes, ProgramEnd &programEnd,
             QWidget *parent = nullptr);

    // The load step: finds and identifies the instrument, chooses its profile and sets
    // the window's start state. Runs before the window is first shown.
    void Form_Load();
    // The first activation's start-up sequence; later activations do nothing.
    void Form_Activate();

    MainFormUi &ui() { return m_ui; }
    ChangeMarks &marks() { return m_marks; }
    const ModelProfile &profile() const { return m_profile; }

    bool SuppressEvents = false;
    bool StartupDone = false;

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void connectHandlers();
    void SelectModelProfile();
    void OptionClick(int16_t groupCode, int index);

    GpibModule &m_gpib;
    MessageBoxService &m_boxes;
    ProgramEnd &m_programEnd;
    MainFormUi m_ui;
    ChangeMarks m_marks{m_ui};
    ModelProfile m_profile;
};
