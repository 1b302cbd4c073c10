// Long user sessions while the bus fails at random, one kind of fault at a time and then
// all of them: clicks, Enter, options, saves and loads, some in the middle of another
// command's wait. Whatever the bus does, every failure must have its box, nothing may be
// sent after the window closed, nothing may wait for ever, and a save stores the window.
#include "support/fakeview.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using Answer = MessageBoxService::Answer;

enum class Fault { NoListener, BusError, Timeout, All };

// The simulated bus, but failing writes, reads or the question of the time limit at
// random, one kind of fault at a time, and counting what the program has to report.
class FlakyBus final : public SimBus
{
public:
    FlakyBus(Clock &clock, Fault kind, uint32_t seed) : SimBus(clock), m_kind(kind), m_rng(seed) {}
    bool enabled = false;
    int failedWrites = 0, failedExchanges = 0, injected = 0, waitForEver = 0;

    int ibtmo(int h, int c) override { waitForEver += c == 0; return SimBus::ibtmo(h, c); }
    // The program asks the time limit first thing when it reads a reply: a new exchange.
    int ibask(int h, int o, int *v) override
    {
        m_exchangeFailed = false;
        // A driver that cannot tell the time limit leaves none to go back to.
        return roll(Fault::BusError) ? failed(gpib::ECAP) : SimBus::ibask(h, o, v);
    }
    int ibwrt(int h, const void *buffer, long count) override
    {
        const int status = roll(Fault::NoListener) ? failed(gpib::ENOL)
                           : roll(Fault::BusError) ? failed(gpib::EBUS)
                                                   : SimBus::ibwrt(h, buffer, count);
        failedWrites += (status & gpib::ERR) != 0;
        return status;
    }
    int ibrd(int h, void *buffer, long count) override
    {
        const int status = roll(Fault::Timeout)    ? done(gpib::ERR | gpib::TIMO, gpib::EABO)
                           : roll(Fault::BusError) ? failed(gpib::EBUS) // no TIMO: ends it too
                                                   : SimBus::ibrd(h, buffer, count);
        if (status & gpib::ERR)
            noteFailure();
        return status;
    }

private:
    bool roll(Fault f)
    {
        const bool hit = enabled && (m_kind == f || m_kind == Fault::All) && m_rng() % 100 < 8;
        injected += hit;
        return hit;
    }
    void noteFailure()
    {
        failedExchanges += !m_exchangeFailed;
        m_exchangeFailed = true;
    }

    Fault m_kind;
    std::mt19937 m_rng;
    bool m_exchangeFailed = false;
};

// A user who always goes on: OK to every error, No to the setting errors, either answer
// to the output's confirmation.
struct Session : ControllerHarness
{
    Session(Fault kind, uint32_t seed, const std::string &at)
        : ControllerHarness(at, {}, [=](Clock &busClock) { return std::make_unique<FlakyBus>(busClock, kind, seed); }),
          flaky(static_cast<FlakyBus &>(bus)), rng(seed)
    {
        boxes.respond = [this](const ScriptedMessageBox::Box &b) {
            if (b.title == "Change Output")
                return rng() % 2 ? Answer::Yes : Answer::No;
            EXPECT_TRUE(b.title.starts_with("GPIB ERROR # ") || b.title == "I/O Error" || b.title == "Setting Error")
                << b.title << ": " << b.text;
            return b.title == "Setting Error" ? Answer::No : Answer::Ok;
        };
        c.Form_Load();
        flaky.enabled = true;
        c.Form_Activate();
    }
    long boxesTitled(std::string_view head) const
    {
        return std::ranges::count_if(boxes.boxes, [head](const auto &b) { return b.title.starts_with(head); });
    }
    FlakyBus &flaky;
    std::mt19937 rng;
    std::array<std::string, 3> saved; // by the last save whose read-back went through
};

const char *const Typed[] = {"1", "2.5", ".25", "-1", "0", "1000", "2,5", "1.2.3", "99999", "+3", "-", "40"};

// Enter, after typing over the whole field.
void typeAndEnter(Session &r, Field f)
{
    r.view.moveFocus(static_cast<FocusTarget>(f));
    r.view.selection = std::pair<size_t, size_t>{0, r.view.text[FakeView::at(f)].size()};
    r.type(f, std::string(Typed[r.rng() % std::size(Typed)]) + "\r");
}

// The store holds the window as it was when the save was done, the moment before the
// save put the focus back into the first field. A save whose read-back failed stores
// nothing: the store keeps what the last good save (perhaps one made meanwhile) stored.
void save(Session &r, Field)
{
    const std::string sec = SettingsSection(r.gpib.modelName());
    const int failures = r.flaky.failedWrites + r.flaky.failedExchanges;
    r.c.SaveSettings();
    if (r.c.closed())
        return;
    std::array<std::string, 3> stored;
    for (size_t i = 0; i < 3; ++i)
        stored[i] = r.store.read(sec, std::array{"Amplitude", "Offset", "Frequency"}[i], "");
    const auto &shown = r.view.textsBeforeFocusMove;
    if (r.flaky.failedWrites + r.flaky.failedExchanges == failures)
        r.saved = {shown[0], shown[1], shown[2]};
    EXPECT_EQ(stored, r.saved);
}

using Act = void (*)(Session &, Field);
const Act Acts[] = {
    [](Session &r, Field) { r.c.Button_Apply_Click(); },
    typeAndEnter,
    [](Session &r, Field) { r.c.Button_ToggleOutput_Click(); },
    [](Session &r, Field) { r.c.Button_Refresh_Click(); },
    save,
    [](Session &r, Field) { r.view.enabled[2] ? r.c.LoadSavedSettingsAndApply() : void(); },
    [](Session &r, Field) { r.c.Menu_InitFG_Click(); },
    [](Session &r, Field f) {
        const auto g = static_cast<Group>(3 + static_cast<int>(f) % 3);
        r.view.selectOption(g, static_cast<int>(r.rng() % (g == Group::Load ? 2 : 3)));
    },
    [](Session &r, Field f) {
        const auto o = static_cast<Option>(static_cast<int>(f) + r.rng() % 3);
        r.view.checked[static_cast<size_t>(o)] = !r.view.checked[static_cast<size_t>(o)];
        r.c.OptionItemClick(o);
    },
    [](Session &r, Field f) { r.c.DblClick(f); },
};
constexpr int Kinds = std::size(Acts);

void act(Session &r, int what)
{
    Acts[what](r, static_cast<Field>(r.rng() % 4));
}

class Soak : public testing::TestWithParam<Fault> {};

TEST_P(Soak, EveryFailureHasItsBoxAndNothingHangsOrLeaks)
{
    const char *const models[] = {"FG5010@5", "AFG5101@5", "AFG5102@9", "PFG5105@3"};
    int injected = 0;
    for (uint32_t seed = 1; seed <= 8 && !HasFailure(); ++seed) {
        SCOPED_TRACE(seed);
        Session r(GetParam(), seed, models[seed % 4]);
        ASSERT_NE(r.gpib.deviceHandle(), 0);
        for (int step = 0; step < 150 && !HasFailure(); ++step) {
            // A quarter of the time the user acts again while the command waits on the bus.
            if (r.rng() % 4 == 0)
                r.events.pending.push_back([&r, what = static_cast<int>(r.rng() % Kinds)] { act(r, what); });
            act(r, static_cast<int>(r.rng() % Kinds));
            r.events.processPendingEvents();
            EXPECT_EQ(r.boxesTitled("GPIB ERROR # "), r.flaky.failedWrites) << "a failed write without its box";
            EXPECT_EQ(r.boxesTitled("I/O Error"), r.flaky.failedExchanges) << "a failed reply without its box";
            EXPECT_EQ(r.flaky.waitForEver, 0);
            EXPECT_EQ(r.programEnd.ends, 0);
        }
        r.c.Form_Unload();
        const int writes = r.flaky.failedWrites;
        r.trace.clear();
        for (int what = 0; what < Kinds; ++what)
            act(r, what);
        EXPECT_TRUE(r.trace.empty()) << "sent after the window closed: " << r.trace.front();
        EXPECT_EQ(r.flaky.failedWrites, writes);
        injected += r.flaky.injected;
    }
    EXPECT_GT(injected, 20) << "the faults must really have reached the program";
}

INSTANTIATE_TEST_SUITE_P(FaultKinds, Soak,
                         testing::Values(Fault::NoListener, Fault::BusError, Fault::Timeout, Fault::All));

} // namespace
