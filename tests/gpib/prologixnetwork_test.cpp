// The backend over real links: loopback TCP against wavedial-sim, as a user would run them,
// and a serial port (a pseudo-terminal) with the simulated controller at its far end.
#include "gpib/driver.h"
#include "bus/prologix.h"
#include "sim/prologixadapter.h"
#include "support/simharness.h"
#include "support/simprocess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#ifdef __linux__
#include <poll.h>
#include <pty.h>
#include <unistd.h>
#endif

namespace {

using namespace std::chrono_literals;

std::vector<int16_t> allAddresses()
{
    std::vector<int16_t> list;
    for (int16_t a = 0; a <= 30; ++a)
        list.push_back(a);
    list.push_back(-1);
    return list;
}

PrologixAddress loopback(uint16_t port)
{
    PrologixAddress a;
    a.host = "127.0.0.1";
    a.port = port;
    return a;
}

// A short grace: on loopback the controller's answers take microseconds.
PrologixTiming loopbackTiming()
{
    PrologixTiming t;
    t.grace = 30ms;
    t.hello = 2000ms;
    return t;
}

struct NetworkBus
{
    explicit NetworkBus(uint16_t port)
    {
        PrologixOpen open = openPrologix(loopback(port), clock, loopbackTiming());
        EXPECT_TRUE(open.backend) << open.error;
        backend = std::move(open.backend);
        if (backend)
            driver = std::make_unique<GpibDriver>(*backend);
    }

    double elapsedMs(Clock::Duration since) const
    {
        return std::chrono::duration<double, std::milli>(clock.now() - since).count();
    }

    SteadyClock clock;
    std::unique_ptr<GpibBackend> backend;
    std::unique_ptr<GpibDriver> driver;
};

// What the program does to find and identify its instrument, send it a line and read it back.
std::vector<std::string> identifyAndSet(GpibDriver &driver)
{
    std::vector<std::string> seen;
    std::vector<int16_t> results(15, 0);
    driver.SendIFC(0);
    driver.ibsre(0, 1);
    driver.FindLstn(0, allAddresses(), results, 15);
    std::string found;
    for (const int16_t a : results)
        found += std::to_string(a) + ' ';
    seen.push_back(found);
    const int16_t ud = driver.ibdev(0, 9, 0, 11, 1, 0);
    driver.ibclr(ud);
    int16_t statusByte = -1;
    driver.ibrsp(ud, statusByte);
    seen.push_back("status " + std::to_string(statusByte));
    driver.ibwrt(ud, "ID?");
    std::string reply(256, ' ');
    driver.ibrd(ud, reply);
    seen.push_back(reply.substr(0, static_cast<size_t>(driver.ibcnt())) +
                   ((driver.ibsta() & gpib::END) ? " END" : ""));
    driver.ibwrt(ud, "AMPL 5;OFFS 0;FREQ 10E+3;FUNC SINE;SYM 50");
    seen.push_back("iberr " + std::to_string((driver.ibsta() & gpib::ERR) ? driver.iberr() : -1));
    // Read back: the answer also shows that the controller has handled everything before.
    driver.ibwrt(ud, "AMPL?");
    std::fill(reply.begin(), reply.end(), ' ');
    driver.ibrd(ud, reply);
    seen.push_back(reply.substr(0, static_cast<size_t>(driver.ibcnt())));
    return seen;
}

TEST(PrologixNetwork, DiscoveryAndIdentificationWorkAndTraceAsOnTheSimulatedBus)
{
    const std::string listeners = "MUTE@2,OTHER@3,AFG5102@9";
    SimProcess sim({QString::fromStdString(listeners)});
    NetworkBus net(sim.port);
    ASSERT_TRUE(net.driver);
    SimHarness local(listeners);

    EXPECT_EQ(identifyAndSet(*net.driver), identifyAndSet(local.driver));
    std::vector<std::string> expected = local.trace;
    std::erase(expected, "ren");
    std::vector<std::string> traced = sim.trace();
    ASSERT_FALSE(traced.empty());
    EXPECT_EQ(traced.front(), "ren"); // asserted once, as the controller took the bus
    EXPECT_EQ(std::vector<std::string>(traced.begin() + 1, traced.end()), expected);
}

TEST(PrologixNetwork, AQueryReadInChunksEndsOnTheLast)
{
    SimProcess sim({"AFG5102@9"});
    NetworkBus net(sim.port);
    ASSERT_TRUE(net.driver);
    const int16_t ud = net.driver->ibdev(0, 9, 0, 11, 1, 0);
    net.driver->ibwrt(ud, "ID?;AMPL?;OFFS?;FREQ?");
    std::string reply;
    std::vector<bool> ends;
    for (int i = 0; i < 20 && (ends.empty() || !ends.back()); ++i) {
        std::string buffer(8, ' ');
        net.driver->ibrd(ud, buffer);
        ASSERT_FALSE(net.driver->ibsta() & gpib::ERR);
        reply += buffer.substr(0, static_cast<size_t>(net.driver->ibcnt()));
        ends.push_back((net.driver->ibsta() & gpib::END) != 0);
    }
    EXPECT_EQ(reply, "ID SIM/AFG5102,V2.1;AMPL 1.00E+0;OFFS 0.00E+0;FREQ 1.000E+3");
    EXPECT_EQ(ends.size(), 8u);
    EXPECT_EQ(std::count(ends.begin(), ends.end(), true), 1);
    // The controller read the reply off the bus in one go.
    EXPECT_EQ(sim.trace().back(), "read 9 " + reply);
}

TEST(PrologixNetwork, ATimeoutWaitsTheHandlesTimeoutAndLeavesTheBusUsable)
{
    SimProcess sim({"MUTE@2,FG5010@5"});
    NetworkBus net(sim.port);
    ASSERT_TRUE(net.driver);
    const int16_t mute = net.driver->ibdev(0, 2, 0, 7, 1, 0); // 10 ms
    const auto t0 = net.clock.now();
    std::string buffer(64, ' ');
    net.driver->ibrd(mute, buffer);
    const double ms = net.elapsedMs(t0);
    EXPECT_EQ(net.driver->ibsta() & (gpib::ERR | gpib::TIMO), gpib::ERR | gpib::TIMO);
    EXPECT_EQ(net.driver->iberr(), gpib::EABO);
    EXPECT_GE(ms, 10.0 + 30.0);
    EXPECT_LT(ms, 1000.0);

    const int16_t generator = net.driver->ibdev(0, 5, 0, 7, 1, 0);
    net.driver->ibwrt(generator, "ID?");
    net.driver->ibrd(generator, buffer);
    EXPECT_EQ(buffer.substr(0, static_cast<size_t>(net.driver->ibcnt())), "ID SIM/FG5010,V2.1");
    EXPECT_TRUE(net.driver->ibsta() & gpib::END);
    const std::vector<std::string> traced = sim.trace();
    EXPECT_NE(std::find(traced.begin(), traced.end(), "timeout 2"), traced.end());
}

TEST(PrologixNetwork, ADroppedConnectionFailsEveryCallWithoutHanging)
{
    SimProcess sim({"FG5010@5"});
    NetworkBus net(sim.port);
    ASSERT_TRUE(net.driver);
    const int16_t ud = net.driver->ibdev(0, 5, 0, 12, 1, 0);
    net.driver->ibwrt(ud, "ID?");
    ASSERT_FALSE(net.driver->ibsta() & gpib::ERR);

    sim.stop();
    const auto t0 = net.clock.now();
    net.driver->ibwrt(ud, "OUT?");
    EXPECT_EQ(net.driver->ibsta() & gpib::ERR, gpib::ERR);
    EXPECT_EQ(net.driver->iberr(), gpib::EDVR);
    std::string buffer(64, ' ');
    net.driver->ibrd(ud, buffer);
    EXPECT_EQ(net.driver->ibsta() & (gpib::ERR | gpib::TIMO), gpib::ERR);
    EXPECT_EQ(net.driver->iberr(), gpib::EDVR);
    int16_t statusByte = 0;
    net.driver->ibrsp(ud, statusByte);
    EXPECT_EQ(net.driver->iberr(), gpib::EDVR);
    EXPECT_LT(net.elapsedMs(t0), 500.0);
}

TEST(PrologixNetwork, TheControllerServesOneHostAtATime)
{
    SimProcess sim({"FG5010@5"});
    NetworkBus first(sim.port);
    ASSERT_TRUE(first.driver);
    SteadyClock clock;
    const PrologixOpen second = openPrologix(loopback(sim.port), clock, loopbackTiming());
    EXPECT_FALSE(second.backend);
    EXPECT_NE(second.error.find("did not answer"), std::string::npos) << second.error;

    const int16_t ud = first.driver->ibdev(0, 5, 0, 11, 1, 0);
    first.driver->ibwrt(ud, "ID?");
    std::string buffer(64, ' ');
    first.driver->ibrd(ud, buffer);
    EXPECT_TRUE(first.driver->ibsta() & gpib::END);
}

#ifdef __linux__
// A serial adapter on a pseudo-terminal: the simulated controller answers at the master
// side, on a thread of its own, until it is unplugged.
class PtyController
{
public:
    explicit PtyController(const std::string &listeners) : m_adapter(m_bus)
    {
        populateSimBus(m_bus, parseSimListeners(listeners).value());
        char name[128] = {};
        EXPECT_EQ(openpty(&m_master, &m_slave, name, nullptr, nullptr), 0);
        device = name;
        m_thread = std::thread([this] { serve(); });
    }
    ~PtyController() { unplug(); }

    void unplug()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        for (int *fd : {&m_master, &m_slave})
            if (*fd >= 0)
                ::close(std::exchange(*fd, -1));
    }

    std::string device;

private:
    void serve()
    {
        char buffer[512];
        while (!m_stop) {
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN))
                continue;
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n <= 0)
                return;
            const std::string out = m_adapter.take(std::string_view(buffer, size_t(n)));
            if (!out.empty() && ::write(m_master, out.data(), out.size()) < 0)
                return;
        }
    }

    ManualClock m_clock;
    SimBus m_bus{m_clock};
    SimPrologixAdapter m_adapter;
    int m_master = -1;
    int m_slave = -1; // held open, so that the master side sees no hang-up before the host
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST(PrologixSerial, AnAdapterOnASerialPortWorksUntilItIsUnplugged)
{
    PtyController adapter("AFG5102@9");
    SteadyClock clock;
    PrologixAddress place;
    place.kind = PrologixAddress::Kind::Serial;
    place.device = adapter.device;
    PrologixOpen open = openPrologix(place, clock, loopbackTiming());
    ASSERT_TRUE(open.backend) << open.error;
    GpibDriver driver(*open.backend);
    const int16_t ud = driver.ibdev(0, 9, 0, 11, 1, 0);
    driver.ibwrt(ud, "ID?");
    std::string buffer(64, ' ');
    driver.ibrd(ud, buffer);
    EXPECT_EQ(buffer.substr(0, static_cast<size_t>(driver.ibcnt())), "ID SIM/AFG5102,V2.1");
    EXPECT_TRUE(driver.ibsta() & gpib::END);

    adapter.unplug();
    const auto t0 = clock.now();
    driver.ibwrt(ud, "ID?");
    driver.ibrd(ud, buffer);
    EXPECT_EQ(driver.ibsta() & (gpib::ERR | gpib::TIMO), gpib::ERR);
    EXPECT_EQ(driver.iberr(), gpib::EDVR);
    EXPECT_LT(clock.now() - t0, std::chrono::milliseconds(500));
}
#endif

} // namespace
