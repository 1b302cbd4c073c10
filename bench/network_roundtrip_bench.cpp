// Cost of one query round trip (ibwrt "AMPL?", then ibrd) through the network backends,
// on loopback to wavedial-sim with a generator at address 5: the VXI-11 gateway and, for
// comparison, the Prologix-compatible controller, both served by one simulator process.
// The CPU column is our own time per round trip; the Time column adds the simulator's
// and the loopback's.
#include "bus/prologix/prologix.h"
#include "bus/vxi11/vxi11bus.h"
#include "gpib/driver.h"

#include <QCoreApplication>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

// The simulator, started once for every benchmark: its first lines name the ports.
struct Simulator
{
    Simulator()
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(WAVEDIAL_SIM_PROGRAM),
                      {"--listen", "127.0.0.1:0", "--vxi11", "127.0.0.1:0", "FG5010@5"});
        for (uint16_t *port : {&prologix, &vxi11}) {
            while (!process.canReadLine() && process.waitForReadyRead(10'000))
                continue;
            *port = static_cast<uint16_t>(
                QString::fromUtf8(process.readLine()).trimmed().section(':', -1).toUInt());
        }
    }
    ~Simulator() { process.kill(), process.waitForFinished(5'000); }
    QProcess process;
    uint16_t prologix = 0, vxi11 = 0;
};

Simulator &simulator()
{
    static Simulator sim;
    return sim;
}

void roundTrips(benchmark::State &state, GpibBackend &backend)
{
    GpibDriver driver(backend);
    const int16_t h = driver.ibdev(0, 5, 0, 12, 1, 0);
    std::string buffer;
    for (auto _ : state) {
        driver.ibwrt(h, "AMPL?");
        buffer.assign(64, ' ');
        driver.ibrd(h, buffer);
        benchmark::DoNotOptimize(buffer.data());
        if (!(driver.ibsta() & gpib::END)) {
            state.SkipWithError("the reply did not end");
            break;
        }
    }
}

// One connection for every run of a benchmark: a Prologix box serves one client at a
// time, and a reconnection right after a close may find the old one not yet gone.
template <class Open> void roundTripsOn(benchmark::State &state, Open &open)
{
    if (!open.backend)
        return state.SkipWithError(open.error.c_str());
    roundTrips(state, *open.backend);
}

SteadyClock &clock()
{
    static SteadyClock steady;
    return steady;
}

void Vxi11QueryRoundTrip(benchmark::State &state)
{
    static Vxi11Open open = openVxi11(
        *parseVxi11Address("127.0.0.1:" + std::to_string(simulator().vxi11)), clock());
    roundTripsOn(state, open);
}
BENCHMARK(Vxi11QueryRoundTrip)->Unit(benchmark::kMicrosecond);

void PrologixQueryRoundTrip(benchmark::State &state)
{
    static PrologixOpen open = openPrologix(
        *parsePrologixAddress("127.0.0.1:" + std::to_string(simulator().prologix)), clock());
    roundTripsOn(state, open);
}
BENCHMARK(PrologixQueryRoundTrip)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv); // for the sockets and the simulator's process
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
