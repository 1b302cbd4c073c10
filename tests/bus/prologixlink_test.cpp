// The Prologix backend over loopback TCP to wavedial-sim and over a pseudo-terminal.
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

// The program's exchanges over `place` and on a local bus give the same replies and bus
// traffic (and REN, as the controller takes the bus); once unplugged, calls fail at once.
void sameAsLocalUntilUnplugged(const std::string &place,
                               const std::function<std::vector<std::string>()> &trace,
                               const std::function<void()> &unplug)
{
    SteadyClock clock;
    PrologixOpen open = openPrologix(*parsePrologixAddress(place), clock,
                                     PrologixTiming{.grace = 30ms, .hello = 2000ms});
    ASSERT_TRUE(open.backend) << open.error;
    GpibDriver remote(*open.backend);
    GpibHarness local(Listeners);
    std::string seen[2];
    for (GpibDriver *d : {&remote, &local.gpib.driver()}) {
        std::vector<int16_t> all{0}, found(15, 0);
        for (int16_t a = 1; a <= 31; ++a)
            all.push_back(a < 31 ? a : -1);
        d->SendIFC(0);
        d->FindLstn(0, all, found, 15);
        const int16_t ud = d->ibdev(0, 9, 0, 11, 1, 0);
        int16_t statusByte = -1;
        d->ibclr(ud), d->ibrsp(ud, statusByte), d->ibwrt(ud, "AMPL 5;FREQ 10E+3;ID?;AMPL?");
        std::string reply(64, ' ');
        d->ibrd(ud, reply);
        seen[d == &remote] = std::to_string(found[3]) + reply + (d->ibsta() & gpib::END ? "|" : "");
    }
    EXPECT_EQ(seen[1], seen[0]);
    unplug();
    local.trace.insert(local.trace.begin(), "ren");
    EXPECT_EQ(trace(), local.trace);
    const auto t0 = clock.now();
    remote.ibwrt(remote.ibdev(0, 9, 0, 11, 1, 0), "OUT?");
    EXPECT_EQ(remote.ibsta() & (gpib::ERR | gpib::TIMO), gpib::ERR);
    EXPECT_EQ(remote.iberr(), gpib::EDVR);
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
