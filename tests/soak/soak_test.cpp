// Long user sessions while the bus fails at random, one kind of fault at a time and then
// all of them: clicks, Enter, options, saves and loads, some in the middle of another
// command's wait. Whatever the bus does, every failure must have its box, nothing may be
// sent after the window closed, nothing may wait for ever, and a save stores the window.
#include "support/fakeview.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

enum class Fault { NoListener, BusError, Timeout, Garbage, Overlong, Endless, All };

// The simulated bus, but failing writes or reads of one kind at random, and counting
// what the program has to report.
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
        m_exchangeFailed = m_endless = false;
        m_overlongLeft = 3;
        return SimBus::ibask(h, o, v);
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
        int status = 0;
        auto *bytes = static_cast<char *>(buffer);
        if (m_endless || roll(Fault::Endless)) {
            m_endless = true; // this reply never ends
            std::memset(bytes, 'x', static_cast<size_t>(count));
            status = done(0, 0, static_cast<int>(count));
            noteFailure();
        } else if (roll(Fault::Timeout)) {
            status = done(gpib::ERR | gpib::TIMO, gpib::EABO);
        } else if (roll(Fault::Garbage)) {
            const long n = std::min<long>(count, 1 + static_cast<long>(m_rng() % 20));
            for (long i = 0; i < n; ++i)
                bytes[i] = static_cast<char>(1 + m_rng() % 255);
            status = done(gpib::END, 0, static_cast<int>(n));
        } else if (m_overlongLeft < 3 || roll(Fault::Overlong)) {
            std::memset(bytes, '7', static_cast<size_t>(count));
            status = done(--m_overlongLeft == 0 ? gpib::END : 0, 0, static_cast<int>(count));
        } else {
            status = SimBus::ibrd(h, buffer, count);
        }
        if (status & (gpib::ERR | gpib::TIMO))
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
    bool m_exchangeFailed = false, m_endless = false;
    int m_overlongLeft = 3;
};

// A user who always goes on: OK to every error, No to the setting errors, either answer
// to the output's confirmation.
struct GoingOnBoxes final : MessageBoxService
{
    std::mt19937 rng{7};
    int gpibErrors = 0, ioErrors = 0;
    Answer show(const std::string &text, const std::string &title, Buttons, Icon) override
    {
        gpibErrors += title.starts_with("GPIB ERROR # ");
        ioErrors += title == "I/O Error";
        if (title == "Change Output")
            return rng() % 2 ? Answer::Yes : Answer::No;
        if (title == "Setting Error")
            return Answer::No;
        EXPECT_TRUE(title.starts_with("GPIB ERROR # ") || title == "I/O Error") << title << ": " << text;
        return Answer::Ok;
    }
};

struct Session
{
    Session(Fault kind, uint32_t seed, const std::string &at) : bus(clock, kind, seed), rng(seed)
    {
        populateSimBus(bus, parseSimListeners(at).value());
        view.controller = &c;
        c.Form_Load();
        bus.enabled = true;
        c.Form_Activate();
    }
    ManualClock clock;
    FlakyBus bus;
    std::mt19937 rng;
    GoingOnBoxes boxes;
    RecordingProgramEnd programEnd;
    ScriptedEvents events{clock};
    GpibModule gpib{bus, GpibServices{boxes, programEnd, clock, events}};
    // Every save flushes its keys to disk: in memory, where there is a memory file
    // system, hundreds of saves cost nothing.
    QTemporaryDir folder{QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                             ? QStringLiteral("/dev/shm/wavedial-soak-XXXXXX")
                             : QDir::tempPath() + QStringLiteral("/wavedial-soak-XXXXXX")};
    SettingsStore store{folder.filePath(QStringLiteral("Wavedial.conf"))};
    FakeView view;
    Controller c{view, gpib, boxes, programEnd, store};
};

const char *const Typed[] = {"1", "2.5", ".25", "-1", "0", "1000", "2,5", "1.2.3", "99999", "+3", "-", "40"};

// Enter, after typing over the whole field.
void typeAndEnter(Session &r, Field f)
{
    r.view.moveFocus(static_cast<FocusTarget>(f));
    r.view.selection = std::pair<size_t, size_t>{0, r.view.text[FakeView::at(f)].size()};
    for (char k : std::string(Typed[r.rng() % std::size(Typed)]) + "\r") {
        auto key = static_cast<int16_t>(k);
        r.c.KeyPress(f, key);
        if (key != 0 && !r.c.closed())
            r.view.setFieldText(f, r.view.fieldTextAfterKey(f) + static_cast<char>(key));
        r.view.selection.reset();
    }
}

// The store holds the window as it was when the save was done, the moment before the
// save put the focus back into the first field.
void save(Session &r, Field)
{
    r.c.SaveSettings();
    const std::string sec = SettingsSection(r.gpib.ModelName);
    for (size_t i = 0; i < 3 && !r.c.closed(); ++i)
        EXPECT_EQ(r.store.read(sec, std::array{"Amplitude", "Offset", "Frequency"}[i], ""),
                  r.view.textsBeforeFocusMove[i]);
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
        ASSERT_NE(r.gpib.DeviceHandle, 0);
        for (int step = 0; step < 150 && !HasFailure(); ++step) {
            // A quarter of the time the user acts again while the command waits on the bus.
            if (r.rng() % 4 == 0)
                r.events.pending.push_back([&r, what = static_cast<int>(r.rng() % Kinds)] { act(r, what); });
            act(r, static_cast<int>(r.rng() % Kinds));
            r.events.processPendingEvents();
            EXPECT_EQ(r.boxes.gpibErrors, r.bus.failedWrites) << "a failed write without its box";
            EXPECT_EQ(r.boxes.ioErrors, r.bus.failedExchanges) << "a failed reply without its box";
            EXPECT_EQ(r.bus.waitForEver, 0);
            EXPECT_EQ(r.programEnd.ends, 0);
        }
        r.c.Form_Unload();
        const int writes = r.bus.failedWrites;
        std::vector<std::string> trace;
        r.bus.setTraceSink([&trace](std::string_view line) { trace.emplace_back(line); });
        for (int what = 0; what < Kinds; ++what)
            act(r, what);
        EXPECT_TRUE(trace.empty()) << "sent after the window closed: " << trace.front();
        EXPECT_EQ(r.bus.failedWrites, writes);
        injected += r.bus.injected;
    }
    EXPECT_GT(injected, 20) << "the faults must really have reached the program";
}

INSTANTIATE_TEST_SUITE_P(FaultKinds, Soak,
                         testing::Values(Fault::NoListener, Fault::BusError, Fault::Timeout,
                                         Fault::Garbage, Fault::Overlong, Fault::Endless, Fault::All));

} // namespace
