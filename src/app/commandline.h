#pragma once

#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>

// What the command line asks of a run that opens the window.
struct ProgramOptions
{
    std::optional<std::string> bus;   // --bus SPEC: wins over WAVEDIAL_GPIB
    std::optional<std::string> trace; // --trace FILE: wins over WAVEDIAL_SIM_TRACE
    int16_t address = 0;              // --address N (1 to 30): that generator only; 0 the first
    bool list = false;                // --list: print the bus's listeners, no window
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

// The arguments of another Wavedial for the generator at `address` on the same bus:
// `--bus` as this one was given it (by option or WAVEDIAL_GPIB, whose value is `busFromEnvironment`),
// and `--address`. The trace is this window's own and is not passed on.
QStringList anotherGeneratorArguments(const ProgramOptions &options, int16_t address,
                                      const std::optional<std::string> &busFromEnvironment);
