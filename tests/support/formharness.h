#pragma once

#include "about/shell.h"
#include "mainwindow/mainform.h"
#include "support/gpibharness.h"

#include <memory>

// Records the links handed to the desktop instead of opening them.
class RecordingShell final : public ShellService
{
public:
    void open(const std::string &link) override { links.push_back(link); }
    std::vector<std::string> links;
};

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
