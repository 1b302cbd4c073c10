// The system's GPIB library, loaded at run time: fakes of it in several flavours.
#include "bus/system/systemlibrary.h"
#include "gpib/driver.h"

#include <QLibrary>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <thread>
#include <tuple>

namespace {

TEST(SystemLibrary, PassesEachCallOnAndDeliversItsStatusInEveryFlavour)
{
    for (const std::string path : {FAKEGPIB_PATH, FAKEGPIB_CONFIG_PATH, FAKEGPIB_REGISTER_PATH}) {
        SCOPED_TRACE(path);
        SystemLibraryLoad load = loadSystemGpibLibrary(path);
        ASSERT_TRUE(load.backend) << load.error;
        // QLibrary hands out the copy already in memory: the library the backend loaded.
        QLibrary fake(QString::fromStdString(path));
        const auto next = reinterpret_cast<void (*)(int, int, long)>(fake.resolve("fakegpib_next"));
        const auto log = reinterpret_cast<const char *(*)()>(fake.resolve("fakegpib_log"));
        ASSERT_TRUE(next && log);
        // Settings without their own entry point go through ibconfig, remote enable with the
        // board in the handle's place; the library's own variables are only handed over where
        // its long is 32-bit.
        const bool config = path == FAKEGPIB_CONFIG_PATH;
        const bool forwards = path == FAKEGPIB_REGISTER_PATH && sizeof(long) == 4;
        GpibDriver d(*load.backend);
        std::vector<int16_t> found(2, 0);
        std::string buffer(6, ' ');
        int16_t statusByte = 0;
        const std::pair<std::function<void()>, std::string> rows[] = {
            {[&] { d.SendIFC(0); }, "SendIFC 0"},
            {[&] { d.FindLstn(0, std::vector<int16_t>{5, 9, -1}, found, 2); }, "FindLstn 0 5 2"},
            {[&] { EXPECT_EQ(d.ibdev(0, 5, 0, 11, 1, 0), 7); }, "ibdev 0 5 0 11 1 0"},
            {[&] { d.ibpad(7, 9); }, config ? "ibconfig 7 1 9" : "ibpad 7 9"},
            {[&] { d.ibtmo(7, 12); }, config ? "ibconfig 7 3 12" : "ibtmo 7 12"},
            {[&] { d.ibsre(0, 1); }, config ? "ibconfig 0 11 1" : "ibsre 0 1"},
            {[&] { d.ibclr(7); }, "ibclr 7"}, {[&] { d.ibrsp(7, statusByte); }, "ibrsp 7"},
            {[&] { EXPECT_EQ(d.ibask(7, 3), 12); }, "ibask 7 3"},
            {[&] { d.ibwait(7, 0x4100); }, "ibwait 7 16640"},
            {[&] { d.ibwrt(7, "ID?"); }, "ibwrt 7 3 ID?"},
            {[&] { d.ibrd(7, buffer); }, "ibrd 7 6"}};
        for (int n = 1; const auto &[call, line] : rows) {
            // Failures and successes in turn: each call's own status arrives.
            const int status = n % 2 ? gpib::ERR | gpib::TIMO | gpib::CMPL : gpib::END | gpib::CMPL;
            next(status, n, 100 + n);
            call();
            EXPECT_EQ(log(), (n == 1 && forwards ? "Register" : "") + line + "\n");
            EXPECT_EQ(static_cast<uint16_t>(d.ibsta()), status) << line;
            EXPECT_EQ(d.iberr(), n % 2 ? n : n - 1) << line;
            EXPECT_EQ(d.ibcnt(), 100 + n++) << line;
        }
        EXPECT_EQ(found[0], 9);
        EXPECT_EQ(statusByte, 0x41);
        EXPECT_EQ(buffer, "FAKE  ");
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

TEST(SystemLibrary, WavedialSimgpibDeliversEachThreadsOwnStatusInTheCTypes)
{
    qputenv("WAVEDIAL_SIMGPIB", "FG5010@5"); // read at the library's first call
    ASSERT_TRUE(loadSystemGpibLibrary(SIMGPIB_PATH).backend);
    QLibrary lib(QString::fromUtf8(SIMGPIB_PATH));
    const auto reg = reinterpret_cast<int (*)(int *, int *, int *, long *)>(
        lib.resolve("RegisterGpibGlobalsForThread"));
    const auto dev = reinterpret_cast<int (*)(int, int, int, int, int, int)>(lib.resolve("ibdev"));
    const auto wrt = reinterpret_cast<int (*)(int, const void *, long)>(lib.resolve("ibwrt"));
    const auto sta = reinterpret_cast<int (*)()>(lib.resolve("ThreadIbsta"));
    ASSERT_TRUE(reg && dev && wrt && sta);
    // All bits set to start with: a count written narrower than a long would show.
    int ibsta = 0, iberr = -1, ibcnt = 0;
    long ibcntl = -1;
    std::thread([&] {
        EXPECT_EQ(reg(&ibsta, &iberr, &ibcnt, &ibcntl), 0);
        EXPECT_EQ(reg(&ibsta, &iberr, &ibcnt, &ibcntl), 1);
        const int ud = dev(0, 5, 0, 11, 1, 0), nobody = dev(0, 6, 0, 11, 1, 0);
        // Handle, bytes; status, error (written with ERR only), count.
        const std::tuple<int, const char *, int, int, long> rows[] = {
            {ud, "ID?", gpib::CMPL, -1, 3},
            {nobody, "X", gpib::ERR | gpib::CMPL, gpib::ENOL, 0},
            {ud, "AMPL?", gpib::CMPL, gpib::ENOL, 5}};
        for (const auto &[handle, bytes, status, error, count] : rows) {
            EXPECT_EQ(wrt(handle, bytes, static_cast<long>(std::strlen(bytes))), status);
            EXPECT_EQ(std::tie(ibsta, iberr, ibcnt, ibcntl),
                      std::make_tuple(status, error, static_cast<int>(count), count));
        }
    }).join();
    EXPECT_EQ(sta(), 0); // this thread made no call: the other's status is not its own
}

} // namespace
