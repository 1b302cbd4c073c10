// The Prologix backend over real links: loopback TCP against wavedial-sim, and a serial port
// (a pseudo-terminal) with the simulated controller at its far end.
#include "bus/prologix.h"
#include "sim/prologixadapter.h"
#include "support/gpibharness.h"
#include "support/simprocess.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

const PrologixTiming Timing{.grace = 30ms, .hello = 2000ms}; // loopback answers in microseconds

// What the program does: find the listeners, identify the generator at 9, set and read back.
std::vector<std::string> session(GpibDriver &d)
{
    std::vector<int16_t> all, found(15, 0);
    for (int16_t a = 0; a <= 31; ++a)
        all.push_back(a < 31 ? a : -1);
    d.SendIFC(0);
    d.FindLstn(0, all, found, 15);
    std::vector<std::string> seen{std::to_string(found[1]) + ' ' + std::to_string(found[3])};
    const int16_t ud = d.ibdev(0, 9, 0, 11, 1, 0);
    d.ibclr(ud);
    int16_t statusByte = -1;
    d.ibrsp(ud, statusByte);
    for (const char *query : {"ID?", "AMPL 5;FREQ 10E+3;AMPL?;FREQ?"}) {
        d.ibwrt(ud, query);
        std::string reply(256, ' ');
        d.ibrd(ud, reply);
        seen.push_back(reply.substr(0, static_cast<size_t>(d.ibcnt())) +
                       ((d.ibsta() & gpib::END) ? " END" : ""));
    }
    return seen;
}

TEST(PrologixLink, ASessionOverTcpTracesAsOnTheSimulatedBusUntilTheLinkDrops)
{
    const std::string listeners = "MUTE@2,OTHER@3,AFG5102@9";
    SimProcess sim({QString::fromStdString(listeners)});
    SteadyClock clock;
    PrologixOpen open = openPrologix(*parsePrologixAddress("127.0.0.1:" + std::to_string(sim.port)), clock,
                                     Timing);
    ASSERT_TRUE(open.backend) << open.error;
    GpibDriver net(*open.backend);
    GpibHarness local(listeners);
    EXPECT_EQ(session(net), session(local.gpib.driver()));
    local.trace.insert(local.trace.begin(), "ren"); // asserted as the controller took the bus
    EXPECT_EQ(sim.trace(), local.trace);

    sim.stop();
    const auto t0 = clock.now();
    const int16_t ud = net.ibdev(0, 9, 0, 11, 1, 0);
    std::string buffer(8, ' ');
    net.ibwrt(ud, "OUT?");
    EXPECT_EQ(net.iberr(), gpib::EDVR);
    net.ibrd(ud, buffer);
    EXPECT_EQ(net.ibsta() & (gpib::ERR | gpib::TIMO), gpib::ERR);
    EXPECT_LT(clock.now() - t0, 500ms);
}

TEST(PrologixLink, AnAdapterOnASerialPortWorksUntilItIsUnplugged)
{
    ManualClock busClock;
    SimBus bus(busClock);
    populateSimBus(bus, parseSimListeners("AFG5102@9").value());
    SimPrologixAdapter adapter(bus);
    int master = -1, slave = -1; // the slave held open: no hang-up before the host's own
    char name[128] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    std::jthread controller([&](std::stop_token unplugged) {
        char bytes[512];
        for (pollfd p{master, POLLIN, 0}; !unplugged.stop_requested(); p.revents = 0) {
            if (::poll(&p, 1, 10) <= 0)
                continue;
            const ssize_t n = ::read(master, bytes, sizeof bytes);
            const std::string out = n > 0 ? adapter.take({bytes, static_cast<size_t>(n)}) : "";
            if (n <= 0 || ::write(master, out.data(), out.size()) < 0)
                return;
        }
    });
    SteadyClock clock;
    PrologixOpen open = openPrologix(*parsePrologixAddress(name), clock, Timing);
    ASSERT_TRUE(open.backend) << open.error;
    GpibDriver d(*open.backend);
    const int16_t ud = d.ibdev(0, 9, 0, 11, 1, 0);
    for (const bool unplug : {false, true}) {
        if (unplug) {
            controller.request_stop();
            controller.join();
            ::close(master), ::close(slave);
        }
        const auto t0 = clock.now();
        std::string buffer(20, ' ');
        d.ibwrt(ud, "ID?");
        d.ibrd(ud, buffer);
        EXPECT_EQ(d.ibsta() & (gpib::ERR | gpib::TIMO | gpib::END), unplug ? gpib::ERR : gpib::END);
        EXPECT_EQ(buffer, unplug ? std::string(20, ' ') : "ID SIM/AFG5102,V2.1 ");
        EXPECT_LT(clock.now() - t0, 500ms);
    }
}

} // namespace
