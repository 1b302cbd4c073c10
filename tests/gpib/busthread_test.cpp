// The bus thread: driver calls run there while the window's thread keeps handling events,
// and an end asked for during a call cancels it and shuts down before the caller goes on.
#include "gpib/busthread.h"
#include "gpib/driver.h"
#include "gpib/eventwaiter.h"
#include "sim/simbus.h"
#include "sim/simconfig.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// A simulated bus whose writes wait until the test lets them go, or until cancelled.
class HeldBus final : public SimBus
{
public:
    explicit HeldBus(Clock &clock) : SimBus(clock) {}
    int ibwrt(int handle, const void *buffer, long count) override
    {
        callThread = std::this_thread::get_id();
        if (onWrite)
            onWrite();
        while (hold && !released.load() && !cancelled())
            std::this_thread::yield();
        if (cancelled())
            return failed(gpib::EABO);
        return SimBus::ibwrt(handle, buffer, count);
    }
    bool hold = true;
    std::atomic<bool> released{false};
    std::thread::id callThread;
    std::function<void()> onWrite;
};

class RecordingHold final : public InputHold
{
public:
    void hold() override { log += "hold "; holding = true; }
    void release() override { log += "release "; holding = false; }
    std::string log;
    bool holding = false;
};

struct BusRun
{
    int argc = 1;
    char name[2] = "t";
    char *argv[1] = {name};
    QCoreApplication app{argc, argv};
    ManualClock clock;
    BusThread thread;
    HeldBus *bus = nullptr;
    std::vector<std::string> order;
    BusRun()
    {
        auto owned = std::make_unique<HeldBus>(clock);
        bus = owned.get();
        populateSimBus(*bus, *parseSimListeners("FG5010@5,MUTE@3"));
        bus->setTraceSink([this](std::string_view line) { order.emplace_back(line); });
        thread.adopt(std::move(owned));
    }
};

TEST(BusThread, TheWindowKeepsHandlingEventsWhileACallRunsOnTheBusThread)
{
    BusRun r;
    GpibDriver d(*r.bus, &r.thread);
    const int16_t h = d.ibdev(0, 5, 0, 11, 1, 0);
    RecordingHold hold;
    r.thread.setInputHold(&hold);
    int busy = 0;
    r.thread.setBusyIndicator([&] { ++busy; }, [&] { --busy; r.order.push_back("idle"); }, 0);
    // A timer stands for a repaint: it runs during the call, with input held and the busy
    // cursor on, and only then lets the call go.
    std::function<void()> during = [&] {
        if (busy == 0)
            return QTimer::singleShot(0, during);
        r.order.push_back(hold.holding ? "painted, input held" : "painted");
        r.bus->released = true;
    };
    QTimer::singleShot(0, during);
    d.ibwrt(h, "ID?");
    r.order.push_back("returned");
    EXPECT_NE(r.bus->callThread, std::this_thread::get_id());
    EXPECT_FALSE(d.ibsta() & gpib::ERR);
    EXPECT_EQ(r.order, (std::vector<std::string>{"painted, input held", "write 5 ID?", "idle",
                                                  "returned"}));
    EXPECT_EQ(hold.log, "hold release ");
    EXPECT_EQ(busy, 0);
}

TEST(BusThread, AnEndDuringACallCancelsItAndShutsDownBeforeTheCallerGoesOn)
{
    BusRun r;
    GpibDriver d(*r.bus, &r.thread);
    const int16_t h = d.ibdev(0, 5, 0, 11, 1, 0);
    EXPECT_FALSE(r.thread.requestEnd()); // no call under way: the caller closes as usual
    r.bus->onWrite = [&] { r.thread.afterCall([&] { r.order.push_back("notice"); }); };
    r.thread.setEndHandler([&] {
        r.order.push_back("end");
        r.bus->hold = false;
        d.ibclr(h); // the shut-down's calls go through, and a second end does not stop them
        EXPECT_TRUE(r.thread.requestEnd());
        d.ibwrt(h, "OUT OFF");
    });
    QTimer::singleShot(0, [&] { EXPECT_TRUE(r.thread.requestEnd()); });
    d.ibwrt(h, "AMPL?");
    r.order.push_back("returned");
    EXPECT_EQ(d.iberr(), gpib::EABO);
    QCoreApplication::processEvents();
    EXPECT_EQ(r.order, (std::vector<std::string>{"end", "clear 5", "write 5 OUT OFF", "returned",
                                                  "notice", "notice"}));
    // A cancelled simulated timeout ends within a slice, not after the handle's 3 s.
    const int16_t mute = d.ibdev(0, 3, 0, 12, 1, 0);
    r.bus->cancelCalls();
    const Clock::Duration t0 = r.clock.now();
    std::string buffer(8, ' ');
    GpibDriver(*r.bus).ibrd(mute, buffer);
    EXPECT_LT(r.clock.now() - t0, std::chrono::milliseconds(100));
}

// Once the application quits no event loop runs: a wait still lasts until its deadline
// rather than returning at once, which would make its callers spin.
TEST(EventWaiter, WaitsOutItsDeadlineWhileTheApplicationQuits)
{
    BusRun r;
    QtEventWaiter waiter(r.clock);
    QCoreApplication::exit(0);
    const Clock::Duration deadline = r.clock.now() + std::chrono::hours(1);
    waiter.waitForEvents(deadline);
    EXPECT_EQ(r.clock.now(), deadline);
}

} // namespace
