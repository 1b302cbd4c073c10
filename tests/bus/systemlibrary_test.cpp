// The system's GPIB library, loaded at run time: fakes of it in several flavours.
#include "bus/systemlibrary.h"
#include "gpib/driver.h"

#include <QLibrary>
#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <tuple>

namespace {

// The fake's log since its last reset. QLibrary hands out the copy already in memory, so
// this is the library the backend loaded.
std::string fakeLog(const char *path, bool reset = false)
{
    QLibrary library(path);
    if (reset)
        reinterpret_cast<void (*)()>(library.resolve("fakegpib_reset"))();
    return reinterpret_cast<const char *(*)()>(library.resolve("fakegpib_log"))();
}

TEST(SystemLibrary, DeliversEachCallsStatusInEveryFlavour)
{
    for (const std::string path : {FAKEGPIB_PATH, FAKEGPIB_CONFIG_PATH, FAKEGPIB_REGISTER_PATH}) {
        SCOPED_TRACE(path);
        fakeLog(path.c_str(), true);
        SystemLibraryLoad load = loadSystemGpibLibrary(path);
        ASSERT_TRUE(load.backend) << load.error;
        GpibDriver d(*load.backend);
        std::vector<int16_t> found(15, 0);
        d.FindLstn(0, std::vector<int16_t>{1, 5, -1}, found, 14);
        EXPECT_EQ(std::tuple(d.ibsta() & (gpib::ERR | gpib::CIC), found[0], d.ibcntl()),
                  std::tuple(gpib::CIC, 5, 1));
        const int16_t ud = d.ibdev(0, 5, 0, 11, 1, 0);
        d.ibwrt(ud, "ID?");
        std::string reply(16, ' ');
        d.ibrd(ud, reply);
        EXPECT_EQ(d.ibsta() & (gpib::ERR | gpib::END), gpib::END);
        EXPECT_EQ(reply + std::to_string(d.ibcnt()), "FAKE/FG5010,1   13");
        const std::pair<std::function<void()>, int16_t> failures[] = {
            {[&] { d.ibrd(ud, reply); }, gpib::EABO}, {[&] { d.ibclr(ud + 100); }, gpib::EDVR},
            {[&] { d.ibtmo(ud, 18); }, gpib::EARG},
            {[&] { d.FindLstn(0, std::vector<int16_t>{5, -1}, found, 0); }, gpib::ETAB},
            {[&] { std::thread([&] { GpibDriver(*load.backend).ibclr(ud); }).join(); }, -1}};
        for (const auto &[fail, error] : failures) {
            fail(); // another thread's call leaves this one's status alone
            EXPECT_EQ(d.ibsta() & gpib::ERR ? d.iberr() : -1, error);
            d.ibwait(ud, 0x4100); // the next call's own status replaces a failure
            EXPECT_EQ(d.ibsta() & gpib::ERR, 0);
        }
        // Settings without their own entry point go through ibconfig; the board stands in
        // for the handle of remote enable.
        d.ibpad(ud, 7);
        d.ibtmo(ud, 12);
        d.ibsre(0, 1);
        EXPECT_EQ(d.ibask(ud, gpib::IbaPAD) * 100 + d.ibask(ud, gpib::IbaTMO), 712);
        const std::string h = std::to_string(ud), log = fakeLog(path.c_str());
        const bool config = path == FAKEGPIB_CONFIG_PATH;
        for (const std::string &line : {"ibpad " + h + " 7\n", "ibtmo " + h + " 12\n",
                                        std::string("ibsre 0 1\n"), "ibconfig " + h + " 1 7\n",
                                        "ibconfig " + h + " 3 12\n", std::string("ibconfig 0 11 1\n")})
            EXPECT_EQ(log.find(line) != std::string::npos, config == line.starts_with("ibconfig"))
                << line;
        // The library's own variables are only handed over where its long is 32-bit.
        EXPECT_EQ(log.find("Register") != std::string::npos, sizeof(long) == 4 && !config &&
                                                                 path == FAKEGPIB_REGISTER_PATH);
    }
}

TEST(SystemLibrary, TakesTheFirstUsableCandidateOrSaysWhy)
{
    const std::string broken =
        std::string("The GPIB library ") + FAKEGPIB_BROKEN_PATH + " has no entry point ibwrt.";
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        // "" when a backend is had; a text ending in ": " is followed by the loader's reason.
        {{"/nonexistent/a.so", FAKEGPIB_BROKEN_PATH, FAKEGPIB_PATH}, ""},
        {{FAKEGPIB_BROKEN_PATH}, broken}, {{"/nonexistent/a.so", FAKEGPIB_BROKEN_PATH}, broken},
        {{"/x/a.so"}, "The GPIB library /x/a.so could not be loaded: "},
        {{"/x/a.so", "/x/b.so"}, "No GPIB library could be loaded (tried /x/a.so, /x/b.so): "},
        {{}, "No GPIB library was named."}};
    for (const auto &[candidates, error] : rows) {
        const SystemLibraryLoad load = loadFirstGpibLibrary(candidates);
        EXPECT_EQ(load.backend == nullptr, !error.empty());
        EXPECT_EQ(load.error.substr(0, error.size()), error);
        EXPECT_EQ(load.error.size() > error.size(), error.ends_with(": ")) << load.error;
    }
}

} // namespace
