// The Prologix backend over loopback TCP to wavedial-sim and, where there are
// pseudo-terminals (not on Windows), over one.
#include "bus/prologix/prologix.h"
#include "sim/servers/prologixadapter.h"
#include "support/gpibharness.h"
#include "support/sameaslocal.h"
#include "support/simprocess.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#ifndef _WIN32
#include <pty.h>
#include <sys/poll.h>
#endif

namespace {

using namespace std::chrono_literals;
const std::string Listeners = "MUTE@2,OTHER@3,AFG5102@9";

// The program over `place` is the program on a local bus until unplugged.
void sameAsLocalUntilUnplugged(const std::string &place,
                               const std::function<std::vector<std::string>()> &trace,
                               const std::function<void()> &unplug)
{
    SteadyClock clock;
    PrologixOpen open = openPrologix(*parsePrologixAddress(place), clock,
                                     PrologixTiming{.grace = 30ms, .hello = 2000ms});
    ASSERT_TRUE(open.backend) << open.error;
    GpibDriver remote(*open.backend);
    // The controller reads the instrument's whole reply at once.
    sameAsLocalUntilUnplugged(remote, clock, Listeners, {"ren"}, 64, trace, unplug);
}

TEST(PrologixLink, OverTcp)
{
    SimProcess sim({QString::fromStdString(Listeners)});
    sameAsLocalUntilUnplugged("127.0.0.1:" + std::to_string(sim.port), [&] { return sim.trace(); }, [&] {
        std::string why, bytes; // first, a second host is turned away while one is connected
        const auto other = connectPrologixTcp("127.0.0.1", sim.port, 5s, why);
        EXPECT_FALSE(other && other->receive(bytes, 5s));
        sim.stop();
    });
}

#ifndef _WIN32
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
#endif

} // namespace
