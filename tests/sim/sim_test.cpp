// The simulated function generators and the simulated bus they stand on.
#include "gpib/driver.h"
#include "sim/simbus.h"
#include "sim/simconfig.h"
#include "sim/simfunctiongenerator.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using Model = SimFunctionGenerator::Model;

TEST(SimFunctionGenerator, RepliesInEngineeringForm)
{
    const struct
    {
        Model model;
        std::vector<std::string> messages;
        const char *reply;
    } rows[] = {
        {Model::FG5010, {"AMPL 5", "AMPL?"}, "AMPL 5.00E+0"},
        {Model::AFG5101, {"AMPL .02", "ampl?"}, "AMPL 20.0E-3"},
        {Model::FG5010, {"OFFS -1.5", "OFFS?"}, "OFFS -1.50E+0"},
        {Model::FG5010, {"FREQ 10E+6;FREQ?"}, "FREQ 10.00E+6"},
        {Model::FG5010, {"FREQ 2E-3", "FREQ?"}, "FREQ 2.000E-3"},
        {Model::FG5010, {"FREQ 999.96E+0", "FREQ?"}, "FREQ 1.000E+3"},
        {Model::AFG5102, {"FUNC TRIANGLE;SYM 37.5", "FUNC?;SYM?"}, "FUNC TRIANGLE;SYM 37.5"},
        {Model::FG5010, {"OUT ON", "OUT?;ID?"}, "OUT ON;ID SIM/FG5010,V2.1"},
        {Model::AFG5101, {"SYM?;OUT?"}, "OUT OFF"}, // no symmetry, no answer to SYM?
        {Model::FG5010, {"AMPL 2", "ID?", "AMPL 3"}, ""}, // a new message drops the reply
        {Model::AFG5102, {"AMPL 3;OFFS 1;FREQ 2E+6;FUNC SQUARE;SYM 30;OUT ON", "INIT",
                          "FUNC?;FREQ?;AMPL?;OFFS?;SYM?;OUT?"},
         "FUNC SINE;FREQ 1.000E+3;AMPL 1.00E+0;OFFS 0.00E+0;SYM 50;OUT OFF"}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.messages[0]);
        SimFunctionGenerator fg(r.model);
        for (const std::string &m : r.messages) {
            fg.receive(m);
            EXPECT_EQ(fg.serialPoll(), 0);
        }
        EXPECT_EQ(fg.output(), r.reply);
    }
}

TEST(SimFunctionGenerator, RefusesAWholeMessageOutOfRangeOrMalformed)
{
    constexpr uint8_t Ok = 0, Range = SimExecutionError, Syntax = SimCommandError;
    const struct
    {
        Model model;
        const char *message;
        uint8_t statusByte;
    } rows[] = {
        {Model::FG5010, "AMPL 20", Ok}, {Model::FG5010, "AMPL 20.01", Range},
        {Model::FG5010, "AMPL .01", Range}, {Model::FG5010, "OFFS -7.6", Range},
        {Model::FG5010, "OFFS 7.5", Ok}, {Model::FG5010, "AMPL 20;OFFS 5.5", Range},
        {Model::FG5010, "AMPL 15;OFFS -7.5", Ok}, {Model::FG5010, "FREQ 25E+6", Range},
        {Model::FG5010, "FREQ 1E-3", Range}, {Model::FG5010, "SYM 91", Range},
        {Model::FG5010, "FREQ 4E+6;SYM 10", Ok}, {Model::FG5010, "FREQ 15E+6;SYM 62", Ok},
        {Model::FG5010, "FREQ 15E+6;SYM 37", Range}, {Model::FG5010, "FREQ 20E+6;SYM 51", Range},
        {Model::AFG5102, "FREQ 2E+6;SYM 40", Ok}, {Model::AFG5102, "FREQ 2.5E+6;SYM 40", Range},
        {Model::AFG5102, "OFFS -7.5", Range}, {Model::AFG5101, "AMPL 9.99;OFFS 0", Ok},
        {Model::AFG5101, "AMPL 9.99;OFFS .01", Range}, {Model::AFG5101, "FREQ 12.1E+6", Range},
        {Model::AFG5101, "SYM 50", Syntax}, {Model::PFG5105, "SYM 40", Syntax},
        {Model::FG5010, "AMPL 5;FREQ 99E+6", Range}, {Model::FG5010, "OUT ON;FUNC SAW", Syntax},
        {Model::FG5010, "AMPL5", Syntax}, {Model::FG5010, "AMPL 1.2.3", Syntax},
        {Model::FG5010, "FREQ", Syntax}, {Model::FG5010, "AMPL? 5", Syntax},
        {Model::FG5010, "AMPL 1E", Syntax}, {Model::FG5010, "AMPL 1e999", Syntax}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.message);
        SimFunctionGenerator fg(r.model);
        fg.receive("OFFS 1"); // nothing of a refused message takes effect
        fg.receive(r.message);
        EXPECT_EQ(fg.serialPoll(), r.statusByte);
        EXPECT_EQ(fg.state().offset == 1 && !fg.state().outputOn && fg.state().amplitude == 1 &&
                      fg.state().frequency == 1000,
                  r.statusByte != Ok);
        EXPECT_EQ(fg.serialPoll(), 0); // reported once
    }
}

TEST(SimBus, AnswersAsTheVendorsDriver)
{
    ManualClock clock;
    SimBus bus(clock);
    populateSimBus(bus, parseSimListeners("MUTE@2,FG5010@5").value());
    std::vector<std::string> trace;
    bus.setTraceSink([&](std::string_view line) { trace.emplace_back(line); });
    GpibDriver d(bus);
    const int16_t ud = d.ibdev(0, 5, 0, 11, 1, 0);
    const struct
    {
        std::function<void()> call;
        int32_t bits; // ERR and TIMO
        int16_t error;
        double seconds;
        const char *trace; // nullptr: none
    } rows[] = {
        {[&] { d.SendIFC(1); }, gpib::ERR, gpib::ENEB, 0, nullptr},
        {[&] { d.ibtmo(ud, 18); }, gpib::ERR, gpib::EARG, 0, nullptr},
        {[&] { d.ibclr(999); }, gpib::ERR, gpib::EDVR, 0, nullptr},
        {[&] { d.ibwrt(ud, "ID?\r\n"); }, 0, 0, 0, "write 5 ID?\\x0D\\x0A"},
        {[&] { d.ibclr(ud); }, 0, 0, 0, "clear 5"},
        {[&] { std::string b(8, ' '); d.ibrd(ud, b); }, gpib::ERR | gpib::TIMO, gpib::EABO, 1, "timeout 5"},
        {[&] { d.ibpad(ud, 2), d.ibtmo(ud, 12); int16_t s; d.ibrsp(ud, s); }, gpib::ERR | gpib::TIMO,
         gpib::EABO, 3, "timeout 2"},
        {[&] { d.ibpad(ud, 4), d.ibwrt(ud, "ID?"); }, gpib::ERR, gpib::ENOL, 0, "nolistener 4"}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.trace ? r.trace : "");
        trace.clear();
        const auto start = clock.now();
        r.call();
        EXPECT_EQ(d.ibsta() & (gpib::ERR | gpib::TIMO), r.bits);
        EXPECT_EQ(r.bits ? d.iberr() : 0, r.error);
        EXPECT_EQ(trace, r.trace ? std::vector<std::string>{r.trace} : std::vector<std::string>{});
        EXPECT_DOUBLE_EQ(std::chrono::duration<double>(clock.now() - start).count(), r.seconds);
    }
}

} // namespace
