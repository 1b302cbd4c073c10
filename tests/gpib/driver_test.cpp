// The driver wrappers, on a driver that answers as each row scripts it.
#include "gpib/driver.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

namespace {

// Registration answers `answer` the first time, then 0; every call delivers `status` and
// `count` into the registered variables, as the vendor's library does.
class ScriptedBackend final : public GpibBackend
{
public:
    int answer = 0;
    int32_t status = gpib::CMPL, count = 0;
    int value = 0; // handed back by ibdev, ibrsp and ibask
    int registers = 0, unregisters = 0, limit = -1;

    int RegisterGpibGlobalsForThread(int32_t *s, int32_t *e, int32_t *c, int32_t *cl) override
    {
        const int rc = registers++ ? 0 : answer;
        if (rc == 0 || rc == 1)
            m_vars = {s, e, c, cl};
        return rc;
    }
    int UnregisterGpibGlobalsForThread() override { return m_vars = {}, ++unregisters, 0; }
    void SendIFC(int) override { done(); }
    void FindLstn(int, const uint16_t *, uint16_t *, int l) override { limit = l, done(); }
    int ibsre(int, int) override { return done(); }
    int ibdev(int, int, int, int, int, int) override { return done(), value; }
    int ibpad(int, int) override { return done(); }
    int ibclr(int) override { return done(); }
    int ibrsp(int, char *spr) override { return *spr = static_cast<char>(value), done(); }
    int ibtmo(int, int) override { return done(); }
    int ibask(int, int, int *v) override { return *v = value, done(); }
    int ibwait(int, int) override { return done(); }
    int ibwrt(int, const void *, long) override { return done(); }
    int ibrd(int, void *, long) override { return done(); }

private:
    int done()
    {
        if (m_vars[0])
            *m_vars[0] = status, *m_vars[1] = 0, *m_vars[2] = *m_vars[3] = count;
        return status;
    }
    std::array<int32_t *, 4> m_vars{};
};

TEST(GpibDriver, RegistersOnceFollowingTheDriversAnswerAndRetriesAFailure)
{
    // The first answer; registered after one call; registrations and unregistrations after two.
    const std::tuple<int, bool, int, int> rows[] = {{0, true, 1, 0},  {1, true, 2, 1},
                                                    {2, false, 2, 1}, {3, false, 2, 1},
                                                    {7, false, 2, 0}, {-1, false, 2, 0}};
    for (const auto &[answer, registered, registers, unregisters] : rows) {
        ScriptedBackend backend;
        backend.answer = answer;
        GpibDriver driver(backend);
        driver.SendIFC(0);
        EXPECT_EQ(driver.statusGlobalsRegistered(), registered) << answer;
        // Status that could not be delivered is a failure, never an older call's success.
        EXPECT_EQ(driver.ibsta(), registered ? gpib::CMPL : static_cast<int16_t>(gpib::ERR));
        driver.ibsre(0, 1);
        EXPECT_EQ(backend.registers, registers) << answer;
        EXPECT_EQ(backend.unregisters, unregisters) << answer;
    }
}

TEST(GpibDriver, NarrowsWhatTheDriverGivesToSixteenBitsAndKeepsItInsideItsTables)
{
    ScriptedBackend backend;
    GpibDriver driver(backend);
    backend.status = gpib::ERR | gpib::TIMO | gpib::CMPL;
    backend.count = 70000;
    backend.value = 65537;
    EXPECT_EQ(driver.ibdev(0, 1, 0, 11, 1, 0), 1);
    EXPECT_EQ(driver.ibsta(), static_cast<int16_t>(0xC100));
    EXPECT_EQ(driver.ibcnt(), 4464);
    EXPECT_EQ(driver.ibcntl(), 70000);
    backend.value = 0xE1; // a status byte is 0 to 255, never a negative char
    int16_t statusByte = -5;
    driver.ibrsp(32, statusByte);
    EXPECT_EQ(statusByte, 0xE1);
    // The listener search's limit is cut to the table; an unended list is never passed on.
    std::vector<int16_t> results(15, 0);
    driver.FindLstn(0, std::vector<int16_t>{0, 1, -1}, results, 40);
    EXPECT_EQ(backend.limit, 15);
    driver.FindLstn(0, std::vector<int16_t>{0, 1, 2}, results, 5);
    EXPECT_EQ(backend.limit, 15);
    EXPECT_EQ(driver.iberr(), gpib::EARG);
}

} // namespace
