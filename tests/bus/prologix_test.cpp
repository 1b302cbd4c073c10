// The Prologix-compatible controller backend on a simulated controller in memory.
#include "bus/prologix.h"
#include "gpib/driver.h"
#include "sim/prologixadapter.h"
#include "sim/simbus.h"
#include "sim/simconfig.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// Hands what the host sends to the simulated controller, or answers from `answers` (by
// the bytes of one send). A wait with nothing to receive moves the host's test clock by
// the whole wait, so a timeout costs no real time.
class MemoryLink final : public PrologixLink
{
public:
    MemoryLink(SimPrologixAdapter &adapter, ManualClock &clock) : m_adapter(adapter), m_clock(clock) {}
    bool send(std::string_view bytes, Clock::Duration) override
    {
        wire += bytes;
        const auto it = answers.find(std::string(bytes));
        m_out += it != answers.end() ? it->second : m_adapter.take(bytes);
        return !broken;
    }
    bool receive(std::string &into, Clock::Duration limit) override
    {
        if (m_out.empty() && !babble.empty()) // a talker that never stops
            m_clock.sleepFor(std::chrono::milliseconds(1)), m_out = babble;
        if (m_out.empty())
            m_clock.sleepFor(limit);
        const size_t n = std::min(pace, m_out.size()); // trickles in `pace` bytes at a time
        into += m_out.substr(0, n);
        m_out.erase(0, n);
        return !broken;
    }
    std::string failure() const override { return "the cable was pulled"; }

    std::string wire; // every byte the host sent
    std::map<std::string, std::string> answers;
    bool broken = false;
    size_t pace = 1 << 20;
    std::string babble;

private:
    SimPrologixAdapter &m_adapter;
    ManualClock &m_clock;
    std::string m_out;
};

const std::string Hello =
    "++mode 1\n++auto 0\n++eoi 1\n++eos 3\n++eot_enable 1\n++eot_char 4\n++ver\n";

// A started backend; its trace and wire begin after the start.
struct Controller
{
    explicit Controller(const std::string &listeners, bool fndl = true)
        : adapter(bus, SimPrologixOptions{.findListeners = fndl})
    {
        populateSimBus(bus, parseSimListeners(listeners).value());
        bus.setTraceSink([this](std::string_view line) { trace.emplace_back(line); });
        std::string why;
        EXPECT_TRUE(prologix.start(why)) << why;
        EXPECT_EQ(link->wire, Hello);
        link->wire.clear();
        trace.clear();
        t0 = clock.now();
    }
    int16_t open(int16_t pad) { return driver.ibdev(0, pad, 0, 11, 1, 0); }
    double ms() const { return std::chrono::duration<double, std::milli>(clock.now() - t0).count(); }
    int32_t status(int32_t bits) const { return driver.ibsta() & bits; }
    std::string read(int16_t ud, size_t size = 64)
    {
        std::string buffer(size, ' ');
        driver.ibrd(ud, buffer);
        return buffer.substr(0, static_cast<size_t>(driver.ibcnt()));
    }

    ManualClock busClock, clock;
    SimBus bus{busClock};
    SimPrologixAdapter adapter;
    MemoryLink *link = new MemoryLink(adapter, clock); // owned by the backend
    PrologixBus prologix{std::unique_ptr<PrologixLink>(link), clock};
    GpibDriver driver{prologix};
    std::vector<std::string> trace;
    Clock::Duration t0{};
};

constexpr double Grace = 50, Probe = 20 + Grace; // PrologixTiming's; a probe nobody answers

TEST(Prologix, StartSetsTheControllerUpOrSaysWhyNot)
{
    Controller c("FG5010@5");
    EXPECT_EQ(c.prologix.version(), "Wavedial simulated GPIB-Ethernet controller");
    for (const bool pulled : {false, true}) {
        ManualClock clock;
        SimBus bus(clock);
        SimPrologixAdapter adapter(bus);
        auto link = std::make_unique<MemoryLink>(adapter, clock);
        link->answers[Hello] = ""; // takes the bytes and says nothing: no controller
        link->broken = pulled;
        PrologixBus p(std::move(link), clock, PrologixTiming{.helloAttempts = 3});
        const auto t0 = clock.now();
        std::string why;
        EXPECT_FALSE(p.start(why));
        EXPECT_EQ(why, pulled ? "the cable was pulled"
                              : "it did not answer ++ver; it is no Prologix-compatible "
                                "controller, or it is busy");
        EXPECT_EQ(clock.now() - t0, pulled ? Clock::Duration{} : 3 * PrologixTiming().hello);
        EXPECT_TRUE(p.lost());
    }
}

// Keeps every message it is sent.
struct Recorder final : SimDevice
{
    void receive(std::string_view message) override { messages.emplace_back(message); }
    std::vector<std::string> messages;
};

TEST(Prologix, DataReachesTheInstrumentByteForByte)
{
    std::string everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte += static_cast<char>(b);
    const std::pair<std::string, std::string> rows[] = { // payload, its line ("": not checked)
        {"AMPL 5;OFFS 0", "AMPL 5;OFFS 0"}, {"ID?\r\n", "ID?\x1b\r\x1b\n"},
        {"A\x1b" "B", "A\x1b\x1b" "B"},     {"FREQ 1E+3", "FREQ 1E\x1b+3"},
        {"++ifc", "\x1b+\x1b+ifc"},          {everyByte, ""}};
    for (const auto &[payload, line] : rows) {
        SCOPED_TRACE(line);
        Controller c("");
        auto *recorder = new Recorder;
        c.bus.attach(5, std::unique_ptr<SimDevice>(recorder));
        c.driver.ibwrt(c.open(5), payload);
        EXPECT_EQ(c.status(gpib::ERR), 0);
        EXPECT_EQ(c.driver.ibcnt(), static_cast<int16_t>(payload.size()));
        EXPECT_EQ(recorder->messages, std::vector<std::string>{payload});
        if (!line.empty()) {
            EXPECT_EQ(c.link->wire, "++addr 5\n" + line + "\n");
        }
    }
}

TEST(Prologix, SendsAddressTimeoutAndEoiOnlyWhenTheyChange)
{
    Controller c("FG5010@5,AFG5102@9");
    const int16_t a = c.open(5), b = c.open(9), noEoi = c.driver.ibdev(0, 9, 0, 12, 0, 0);
    for (const int16_t ud : {a, a, b, noEoi, a}) {
        c.driver.ibwrt(ud, "OUT?");
        c.read(ud);
    }
    EXPECT_EQ(c.link->wire, "++addr 5\nOUT?\n++read_tmo_ms 1000\n++read eoi\nOUT?\n++read eoi\n"
                            "++addr 9\nOUT?\n++read eoi\n"
                            "++eoi 0\nOUT?\n++read_tmo_ms 3000\n++read eoi\n"
                            "++addr 5\n++eoi 1\nOUT?\n++read_tmo_ms 1000\n++read eoi\n");
}

TEST(Prologix, AReplyComesInSeveralReadsAndEndsOnTheLast)
{
    Controller c("AFG5102@9");
    c.link->pace = 1; // trickling in byte by byte
    const int16_t ud = c.open(9);
    c.driver.ibwrt(ud, "ID?;AMPL?;OFFS?;FREQ?");
    std::string reply, ends;
    while (ends.find('E') == std::string::npos && ends.size() < 20) {
        reply += c.read(ud, 16);
        ends += c.status(gpib::END | gpib::ERR) ? 'E' : '-';
    }
    EXPECT_EQ(reply, "ID SIM/AFG5102,V2.1;AMPL 1.00E+0;OFFS 0.00E+0;FREQ 1.000E+3");
    EXPECT_EQ(ends, "---E");
    EXPECT_EQ(c.status(gpib::ERR), 0);
    c.driver.ibwrt(ud, "OUT?");
    EXPECT_EQ(c.read(ud, 7), "OUT OFF"); // a buffer just as long ends it
    EXPECT_EQ(c.status(gpib::END), gpib::END);
    c.driver.ibwrt(ud, "ID?");
    EXPECT_EQ(c.read(ud, 4), "ID S"); // the next operation drops the unread rest
    c.driver.ibwrt(ud, "OUT?");
    EXPECT_EQ(c.read(ud), "OUT OFF");
    EXPECT_EQ(c.ms(), 0);
}

TEST(Prologix, TimeoutsCostTheControllersTimeoutAndTheGrace)
{
    const struct
    {
        const char *listeners;
        int16_t code;
        bool poll; // else a read
        double ms;
    } rows[] = {{"MUTE@2", 11, true, 1000 + Grace}, {"MUTE@2", 12, false, 3000 + Grace},
                {"FG5010@2", 7, false, 10 + Grace}, {"", 1, true, 1 + Grace},
                {"MUTE@2", 0, false, 3000 + Grace}, {"MUTE@2", 13, true, 3000 + Grace}};
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message() << r.listeners << " code " << r.code);
        Controller c(r.listeners + std::string(r.listeners[0] ? "," : "") + "FG5010@9");
        const int16_t ud = c.open(2);
        c.driver.ibtmo(ud, r.code);
        int16_t statusByte = 0;
        r.poll ? c.driver.ibrsp(ud, statusByte) : void(c.read(ud));
        EXPECT_EQ(c.status(gpib::ERR | gpib::TIMO), gpib::ERR | gpib::TIMO);
        EXPECT_EQ(c.driver.iberr(), gpib::EABO);
        EXPECT_EQ(c.driver.ibcnt(), 0);
        EXPECT_DOUBLE_EQ(c.ms(), r.ms);
        EXPECT_EQ(c.trace, std::vector<std::string>{"timeout 2"});
        c.driver.ibpad(ud, 9); // the bus is usable again at once
        c.driver.ibwrt(ud, "ID?");
        EXPECT_EQ(c.read(ud), "ID SIM/FG5010,V2.1");
    }
    const std::pair<int, int> codes[] = {{0, 3000}, {1, 1},     {6, 3},     {7, 10},
                                         {11, 1000}, {13, 3000}, {18, -1}, {-1, -1}};
    for (const auto &[code, ms] : codes)
        EXPECT_EQ(prologixReadTimeoutMs(code), ms) << code;
}

TEST(Prologix, FindsListenersByAskingOrByProbing)
{
    std::string fifteen;
    std::vector<int16_t> first14{0};
    for (int16_t a = 16; a <= 30; ++a)
        fifteen += (a > 16 ? "," : "") + std::string("FG5010@") + std::to_string(a);
    for (int16_t a = 16; a <= 29; ++a)
        first14.push_back(a);
    const std::string three = "AFG5102@9,MUTE@2,OTHER@3", two = "FG5010@5,AFG5102@9";
    const struct
    {
        std::string listeners;
        bool fndl;
        const char *answer; // to ++fndl, instead of the simulated controller's
        int16_t error;      // -1: none
        std::vector<int16_t> found;
        double ms;
    } rows[] = {{"", true, nullptr, gpib::EBUS, {}, 0},
                {three, true, nullptr, -1, {0, 2, 3, 9}, 0},
                {fifteen, true, nullptr, gpib::ETAB, first14, 0},
                {"", false, nullptr, gpib::EBUS, {}, 30 * Probe},
                {three, false, nullptr, -1, {0, 3, 9}, 28 * Probe}, // a mute one answers no poll
                {fifteen, false, nullptr, gpib::ETAB, first14, 15 * Probe},
                {two, true, "5 9\r\n", -1, {0, 5, 9}, 0},
                {two, true, "5\r\n9\r\n", -1, {0, 5, 9}, 0},
                {two, true, "5,9\n", -1, {0, 5, 9}, 0},
                {two, true, "Unrecognized command\r\n", -1, {0, 5, 9}, 28 * Probe}};
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message() << r.listeners << " fndl " << r.fndl << " answer "
                                        << (r.answer ? r.answer : "-"));
        Controller c(r.listeners, r.fndl);
        if (r.answer)
            c.link->answers["++fndl\n"] = r.answer;
        std::vector<int16_t> all, results(15, 0), found = r.found;
        for (int16_t a = 0; a <= 30; ++a)
            all.push_back(a);
        all.push_back(-1);
        found.resize(15, 0);
        c.driver.FindLstn(0, all, results, 15);
        EXPECT_EQ(c.status(gpib::ERR) ? c.driver.iberr() : -1, r.error);
        EXPECT_EQ(results, found);
        EXPECT_DOUBLE_EQ(c.ms(), r.ms);
        // Afterwards a write to an address found silent has no listener.
        const int16_t ud = c.open(1);
        c.driver.ibwrt(ud, "ID?");
        EXPECT_EQ(c.status(gpib::ERR) ? c.driver.iberr() : -1, gpib::ENOL);
    }
}

TEST(Prologix, ALostLinkFailsEveryBusCallAtOnce)
{
    Controller c("FG5010@5");
    const int16_t ud = c.open(5);
    c.driver.ibwrt(ud, "ID?");
    c.link->broken = true;
    int16_t statusByte = 0;
    std::vector<int16_t> results(15, 0);
    const std::function<void()> calls[] = {
        [&] { c.read(ud); }, [&] { c.driver.ibwrt(ud, "AMPL 5"); }, [&] { c.driver.ibclr(ud); },
        [&] { c.driver.ibrsp(ud, statusByte); }, [&] { c.driver.SendIFC(0); },
        [&] { c.driver.FindLstn(0, std::vector<int16_t>{0, 5, -1}, results, 15); }};
    for (const auto &call : calls) {
        call();
        EXPECT_EQ(c.status(gpib::ERR | gpib::TIMO), gpib::ERR);
        EXPECT_EQ(c.driver.iberr(), gpib::EDVR);
    }
    EXPECT_EQ(c.ms(), 0);
    EXPECT_TRUE(c.prologix.lost());
}

TEST(Prologix, ATalkerThatNeverStopsHoldsNoCallBeyondTheLongestWait)
{
    Controller c("FG5010@5");
    const int16_t ud = c.open(5);
    c.link->babble = "xxxxxxxx";
    EXPECT_EQ(c.read(ud, 512), std::string(512, 'x'));
    EXPECT_EQ(c.status(gpib::ERR | gpib::END), 0);
    c.driver.ibwrt(ud, "OUT?"); // drains the rest first, but not for ever
    EXPECT_EQ(c.status(gpib::ERR), 0);
    EXPECT_LE(c.ms(), 10'000 + 100);
}

} // namespace
