#pragma once

#include "mainwindow/mainform.h"
#include "support/gpibharness.h"

#include <memory>

// The main window on a simulated bus, with scripted boxes and an observable end.
struct FormHarness : GpibHarness
{
    explicit FormHarness(const std::string &listeners = "FG5010@5") : GpibHarness(listeners)
    {
        form = std::make_unique<MainForm>(gpib, boxes, programEnd);
    }

    MainFormUi &ui() { return form->ui(); }
    ChangeMarks &marks() { return form->marks(); }

    std::unique_ptr<MainForm> form;
};
