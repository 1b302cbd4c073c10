#pragma once

#include "gpib/driver.h"
#include "bus/prologix.h"
#include "sim/prologixadapter.h"
#include "sim/simbus.h"
#include "sim/simconfig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The link to a simulated controller in memory: what the host sends is recorded and
// handed to the controller line by line; its answers wait to be received. A wait with
// nothing to receive moves the host's test clock by the whole wait, so that a timeout
// costs no real time.
class MemoryLink final : public PrologixLink
{
public:
    MemoryLink(SimPrologixAdapter &adapter, ManualClock &clock) : m_adapter(adapter), m_clock(clock)
    {
    }

    bool send(std::string_view bytes, Clock::Duration) override
    {
        if (broken)
            return false;
        wire.append(bytes);
        for (const char c : bytes) {
            m_line += c;
            if (m_escape) {
                m_escape = false;
            } else if (c == 0x1B) {
                m_escape = true;
            } else if (c == '\n') {
                const std::string line = std::move(m_line);
                m_line.clear();
                const auto scripted = answers.find(line.substr(0, line.size() - 1));
                m_out += scripted != answers.end() ? scripted->second : m_adapter.take(line);
            }
        }
        return true;
    }

    bool receive(std::string &into, Clock::Duration limit) override
    {
        if (broken || (m_out.empty() && breakWhenIdle)) {
            broken = true;
            return false;
        }
        if (!babble.empty() && m_out.empty()) {
            m_clock.sleepFor(std::chrono::milliseconds(1));
            into += babble;
            return true;
        }
        if (m_out.empty()) {
            m_clock.sleepFor(limit);
            return true;
        }
        const size_t n = pace == 0 ? m_out.size() : std::min(pace, m_out.size());
        into += m_out.substr(0, n);
        m_out.erase(0, n);
        return true;
    }

    std::string failure() const override { return "the cable was pulled"; }

    // The command lines sent, in order (data lines are left out).
    std::vector<std::string> commands() const
    {
        std::vector<std::string> out;
        size_t start = 0;
        while (start < wire.size()) {
            const size_t end = wire.find('\n', start);
            const std::string line = wire.substr(start, end - start);
            if (line.starts_with("++"))
                out.push_back(line);
            start = end == std::string::npos ? wire.size() : end + 1;
        }
        return out;
    }

    std::string wire;                           // every byte the host sent
    std::map<std::string, std::string> answers; // a command line answered by the test instead
    bool broken = false;                        // the link has failed
    bool breakWhenIdle = false;                 // fails as soon as nothing is left to receive
    std::string babble; // a talker that never stops: these bytes every millisecond, for ever
    size_t pace = 0;    // at most this many bytes per receive; 0: all there are

private:
    SimPrologixAdapter &m_adapter;
    ManualClock &m_clock;
    std::string m_line;
    bool m_escape = false;
    std::string m_out;
};

// A Prologix backend started on a simulated controller in memory, behind the driver
// wrappers, with the bus trace collected from the end of the start on. The bus and the host each
// have their own test clock: `clock` shows what the host waited.
struct PrologixHarness
{
    explicit PrologixHarness(const std::string &listeners,
                             SimPrologixOptions options = SimPrologixOptions(),
                             PrologixTiming timing = PrologixTiming())
        : adapter(bus, std::move(options))
    {
        populateSimBus(bus, parseSimListeners(listeners).value());
        bus.setTraceSink([this](std::string_view line) { trace.emplace_back(line); });
        auto owned = std::make_unique<MemoryLink>(adapter, clock);
        link = owned.get();
        prologix = std::make_unique<PrologixBus>(std::move(owned), clock, timing);
        std::string why;
        EXPECT_TRUE(prologix->start(why)) << why;
        driver = std::make_unique<GpibDriver>(*prologix);
        // Taking the bus asserted REN ("ren"); tests start from a quiet trace.
        trace.clear();
        start = clock.now();
    }

    // A handle at `address` with a 1 s timeout, EOI on the last byte, no end character.
    int16_t open(int16_t address) { return driver->ibdev(0, address, 0, 11, 1, 0); }
    bool failed() const { return (driver->ibsta() & gpib::ERR) != 0; }
    double elapsedMs() const
    {
        return std::chrono::duration<double, std::milli>(clock.now() - start).count();
    }

    ManualClock busClock;
    SimBus bus{busClock};
    SimPrologixAdapter adapter;
    ManualClock clock;
    Clock::Duration start{};
    MemoryLink *link = nullptr;
    std::unique_ptr<PrologixBus> prologix;
    std::unique_ptr<GpibDriver> driver;
    std::vector<std::string> trace;
};
