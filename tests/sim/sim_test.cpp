// The simulated function generators: their replies and what they refuse.
#include "sim/simdevice.h"
#include "sim/simfunctiongenerator.h"
#include "sim/simtrace.h"

#include <gtest/gtest.h>

namespace {

using M = SimFunctionGenerator::Model;

TEST(SimFunctionGenerator, RepliesInEngineeringForm)
{
    const std::tuple<M, std::vector<std::string>, const char *> rows[] = {
        {M::AFG5101, {"AMPL .02;OFFS -1.5", "ampl?;OFFS?;SYM?"}, "AMPL 20.0E-3;OFFS -1.50E+0"},
        {M::AFG5102, {"FREQ 999.96E+0;FUNC TRIANGLE;SYM 37.5;OUT ON", "FREQ?;FUNC?;SYM?;OUT?"},
         "FREQ 1.000E+3;FUNC TRIANGLE;SYM 37.5;OUT ON"},
        {M::FG5010, {"ID?", "AMPL 3"}, ""}, // a new message drops the reply
        {M::FG5010, {"AMPL 3;FREQ 2E+6;OUT ON", "INIT", "FREQ?;AMPL?;OUT?;ID?"},
         "FREQ 1.000E+3;AMPL 1.00E+0;OUT OFF;ID SIM/FG5010,V2.1"}};
    for (const auto &[model, messages, reply] : rows) {
        SimFunctionGenerator fg(model);
        for (const std::string &m : messages) {
            fg.receive(m);
            EXPECT_EQ(fg.serialPoll(), 0) << m;
        }
        EXPECT_EQ(fg.output(), reply) << messages[0];
    }
}

TEST(SimFunctionGenerator, RefusesAWholeMessageOutOfRangeOrMalformed)
{
    const uint8_t Ok = 0, Range = SimExecutionError, Syntax = SimCommandError;
    const std::tuple<M, const char *, uint8_t> rows[] = {
        {M::FG5010, "AMPL 20", Ok}, {M::FG5010, "AMPL 20.01", Range}, {M::FG5010, "SYM 91", Range},
        {M::FG5010, "OFFS -7.6", Range}, {M::FG5010, "AMPL 20;OFFS 5.5", Range},
        {M::FG5010, "AMPL 15;OFFS -7.5", Ok}, {M::FG5010, "FREQ 25E+6", Range},
        {M::FG5010, "FREQ 4E+6;SYM 10", Ok}, {M::FG5010, "FREQ 15E+6;SYM 62", Ok},
        {M::FG5010, "FREQ 15E+6;SYM 37", Range}, {M::AFG5102, "FREQ 2E+6;SYM 40", Ok},
        {M::AFG5102, "FREQ 2.5E+6;SYM 40", Range}, {M::AFG5101, "AMPL 9.99;OFFS 0", Ok},
        {M::AFG5101, "AMPL 9.99;OFFS .01", Range}, {M::PFG5105, "SYM 50", Syntax},
        {M::FG5010, "OUT ON;FUNC SAW", Syntax}, {M::FG5010, "AMPL5;AMPL 1.2.3;AMPL? 5", Syntax},
        {M::FG5010, "AMPL5", Syntax}, {M::FG5010, "AMPL 5E", Syntax}};
    for (const auto &[model, message, statusByte] : rows) {
        SCOPED_TRACE(message);
        SimFunctionGenerator fg(model);
        fg.receive("OFFS 1"); // nothing of a refused message takes effect
        fg.receive(message);
        EXPECT_EQ(fg.serialPoll(), statusByte);
        EXPECT_EQ(fg.serialPoll(), 0); // reported once
        const auto &s = fg.state();
        EXPECT_EQ(s.offset == 1 && !s.outputOn && s.amplitude == 1 && s.frequency == 1000,
                  statusByte != Ok);
    }
}

// The instrument that is no function generator answers its identity query and nothing else.
TEST(SimOtherDevice, AnswersTheIdentityQueryAlone)
{
    const std::tuple<const char *, const char *, uint8_t> rows[] = {
        {"ID?", "ID SIM/DM5120,V1.0", 0}, {"ID", "", SimCommandError}, {"AMPL?", "", SimCommandError}};
    for (const auto &[message, reply, statusByte] : rows) {
        SimOtherDevice other;
        other.receive(message);
        EXPECT_EQ(other.output(), reply) << message;
        EXPECT_EQ(other.serialPoll(), statusByte) << message;
    }
}

#ifndef _WIN32 // no full device to write to there
TEST(SimTrace, AFailedWriteIsToldOnceOnStandardError)
{
    testing::internal::CaptureStderr();
    {
        SimTraceFile trace("/dev/full");
        ASSERT_TRUE(trace.isOpen());
        trace.write("ifc");
        trace.write("ren");
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "cannot write the trace to /dev/full: No space left on device\n");
}
#endif

} // namespace
