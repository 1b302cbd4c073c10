// The trace written around another backend: the simulated bus's own lines for the same
// run, and the failures it has no words for.
#include "bus/tracingbackend.h"
#include "support/gpibharness.h"

#include <gtest/gtest.h>

namespace {

// The module on the harness's simulated bus through the tracing backend: both write
// their lines for one and the same run.
struct Traced
{
    explicit Traced(const std::string &listeners) : h(listeners) {}
    GpibHarness h;
    std::vector<std::string> lines;
    TracingBackend backend{std::move(h.ownBus), [this](std::string_view l) { lines.emplace_back(l); }};
    GpibModule gpib{backend, GpibServices{h.boxes, h.programEnd, h.clock, h.events}};
};

TEST(TracingBackend, WritesTheSimulatedBussLinesForTheSameCalls)
{
    Traced t("MUTE@2,OTHER@3,AFG5102@9");
    t.gpib.IdentifyFunctionGenerator();
    t.gpib.WriteCommand(t.gpib.deviceHandle(), "AMPL 5;FREQ 1E+3\r\n");
    EXPECT_EQ(t.gpib.QueryInstrument(t.gpib.deviceHandle(), "AMPL?"), "AMPL 5.00E+0");
    int16_t nobody = t.gpib.driver().ibdev(0, 4, 0, 11, 1, 0), mute = t.gpib.driver().ibdev(0, 2, 0, 11, 1, 0);
    t.h.boxes.answers = {MessageBoxService::Answer::Ok, MessageBoxService::Answer::Ok};
    t.gpib.WriteCommand(nobody, "ID?"); // no listener, and a listener that never talks
    t.gpib.QueryInstrument(mute, "ID?");
    EXPECT_EQ(t.h.boxes.boxes.size(), 2u);
    EXPECT_EQ(t.lines, t.h.trace);
    EXPECT_GT(t.lines.size(), 24u);
}

TEST(TracingBackend, FailuresCarryTheErrorAndACancelReachesTheWait)
{
    Traced t("MUTE@2,FG5010@9");
    GpibDriver &d = t.gpib.driver();
    const int16_t ud = d.ibdev(0, 9, 0, 11, 1, 0);
    std::vector<int16_t> found(1);
    const std::pair<std::function<void()>, const char *> rows[] = {
        {[&] { d.ibwrt(99, "ID?"); }, "write #99 ID? failed: error 0 (EDVR)"},
        {[&] { d.ibwrt(ud, "\\\r\n"); }, "write 9 \\x5C\\x0D\\x0A"}, // one line, unambiguous
        {[&] { d.ibtmo(ud, 18); }, "ibtmo 9 18 failed: error 4 (EARG)"},
        {[&] { d.ibsre(1, 1); }, "ren failed: error 7 (ENEB)"},
        {[&] { d.FindLstn(0, {{2, 9, -1}}, found, 1); }, "findlstn 2 failed: error 20 (ETAB)"},
        {[&] { d.ibpad(ud, 31); }, "ibpad 9 31 failed: error 4 (EARG)"},
        {[&] { d.ibpad(ud, 2), t.backend.cancelCalls(), d.ibrsp(ud, found[0]); }, "timeout 2"},
        {[&] { t.backend.allowCalls(), d.ibrsp(ud, found[0]); }, "timeout 2"}};
    for (const auto &[call, line] : rows) {
        const Clock::Duration t0 = t.h.clock.now();
        call();
        EXPECT_EQ(t.lines.back(), line);
        // The wrapped bus gave up its wait at once when cancelled, not after the 1 s.
        EXPECT_EQ(t.h.clock.now() - t0, std::chrono::seconds(&line == &std::end(rows)[-1].second));
    }
}

} // namespace
