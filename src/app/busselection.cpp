#include "app/busselection.h"

#include "gpib/busthread.h"
#include "gpib/messagebox.h"
#include "bus/systemlibrary.h"
#include "bus/tracingbackend.h"
#include "sim/simbus.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <set>

std::optional<BusChoice> parseBusChoice(std::optional<std::string_view> value, std::string *why)
{
    BusChoice choice;
    if (!value || value->empty() || *value == "sim") {
        choice.listeners = *parseSimListeners(DefaultSimListeners);
        return choice;
    }
    if (value->starts_with("sim:")) {
        auto listeners = parseSimListeners(value->substr(4), why);
        if (!listeners)
            return std::nullopt;
        choice.listeners = std::move(*listeners);
        return choice;
    }
    if (*value == "system" || value->starts_with("system:")) {
        choice.kind = BusChoice::Kind::System;
        if (value->size() > 7)
            choice.libraryPath = std::string(value->substr(7));
        return choice;
    }
    if (value->starts_with("prologix:")) {
        const auto adapter = parsePrologixAddress(value->substr(9));
        if (!adapter)
            return std::nullopt;
        choice.kind = BusChoice::Kind::Prologix;
        choice.adapter = *adapter;
        return choice;
    }
    if (value->starts_with("vxi11:")) {
        const auto gateway = parseVxi11Address(value->substr(6));
        if (!gateway)
            return std::nullopt;
        choice.kind = BusChoice::Kind::Vxi11;
        choice.gateway = *gateway;
        return choice;
    }
    return std::nullopt;
}

std::string busChoiceHelp(std::string_view value, std::string_view source)
{
    std::string why;
    parseBusChoice(value, &why);
    return std::string(source) + std::string(value) + " names no bus that Wavedial can open" +
           (why.empty() ? "" : ": " + why) +
           ".\n\n"
           "Accepted forms:\n"
           "sim (or unset, or empty): a simulated bus with one FG5010 at address 5\n"
           "sim:KIND@ADDRESS,...: a simulated bus with these listeners; KIND is FG5010, "
           "AFG5101, AFG5102, PFG5105, MUTE or OTHER, ADDRESS 1 to 30 (sim: alone is an "
           "empty bus)\n"
           "system or system:LIBRARY: the system's NI-488.2-compatible GPIB library\n"
           "prologix:HOST[:PORT] or prologix:[IPV6][:PORT]: a Prologix-compatible GPIB-Ethernet "
           "controller (port 1234 when left out)\n"
           "prologix:/dev/ttyUSB0 or prologix:COM3: a Prologix-compatible GPIB-USB or AR488 "
           "adapter on that serial port\n"
           "vxi11:HOST[:PORT][/INTERFACE] or vxi11:[IPV6][:PORT][/INTERFACE]: a LAN/GPIB "
           "gateway (VXI-11; port mapper on port 111 and interface gpib0 when left out)";
}

std::string traceFilePath(const ProgramOptions &options)
{
    const char *envTrace = std::getenv("WAVEDIAL_SIM_TRACE");
    return options.trace.value_or(envTrace ? envTrace : "");
}

namespace {

// A backend of real hardware, traced when a trace was asked for; the simulated bus writes
// its own lines. The trace file stays in `bus`, which outlives the backend.
std::unique_ptr<GpibBackend> traced(std::unique_ptr<GpibBackend> backend, OpenBus &bus,
                                    std::unique_ptr<SimTraceFile> trace)
{
    if (!trace)
        return backend;
    bus.trace = std::move(trace);
    SimTraceFile *file = bus.trace.get();
    return std::make_unique<TracingBackend>(std::move(backend),
                                            [file](std::string_view line) { file->write(line); });
}

// The lock is news the driver's error numbers cannot carry. Its box waits until the
// failing call has returned and the program's own box has been shown, and comes once per
// text: every later call on that device fails the same way. The sink is called on the bus
// thread, during the call.
void showNotices(Vxi11Bus &gateway, MessageBoxService &boxes, BusThread *thread)
{
    gateway.setNoticeSink(
        [&boxes, thread, shown = std::set<std::string>()](const std::string &text) mutable {
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
}

} // namespace

OpenBus openBusFromEnvironment(MessageBoxService &boxes, ProgramEnd &programEnd,
                               const ProgramOptions &options, std::unique_ptr<SimTraceFile> trace,
                               BusThread *thread)
{
    // The backend is made on the thread that will use it: its sockets belong there.
    const auto onBus = [thread](const std::function<void()> &make) {
        if (thread)
            thread->run(make);
        else
            make();
    };
    const char *raw = std::getenv("WAVEDIAL_GPIB");
    const std::optional<std::string_view> value =
        options.bus ? std::optional<std::string_view>(*options.bus)
        : raw       ? std::optional<std::string_view>(raw)
                    : std::nullopt;
    const std::optional<BusChoice> choice = parseBusChoice(value);
    if (!choice) {
        boxes.show(busChoiceHelp(value.value_or("")), "Wavedial", MessageBoxService::Buttons::Ok,
                   MessageBoxService::Icon::Critical);
        programEnd.end();
    }

    OpenBus bus;
    bus.clock = std::make_unique<SteadyClock>();
    if (choice->kind == BusChoice::Kind::System) {
        SystemLibraryLoad load;
        onBus([&] { load = loadSystemGpibLibrary(choice->libraryPath); });
        if (!load.backend) {
            boxes.show(load.error, "Wavedial", MessageBoxService::Buttons::Ok,
                       MessageBoxService::Icon::Critical);
            programEnd.end();
        }
        bus.backend = traced(std::move(load.backend), bus, std::move(trace));
        return bus;
    }
    if (choice->kind == BusChoice::Kind::Prologix) {
        PrologixOpen open;
        onBus([&] { open = openPrologix(choice->adapter, *bus.clock); });
        if (!open.backend) {
            boxes.show(open.error, "Wavedial", MessageBoxService::Buttons::Ok,
                       MessageBoxService::Icon::Critical);
            programEnd.end();
        }
        bus.backend = traced(std::move(open.backend), bus, std::move(trace));
        return bus;
    }
    if (choice->kind == BusChoice::Kind::Vxi11) {
        Vxi11Open open;
        onBus([&] { open = openVxi11(choice->gateway, *bus.clock); });
        if (!open.backend) {
            boxes.show(open.error, "Wavedial", MessageBoxService::Buttons::Ok,
                       MessageBoxService::Icon::Critical);
            programEnd.end();
        }
        showNotices(*open.backend, boxes, thread);
        bus.backend = traced(std::move(open.backend), bus, std::move(trace));
        return bus;
    }
    std::unique_ptr<SimBus> sim;
    onBus([&] {
        sim = std::make_unique<SimBus>(*bus.clock);
        populateSimBus(*sim, choice->listeners);
    });
    if (trace) {
        bus.trace = std::move(trace);
        SimTraceFile *file = bus.trace.get();
        sim->setTraceSink([file](std::string_view line) { file->write(line); });
    }
    bus.backend = std::move(sim);
    return bus;
}
