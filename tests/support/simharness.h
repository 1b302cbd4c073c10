#pragma once

#include "bus/clock.h"
#include "gpib/driver.h"
#include "sim/simbus.h"
#include "sim/simconfig.h"

#include <string>
#include <vector>

// A simulated bus on a test clock, behind the same driver wrappers the program uses,
// with its trace collected in memory.
struct SimHarness
{
    explicit SimHarness(const std::string &listeners = "")
    {
        populateSimBus(bus, parseSimListeners(listeners).value());
        bus.setTraceSink([this](std::string_view line) { trace.emplace_back(line); });
    }

    // A handle at `address` with a 1 s timeout, EOI on the last byte, no end character.
    int16_t open(int16_t address) { return driver.ibdev(0, address, 0, 11, 1, 0); }

    bool failed() const { return (driver.ibsta() & gpib::ERR) != 0; }
    double elapsedSeconds() const
    {
        return std::chrono::duration<double>(clock.now() - start).count();
    }

    ManualClock clock;
    Clock::Duration start = clock.now();
    SimBus bus{clock};
    GpibDriver driver{bus};
    std::vector<std::string> trace;
};
