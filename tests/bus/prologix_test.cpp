// The Prologix-compatible controller backend on a simulated controller in memory.
#include "bus/prologix/prologix.h"
#include "sim/servers/prologixadapter.h"
#include "support/gpibharness.h"
#include "support/simprocess.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <utility>

namespace {

// The host's end of a simulated controller, or of `answers` for the bytes of one send. A
// wait with nothing to receive moves the host's test clock by the whole wait.
class MemoryLink final : public ByteLink
{
public:
    MemoryLink(SimPrologixAdapter &adapter, ManualClock &clock) : m_adapter(adapter), m_clock(clock)
    {
    }
    bool send(std::string_view bytes, Clock::Duration) override
    {
        wire += bytes;
        const auto it = answers.find(std::string(bytes));
        m_out += it != answers.end() ? it->second : m_adapter.take(bytes);
        return !broken;
    }
    bool receive(std::string &into, Clock::Duration limit) override
    {
        if (m_out.empty()) {
            m_clock.sleepFor(limit);
            into += endless;
        }
        into += std::exchange(m_out, {});
        return !broken;
    }
    std::string failure() const override { return "the cable was pulled"; }

    std::string wire; // every byte the host sent
    std::map<std::string, std::string> answers;
    std::string endless; // comes in every wait that nothing else fills: it never stops
    bool broken = false;

private:
    SimPrologixAdapter &m_adapter;
    ManualClock &m_clock;
    std::string m_out;
};

const std::string Hello =
    "++mode 1\n++auto 0\n++eoi 1\n++eos 3\n++eot_enable 1\n++eot_char 4\n++ver\n";

using Ms = std::chrono::duration<double, std::milli>;

// A started backend; wire, trace and time count from the end of the start.
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
    double ms() const { return Ms(clock.now() - t0).count(); }
    int error() const { return driver.ibsta() & gpib::ERR ? driver.iberr() : -1; }
    // Writes `text` unless empty, reads; "|" marks the end of the reply.
    std::string query(int16_t ud, const std::string &text, size_t size = 64)
    {
        std::string buffer(size, ' ');
        if (!text.empty())
            driver.ibwrt(ud, text);
        driver.ibrd(ud, buffer);
        return buffer.substr(0, static_cast<size_t>(driver.ibcnt())) +
               (driver.ibsta() & gpib::END ? "|" : "");
    }

    ManualClock busClock, clock;
    SimBus bus{busClock};
    SimPrologixAdapter adapter;
    MemoryLink *link = new MemoryLink(adapter, clock); // owned by the backend
    PrologixBus prologix{std::unique_ptr<ByteLink>(link), clock};
    GpibDriver driver{prologix};
    std::vector<std::string> trace;
    Clock::Duration t0{};
};

TEST(Prologix, StartSetsTheControllerUpOrSaysWhyNot)
{
    Controller c(""); // which checks the set-up lines
    EXPECT_EQ(c.prologix.version(), "Wavedial simulated GPIB-Ethernet controller");
    // Link pulled; what comes instead of an answer, for ever: nothing, blank lines, bytes
    // that end no line (none of them stretches an attempt).
    for (const auto &[pulled, endless] :
         {std::pair{false, ""}, {true, ""}, {false, "\r\n"}, {false, "x"}}) {
        auto link = std::make_unique<MemoryLink>(c.adapter, c.clock);
        link->answers[Hello] = ""; // takes the bytes and says nothing: no controller
        link->broken = pulled;
        link->endless = endless;
        PrologixBus p(std::move(link), c.clock, PrologixTiming{.helloAttempts = 3});
        std::string why;
        c.t0 = c.clock.now();
        EXPECT_FALSE(p.start(why));
        EXPECT_EQ(why, pulled ? "the cable was pulled"
                              : "it did not answer ++ver; it is no Prologix-compatible "
                                "controller, or it is busy");
        EXPECT_EQ(c.ms(), pulled ? 0 : 3 * 1500);
    }
}

// A controller serves one client: a second is closed at once (wavedial-sim does so), or
// taken and never answered (here by a server that accepts nobody); the box says so.
TEST(Prologix, ASecondClientIsToldTheControllerServesOne)
{
    SimProcess sim({"FG5010@5"});
    QTcpServer silent; // its system takes the connection and nobody reads it
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    SteadyClock clock;
    const std::string busy = "127.0.0.1:" + std::to_string(sim.port);
    const PrologixOpen first = openPrologix(*parsePrologixAddress(busy), clock);
    ASSERT_TRUE(first.backend) << first.error;
    const std::tuple<std::string, int, const char *> rows[] = { // place, ms for ++ver, why
        {busy, 5000, "the controller closed the connection"},
        {"127.0.0.1:" + std::to_string(silent.serverPort()), 1,
         "it did not answer ++ver; it is no Prologix-compatible controller, or it is busy"}};
    for (const auto &[place, hello, why] : rows)
        EXPECT_EQ(openPrologix(*parsePrologixAddress(place), clock,
                               PrologixTiming{.hello = std::chrono::milliseconds(hello)}).error,
                  "The Prologix-compatible GPIB controller at " + place + " did not answer: " +
                      why + ".\n\nThe controller serves one client at a time: another program "
                      "or Wavedial window may be connected to it. Close that one, then start "
                      "Wavedial again.");
}

// Bytes that never stop hold a listener search 10 s at most for its answer (then 70 ms
// for each address probed), and a serial poll no longer than its timeout and the grace.
TEST(Prologix, BytesThatNeverStopHoldNoSearchOrPollPastItsWait)
{
    for (const bool search : {true, false}) {
        Controller c("FG5010@9");
        c.link->answers = {{"++fndl\n", ""}, {"++ver\n", ""}};
        c.link->endless = search ? "xyz" : "1";
        std::vector<int16_t> results(4, 0);
        int16_t statusByte = 0;
        search ? c.driver.FindLstn(0, std::vector<int16_t>{0, 2, 9, -1}, results, 4)
               : c.driver.ibrsp(c.driver.ibdev(0, 2, 0, 11, 1, 0), statusByte);
        EXPECT_EQ(results[1], search ? 9 : 0);
        EXPECT_EQ(c.error(), search ? -1 : gpib::EABO);
        EXPECT_DOUBLE_EQ(c.ms(), search ? 10000 + 70 : 1050);
    }
}

// A count the status's 32-bit count cannot report, a negative one and a read of nothing
// are refused before anything is sent.
TEST(Prologix, RefusesATransferItsCountCannotReport)
{
    const std::pair<int64_t, bool> rows[] = {{int64_t{INT32_MAX} + 1, false}, {int64_t{INT32_MAX} + 1, true},
                                             {int64_t{UINT32_MAX} + 4, true}, {-1, false}, {0, true}};
    for (const auto &[count, reading] : rows) {
        if (!std::in_range<long>(count))
            continue; // long is 32-bit (Windows): no such count
        Controller c("FG5010@9");
        const int16_t ud = c.driver.ibdev(0, 9, 0, 11, 1, 0);
        char buffer[4] = {};
        gpib::StatusVariables status;
        const auto scope = c.prologix.statusInto(status);
        reading ? c.prologix.ibrd(ud, buffer, static_cast<long>(count))
                : c.prologix.ibwrt(ud, buffer, static_cast<long>(count));
        EXPECT_EQ(status.ibsta & gpib::ERR ? status.iberr : -1, gpib::EARG) << count << reading;
        EXPECT_EQ(c.link->wire, "");
    }
}

// Hosts other than this backend talk to the simulated controller too: a setting out of
// range is ignored, CR LF ends one line, and a listener search lists the instruments only.
TEST(Prologix, TheSimulatedControllerAnswersAnyHost)
{
    Controller c("FG5010@5");
    EXPECT_EQ(c.adapter.take("++addr 31\n++addr\n++fndl\r\n"), "0\r\n5\r\n");
    EXPECT_EQ(c.trace, std::vector<std::string>{"findlstn 0 5"});
}

TEST(Prologix, DataReachesTheInstrumentByteForByte)
{
    std::string everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte += static_cast<char>(b);
    const std::pair<std::string, std::string> rows[] = { // payload, its line ("": not checked)
        {"AMPL 5;OFFS 0", "AMPL 5;OFFS 0"}, {"ID?\r\n", "ID?\x1b\r\x1b\n"},
        {"A\x1b" "B", "A\x1b\x1b" "B"}, {"++ifc 1E+3", "\x1b+\x1b+ifc 1E\x1b+3"}, {everyByte, ""}};
    for (const auto &[payload, line] : rows) {
        Controller c("OTHER@5");
        GpibHarness local("OTHER@5"); // its trace shows each byte the instrument was sent
        c.driver.ibwrt(c.driver.ibdev(0, 5, 0, 11, 1, 0), payload);
        local.gpib.driver().ibwrt(local.gpib.driver().ibdev(0, 5, 0, 11, 1, 0), payload);
        EXPECT_EQ(c.error(), -1);
        EXPECT_EQ(c.driver.ibcnt(), static_cast<int16_t>(payload.size()));
        EXPECT_EQ(c.trace, local.trace);
        EXPECT_EQ(line.empty() ? "" : c.link->wire, line.empty() ? "" : "++addr 5\n" + line + "\n");
    }
}

TEST(Prologix, ReadsInPiecesAndSendsSettingsOnlyWhenTheyChange)
{
    Controller c("FG5010@5,AFG5102@9");
    const int16_t a = c.driver.ibdev(0, 5, 0, 11, 1, 0), b = c.driver.ibdev(0, 9, 0, 12, 0, 0);
    std::string replies; // b writes without EOI: its instrument waits for more, 3 s in vain
    for (const auto &[ud, text, size] : {std::tuple{a, "OUT?", 64}, {a, "OUT?", 64},
                                         {b, "OUT?", 64}, {a, "ID?", 4}, {a, "OUT?", 7}})
        replies += c.query(ud, text, size) + "/";
    // The next operation drops the rest of ID's reply; a buffer just as long ends one.
    EXPECT_EQ(replies, "OUT OFF|/OUT OFF|//ID S/OUT OFF|/");
    EXPECT_EQ(c.link->wire, "++addr 5\nOUT?\n++read_tmo_ms 1000\n++read eoi\nOUT?\n++read eoi\n"
                            "++addr 9\n++eoi 0\nOUT?\n++read_tmo_ms 3000\n++read eoi\n"
                            "++addr 5\n++eoi 1\nID?\n++read_tmo_ms 1000\n++read eoi\n"
                            "OUT?\n++read eoi\n");
    const std::string head = c.query(a, "ID?;AMPL?", 16); // then the rest, ended
    EXPECT_EQ(head + "/" + c.query(a, "", 16), "ID SIM/FG5010,V2/.1;AMPL 1.00E+0|");
    EXPECT_DOUBLE_EQ(c.ms(), 3050);
}

TEST(Prologix, ATimeoutCostsTheControllersTimeoutAndTheGraceALostLinkNothing)
{
    // Listeners at 2 (a generator at 9 besides); timeout code; poll, else read (write when
    // lost); link lost; ms waited.
    const std::tuple<const char *, int16_t, bool, bool, double> rows[] = {
        {"MUTE@2,", 11, true, false, 1050}, {"MUTE@2,", 12, false, false, 3050},
        {"FG5010@2,", 7, false, false, 60}, {"", 1, true, false, 51},
        {"MUTE@2,", 0, false, false, 3050}, {"MUTE@2,", 13, true, false, 3050},
        {"MUTE@2,", 12, true, true, 0},     {"MUTE@2,", 12, false, true, 0}};
    for (const auto &[listeners, code, poll, lost, ms] : rows) {
        SCOPED_TRACE(testing::Message() << listeners << " code " << code << " lost " << lost);
        Controller c(listeners + std::string("FG5010@9"));
        const int16_t ud = c.driver.ibdev(0, 2, 0, code, 1, 0);
        c.link->broken = lost;
        int16_t statusByte = 0;
        poll ? c.driver.ibrsp(ud, statusByte)
             : lost ? c.driver.ibwrt(ud, "ID?") : void(c.query(ud, ""));
        EXPECT_EQ(c.error(), lost ? gpib::EDVR : gpib::EABO);
        EXPECT_EQ(c.driver.ibsta() & gpib::TIMO, lost ? 0 : gpib::TIMO);
        EXPECT_DOUBLE_EQ(c.ms(), ms);
        c.driver.ibpad(ud, 9); // the bus is usable again at once, unless the link is lost
        EXPECT_EQ(c.query(ud, "ID?"), lost ? "" : "ID SIM/FG5010,V2.1|");
        EXPECT_EQ(c.prologix.lost(), lost);
    }
}

TEST(Prologix, FindsListenersByAskingOrByProbing)
{
    const std::string three = "AFG5102@9,MUTE@2,OTHER@3";
    // Listeners; ++fndl answered; what answers it instead of the simulated controller; iberr
    // or -1; found; ms (an address probed in vain costs the probe time and the grace).
    const std::tuple<std::string, bool, const char *, int, const char *, double> rows[] = {
        {"", true, nullptr, gpib::EBUS, "0", 0}, {three, true, nullptr, -1, "0 2 3 9", 0},
        {"FG5010@4," + three, true, "2\r\n3 4,9\r\n", gpib::ETAB, "0 2 3 4", 0},
        {three, false, nullptr, -1, "0 3 9", 28 * 70}, // a mute one answers no poll
        {three, true, "Unrecognized command\r\n", -1, "0 3 9", 28 * 70}};
    for (const auto &[listeners, fndl, answer, error, found, ms] : rows) {
        SCOPED_TRACE(testing::Message() << fndl << " " << (answer ? answer : "-"));
        Controller c(listeners, fndl);
        if (answer)
            c.link->answers["++fndl\n"] = answer;
        std::vector<int16_t> all{-1}, results(5, 0);
        for (int16_t a = 30; a >= 0; --a)
            all.insert(all.begin(), a);
        c.driver.FindLstn(0, all, results, 4);
        EXPECT_EQ(c.error(), error);
        std::string seen = "0";
        for (size_t i = 1; i < results.size() && results[i]; ++i) {
            seen += ' ';
            seen += std::to_string(results[i]);
        }
        EXPECT_EQ(seen, found);
        EXPECT_DOUBLE_EQ(c.ms(), ms);
        // An address the search found silent has no listener to write to.
        c.driver.ibwrt(c.driver.ibdev(0, 1, 0, 11, 1, 0), "ID?");
        EXPECT_EQ(c.error(), gpib::ENOL);
    }
}

} // namespace
