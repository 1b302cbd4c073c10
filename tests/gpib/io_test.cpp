#include "support/gpibharness.h"
#include "support/paramname.h"

#include <gtest/gtest.h>

namespace {

using Box = ScriptedMessageBox::Box;
using Buttons = MessageBoxService::Buttons;
using Icon = MessageBoxService::Icon;
using Answer = MessageBoxService::Answer;

constexpr int32_t EndOfReply = gpib::END;
constexpr int32_t MoreToCome = 0;

// A handle on the FG5010 at address 5, as discovery leaves it: 3 s timeout.
int16_t openFg(GpibHarness &h)
{
    return h.gpib.driver().ibdev(0, 5, 0, 12, 1, 0);
}

struct ReadCase
{
    const char *name;
    std::vector<FaultyBackend::Read> reads;
    std::string reply;
    bool failed;
};

class ReadResponseCases : public ::testing::TestWithParam<ReadCase>
{};

TEST_P(ReadResponseCases, JoinsChunksAndDropsLineEnds)
{
    const ReadCase &c = GetParam();
    GpibHarness h("FG5010@5");
    int16_t handle = h.gpib.driver().ibdev(0, 5, 0, 11, 1, 0);
    h.faults.reads.assign(c.reads.begin(), c.reads.end());
    if (c.failed)
        h.boxes.answers = {Answer::Ok};

    EXPECT_EQ(h.gpib.ReadResponse(handle), c.reply);

    EXPECT_EQ(h.faults.readCalls, static_cast<int>(c.reads.size()));
    // Whatever happened, the handle keeps its own timeout.
    EXPECT_EQ(h.gpib.driver().ibask(handle, gpib::IbaTMO), 11);
    if (c.failed) {
        ASSERT_EQ(h.boxes.boxes.size(), 1u);
        const Box &b = h.boxes.boxes[0];
        EXPECT_EQ(b.text, "Read cycle failed\nOperation aborted.");
        EXPECT_EQ(b.title, "I/O Error");
        EXPECT_EQ(b.buttons, Buttons::Ok);
        EXPECT_EQ(b.icon, Icon::Exclamation);
    } else {
        EXPECT_TRUE(h.boxes.boxes.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReadResponseCases,
    ::testing::Values(
        ReadCase{"crlf", {{"AMPL 5.00E+0\r\n", EndOfReply}}, "AMPL 5.00E+0", false},
        ReadCase{"lf", {{"AMPL 5.00E+0\n", EndOfReply}}, "AMPL 5.00E+0", false},
        ReadCase{"lfcr", {{"OUT ON\n\r", EndOfReply}}, "OUT ON", false},
        ReadCase{"loneLf", {{"\n", EndOfReply}}, "", false},
        // A CR in next-to-last place costs the last character, then the CR.
        ReadCase{"crNextToLast", {{"A\rB", EndOfReply}}, "A", false},
        ReadCase{"blanks", {{"  SYM 50  ", EndOfReply}}, "SYM 50", false},
        // Blanks at a chunk boundary are lost with the trimming of each chunk.
        ReadCase{"twoChunks",
                 {{"FREQ ", MoreToCome}, {" 1.000E+3\n", EndOfReply}},
                 "FREQ1.000E+3",
                 false},
        ReadCase{"timeoutInSecondChunk",
                 {{"FREQ ", MoreToCome}, {"", gpib::ERR | gpib::TIMO, gpib::EABO}},
                 "",
                 true},
        // A failed read without TIMO must end the loop too.
        ReadCase{"errorWithoutTimeout", {{"", gpib::ERR, gpib::EBUS}}, "", true}),
    ByName());

TEST(ReadResponse, EndsAReplyThatNeverEnds)
{
    GpibHarness h("FG5010@5");
    int16_t handle = openFg(h);
    h.faults.endlessReply = true;
    h.boxes.answers = {Answer::Ok};
    EXPECT_EQ(h.gpib.ReadResponse(handle), "");
    EXPECT_EQ(h.faults.readCalls, 129); // 64 KiB in 512-byte chunks, and one more
    EXPECT_EQ(h.boxes.boxes.at(0).title, "I/O Error");
}

TEST(ReadResponse, ReadsTheSimulatedInstrumentWithAThreeSecondLimit)
{
    GpibHarness h("MUTE@2");
    int16_t handle = h.gpib.driver().ibdev(0, 2, 0, 11, 1, 0);
    h.boxes.answers = {Answer::Ok};
    EXPECT_EQ(h.gpib.ReadResponse(handle), "");
    EXPECT_DOUBLE_EQ(h.elapsedSeconds(), 3.0);
    EXPECT_EQ(h.gpib.driver().ibask(handle, gpib::IbaTMO), 11);
}

TEST(QueryInstrument, WritesWaitsAndReads)
{
    GpibHarness h("FG5010@5");
    int16_t handle = openFg(h);
    EXPECT_EQ(h.gpib.QueryInstrument(handle, "ID?"), "ID SIM/FG5010,V2.1");
    EXPECT_NEAR(h.elapsedSeconds(), 0.1, 1e-6);
    EXPECT_GE(h.events.waits, 1);
    EXPECT_EQ(h.trace, (std::vector<std::string>{"write 5 ID?", "read 5 ID SIM/FG5010,V2.1"}));
}

TEST(WriteCommand, ReportsAFailedWriteAndGoesOnWithOk)
{
    GpibHarness h("FG5010@5");
    int16_t handle = h.gpib.driver().ibdev(0, 4, 0, 12, 1, 0);
    h.boxes.answers = {Answer::Ok};

    EXPECT_EQ(h.gpib.QueryInstrument(handle, "AMPL?"), "");

    EXPECT_TRUE(h.gpib.GpibErrorFlag);
    EXPECT_EQ(h.faults.readCalls, 0); // no read after a failed write
    ASSERT_EQ(h.boxes.boxes.size(), 1u);
    const Box &b = h.boxes.boxes[0];
    EXPECT_EQ(b.text,
              "No listener on write function.\nSelect OK to continue or Cancel to terminate "
              "program.");
    EXPECT_EQ(b.title, "GPIB ERROR # 2");
    EXPECT_EQ(b.buttons, Buttons::OkCancel);
    EXPECT_EQ(b.icon, Icon::Exclamation);

    // The next good write clears the flag.
    int16_t good = openFg(h);
    h.gpib.WriteCommand(good, "AMPL 5");
    EXPECT_FALSE(h.gpib.GpibErrorFlag);
}

TEST(WriteCommand, CancelEndsTheProgram)
{
    GpibHarness h("FG5010@5");
    int16_t handle = h.gpib.driver().ibdev(0, 4, 0, 12, 1, 0);
    h.boxes.answers = {Answer::Cancel};
    EXPECT_THROW(h.gpib.WriteCommand(handle, "AMPL 5"), ProgramEnded);
    EXPECT_EQ(h.programEnd.ends, 1);
}

TEST(DeviceNotConfigured, EveryExchangeWithHandleZeroEndsTheProgram)
{
    const std::vector<std::function<void(GpibModule &, int16_t &)>> exchanges = {
        [](GpibModule &g, int16_t &handle) { g.WriteCommand(handle, "AMPL 5"); },
        [](GpibModule &g, int16_t &handle) { g.QueryInstrument(handle, "AMPL?"); },
        [](GpibModule &g, int16_t &handle) { g.ReadResponse(handle); },
    };
    for (const auto &exchange : exchanges) {
        GpibHarness h("FG5010@5");
        int16_t none = 0;
        h.boxes.answers = {Answer::Ok};
        EXPECT_THROW(exchange(h.gpib, none), ProgramEnded);
        ASSERT_EQ(h.boxes.boxes.size(), 1u);
        EXPECT_EQ(h.boxes.boxes[0].text, "Device not configured.\n\nCorrect problem and restart.");
        EXPECT_EQ(h.boxes.boxes[0].title, "Device Error");
        EXPECT_EQ(h.boxes.boxes[0].icon, Icon::Critical);
        EXPECT_TRUE(h.trace.empty());
    }
}

TEST(ShowGpibError, NamesEachDriverError)
{
    const std::pair<int, const char *> cases[] = {
        {0, "Operating system error."},
        {1, "Function requires GPIB board to be CIC."},
        {3, "GPIB board not addressed correctly."},
        {4, "Invalid argument to function call."},
        {5, "GPIB board not system controller as required."},
        {6, "I/O operation aborted - timeout."},
        {7, "Non-existent GPIB board."},
        {8, "Unknown error."},
        {10, "Asynchronous I/O in progress."},
        {11, "No capability for operation."},
        {12, "File system error."},
        {14, "GPIB bus eror."},
        {15, "Serial poll status queue owerflow."},
        {16, "SRQ stuck in on position."},
        {20, "Table problem."},
        {32, "Unknown error."},
    };
    for (const auto &[error, text] : cases) {
        GpibHarness h("FG5010@5");
        const int16_t handle = openFg(h);
        h.faults.reads = {{"", gpib::ERR, error}};
        std::string buffer(8, ' ');
        h.gpib.driver().ibrd(handle, buffer);
        h.boxes.answers = {Answer::Ok};
        h.gpib.ShowGpibError();
        ASSERT_EQ(h.boxes.boxes.size(), 1u);
        EXPECT_EQ(h.boxes.boxes[0].text,
                  std::string(text) + "\nSelect OK to continue or Cancel to terminate program.");
        EXPECT_EQ(h.boxes.boxes[0].title, "GPIB ERROR # " + std::to_string(error));
    }
}

TEST(ShowGpibError, SaysNothingAfterASuccess)
{
    GpibHarness h("FG5010@5");
    h.gpib.driver().SendIFC(0);
    h.gpib.ShowGpibError();
    EXPECT_TRUE(h.boxes.boxes.empty());
    EXPECT_FALSE(h.gpib.GpibErrorFlag);
}

TEST(Delay, WaitsOnTheClockWhileEventsAreHandled)
{
    for (const float none : {0.0f, -1.0f}) {
        GpibHarness h;
        h.events.pending.push_back([] {});
        h.gpib.Delay(none);
        EXPECT_EQ(h.elapsedSeconds(), 0.0);
        EXPECT_EQ(h.events.processed, 0);
        EXPECT_EQ(h.events.pending.size(), 1u);
    }

    GpibHarness h;
    bool clicked = false;
    h.events.pending.push_back([&] { clicked = true; });
    h.gpib.Delay(1.0f);
    EXPECT_TRUE(clicked);
    EXPECT_NEAR(h.elapsedSeconds(), 1.0, 1e-9);
}

} // namespace
