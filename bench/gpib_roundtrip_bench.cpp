// Cost of one setting command plus one query round trip on the simulated bus, through
// the same driver wrappers that real hardware uses, and through the GPIB module's I/O
// procedures that the window calls. Target: under 100 us of our time.
#include "benchsupport.h"
#include "bus/clock.h"
#include "gpib/driver.h"
#include "gpib/gpibmodule.h"
#include "sim/simbus.h"
#include "sim/simconfig.h"

#include <benchmark/benchmark.h>

namespace {

void CommandAndQueryRoundTrip(benchmark::State &state)
{
    ManualClock clock;
    SimBus bus(clock);
    populateSimBus(bus, *parseSimListeners("FG5010@5"));
    std::string traceSink;
    if (state.range(0))
        bus.setTraceSink([&traceSink](std::string_view line) { traceSink.assign(line); });
    GpibDriver driver(bus);
    const int16_t h = driver.ibdev(0, 5, 0, 12, 1, 0);
    const std::string command = "AMPL 5;OFFS 0;FREQ 10E+3;FUNC SINE;SYM 50";
    const std::string query = "AMPL?";
    std::string buffer;

    for (auto _ : state) {
        driver.ibclr(h);
        driver.ibwrt(h, command);
        driver.ibwrt(h, query);
        buffer.assign(512, ' ');
        driver.ibwait(h, 0x4100);
        driver.ibrd(h, buffer);
        benchmark::DoNotOptimize(buffer.data());
        if (!(driver.ibsta() & gpib::END))
            state.SkipWithError("the reply did not end");
    }
}
BENCHMARK(CommandAndQueryRoundTrip)->Arg(0)->Arg(1)->ArgName("traced")->Unit(benchmark::kMicrosecond);

// The window's own path: WriteCommand and QueryInstrument (write, the 0.1 s pause on a clock
// that jumps, the chunked read with its timeout bookkeeping). Wall time, since the driver
// calls may run on another thread.
void ModuleCommandAndQuery(benchmark::State &state)
{
    ManualClock clock;
    SimBus bus(clock);
    populateSimBus(bus, *parseSimListeners("FG5010@5"));
    InstantEvents events(clock);
    AnsweringBoxes boxes;
    AbortingEnd end;
    GpibModule gpib(bus, GpibServices{boxes, end, clock, events});
    int16_t h = gpib.driver().ibdev(0, 5, 0, 12, 1, 0);
    const std::string command = "AMPL 5;OFFS 0;FREQ 10E+3;FUNC SINE;SYM 50";
    const std::string query = "AMPL?";

    for (auto _ : state) {
        gpib.WriteCommand(h, command);
        const std::string reply = gpib.QueryInstrument(h, query);
        benchmark::DoNotOptimize(reply.data());
        if (reply.empty() || boxes.shown)
            state.SkipWithError("the query failed");
    }
}
BENCHMARK(ModuleCommandAndQuery)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
