// The system's GPIB library, loaded at run time: fakes of it in several flavours.
#include "bus/systemlibrary.h"
#include "gpib/driver.h"

#include <QLibrary>
#include <gtest/gtest.h>

#include <functional>
#include <thread>

namespace {

// The fake's log of calls since the last reset. QLibrary hands out the copy already in
// memory, so this reaches the library the backend loaded.
std::string fakeLog(const char *path, bool reset = false)
{
    QLibrary library(path);
    const auto log = reinterpret_cast<const char *(*)()>(library.resolve("fakegpib_log"));
    const auto clear = reinterpret_cast<void (*)()>(library.resolve("fakegpib_reset"));
    if (!log || !clear)
        return "no fake";
    if (reset)
        clear();
    return log();
}

TEST(SystemLibrary, DeliversEachCallsStatusInEveryFlavour)
{
    for (const char *path : {FAKEGPIB_PATH, FAKEGPIB_CONFIG_PATH, FAKEGPIB_REGISTER_PATH}) {
        SCOPED_TRACE(path);
        const bool config = path == std::string(FAKEGPIB_CONFIG_PATH);
        fakeLog(path, true);
        SystemLibraryLoad load = loadSystemGpibLibrary(path);
        ASSERT_TRUE(load.backend) << load.error;
        GpibDriver d(*load.backend);
        std::vector<int16_t> found(15, 0);
        d.FindLstn(0, std::vector<int16_t>{1, 5, -1}, found, 14);
        EXPECT_EQ(d.ibsta() & (gpib::ERR | gpib::CIC), gpib::CIC);
        EXPECT_EQ(found[0], 5);
        EXPECT_EQ(d.ibcntl(), 1);
        const int16_t ud = d.ibdev(0, 5, 0, 11, 1, 0);
        d.ibwrt(ud, "ID?");
        std::string reply(16, ' ');
        d.ibrd(ud, reply);
        EXPECT_EQ(d.ibsta() & (gpib::ERR | gpib::END), gpib::END);
        EXPECT_EQ(reply, "FAKE/FG5010,1   ");
        EXPECT_EQ(d.ibcnt(), 13);

        const std::pair<std::function<void()>, int16_t> failures[] = {
            {[&] { d.ibrd(ud, reply); }, gpib::EABO}, {[&] { d.ibclr(ud + 100); }, gpib::EDVR},
            {[&] { d.ibtmo(ud, 18); }, gpib::EARG},
            {[&] { d.FindLstn(0, std::vector<int16_t>{5, -1}, found, 0); }, gpib::ETAB}};
        for (const auto &[fail, error] : failures) {
            fail();
            EXPECT_EQ(d.ibsta() & gpib::ERR, gpib::ERR);
            EXPECT_EQ(d.iberr(), error);
            d.ibwait(ud, 0x4100); // the next call's own status replaces the failure
            EXPECT_EQ(d.ibsta() & gpib::ERR, 0);
        }
        // Settings without their own entry point go through ibconfig; the board stands in
        // for the handle of remote enable.
        const std::string h = std::to_string(ud);
        d.ibpad(ud, 7);
        d.ibtmo(ud, 12);
        d.ibsre(0, 1);
        EXPECT_EQ(d.ibask(ud, gpib::IbaPAD) * 100 + d.ibask(ud, gpib::IbaTMO), 712);
        const std::string log = fakeLog(path);
        for (const std::string &line :
             {"ibpad " + h + " 7", "ibtmo " + h + " 12", std::string("ibsre 0 1")})
            EXPECT_EQ(log.find(line) != std::string::npos, !config) << line;
        for (const std::string &line :
             {"ibconfig " + h + " 1 7", "ibconfig " + h + " 3 12", std::string("ibconfig 0 11 1")})
            EXPECT_EQ(log.find(line) != std::string::npos, config) << line;
        // The library's variables are only handed over where its long is 32-bit.
        EXPECT_EQ(log.find("Register") != std::string::npos,
                  path == std::string(FAKEGPIB_REGISTER_PATH) && sizeof(long) == 4);

        // Another thread's failure stays in that thread's variables.
        GpibDriver other(*load.backend);
        std::thread([&] { other.ibclr(ud + 100); }).join();
        EXPECT_EQ(other.iberr(), gpib::EDVR);
        d.ibwait(ud, 0x4100);
        EXPECT_EQ(d.ibsta() & gpib::ERR, 0);
    }
}

TEST(SystemLibrary, TakesTheFirstUsableCandidateOrSaysWhy)
{
    const std::string broken =
        std::string("The GPIB library ") + FAKEGPIB_BROKEN_PATH + " has no entry point ibwrt.";
    const struct
    {
        std::vector<std::string> candidates;
        std::string error; // "" when a backend is had; ends with ": " when the loader says why
    } rows[] = {
        {{"/nonexistent/a.so", FAKEGPIB_BROKEN_PATH, FAKEGPIB_PATH}, ""},
        {{FAKEGPIB_BROKEN_PATH}, broken},
        {{"/nonexistent/a.so", FAKEGPIB_BROKEN_PATH}, broken},
        {{"/nonexistent/a.so"}, "The GPIB library /nonexistent/a.so could not be loaded: "},
        {{"/x/a.so", "/x/b.so"}, "No GPIB library could be loaded (tried /x/a.so, /x/b.so): "},
        {{}, "No GPIB library was named."}};
    for (const auto &r : rows) {
        const SystemLibraryLoad load = loadFirstGpibLibrary(r.candidates);
        EXPECT_EQ(load.backend == nullptr, !r.error.empty());
        EXPECT_EQ(load.error.substr(0, r.error.size()), r.error);
        EXPECT_EQ(load.error.size() > r.error.size(), r.error.ends_with(": ")) << load.error;
    }
}

} // namespace
