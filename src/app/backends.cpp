#include "app/backends.h"

#include "app/busselection.h"
#include "bus/system/systemlibrary.h"
#include "bus/tracingbackend.h"
#include "gpib/busthread.h"
#include "gpib/messagebox.h"
#include "sim/simbus.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <set>

namespace {

// The trace file asked for, moved into the open bus, which outlives the backend; null
// when none was asked for.
SimTraceFile *keepTrace(BackendSetting &s)
{
    if (!s.trace)
        return nullptr;
    s.bus.trace = std::move(s.trace);
    return s.bus.trace.get();
}

// A backend of real hardware, traced when a trace was asked for; the simulated bus writes
// its own lines.
std::unique_ptr<GpibBackend> traced(std::unique_ptr<GpibBackend> backend, BackendSetting &s)
{
    SimTraceFile *file = keepTrace(s);
    if (!file)
        return backend;
    return std::make_unique<TracingBackend>(std::move(backend),
                                            [file](std::string_view line) { file->write(line); });
}

// --- sim ---

bool parseSim(std::optional<std::string_view> rest, BusChoice &choice, std::string *why)
{
    // "sim" alone has the default listeners; "sim:" alone has none.
    auto listeners = parseSimListeners(rest.value_or(DefaultSimListeners), why);
    if (!listeners)
        return false;
    choice.listeners = std::move(*listeners);
    return true;
}

std::unique_ptr<GpibBackend> makeSim(const BusChoice &choice, Clock &clock, std::string &)
{
    auto sim = std::make_unique<SimBus>(clock);
    populateSimBus(*sim, choice.listeners);
    return sim;
}

std::unique_ptr<GpibBackend> connectSim(std::unique_ptr<GpibBackend> made, BackendSetting &s)
{
    if (SimTraceFile *file = keepTrace(s))
        static_cast<SimBus &>(*made).setTraceSink([file](std::string_view line) { file->write(line); });
    return made;
}

// --- system ---

bool parseSystem(std::optional<std::string_view> rest, BusChoice &choice, std::string *)
{
    choice.libraryPath = std::string(rest.value_or(""));
    return true;
}

std::unique_ptr<GpibBackend> makeSystem(const BusChoice &choice, Clock &, std::string &error)
{
    SystemLibraryLoad load = loadSystemGpibLibrary(choice.libraryPath);
    error = load.error;
    return std::move(load.backend);
}

// --- prologix ---

bool parsePrologix(std::optional<std::string_view> rest, BusChoice &choice, std::string *)
{
    const auto adapter = parsePrologixAddress(rest.value_or(""));
    if (adapter)
        choice.adapter = *adapter;
    return adapter.has_value();
}

std::unique_ptr<GpibBackend> makePrologix(const BusChoice &choice, Clock &clock, std::string &error)
{
    PrologixOpen open = openPrologix(choice.adapter, clock);
    error = open.error;
    return std::move(open.backend);
}

// --- vxi11 ---

bool parseVxi11(std::optional<std::string_view> rest, BusChoice &choice, std::string *)
{
    const auto gateway = parseVxi11Address(rest.value_or(""));
    if (gateway)
        choice.gateway = *gateway;
    return gateway.has_value();
}

std::unique_ptr<GpibBackend> makeVxi11(const BusChoice &choice, Clock &clock, std::string &error)
{
    Vxi11Open open = openVxi11(choice.gateway, clock);
    error = open.error;
    return std::move(open.backend);
}

std::unique_ptr<GpibBackend> connectVxi11(std::unique_ptr<GpibBackend> made, BackendSetting &s)
{
    // The lock is news the driver's error numbers cannot carry. Its box waits until the
    // failing call has returned and the program's own box has been shown, and comes once
    // per text: every later call on that device fails the same way. The sink is called on
    // the bus thread, during the call.
    static_cast<Vxi11Bus &>(*made).setNoticeSink(
        [&boxes = s.boxes, thread = s.thread, shown = std::set<std::string>()](
            const std::string &text) mutable {
            std::fprintf(stderr, "wavedial: %s\n", text.c_str());
            if (!shown.insert(text).second)
                return;
            auto box = [&boxes, text] {
                boxes.show(text, "Wavedial", MessageBoxService::Buttons::Ok,
                           MessageBoxService::Icon::Exclamation);
            };
            if (thread)
                thread->afterCall(std::move(box));
            else
                QTimer::singleShot(0, QCoreApplication::instance(), std::move(box));
        });
    return traced(std::move(made), s);
}

constexpr BackendEntry Entries[] = {
    {"sim", true,
     "sim (or unset, or empty): a simulated bus with one FG5010 at address 5\n"
     "sim:KIND@ADDRESS,...: a simulated bus with these listeners; KIND is FG5010, AFG5101, "
     "AFG5102, PFG5105, MUTE or OTHER, ADDRESS 1 to 30 (sim: alone is an empty bus)\n",
     parseSim, makeSim, connectSim},
    {"system", true, "system or system:LIBRARY: the system's NI-488.2-compatible GPIB library\n",
     parseSystem, makeSystem, traced},
    {"prologix", false,
     "prologix:HOST[:PORT] or prologix:[IPV6][:PORT]: a Prologix-compatible GPIB-Ethernet "
     "controller (port 1234 when left out)\n"
     "prologix:/dev/ttyUSB0 or prologix:COM3: a Prologix-compatible GPIB-USB or AR488 "
     "adapter on that serial port\n",
     parsePrologix, makePrologix, traced},
    {"vxi11", false,
     "vxi11:HOST[:PORT][/INTERFACE] or vxi11:[IPV6][:PORT][/INTERFACE]: a LAN/GPIB gateway "
     "(VXI-11; port mapper on port 111 and interface gpib0 when left out)\n",
     parseVxi11, makeVxi11, connectVxi11},
};

} // namespace

std::span<const BackendEntry> backendEntries()
{
    return Entries;
}
