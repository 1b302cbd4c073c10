#pragma once

#include "gpib/gpibmodule.h"
#include "sim/simbus.h"
#include "sim/simconfig.h"
#include "support/scriptedservices.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The GPIB module on a simulated bus, a test clock, scripted boxes and end; bus traffic in `trace`.
struct GpibHarness
{
    // `makeBus` gives a bus of another kind (one that fails on purpose, say).
    explicit GpibHarness(const std::string &listeners = "",
                         const std::function<std::unique_ptr<SimBus>(Clock &)> &makeBus = {})
        : ownBus(makeBus ? makeBus(clock) : std::make_unique<SimBus>(clock))
    {
        populateSimBus(bus, parseSimListeners(listeners).value());
        bus.setTraceSink([this](std::string_view line) { trace.emplace_back(line); });
    }

    double elapsedSeconds() const
    {
        return std::chrono::duration<double>(clock.now() - start).count();
    }

    ManualClock clock;
    Clock::Duration start = clock.now();
    std::unique_ptr<SimBus> ownBus;
    SimBus &bus = *ownBus;
    ScriptedMessageBox boxes;
    RecordingProgramEnd programEnd;
    ScriptedEvents events{clock};
    GpibModule gpib{bus, GpibServices{boxes, programEnd, clock, events}};
    std::vector<std::string> trace;
};
