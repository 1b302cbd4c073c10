#pragma once

#include "gpib/messagebox.h"

class QWidget;

// Message boxes as modal QMessageBoxes over the active window.
class QtMessageBox final : public MessageBoxService
{
public:
    Answer show(const std::string &text, const std::string &title, Buttons buttons,
                Icon icon) override;
};

// Ends the process at once with exit status 1: no window is closed and nothing is
// stored, as after a failure the user was told about.
class ProcessEnd final : public ProgramEnd
{
protected:
    [[noreturn]] void endProgram() override;
};
