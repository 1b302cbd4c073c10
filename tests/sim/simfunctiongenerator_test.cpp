#include "sim/simcommand.h"
#include "sim/simfunctiongenerator.h"

#include "support/paramname.h"

#include <gtest/gtest.h>

namespace {

using Model = SimFunctionGenerator::Model;

// Sends each message in turn, then the query, and returns the reply and the status byte
// of the last message.
struct Exchange
{
    std::string reply;
    uint8_t statusByte;
};

Exchange exchange(SimFunctionGenerator &fg, std::vector<std::string> messages)
{
    uint8_t status = 0;
    std::string reply;
    for (const std::string &m : messages) {
        fg.receive(m);
        status = fg.serialPoll();
        reply = fg.output();
    }
    return {reply, status};
}

struct ReplyCase
{
    Model model;
    std::vector<std::string> messages;
    std::string reply;
};

class Replies : public ::testing::TestWithParam<ReplyCase>
{};

TEST_P(Replies, AreHeaderBlankValueInEngineeringForm)
{
    const ReplyCase &c = GetParam();
    SimFunctionGenerator fg(c.model);
    const Exchange e = exchange(fg, c.messages);
    EXPECT_EQ(e.reply, c.reply);
    EXPECT_EQ(e.statusByte, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Language, Replies,
    ::testing::Values(
        ReplyCase{Model::FG5010, {"AMPL 5", "AMPL?"}, "AMPL 5.00E+0"},
        ReplyCase{Model::AFG5101, {"AMPL .02", "AMPL?"}, "AMPL 20.0E-3"},
        ReplyCase{Model::FG5010, {"OFFS -1.5", "OFFS?"}, "OFFS -1.50E+0"},
        ReplyCase{Model::FG5010, {"OFFS 0", "OFFS?"}, "OFFS 0.00E+0"},
        ReplyCase{Model::FG5010, {"FREQ 10E+6", "FREQ?"}, "FREQ 10.00E+6"},
        ReplyCase{Model::FG5010, {"FREQ 250E+0", "FREQ?"}, "FREQ 250.0E+0"},
        ReplyCase{Model::FG5010, {"FREQ 2E-3", "FREQ?"}, "FREQ 2.000E-3"},
        ReplyCase{Model::FG5010, {"FREQ 999.96E+0", "FREQ?"}, "FREQ 1.000E+3"},
        ReplyCase{Model::FG5010, {"FREQ 12.5E+3", "FREQ?"}, "FREQ 12.50E+3"},
        ReplyCase{Model::AFG5102, {"FUNC SQUARE", "FUNC?"}, "FUNC SQUARE"},
        ReplyCase{Model::AFG5102, {"FUNC TRIANGLE;FUNC?"}, "FUNC TRIANGLE"},
        ReplyCase{Model::AFG5102, {"SYM 37.5", "SYM?"}, "SYM 37.5"},
        ReplyCase{Model::FG5010, {"SYM?"}, "SYM 50"},
        ReplyCase{Model::FG5010, {"OUT ON", "OUT?"}, "OUT ON"},
        ReplyCase{Model::FG5010, {"OUT?"}, "OUT OFF"},
        ReplyCase{Model::PFG5105, {"ID?"}, "ID SIM/PFG5105,V2.1"},
        ReplyCase{Model::FG5010, {"ampl?"}, "AMPL 1.00E+0"},
        // Several queries, one reply; a query in a command line answers after it.
        ReplyCase{Model::FG5010, {"AMPL?;FREQ?;OUT?"}, "AMPL 1.00E+0;FREQ 1.000E+3;OUT OFF"},
        ReplyCase{Model::FG5010, {"AMPL 2;AMPL?"}, "AMPL 2.00E+0"},
        // The instruments without symmetry leave SYM? unanswered.
        ReplyCase{Model::AFG5101, {"SYM?"}, ""},
        ReplyCase{Model::AFG5101, {"SYM?;OUT?"}, "OUT OFF"},
        // INIT restores the power-on state.
        ReplyCase{Model::AFG5102,
                  {"AMPL 3;OFFS 1;FREQ 2E+6;FUNC SQUARE;SYM 30;OUT ON", "INIT",
                   "FUNC?;FREQ?;AMPL?;OFFS?;SYM?;OUT?"},
                  "FUNC SINE;FREQ 1.000E+3;AMPL 1.00E+0;OFFS 0.00E+0;SYM 50;OUT OFF"}));

struct RefusalCase
{
    const char *name;
    Model model;
    std::string command;
    uint8_t statusByte; // 0: accepted
};

class Limits : public ::testing::TestWithParam<RefusalCase>
{};

TEST_P(Limits, RefuseTheWholeMessageAndFlagIt)
{
    const RefusalCase &c = GetParam();
    SimFunctionGenerator fg(c.model);
    const SimFunctionGenerator::State before = fg.state();
    fg.receive(c.command);
    EXPECT_EQ(fg.serialPoll(), c.statusByte);
    if (c.statusByte != 0) {
        EXPECT_EQ(fg.state().amplitude, before.amplitude);
        EXPECT_EQ(fg.state().offset, before.offset);
        EXPECT_EQ(fg.state().frequency, before.frequency);
        EXPECT_EQ(fg.state().symmetry, before.symmetry);
        EXPECT_EQ(fg.state().waveform, before.waveform);
        EXPECT_EQ(fg.state().outputOn, before.outputOn);
    }
}

constexpr uint8_t Ok = 0;
constexpr uint8_t Range = SimExecutionError;
constexpr uint8_t Syntax = SimCommandError;

INSTANTIATE_TEST_SUITE_P(
    Models, Limits,
    ::testing::Values(
        RefusalCase{"fgAmplMax", Model::FG5010, "AMPL 20", Ok},
        RefusalCase{"fgAmplHigh", Model::FG5010, "AMPL 20.01", Range},
        RefusalCase{"fgAmplLow", Model::FG5010, "AMPL .01", Range},
        RefusalCase{"fgOffsHigh", Model::FG5010, "OFFS -7.6", Range},
        RefusalCase{"fgPeak", Model::FG5010, "AMPL 20;OFFS 5.5", Range},
        RefusalCase{"fgPeakEdge", Model::FG5010, "AMPL 15;OFFS 7.5", Ok},
        RefusalCase{"fgFreqHigh", Model::FG5010, "FREQ 25E+6", Range},
        RefusalCase{"fgFreqLow", Model::FG5010, "FREQ 1E-3", Range},
        RefusalCase{"fgFreqMin", Model::FG5010, "FREQ 2E-3", Ok},
        RefusalCase{"fgSymHigh", Model::FG5010, "SYM 91", Range},
        RefusalCase{"fgSymFullSpan", Model::FG5010, "FREQ 4E+6;SYM 10", Ok},
        RefusalCase{"fgSym15MHzOk", Model::FG5010, "FREQ 15E+6;SYM 62", Ok},
        RefusalCase{"fgSym15MHzHigh", Model::FG5010, "FREQ 15E+6;SYM 63", Range},
        RefusalCase{"fgSym15MHzLow", Model::FG5010, "FREQ 15E+6;SYM 37", Range},
        RefusalCase{"fgSym4400kHz", Model::FG5010, "FREQ 4.4E+6;SYM 11", Ok},
        RefusalCase{"fgSym20MHz50", Model::FG5010, "FREQ 20E+6;SYM 50", Ok},
        RefusalCase{"fgSym20MHz51", Model::FG5010, "FREQ 20E+6;SYM 51", Range},
        RefusalCase{"afg2SymAt2MHz", Model::AFG5102, "FREQ 2E+6;SYM 40", Ok},
        RefusalCase{"afg2SymAbove2MHz", Model::AFG5102, "FREQ 2.5E+6;SYM 40", Range},
        RefusalCase{"afg2Ampl", Model::AFG5102, "AMPL 15;OFFS 0", Ok},
        RefusalCase{"afg2Offs", Model::AFG5102, "OFFS 7.5", Range},
        // The AFG5101 checks the half amplitude in 10 mV steps.
        RefusalCase{"afg1PeakCut", Model::AFG5101, "AMPL 9.99;OFFS 0", Ok},
        RefusalCase{"afg1Peak", Model::AFG5101, "AMPL 9.99;OFFS .01", Range},
        RefusalCase{"afg1FreqHigh", Model::AFG5101, "FREQ 12.1E+6", Range},
        RefusalCase{"afg1Sym", Model::AFG5101, "SYM 50", Syntax},
        RefusalCase{"pfgSym", Model::PFG5105, "FREQ 1E+3;SYM 40", Syntax},
        // One bad part spoils the message: nothing of it takes effect.
        RefusalCase{"atomic", Model::FG5010, "AMPL 5;FREQ 99E+6", Range},
        RefusalCase{"atomicSyntax", Model::FG5010, "OUT ON;FUNC SAW", Syntax},
        RefusalCase{"glued", Model::FG5010, "AMPL5", Syntax},
        RefusalCase{"unknown", Model::FG5010, "FOO 1", Syntax},
        RefusalCase{"twoPoints", Model::FG5010, "AMPL 1.2.3", Syntax},
        RefusalCase{"noArgument", Model::FG5010, "FREQ", Syntax},
        RefusalCase{"outMaybe", Model::FG5010, "OUT MAYBE", Syntax},
        RefusalCase{"queryArgument", Model::FG5010, "AMPL? 5", Syntax}),
    ByName());

TEST(SimFunctionGenerator, ChecksTheResultingStateNotEachStep)
{
    // Offset 7 with the power-on amplitude is fine; the line below is only fine as a whole.
    SimFunctionGenerator fg(Model::FG5010);
    fg.receive("OFFS 7");
    ASSERT_EQ(fg.serialPoll(), 0);
    fg.receive("AMPL 20;OFFS 0");
    EXPECT_EQ(fg.serialPoll(), 0);
    EXPECT_EQ(fg.state().amplitude, 20);
}

TEST(SimFunctionGenerator, NewMessageDropsAnUnreadReply)
{
    SimFunctionGenerator fg(Model::FG5010);
    fg.receive("ID?");
    fg.receive("AMPL 2");
    EXPECT_EQ(fg.output(), "");
}

TEST(SimNumber, AcceptsOnlyWellFormedNumbers)
{
    const struct
    {
        const char *text;
        std::optional<double> value;
    } cases[] = {
        {"5", 5},        {".5", 0.5},       {"-.25", -0.25}, {"+2", 2},        {"10E+3", 10e3},
        {"1.5e6", 1.5e6}, {"5.", 5},        {"", {}},        {".", {}},        {"-", {}},
        {"1E", {}},      {"1E+", {}},       {"1.2.3", {}},   {"5V", {}},       {"1e999", {}},
        {" 5", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(parseSimNumber(c.text), c.value) << c.text;
}

} // namespace
