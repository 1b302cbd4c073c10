#pragma once

#include "bus/backend.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

class BusThread;
class Clock;
class MessageBoxService;
class SimTraceFile;
struct BusChoice;
struct OpenBus;

// What a backend may need once it is made, on the window's thread: the boxes for its
// news, the bus thread that delivers them, and the trace file asked for.
struct BackendSetting
{
    MessageBoxService &boxes;
    BusThread *thread;
    OpenBus &bus;
    std::unique_ptr<SimTraceFile> trace;
};

// One kind of bus a user can name, as "SCHEME" or "SCHEME:REST".
struct BackendEntry
{
    std::string_view scheme;
    bool bare; // the scheme alone names a bus
    // Its lines of the accepted forms, as the bad-form message lists them.
    std::string_view forms;
    // Reads REST (none for the bare form) into `choice`; false, with `why` where it can
    // be told, when it names no bus.
    bool (*parse)(std::optional<std::string_view> rest, BusChoice &choice, std::string *why);
    // Makes the backend, on the thread that will use it; null with `error` (the box's
    // text) when it cannot be opened.
    std::unique_ptr<GpibBackend> (*make)(const BusChoice &choice, Clock &clock, std::string &error);
    // Connects what the backend tells besides its calls (its news, its trace) and gives
    // the backend to use.
    std::unique_ptr<GpibBackend> (*connect)(std::unique_ptr<GpibBackend> made, BackendSetting &s);
};

// Every backend, the default (the simulated bus) first.
std::span<const BackendEntry> backendEntries();
