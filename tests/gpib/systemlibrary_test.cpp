#include "bus/systemlibrary.h"

#include "gpib/driver.h"
#include "support/paramname.h"

#include <QLibrary>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

namespace {

// The test controls of a fake library. QLibrary hands out the copy already in memory,
// so these reach the same bus as the backend under test.
class FakeControls
{
public:
    explicit FakeControls(const std::string &path) : m_library(QString::fromStdString(path))
    {
        m_library.load();
        m_log = reinterpret_cast<const char *(*)()>(m_library.resolve("fakegpib_log"));
        m_reset = reinterpret_cast<void (*)()>(m_library.resolve("fakegpib_reset"));
        m_remoteEnable = reinterpret_cast<int (*)()>(m_library.resolve("fakegpib_remote_enable"));
    }
    bool usable() const { return m_log && m_reset && m_remoteEnable; }

    void reset() { m_reset(); }
    bool remoteEnable() { return m_remoteEnable() != 0; }
    std::vector<std::string> log()
    {
        std::vector<std::string> lines;
        std::istringstream in(m_log());
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    bool logged(const std::string &line)
    {
        const std::vector<std::string> lines = log();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

private:
    QLibrary m_library;
    const char *(*m_log)() = nullptr;
    void (*m_reset)() = nullptr;
    int (*m_remoteEnable)() = nullptr;
};

constexpr int InstrumentPad = 5;

struct Flavour
{
    const char *name;
    const char *path;
    bool configOnly; // ibpad, ibtmo and ibsre only through ibconfig
};

class SystemLibrary : public ::testing::TestWithParam<Flavour>
{
protected:
    void SetUp() override
    {
        m_controls = std::make_unique<FakeControls>(GetParam().path);
        ASSERT_TRUE(m_controls->usable());
        m_controls->reset();
        SystemLibraryLoad load = loadSystemGpibLibrary(GetParam().path);
        ASSERT_TRUE(load.backend) << load.error;
        EXPECT_EQ(load.error, "");
        m_backend = std::move(load.backend);
        m_driver = std::make_unique<GpibDriver>(*m_backend);
    }

    int16_t openInstrument() { return m_driver->ibdev(0, InstrumentPad, 0, 11, 1, 0); }

    std::unique_ptr<FakeControls> m_controls;
    std::unique_ptr<GpibBackend> m_backend;
    std::unique_ptr<GpibDriver> m_driver;
};

TEST_P(SystemLibrary, FindsAndIdentifiesTheInstrument)
{
    GpibDriver &d = *m_driver;

    d.SendIFC(0);
    EXPECT_TRUE(d.statusGlobalsRegistered());
    EXPECT_EQ(d.ibsta() & gpib::ERR, 0);

    std::vector<int16_t> addresses;
    for (int16_t pad = 1; pad <= 30; ++pad)
        addresses.push_back(pad);
    addresses.push_back(-1);
    std::array<int16_t, 15> found{};
    d.FindLstn(0, addresses, found, 14);
    EXPECT_EQ(d.ibsta() & gpib::ERR, 0);
    EXPECT_EQ(d.ibcntl(), 1);
    EXPECT_EQ(found[0], InstrumentPad);
    EXPECT_EQ(found[1], 0);

    const int16_t handle = openInstrument();
    EXPECT_EQ(d.ibsta() & gpib::ERR, 0);
    EXPECT_GT(handle, 0);

    d.ibwrt(handle, "ID?");
    EXPECT_EQ(d.ibsta() & gpib::ERR, 0);
    EXPECT_EQ(d.ibcntl(), 3);

    std::string reply(64, ' ');
    d.ibrd(handle, reply);
    EXPECT_EQ(d.ibsta() & (gpib::ERR | gpib::END), gpib::END);
    EXPECT_EQ(d.ibcntl(), 13);
    EXPECT_EQ(d.ibcnt(), 13);
    EXPECT_EQ(reply.substr(0, 13), "FAKE/FG5010,1");
    EXPECT_EQ(reply.find_first_not_of(' ', 13), std::string::npos);
}

TEST_P(SystemLibrary, FailuresArriveAsErrAndTheErrorNumber)
{
    const struct
    {
        const char *what;
        std::function<void(GpibDriver &, int16_t handle)> call;
        int32_t bits; // of ERR and TIMO
        int16_t error;
    } cases[] = {
        {"read with no reply",
         [](GpibDriver &d, int16_t h) {
             std::string buffer(16, ' ');
             d.ibrd(h, buffer);
         },
         gpib::ERR | gpib::TIMO, gpib::EABO},
        {"write with no listener",
         [](GpibDriver &d, int16_t h) {
             d.ibpad(h, 7);
             d.ibwrt(h, "ID?");
         },
         gpib::ERR, gpib::ENOL},
        {"clear on an unknown handle", [](GpibDriver &d, int16_t h) { d.ibclr(h + 100); },
         gpib::ERR, gpib::EDVR},
        {"interface clear on board 1", [](GpibDriver &d, int16_t) { d.SendIFC(1); }, gpib::ERR,
         gpib::ENEB},
        {"timeout code out of range", [](GpibDriver &d, int16_t h) { d.ibtmo(h, 18); }, gpib::ERR,
         gpib::EARG},
        {"more listeners than the table holds",
         [](GpibDriver &d, int16_t) {
             const std::array<int16_t, 2> addresses{InstrumentPad, -1};
             std::array<int16_t, 1> found{};
             d.FindLstn(0, addresses, found, 0);
         },
         gpib::ERR, gpib::ETAB},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const int16_t handle = openInstrument();
        c.call(*m_driver, handle);
        EXPECT_EQ(m_driver->ibsta() & (gpib::ERR | gpib::TIMO), c.bits);
        EXPECT_EQ(m_driver->iberr(), c.error);
        // The next call's own status replaces the failure.
        m_driver->ibwait(handle, 0x4100);
        EXPECT_EQ(m_driver->ibsta() & gpib::ERR, 0);
    }
}

TEST_P(SystemLibrary, SettingsUseIbconfigWhereTheLibraryHasNoFunctionForThem)
{
    const int16_t handle = openInstrument();
    const std::string h = std::to_string(handle);
    const struct
    {
        const char *what;
        std::function<void(GpibDriver &)> call;
        std::string ownLine;    // logged by a library with the function
        std::string configLine; // logged by one that only has ibconfig
        std::function<bool(GpibDriver &, FakeControls &)> took;
    } cases[] = {
        {"primary address", [&](GpibDriver &d) { d.ibpad(handle, 7); }, "ibpad " + h + " 7",
         "ibconfig " + h + " 1 7",
         [&](GpibDriver &d, FakeControls &) { return d.ibask(handle, gpib::IbaPAD) == 7; }},
        {"timeout", [&](GpibDriver &d) { d.ibtmo(handle, 12); }, "ibtmo " + h + " 12",
         "ibconfig " + h + " 3 12",
         [&](GpibDriver &d, FakeControls &) { return d.ibask(handle, gpib::IbaTMO) == 12; }},
        // The board index stands in for the handle.
        {"remote enable", [](GpibDriver &d) { d.ibsre(0, 1); }, "ibsre 0 1", "ibconfig 0 11 1",
         [](GpibDriver &, FakeControls &fake) { return fake.remoteEnable(); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        c.call(*m_driver);
        EXPECT_EQ(m_driver->ibsta() & gpib::ERR, 0);
        const bool config = GetParam().configOnly;
        EXPECT_TRUE(m_controls->logged(config ? c.configLine : c.ownLine));
        EXPECT_FALSE(m_controls->logged(config ? c.ownLine : c.configLine));
        EXPECT_TRUE(c.took(*m_driver, *m_controls));
    }
}

TEST_P(SystemLibrary, StatusGoesToTheCallingThreadsVariables)
{
    const int16_t handle = openInstrument();
    m_driver->ibwrt(handle, "ID?");

    // Run to the end before this thread goes on: the fake's bus is not thread-safe.
    GpibDriver other(*m_backend);
    std::thread([&] { other.ibclr(handle + 100); }).join();
    EXPECT_TRUE(other.statusGlobalsRegistered());
    EXPECT_EQ(other.ibsta() & gpib::ERR, gpib::ERR);
    EXPECT_EQ(other.iberr(), gpib::EDVR);

    std::string reply(64, ' ');
    m_driver->ibrd(handle, reply);
    EXPECT_EQ(m_driver->ibsta() & (gpib::ERR | gpib::END), gpib::END);
    EXPECT_EQ(m_driver->ibcntl(), 13);
}

INSTANTIATE_TEST_SUITE_P(Fakes, SystemLibrary,
                         ::testing::Values(Flavour{"linuxGpib", FAKEGPIB_PATH, false},
                                           Flavour{"configOnly", FAKEGPIB_CONFIG_PATH, true},
                                           Flavour{"ownRegistration", FAKEGPIB_REGISTER_PATH,
                                                   false}),
                         ByName());

TEST(SystemLibraryRegistration, HandsOverTheVariablesOnlyWhereLongIs32Bit)
{
    // The library would write a long through the ibcntl pointer: with a 64-bit long that
    // overruns the program's 32-bit variable.
    FakeControls fake(FAKEGPIB_REGISTER_PATH);
    ASSERT_TRUE(fake.usable());
    fake.reset();
    SystemLibraryLoad load = loadSystemGpibLibrary(FAKEGPIB_REGISTER_PATH);
    ASSERT_TRUE(load.backend) << load.error;
    GpibDriver driver(*load.backend);

    driver.SendIFC(0);

    EXPECT_EQ(fake.logged("RegisterGpibGlobalsForThread"), sizeof(long) == sizeof(int32_t));
    EXPECT_TRUE(driver.statusGlobalsRegistered());
    EXPECT_EQ(driver.ibsta() & (gpib::ERR | gpib::CIC), gpib::CIC);
}

struct RefusalCase
{
    const char *name;
    std::vector<std::string> candidates;
    std::string errorStart;
    bool exact; // the whole text, not just its start
};

class SystemLibraryRefusal : public ::testing::TestWithParam<RefusalCase>
{
};

TEST_P(SystemLibraryRefusal, GivesNoBackendAndSaysWhy)
{
    const RefusalCase &c = GetParam();
    const SystemLibraryLoad load = c.candidates.size() == 1
                                       ? loadSystemGpibLibrary(c.candidates.front())
                                       : loadFirstGpibLibrary(c.candidates);
    EXPECT_EQ(load.backend, nullptr);
    if (c.exact) {
        EXPECT_EQ(load.error, c.errorStart);
    } else {
        EXPECT_TRUE(load.error.starts_with(c.errorStart)) << load.error;
        // Followed by the loader's reason.
        EXPECT_GT(load.error.size(), c.errorStart.size());
    }
}

const std::string brokenText =
    std::string("The GPIB library ") + FAKEGPIB_BROKEN_PATH + " has no entry point ibwrt.";

INSTANTIATE_TEST_SUITE_P(
    Libraries, SystemLibraryRefusal,
    ::testing::Values(
        RefusalCase{"missingEntryPoint", {FAKEGPIB_BROKEN_PATH}, brokenText, true},
        RefusalCase{"missingFile",
                    {"/nonexistent/libgpib-none.so"},
                    "The GPIB library /nonexistent/libgpib-none.so could not be loaded: ",
                    false},
        RefusalCase{"noneOfSeveral",
                    {"/nonexistent/a.so", "/nonexistent/b.so"},
                    "No GPIB library could be loaded (tried /nonexistent/a.so, "
                    "/nonexistent/b.so): ",
                    false},
        // A library that is there but lacking says more than one that is not there.
        RefusalCase{
            "brokenThenMissing", {FAKEGPIB_BROKEN_PATH, "/nonexistent/a.so"}, brokenText, true},
        RefusalCase{
            "missingThenBroken", {"/nonexistent/a.so", FAKEGPIB_BROKEN_PATH}, brokenText, true}),
    ByName());

TEST(SystemLibraryCandidates, TheFirstUsableOneIsTaken)
{
    const struct
    {
        const char *what;
        std::vector<std::string> candidates;
        const char *taken;
    } cases[] = {
        {"after unusable ones",
         {"/nonexistent/a.so", FAKEGPIB_BROKEN_PATH, FAKEGPIB_PATH},
         FAKEGPIB_PATH},
        {"before usable ones", {FAKEGPIB_CONFIG_PATH, FAKEGPIB_PATH}, FAKEGPIB_CONFIG_PATH},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        FakeControls taken(c.taken);
        ASSERT_TRUE(taken.usable());
        taken.reset();
        SystemLibraryLoad load = loadFirstGpibLibrary(c.candidates);
        ASSERT_TRUE(load.backend) << load.error;
        GpibDriver driver(*load.backend);
        driver.SendIFC(0);
        EXPECT_EQ(taken.log(), std::vector<std::string>{"SendIFC 0"});
    }
}

} // namespace
