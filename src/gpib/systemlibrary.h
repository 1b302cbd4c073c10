#pragma once

#include "gpib/backend.h"

#include <memory>
#include <string>

// The system's NI-488.2-compatible GPIB library, loaded at run time (never linked).
class SystemGpibLibrary;

struct SystemLibraryLoad
{
    std::unique_ptr<GpibBackend> backend; // null when loading failed
    std::string error;                    // the box text when it failed
};

// Loads `path`, or the platform's usual libraries in turn when `path` is empty.
SystemLibraryLoad loadSystemGpibLibrary(const std::string &path);
