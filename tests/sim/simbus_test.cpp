#include "sim/simtrace.h"
#include "support/simharness.h"

#include "support/paramname.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

std::string listenersAt(int first, int count)
{
    std::string s;
    for (int a = first; a < first + count; ++a)
        s += (s.empty() ? "" : ",") + std::string("MUTE@") + std::to_string(a);
    return s;
}

std::vector<int16_t> probeList()
{
    std::vector<int16_t> list;
    for (int16_t a = 0; a <= 30; ++a)
        list.push_back(a);
    list.push_back(-1);
    list.push_back(0);
    return list;
}

struct ListenCase
{
    const char *name;
    std::string listeners;
    bool error;
    int16_t iberr;
    std::vector<int16_t> results; // all 15 entries
};

class FindLstnCases : public ::testing::TestWithParam<ListenCase>
{};

TEST_P(FindLstnCases, ReportsTheInterfaceFirstThenTheListenersInAddressOrder)
{
    const ListenCase &c = GetParam();
    SimHarness sim(c.listeners);
    std::vector<int16_t> results(15, 0);
    sim.driver.FindLstn(0, probeList(), results, 15);
    EXPECT_EQ(sim.failed(), c.error);
    if (c.error) {
        EXPECT_EQ(sim.driver.iberr(), c.iberr);
    }
    EXPECT_EQ(results, c.results);
}

std::vector<int16_t> padded(std::vector<int16_t> v)
{
    v.resize(15, 0);
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    Bus, FindLstnCases,
    ::testing::Values(
        ListenCase{"empty", "", true, 14, padded({})},
        ListenCase{"three", "AFG5102@9,MUTE@2,OTHER@3", false, 0, padded({0, 2, 3, 9})},
        // Fourteen instruments and the interface fill the table exactly.
        ListenCase{"fourteen", listenersAt(1, 14), false, 0,
                   {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
        ListenCase{"fifteen", listenersAt(16, 15), true, 20,
                   {0, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29}}),
    ByName());

TEST(SimBus, KnowsOnlyBoardZero)
{
    SimHarness sim("FG5010@5");
    std::vector<int16_t> results(15, 0);

    sim.driver.SendIFC(1);
    EXPECT_TRUE(sim.failed());
    EXPECT_EQ(sim.driver.iberr(), gpib::ENEB);
    EXPECT_EQ(sim.driver.ibdev(2, 5, 0, 11, 1, 0), -1);
    EXPECT_EQ(sim.driver.iberr(), gpib::ENEB);
    sim.driver.FindLstn(1, probeList(), results, 15);
    EXPECT_EQ(sim.driver.iberr(), gpib::ENEB);
    EXPECT_TRUE(sim.trace.empty());

    sim.driver.SendIFC(0);
    EXPECT_FALSE(sim.failed());
}

TEST(SimBus, HandlesAreDistinctAndMovable)
{
    SimHarness sim("FG5010@5,MUTE@7");
    const int16_t a = sim.open(1);
    const int16_t b = sim.open(1);
    EXPECT_GT(a, 0);
    EXPECT_GT(b, 0);
    EXPECT_NE(a, b);

    EXPECT_EQ(sim.driver.ibask(a, gpib::IbaTMO), 11);
    sim.driver.ibtmo(a, 12);
    EXPECT_EQ(sim.driver.ibask(a, gpib::IbaTMO), 12);
    EXPECT_EQ(sim.driver.ibask(b, gpib::IbaTMO), 11);

    sim.driver.ibpad(a, 5);
    EXPECT_EQ(sim.driver.ibask(a, gpib::IbaPAD), 5);
    sim.driver.ibclr(a);
    EXPECT_FALSE(sim.failed());
    EXPECT_EQ(sim.trace.back(), "clear 5");

    // Bad arguments and unknown handles fail as the driver's do.
    sim.driver.ibpad(a, 31);
    EXPECT_EQ(sim.driver.iberr(), gpib::EARG);
    sim.driver.ibtmo(a, 18);
    EXPECT_EQ(sim.driver.iberr(), gpib::EARG);
    sim.driver.ibclr(999);
    EXPECT_TRUE(sim.failed());
    EXPECT_EQ(sim.driver.iberr(), gpib::EDVR);
}

TEST(SimBus, NobodyListeningFailsWritesAndClears)
{
    SimHarness sim("FG5010@5");
    const int16_t h = sim.open(4);
    sim.driver.ibwrt(h, "AMPL 5");
    EXPECT_TRUE(sim.failed());
    EXPECT_EQ(sim.driver.iberr(), gpib::ENOL);
    sim.driver.ibclr(h);
    EXPECT_EQ(sim.driver.iberr(), gpib::ENOL);
    EXPECT_EQ(sim.trace, (std::vector<std::string>{"nolistener 4", "nolistener 4"}));
}

struct TimeoutCase
{
    const char *name;
    std::string listeners;
    int16_t timeoutCode;
    bool poll; // serial poll, else a read
    double seconds;
};

class Timeouts : public ::testing::TestWithParam<TimeoutCase>
{};

TEST_P(Timeouts, CostTheHandlesTimeoutOnTheBusClock)
{
    const TimeoutCase &c = GetParam();
    SimHarness sim(c.listeners);
    const int16_t h = sim.open(2);
    sim.driver.ibtmo(h, c.timeoutCode);
    if (c.poll) {
        int16_t statusByte = 0;
        sim.driver.ibrsp(h, statusByte);
    } else {
        std::string buffer(512, ' ');
        sim.driver.ibrd(h, buffer);
        EXPECT_EQ(buffer, std::string(512, ' '));
    }
    EXPECT_EQ(sim.driver.ibsta() & (gpib::ERR | gpib::TIMO), gpib::ERR | gpib::TIMO);
    EXPECT_EQ(sim.driver.iberr(), gpib::EABO);
    EXPECT_DOUBLE_EQ(sim.elapsedSeconds(), c.seconds);
    EXPECT_EQ(sim.trace, std::vector<std::string>{"timeout 2"});
}

INSTANTIATE_TEST_SUITE_P(
    Bus, Timeouts,
    ::testing::Values(TimeoutCase{"mutePoll", "MUTE@2", 11, true, 1.0},
                      TimeoutCase{"muteRead", "MUTE@2", 12, false, 3.0},
                      TimeoutCase{"nothingToSay", "FG5010@2", 11, false, 1.0},
                      TimeoutCase{"absentPoll", "FG5010@9", 12, true, 3.0}),
    ByName());

TEST(SimBus, LongRepliesComeInSeveralReadsEndOnTheLast)
{
    SimHarness sim("AFG5102@9");
    const int16_t h = sim.open(9);
    sim.driver.ibwrt(h, "ID?;AMPL?;OFFS?;FREQ?");
    std::string reply;
    std::vector<bool> ends;
    for (int i = 0; i < 20 && (ends.empty() || !ends.back()); ++i) {
        std::string buffer(16, ' ');
        sim.driver.ibrd(h, buffer);
        ASSERT_FALSE(sim.failed());
        reply += buffer.substr(0, static_cast<size_t>(sim.driver.ibcntl()));
        ends.push_back((sim.driver.ibsta() & gpib::END) != 0);
    }
    EXPECT_EQ(reply, "ID SIM/AFG5102,V2.1;AMPL 1.00E+0;OFFS 0.00E+0;FREQ 1.000E+3");
    EXPECT_EQ(ends, (std::vector<bool>{false, false, false, true}));

    // The part of a buffer past the received bytes keeps its fill.
    sim.driver.ibwrt(h, "OUT?");
    std::string buffer(12, ' ');
    sim.driver.ibrd(h, buffer);
    EXPECT_EQ(buffer, "OUT OFF     ");
    EXPECT_EQ(sim.driver.ibcnt(), 7);
}

TEST(SimBus, DeviceClearDropsThePendingReply)
{
    SimHarness sim("FG5010@5");
    const int16_t h = sim.open(5);
    sim.driver.ibwrt(h, "ID?");
    sim.driver.ibclr(h);
    std::string buffer(64, ' ');
    sim.driver.ibrd(h, buffer);
    EXPECT_TRUE(sim.driver.ibsta() & gpib::TIMO);
}

TEST(SimBus, SerialPollReportsARefusedCommandOnce)
{
    SimHarness sim("FG5010@5");
    const int16_t h = sim.open(5);
    int16_t statusByte = -1;
    sim.driver.ibrsp(h, statusByte);
    EXPECT_EQ(statusByte, 0);
    sim.driver.ibwrt(h, "AMPL 99");
    EXPECT_FALSE(sim.failed()); // the bytes were taken; the instrument refused them
    sim.driver.ibrsp(h, statusByte);
    EXPECT_EQ(statusByte, SimExecutionError);
    sim.driver.ibrsp(h, statusByte);
    EXPECT_EQ(statusByte, 0);
    sim.driver.ibwrt(h, "BOGUS");
    sim.driver.ibrsp(h, statusByte);
    EXPECT_EQ(statusByte, SimCommandError);
}

TEST(SimBus, TracesEachBusOperationInItsStableForm)
{
    SimHarness sim("MUTE@2,OTHER@3,FG5010@9");
    std::vector<int16_t> results(15, 0);
    sim.driver.SendIFC(0);
    sim.driver.ibsre(0, 1);
    sim.driver.FindLstn(0, probeList(), results, 15);
    const int16_t h = sim.open(9);
    sim.driver.ibclr(h);
    int16_t statusByte = 0;
    sim.driver.ibrsp(h, statusByte);
    sim.driver.ibwrt(h, "AMPL 5;OFFS 0;FREQ 10E+3;FUNC SINE;SYM 50");
    sim.driver.ibwrt(h, "AMPL?");
    std::string buffer(512, ' ');
    sim.driver.ibrd(h, buffer);
    sim.driver.ibpad(h, 2);
    sim.driver.ibrd(h, buffer);
    sim.driver.ibpad(h, 3);
    sim.driver.ibwrt(h, std::string("ID?\r\n"));

    EXPECT_EQ(sim.trace, (std::vector<std::string>{
                             "ifc",
                             "ren",
                             "findlstn 0 2 3 9",
                             "clear 9",
                             "spoll 9 0",
                             "write 9 AMPL 5;OFFS 0;FREQ 10E+3;FUNC SINE;SYM 50",
                             "write 9 AMPL?",
                             "read 9 AMPL 5.00E+0",
                             "timeout 2",
                             "write 3 ID?\\x0D\\x0A",
                         }));
}

TEST(SimTraceFile, AppendsFlushedLines)
{
    const auto path = std::filesystem::temp_directory_path() /
                      ("wavedial-trace-" + std::to_string(::testing::UnitTest::GetInstance()
                                                              ->random_seed()) +
                       ".txt");
    std::filesystem::remove(path);
    {
        std::ofstream(path) << "earlier\n";
        SimTraceFile file(path.string());
        ASSERT_TRUE(file.isOpen());
        file.write("ifc");
        // Flushed at once: readable while the program still runs.
        std::ifstream in(path);
        std::string all((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(all, "earlier\nifc\n");
    }
    std::filesystem::remove(path);
    EXPECT_FALSE(SimTraceFile("/nonexistent-dir/trace.txt").isOpen());
}

} // namespace
