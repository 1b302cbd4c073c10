// Cost of one setting command plus one query round trip on the simulated bus, through
// the same driver wrappers that real hardware uses, and through the GPIB module's I/O
// procedures that the window calls. Target: under 100 us of our time.
#include "benchsupport.h"
#include "bus/clock.h"
#include "gpib/busthread.h"
#include "gpib/driver.h"
#include "gpib/gpibmodule.h"
#include "sim/simbus.h"
#include "sim/simconfig.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <memory>

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
// that jumps, the chunked read with its timeout bookkeeping), each driver call handed to the
// bus thread and awaited in an event loop as the program does (thread:1), or made on the
// caller's thread (thread:0). Wall time, since the calls run on another thread.
void ModuleCommandAndQuery(benchmark::State &state)
{
    int argc = 1;
    char name[] = "bench";
    char *argv[] = {name};
    QCoreApplication app(argc, argv);
    ManualClock clock;
    auto owned = std::make_unique<SimBus>(clock);
    SimBus &bus = *owned;
    populateSimBus(bus, *parseSimListeners("FG5010@5"));
    BusThread thread;
    thread.adopt(std::move(owned));
    InstantEvents events(clock);
    AnsweringBoxes boxes;
    AbortingEnd end;
    GpibModule gpib(bus, GpibServices{boxes, end, clock, events,
                                      state.range(0) ? &thread : nullptr});
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
BENCHMARK(ModuleCommandAndQuery)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("thread")
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
