#include "gpib/driver.h"

#include "support/paramname.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace {

// A driver that answers registration from a script and delivers whatever status a test
// sets for the next call into the variables it was given, as the vendor's library does.
class ScriptedBackend final : public GpibBackend
{
public:
    std::deque<int> registrationResults;
    int registerCalls = 0;
    int unregisterCalls = 0;
    int32_t *ibsta = nullptr, *iberr = nullptr, *ibcnt = nullptr, *ibcntl = nullptr;

    int32_t nextStatus = gpib::CMPL;
    int32_t nextError = 0;
    int32_t nextCount = 0;
    int nextReturn = 0;
    int lastLimit = -1;
    int findLstnCalls = 0;

    int RegisterGpibGlobalsForThread(int32_t *s, int32_t *e, int32_t *c, int32_t *cl) override
    {
        ++registerCalls;
        const int rc = registrationResults.empty() ? 0 : registrationResults.front();
        if (!registrationResults.empty())
            registrationResults.pop_front();
        if (rc == 0 || rc == 1) {
            ibsta = s;
            iberr = e;
            ibcnt = c;
            ibcntl = cl;
        }
        return rc;
    }
    int UnregisterGpibGlobalsForThread() override
    {
        ++unregisterCalls;
        ibsta = iberr = ibcnt = ibcntl = nullptr;
        return 0;
    }
    void SendIFC(int) override { deliver(); }
    void FindLstn(int, const uint16_t *, uint16_t *, int limit) override
    {
        ++findLstnCalls;
        lastLimit = limit;
        deliver();
    }
    int ibsre(int, int) override { return deliver(); }
    int ibdev(int, int, int, int, int, int) override
    {
        deliver();
        return nextReturn;
    }
    int ibpad(int, int) override { return deliver(); }
    int ibclr(int) override { return deliver(); }
    int ibrsp(int, char *spr) override
    {
        *spr = static_cast<char>(nextReturn);
        return deliver();
    }
    int ibtmo(int, int) override { return deliver(); }
    int ibask(int, int, int *value) override
    {
        *value = nextReturn;
        return deliver();
    }
    int ibwait(int, int) override { return deliver(); }
    int ibwrt(int, const void *, long) override { return deliver(); }
    int ibrd(int, void *, long) override { return deliver(); }

private:
    int deliver()
    {
        if (ibsta) {
            *ibsta = nextStatus;
            *iberr = nextError;
            *ibcnt = nextCount;
            *ibcntl = nextCount;
        }
        return nextStatus;
    }
};

TEST(LongToInt16, KeepsTheLowSixteenBitsAsASignedNumber)
{
    const struct
    {
        int32_t in;
        int16_t out;
    } cases[] = {
        {0, 0},           {32767, 32767},       {32768, -32768},
        {65535, -1},      {65536, 0},           {74565, 9029},
        {-1, -1},         {-32768, -32768},     {static_cast<int32_t>(0xDEAD37F0u), 14320},
        {0x12348000, -32768},
    };
    for (const auto &c : cases)
        EXPECT_EQ(LongToInt16(c.in), c.out) << c.in;
}

struct RegistrationCase
{
    const char *name;
    std::deque<int> results;
    int registerCalls;
    int unregisterCalls;
    bool registered;
};

class Registration : public ::testing::TestWithParam<RegistrationCase>
{};

TEST_P(Registration, FollowsTheDriversAnswer)
{
    const RegistrationCase &c = GetParam();
    ScriptedBackend backend;
    backend.registrationResults = c.results;
    GpibDriver driver(backend);

    driver.SendIFC(0);

    EXPECT_EQ(backend.registerCalls, c.registerCalls);
    EXPECT_EQ(backend.unregisterCalls, c.unregisterCalls);
    EXPECT_EQ(driver.statusGlobalsRegistered(), c.registered);
    if (!c.registered) {
        // The call's status could not be delivered: the failure is what the caller sees.
        EXPECT_EQ(driver.ibsta(), static_cast<int16_t>(gpib::ERR));
        EXPECT_EQ(driver.iberr(), 0);
        EXPECT_EQ(driver.ibcnt(), 14320);
        EXPECT_EQ(driver.ibcntl(), static_cast<int32_t>(0xDEAD37F0u));
    } else if (backend.ibsta) {
        EXPECT_EQ(driver.ibsta(), gpib::CMPL);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Results, Registration,
    ::testing::Values(RegistrationCase{"registered", {0}, 1, 0, true},
                      // Already registered: unregister, register again, whatever that says.
                      RegistrationCase{"already", {1, 0}, 2, 1, true},
                      RegistrationCase{"alreadyThenFails", {1, 3}, 2, 1, true},
                      RegistrationCase{"otherVariables", {2}, 1, 1, false},
                      RegistrationCase{"outOfMemory", {3}, 1, 1, false},
                      RegistrationCase{"unknown", {7}, 1, 0, false},
                      RegistrationCase{"negative", {-1}, 1, 0, false}),
    ByName());

TEST(Registration, HappensOnceAndIsRetriedAfterAFailure)
{
    ScriptedBackend backend;
    backend.registrationResults = {2, 0};
    GpibDriver driver(backend);

    driver.SendIFC(0);
    EXPECT_FALSE(driver.statusGlobalsRegistered());
    driver.ibsre(0, 1);
    EXPECT_TRUE(driver.statusGlobalsRegistered());
    driver.ibclr(32);
    driver.ibwait(32, 0x4100);
    EXPECT_EQ(backend.registerCalls, 2);
    EXPECT_EQ(backend.unregisterCalls, 1);
}

TEST(StatusCopy, NarrowsTheDriversThirtyTwoBitStatus)
{
    ScriptedBackend backend;
    GpibDriver driver(backend);

    backend.nextStatus = gpib::ERR | gpib::TIMO | gpib::CMPL;
    backend.nextError = gpib::EABO;
    backend.nextCount = 70000;
    std::string buffer(512, ' ');
    driver.ibrd(32, buffer);
    EXPECT_EQ(driver.ibsta(), static_cast<int16_t>(0xC100));
    EXPECT_EQ(driver.iberr(), 6);
    EXPECT_EQ(driver.ibcntl(), 70000);
    EXPECT_EQ(driver.ibcnt(), 4464);

    backend.nextStatus = gpib::END | gpib::CMPL;
    backend.nextError = 0;
    backend.nextCount = 12;
    driver.ibrd(32, buffer);
    EXPECT_EQ(driver.ibsta(), 0x2100);
    EXPECT_EQ(driver.ibcnt(), 12);
}

TEST(ReturnedValues, AreNarrowedToSixteenBits)
{
    ScriptedBackend backend;
    GpibDriver driver(backend);

    backend.nextReturn = 65537;
    EXPECT_EQ(driver.ibdev(0, 1, 0, 11, 1, 0), 1);
    backend.nextReturn = -1;
    EXPECT_EQ(driver.ibdev(0, 1, 0, 11, 1, 0), -1);
    backend.nextReturn = 12;
    EXPECT_EQ(driver.ibask(32, 3), 12);

    // The status byte is handed back as 0 to 255, never as a negative char.
    backend.nextReturn = 0xE1;
    int16_t statusByte = -5;
    driver.ibrsp(32, statusByte);
    EXPECT_EQ(statusByte, 0xE1);
}

TEST(FindLstnGuard, KeepsTheDriverInsideTheTables)
{
    ScriptedBackend backend;
    GpibDriver driver(backend);
    const std::vector<int16_t> probe = {0, 1, 2, -1, 0};
    std::vector<int16_t> results(15, 0);

    driver.FindLstn(0, probe, results, 40);
    EXPECT_EQ(backend.lastLimit, 15);

    driver.FindLstn(0, probe, results, 15);
    EXPECT_EQ(backend.lastLimit, 15);
    EXPECT_EQ(backend.findLstnCalls, 2);

    // Without its end marker the driver would read past the list.
    const std::vector<int16_t> unterminated = {0, 1, 2};
    driver.FindLstn(0, unterminated, results, 15);
    EXPECT_EQ(backend.findLstnCalls, 2);
    EXPECT_EQ(driver.ibsta() & gpib::ERR, gpib::ERR);
    EXPECT_EQ(driver.iberr(), gpib::EARG);
}

} // namespace
