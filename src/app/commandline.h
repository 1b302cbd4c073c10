#pragma once

#include <QStringList>

#include <optional>
#include <string>

// What the command line asks of a run that opens the window.
struct ProgramOptions
{
    std::optional<std::string> bus;   // --bus SPEC: wins over WAVEDIAL_GPIB
    std::optional<std::string> trace; // --trace FILE: wins over WAVEDIAL_SIM_TRACE
};

// The command line read: either options to run with, or a text to print and the exit
// status to end with (--help and --version: 0 on standard output; an unknown option or a
// bus form that names no bus: 2 on standard error).
struct CommandLine
{
    std::optional<ProgramOptions> run;
    int exitCode = 0;
    std::string out;
    std::string err;
};

// `arguments` as the program got them, its own name first.
CommandLine readCommandLine(const QStringList &arguments);
