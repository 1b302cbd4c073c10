#pragma once

#include "gpib/gpibmodule.h"
#include "sim/simbus.h"
#include "sim/simconfig.h"
#include "support/scriptedservices.h"

#include <string>
#include <vector>

// The GPIB module on a simulated bus, a test clock, scripted boxes and end; bus traffic in `trace`.
struct GpibHarness
{
    explicit GpibHarness(const std::string &listeners = "")
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
    SimBus bus{clock};
    ScriptedMessageBox boxes;
    RecordingProgramEnd programEnd;
    ScriptedEvents events{clock};
    GpibModule gpib{bus, GpibServices{boxes, programEnd, clock, events}};
    std::vector<std::string> trace;
};
