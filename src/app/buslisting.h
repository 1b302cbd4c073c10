#pragma once

#include "app/commandline.h"
#include "sim/simtrace.h"

#include <memory>

// `wavedial --list`: opens the bus, finds its listeners, asks each for its identity and
// prints one line per listener on standard output, with no window and no display. What
// a window would show in a box goes to standard error. Returns the exit status: 0, or 1
// when the bus cannot be opened or has no listener.
int printBusListing(int argc, char *argv[], const ProgramOptions &options,
                    std::unique_ptr<SimTraceFile> trace);
