#pragma once

#include "bus/backend.h"

#include <memory>
#include <string>
#include <vector>

// The system's NI-488.2-compatible GPIB library, loaded at run time (never linked).
class SystemGpibLibrary;

struct SystemLibraryLoad
{
    std::unique_ptr<GpibBackend> backend; // null when loading failed
    std::string error;                    // the box text when it failed
};

// Loads `path`, or the platform's usual libraries in turn when `path` is empty.
SystemLibraryLoad loadSystemGpibLibrary(const std::string &path);

// The libraries tried, in this order, when no path is given: linux-gpib, then the
// vendor's own driver (on Windows the older DLL name first, then the newer one).
std::vector<std::string> defaultGpibLibraryNames();

// Takes the first of `candidates` that loads and has every entry point needed. When none
// does, the text names a library that loaded but lacks entry points, or else every
// file tried.
SystemLibraryLoad loadFirstGpibLibrary(const std::vector<std::string> &candidates);
