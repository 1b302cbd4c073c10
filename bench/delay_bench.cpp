// Processor time that the program's one-second wait costs: the window keeps handling its
// events, and sleeps in the event loop otherwise. Target: under 2 % of one core.
#include "benchsupport.h"

#include "gpib/gpibmodule.h"
#include "sim/simbus.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

double processSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    SteadyClock clock;
    SimBus bus(clock);
    AnsweringBoxes boxes;
    AbortingEnd programEnd;
    QtEventWaiter events(clock);
    GpibModule gpib(bus, GpibServices{boxes, programEnd, clock, events});

    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = processSeconds();
    for (int i = 0; i < rounds; ++i)
        gpib.Delay(1.0f);
    const double cpu = processSeconds() - cpuStart;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    std::printf("delay_wall_seconds %.3f\n", wall / rounds);
    std::printf("delay_cpu_percent %.3f\n", 100.0 * cpu / wall);
    return 0;
}
