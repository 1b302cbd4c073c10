#pragma once

#include "mainwindow/mainform.h"
#include "support/gpibharness.h"
#include "support/recordingshell.h"

#include <memory>

// The main window on a simulated bus, with scripted boxes and an observable end.
struct FormHarness : GpibHarness
{
    explicit FormHarness(const std::string &listeners = "FG5010@5") : GpibHarness(listeners)
    {
        form = std::make_unique<MainForm>(gpib, boxes, programEnd, shell);
    }

    MainFormUi &ui() { return form->ui(); }
    ChangeMarks &marks() { return form->marks(); }

    RecordingShell shell;
    std::unique_ptr<MainForm> form;
};
