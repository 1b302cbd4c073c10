// The Prologix backend over real links: loopback TCP against wavedial-sim, and a serial port
// (a pseudo-terminal) with the simulated controller at its far end.
#include "bus/prologix.h"
#include "sim/prologixadapter.h"
#include "support/gpibharness.h"
#include "support/simprocess.h"

#include <gtest/gtest.h>

#include <functional>
#include <pty.h>
#include <sys/poll.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
const std::string Listeners = "MUTE@2,OTHER@3,AFG5102@9";

// What the program does: find the listeners, identify the generator at 9, set it and read
// back. Returns what it saw.
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

// The session over `place` sees and does on the far bus what it does on a local one (the
// controller asserting REN as it takes the bus); once unplugged, every call fails at once.
void sameAsLocalUntilUnplugged(const std::string &place,
                               const std::function<std::vector<std::string>()> &trace,
                               const std::function<void()> &unplug)
{
    SteadyClock clock;
    PrologixOpen open = openPrologix(*parsePrologixAddress(place), clock,
                                     PrologixTiming{.grace = 30ms, .hello = 2000ms});
    ASSERT_TRUE(open.backend) << open.error;
    GpibDriver d(*open.backend);
    GpibHarness local(Listeners);
    EXPECT_EQ(session(d), session(local.gpib.driver()));
    unplug();
    local.trace.insert(local.trace.begin(), "ren");
    EXPECT_EQ(trace(), local.trace);
    const auto t0 = clock.now();
    const int16_t ud = d.ibdev(0, 9, 0, 11, 1, 0);
    std::string buffer(8, ' ');
    d.ibwrt(ud, "OUT?");
    EXPECT_EQ(d.iberr(), gpib::EDVR);
    d.ibrd(ud, buffer);
    EXPECT_EQ(d.ibsta() & (gpib::ERR | gpib::TIMO), gpib::ERR);
    EXPECT_LT(clock.now() - t0, 500ms);
}

TEST(PrologixLink, OverTcp)
{
    SimProcess sim({QString::fromStdString(Listeners)});
    sameAsLocalUntilUnplugged("127.0.0.1:" + std::to_string(sim.port), [&] { return sim.trace(); },
                              [&] { sim.stop(); });
}

TEST(PrologixLink, OverASerialPort)
{
    GpibHarness far(Listeners);
    SimPrologixAdapter adapter(far.bus);
    int master = -1, slave = -1; // the slave held open: no hang-up before the host's own
    char name[128] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    std::jthread controller([&](std::stop_token unplugged) {
        char bytes[512];
        for (pollfd p{master, POLLIN, 0}; !unplugged.stop_requested(); p.revents = 0) {
            const ssize_t n = ::poll(&p, 1, 10) > 0 ? ::read(master, bytes, sizeof bytes) : 0;
            const std::string out = n > 0 ? adapter.take({bytes, static_cast<size_t>(n)}) : "";
            if (n < 0 || ::write(master, out.data(), out.size()) < 0)
                return;
        }
    });
    sameAsLocalUntilUnplugged(name, [&] { return far.trace; }, [&] {
        controller.request_stop();
        controller.join();
        ::close(master), ::close(slave);
    });
}

} // namespace
