#pragma once

#include "app/commandline.h"
#include "instrument/launcher.h"

// Starts another Wavedial, this program's own file, detached: it lives on when this
// window closes.
class QtLauncher final : public GeneratorLauncher
{
public:
    explicit QtLauncher(const ProgramOptions &options) : m_options(options) {}
    bool launch(int16_t address, std::string &why) override;

private:
    ProgramOptions m_options;
};
