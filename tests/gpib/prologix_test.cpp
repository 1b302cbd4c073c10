#include "support/paramname.h"
#include "support/prologixharness.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr double GraceMs = 50; // PrologixTiming's default

std::vector<int16_t> probeList(std::vector<int16_t> addresses)
{
    addresses.push_back(-1);
    return addresses;
}

std::vector<int16_t> allAddresses()
{
    std::vector<int16_t> list;
    for (int16_t a = 0; a <= 30; ++a)
        list.push_back(a);
    return probeList(list);
}

std::vector<int16_t> padded(std::vector<int16_t> v)
{
    v.resize(15, 0);
    return v;
}

std::string generatorsAt(int first, int count)
{
    std::string s;
    for (int a = first; a < first + count; ++a)
        s += (s.empty() ? "" : ",") + std::string("FG5010@") + std::to_string(a);
    return s;
}

size_t countOf(const std::vector<std::string> &lines, const std::string &prefix)
{
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string &l) {
        return l.starts_with(prefix);
    }));
}

// Keeps every message it is sent, byte for byte.
class RecordingDevice final : public SimDevice
{
public:
    void receive(std::string_view message) override { messages.emplace_back(message); }
    std::vector<std::string> messages;
};

TEST(Prologix, StartSetsTheControllerUpAndReadsItsVersion)
{
    PrologixHarness h("FG5010@5");
    EXPECT_EQ(h.link->wire, "++mode 1\n++auto 0\n++eoi 1\n++eos 3\n++eot_enable 1\n"
                            "++eot_char 4\n++ver\n");
    EXPECT_EQ(h.prologix->version(), "Wavedial simulated GPIB-Ethernet controller");
}

TEST(Prologix, StartFailsWithinItsLimitsWhenNobodyAnswers)
{
    ManualClock busClock;
    SimBus bus(busClock);
    SimPrologixAdapter adapter(bus);
    ManualClock clock;
    PrologixTiming timing;
    timing.helloAttempts = 3;

    // Something that takes the bytes and says nothing: not a controller.
    auto silent = std::make_unique<MemoryLink>(adapter, clock);
    silent->answers["++ver"] = "";
    const auto t0 = clock.now();
    PrologixBus quiet(std::move(silent), clock, timing);
    std::string why;
    EXPECT_FALSE(quiet.start(why));
    EXPECT_NE(why.find("did not answer ++ver"), std::string::npos) << why;
    EXPECT_EQ(clock.now() - t0, 3 * timing.hello);
    EXPECT_TRUE(quiet.lost());

    auto cut = std::make_unique<MemoryLink>(adapter, clock);
    cut->broken = true;
    PrologixBus pulled(std::move(cut), clock, timing);
    EXPECT_FALSE(pulled.start(why));
    EXPECT_EQ(why, "the cable was pulled");
}

struct EscapeCase
{
    const char *name;
    std::string payload;
    std::string wire; // the data line as sent; "" to skip that check
};

class Escaping : public ::testing::TestWithParam<EscapeCase>
{};

TEST_P(Escaping, PayloadReachesTheInstrumentByteForByte)
{
    const EscapeCase &c = GetParam();
    PrologixHarness h("");
    auto device = std::make_unique<RecordingDevice>();
    RecordingDevice *recorder = device.get();
    h.bus.attach(5, std::move(device));
    const int16_t ud = h.open(5);
    h.link->wire.clear();

    h.driver->ibwrt(ud, c.payload);
    ASSERT_FALSE(h.failed());
    EXPECT_EQ(h.driver->ibcnt(), static_cast<int16_t>(c.payload.size()));
    EXPECT_EQ(recorder->messages, std::vector<std::string>{c.payload});
    if (!c.wire.empty()) {
        EXPECT_EQ(h.link->wire, "++addr 5\n" + c.wire + "\n");
    }
    // Data is never read as a command, however it starts.
    EXPECT_EQ(countOf(h.trace, "write 5"), 1u);
    EXPECT_EQ(h.trace.size(), 1u);
}

std::string everyByte()
{
    std::string s;
    for (int b = 0; b < 256; ++b)
        s += static_cast<char>(b);
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, Escaping,
    ::testing::Values(EscapeCase{"plain", "AMPL 5;OFFS 0", "AMPL 5;OFFS 0"},
                      EscapeCase{"lineEnds", "ID?\r\n", "ID?\x1b\r\x1b\n"},
                      EscapeCase{"escape", "A\x1b" "B", "A\x1b\x1b" "B"},
                      EscapeCase{"plus", "FREQ 1E+3", "FREQ 1E\x1b+3"},
                      EscapeCase{"looksLikeACommand", "++ifc", "\x1b+\x1b+ifc"},
                      EscapeCase{"lineEndFirst", "\nAMPL?", "\x1b\nAMPL?"},
                      EscapeCase{"everyByte", everyByte(), ""}),
    ByName());

TEST(Prologix, AddressesAndTimeoutsGoOutOnlyWhenTheyChange)
{
    PrologixHarness h("FG5010@5,AFG5102@9");
    const int16_t a = h.open(5);
    const int16_t b = h.open(9);
    h.link->wire.clear();
    for (const int16_t ud : {a, a, b, b, a}) {
        h.driver->ibwrt(ud, "OUT?");
        std::string buffer(64, ' ');
        h.driver->ibrd(ud, buffer);
        ASSERT_FALSE(h.failed());
    }
    h.driver->ibtmo(a, 12);
    h.driver->ibwrt(a, "OUT?");
    std::string buffer(64, ' ');
    h.driver->ibrd(a, buffer);
    EXPECT_EQ(h.link->commands(),
              (std::vector<std::string>{"++addr 5", "++read_tmo_ms 1000", "++read eoi",
                                        "++read eoi", "++addr 9", "++read eoi", "++read eoi",
                                        "++addr 5", "++read eoi", "++read_tmo_ms 3000",
                                        "++read eoi"}));
}

TEST(Prologix, LongRepliesComeInSeveralReadsEndOnTheLast)
{
    PrologixHarness h("AFG5102@9");
    h.link->pace = 1; // the reply trickles in byte by byte
    const int16_t ud = h.open(9);
    h.driver->ibwrt(ud, "ID?;AMPL?;OFFS?;FREQ?");
    std::string reply;
    std::vector<bool> ends;
    for (int i = 0; i < 20 && (ends.empty() || !ends.back()); ++i) {
        std::string buffer(16, ' ');
        h.driver->ibrd(ud, buffer);
        ASSERT_FALSE(h.failed());
        reply += buffer.substr(0, static_cast<size_t>(h.driver->ibcntl()));
        ends.push_back((h.driver->ibsta() & gpib::END) != 0);
    }
    EXPECT_EQ(reply, "ID SIM/AFG5102,V2.1;AMPL 1.00E+0;OFFS 0.00E+0;FREQ 1.000E+3");
    EXPECT_EQ(ends, (std::vector<bool>{false, false, false, true}));
    EXPECT_EQ(countOf(h.link->commands(), "++read eoi"), 1u);

    // A buffer exactly as long as the reply ends it; the rest of a longer one keeps its fill.
    h.driver->ibwrt(ud, "OUT?");
    std::string exact(7, ' ');
    h.driver->ibrd(ud, exact);
    EXPECT_EQ(exact, "OUT OFF");
    EXPECT_TRUE(h.driver->ibsta() & gpib::END);
    h.driver->ibwrt(ud, "OUT?");
    std::string longer(12, ' ');
    h.driver->ibrd(ud, longer);
    EXPECT_EQ(longer, "OUT OFF     ");
    EXPECT_EQ(h.driver->ibcnt(), 7);
    EXPECT_EQ(h.elapsedMs(), 0);
}

TEST(Prologix, TheUnreadRestOfAReplyIsDroppedByTheNextOperation)
{
    PrologixHarness h("FG5010@5");
    const int16_t ud = h.open(5);
    h.driver->ibwrt(ud, "ID?");
    std::string head(4, ' ');
    h.driver->ibrd(ud, head);
    EXPECT_EQ(head, "ID S");
    h.driver->ibwrt(ud, "OUT?");
    std::string buffer(64, ' ');
    h.driver->ibrd(ud, buffer);
    EXPECT_EQ(buffer.substr(0, static_cast<size_t>(h.driver->ibcnt())), "OUT OFF");
    EXPECT_TRUE(h.driver->ibsta() & gpib::END);
}

struct TimeoutCase
{
    const char *name;
    std::string listeners;
    int16_t timeoutCode;
    bool poll; // serial poll, else a read
    double ms; // what the host waits
};

class Timeouts : public ::testing::TestWithParam<TimeoutCase>
{};

TEST_P(Timeouts, CostTheControllersTimeoutAndTheGrace)
{
    const TimeoutCase &c = GetParam();
    PrologixHarness h(c.listeners);
    const int16_t ud = h.open(2);
    h.driver->ibtmo(ud, c.timeoutCode);
    if (c.poll) {
        int16_t statusByte = 0;
        h.driver->ibrsp(ud, statusByte);
    } else {
        std::string buffer(512, ' ');
        h.driver->ibrd(ud, buffer);
        EXPECT_EQ(buffer, std::string(512, ' '));
    }
    EXPECT_EQ(h.driver->ibsta() & (gpib::ERR | gpib::TIMO), gpib::ERR | gpib::TIMO);
    EXPECT_EQ(h.driver->iberr(), gpib::EABO);
    EXPECT_EQ(h.driver->ibcnt(), 0);
    EXPECT_DOUBLE_EQ(h.elapsedMs(), c.ms);
    EXPECT_EQ(h.trace, std::vector<std::string>{"timeout 2"});

    // The bus is usable again at once.
    h.driver->ibpad(ud, 9);
    h.driver->ibwrt(ud, "ID?");
    EXPECT_FALSE(h.failed());
}

INSTANTIATE_TEST_SUITE_P(
    Bus, Timeouts,
    ::testing::Values(TimeoutCase{"mutePoll", "MUTE@2,FG5010@9", 11, true, 1000 + GraceMs},
                      TimeoutCase{"muteRead", "MUTE@2,FG5010@9", 12, false, 3000 + GraceMs},
                      TimeoutCase{"nothingToSay", "FG5010@2,FG5010@9", 7, false, 10 + GraceMs},
                      TimeoutCase{"absentPoll", "FG5010@9", 1, true, 1 + GraceMs},
                      // The controllers wait 3 s at most, also for "for ever".
                      TimeoutCase{"forEver", "MUTE@2,FG5010@9", 0, false, 3000 + GraceMs},
                      TimeoutCase{"tenSeconds", "MUTE@2,FG5010@9", 13, true, 3000 + GraceMs}),
    ByName());

TEST(Prologix, ReadTimeoutsFollowTheHandlesCode)
{
    const std::pair<int, int> cases[] = {{0, 3000}, {1, 1},     {5, 1},     {6, 3},  {7, 10},
                                         {11, 1000}, {12, 3000}, {17, 3000}, {18, -1}, {-1, -1}};
    for (const auto &[code, ms] : cases)
        EXPECT_EQ(prologixReadTimeoutMs(code), ms) << code;
}

struct SearchCase
{
    const char *name;
    std::string listeners;
    bool fndl; // the controller answers ++fndl
    bool error;
    int16_t iberr;
    std::vector<int16_t> results; // all 15 entries
    double ms;                    // what the search cost the host
};

class Searches : public ::testing::TestWithParam<SearchCase>
{};

TEST_P(Searches, ReportTheInterfaceFirstThenTheListenersInAddressOrder)
{
    const SearchCase &c = GetParam();
    SimPrologixOptions options;
    options.findListeners = c.fndl;
    PrologixHarness h(c.listeners, options);
    std::vector<int16_t> results(15, 0);
    h.driver->FindLstn(0, allAddresses(), results, 15);
    EXPECT_EQ(h.failed(), c.error);
    if (c.error) {
        EXPECT_EQ(h.driver->iberr(), c.iberr);
    }
    EXPECT_EQ(results, c.results);
    EXPECT_DOUBLE_EQ(h.elapsedMs(), c.ms);
    EXPECT_EQ(countOf(h.link->commands(), "++spoll"), c.fndl ? 0u : 30u);
}

constexpr double Probe = 20 + GraceMs; // a probe nobody answers

INSTANTIATE_TEST_SUITE_P(
    Bus, Searches,
    ::testing::Values(
        SearchCase{"fndlEmpty", "", true, true, 14, padded({}), 0},
        SearchCase{"fndlThree", "AFG5102@9,MUTE@2,OTHER@3", true, false, 0, padded({0, 2, 3, 9}),
                   0},
        SearchCase{"fndlFifteen", generatorsAt(16, 15), true, true, 20,
                   {0, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29}, 0},
        SearchCase{"probeEmpty", "", false, true, 14, padded({}), 30 * Probe},
        // A listener that never answers a poll is not found by probing.
        SearchCase{"probeThree", "AFG5102@9,MUTE@2,OTHER@3", false, false, 0,
                   padded({0, 3, 9}), 28 * Probe},
        SearchCase{"probeFourteen", generatorsAt(1, 14), false, false, 0,
                   {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, 16 * Probe},
        SearchCase{"probeFifteen", generatorsAt(16, 15), false, true, 20,
                   {0, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29}, 15 * Probe}),
    ByName());

struct FndlAnswerCase
{
    const char *name;
    std::string answer; // what the controller says to ++fndl
    bool probes;        // the backend fell back to probing
};

class FndlAnswers : public ::testing::TestWithParam<FndlAnswerCase>
{};

TEST_P(FndlAnswers, AreReadWhateverTheirFormOrLeadToProbing)
{
    const FndlAnswerCase &c = GetParam();
    PrologixHarness h("FG5010@5,AFG5102@9");
    h.link->answers["++fndl"] = c.answer;
    std::vector<int16_t> results(15, 0);
    h.driver->FindLstn(0, probeList({0, 4, 5, 9}), results, 15);
    EXPECT_FALSE(h.failed());
    EXPECT_EQ(results, padded({0, 5, 9}));
    EXPECT_EQ(countOf(h.link->commands(), "++spoll") != 0, c.probes);

    // A controller without the command is not asked again.
    h.driver->FindLstn(0, probeList({0, 5}), results, 15);
    EXPECT_EQ(countOf(h.link->commands(), "++fndl"), c.probes ? 1u : 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Controllers, FndlAnswers,
    ::testing::Values(FndlAnswerCase{"oneLine", "5 9\r\n", false},
                      FndlAnswerCase{"lineEach", "5\r\n9\r\n", false},
                      FndlAnswerCase{"commas", "5,9\n", false},
                      FndlAnswerCase{"silent", "", true},
                      FndlAnswerCase{"refused", "Unrecognized command\r\n", true}),
    ByName());

TEST(Prologix, WritesToAnAddressTheSearchFoundSilentFailWithNoListener)
{
    PrologixHarness h("FG5010@5");
    const int16_t ud = h.open(4);
    // Before any search nothing is known: the controller takes the bytes.
    h.driver->ibwrt(ud, "AMPL 5");
    EXPECT_FALSE(h.failed());

    std::vector<int16_t> results(15, 0);
    h.driver->FindLstn(0, allAddresses(), results, 15);
    h.driver->ibwrt(ud, "AMPL 5");
    EXPECT_TRUE(h.failed());
    EXPECT_EQ(h.driver->iberr(), gpib::ENOL);
    h.driver->ibclr(ud);
    EXPECT_EQ(h.driver->iberr(), gpib::ENOL);
    h.driver->ibpad(ud, 5);
    h.driver->ibwrt(ud, "AMPL 5");
    EXPECT_FALSE(h.failed());
    EXPECT_EQ(h.trace, (std::vector<std::string>{"nolistener 4", "findlstn 0 5", "nolistener 4",
                                                 "nolistener 4", "write 5 AMPL 5"}));
}

TEST(Prologix, ALostLinkFailsEveryBusCallAtOnce)
{
    PrologixHarness h("FG5010@5");
    const int16_t ud = h.open(5);
    h.driver->ibwrt(ud, "ID?");
    h.link->broken = true;
    std::vector<int16_t> results(15, 0);
    const std::vector<std::pair<const char *, std::function<void()>>> calls = {
        {"ibrd", [&] { std::string b(64, ' '); h.driver->ibrd(ud, b); }},
        {"ibwrt", [&] { h.driver->ibwrt(ud, "AMPL 5"); }},
        {"ibclr", [&] { h.driver->ibclr(ud); }},
        {"ibrsp", [&] { int16_t s = 0; h.driver->ibrsp(ud, s); }},
        {"SendIFC", [&] { h.driver->SendIFC(0); }},
        {"FindLstn", [&] { h.driver->FindLstn(0, allAddresses(), results, 15); }},
    };
    for (const auto &[name, call] : calls) {
        call();
        EXPECT_EQ(h.driver->ibsta() & gpib::ERR, gpib::ERR) << name;
        EXPECT_EQ(h.driver->iberr(), gpib::EDVR) << name;
    }
    EXPECT_EQ(h.elapsedMs(), 0);
    EXPECT_TRUE(h.prologix->lost());

    // What needs no controller goes on working.
    h.driver->ibtmo(ud, 12);
    EXPECT_EQ(h.driver->ibask(ud, gpib::IbaTMO), 12);
    h.driver->ibsre(0, 1);
    EXPECT_FALSE(h.failed());
}

TEST(Prologix, ALinkThatFailsDuringAReadEndsItWithoutWaiting)
{
    PrologixHarness h("MUTE@2");
    const int16_t ud = h.open(2);
    h.link->breakWhenIdle = true;
    std::string buffer(64, ' ');
    h.driver->ibrd(ud, buffer);
    EXPECT_EQ(h.driver->ibsta() & (gpib::ERR | gpib::TIMO), gpib::ERR);
    EXPECT_EQ(h.driver->iberr(), gpib::EDVR);
    EXPECT_EQ(h.elapsedMs(), 0);
}

TEST(Prologix, ATalkerThatNeverStopsHoldsNoCallBeyondTheLongestWait)
{
    PrologixHarness h("FG5010@5");
    const int16_t ud = h.open(5);
    h.link->babble = "xxxxxxxx";
    std::string buffer(512, ' ');
    h.driver->ibrd(ud, buffer);
    EXPECT_EQ(h.driver->ibsta() & (gpib::ERR | gpib::END), 0);
    EXPECT_EQ(h.driver->ibcnt(), 512);
    // The rest of the reply is drained before the next command, but not for ever.
    h.driver->ibwrt(ud, "OUT?");
    EXPECT_FALSE(h.failed());
    EXPECT_LE(h.elapsedMs(), 10'000 + 100);
}

TEST(Prologix, RefusesWhatTheDriverRefuses)
{
    PrologixHarness h("FG5010@5");
    const size_t sent = h.link->wire.size();
    h.driver->SendIFC(1);
    EXPECT_EQ(h.driver->iberr(), gpib::ENEB);
    EXPECT_EQ(h.driver->ibdev(0, 31, 0, 11, 1, 0), -1);
    EXPECT_EQ(h.driver->iberr(), gpib::EARG);
    h.driver->ibclr(999);
    EXPECT_EQ(h.driver->iberr(), gpib::EDVR);
    EXPECT_EQ(h.link->wire.size(), sent); // nothing reached the controller
}

} // namespace
