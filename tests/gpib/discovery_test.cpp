#include "support/fixedidentity.h"
#include "support/gpibharness.h"
#include "support/paramname.h"

#include <gtest/gtest.h>

namespace {

using Answer = MessageBoxService::Answer;
using Icon = MessageBoxService::Icon;

std::string listenersAt(int first, int count)
{
    std::string s;
    for (int a = first; a < first + count; ++a)
        s += (s.empty() ? "" : ",") + std::string("OTHER@") + std::to_string(a);
    return s;
}

int16_t find(GpibModule &g, std::string query, std::string expected)
{
    return g.FindDevice(query, expected);
}

void initBus(GpibModule &g)
{
    int16_t mode = 1;
    g.InitBus(mode);
}

TEST(Identification, SkipsAMuteListenerAndAnotherInstrument)
{
    GpibHarness h("MUTE@2,OTHER@3,AFG5102@9");
    h.gpib.IdentifyFunctionGenerator();

    EXPECT_NE(h.gpib.DeviceHandle, 0);
    EXPECT_EQ(h.gpib.ModelName, "AFG5102");
    EXPECT_TRUE(h.boxes.boxes.empty());
    EXPECT_EQ(h.gpib.AddressForDeviceHandle(h.gpib.DeviceHandle), 9);
    EXPECT_EQ(h.gpib.driver().ibask(h.gpib.DeviceHandle, gpib::IbaTMO), 12);
    // The mute listener costs 1 s for its serial poll and 1 s for its read; the query
    // pause is 0.1 s.
    EXPECT_NEAR(h.elapsedSeconds(), 2.1, 1e-6);
    EXPECT_EQ(h.trace, (std::vector<std::string>{
                           "ifc", "ren", "ifc", "ren", "findlstn 0 2 3 9",
                           "clear 2", "timeout 2", "write 2 ID?", "timeout 2", "clear 2",
                           "clear 3", "spoll 3 0", "write 3 ID?", "read 3 ID SIM/DM5120,V1.0",
                           "clear 9", "spoll 9 0", "write 9 ID?", "read 9 ID SIM/AFG5102,V2.1",
                           "write 9 ID?", "read 9 ID SIM/AFG5102,V2.1"}));
}

TEST(Identification, TakesTheFirstGeneratorInBusOrder)
{
    GpibHarness h("AFG5101@7,FG5010@4");
    h.gpib.IdentifyFunctionGenerator();
    EXPECT_EQ(h.gpib.ModelName, "FG5010");
    EXPECT_EQ(h.gpib.UnassignedListeners[0], 1);
    EXPECT_EQ(h.gpib.UnassignedListeners[1], 0);
    EXPECT_EQ(h.gpib.UnassignedListeners[2], 7);

    // A second search hands out the other one, on a new handle.
    const int16_t second = find(h.gpib, "ID?", "!FG");
    EXPECT_NE(second, 0);
    EXPECT_NE(second, h.gpib.DeviceHandle);
    EXPECT_EQ(h.gpib.AddressForDeviceHandle(const_cast<int16_t &>(second)), 7);
    EXPECT_EQ(h.gpib.UnassignedListeners[0], 0);
}

TEST(Identification, MatchesFgInAnyLetterCase)
{
    GpibHarness h;
    h.bus.attach(6, std::make_unique<FixedIdentity>("acme/afg9,1"));
    h.gpib.IdentifyFunctionGenerator();
    EXPECT_NE(h.gpib.DeviceHandle, 0);
    EXPECT_EQ(h.gpib.ModelName, "afg9");
}

TEST(Identification, NoGeneratorIsSilent)
{
    GpibHarness h("OTHER@3");
    h.gpib.IdentifyFunctionGenerator();
    EXPECT_EQ(h.gpib.DeviceHandle, 0);
    EXPECT_EQ(h.gpib.ModelName, "");
    EXPECT_TRUE(h.boxes.boxes.empty());
    EXPECT_TRUE(h.gpib.SpareDevice.Open);
}

struct InitCase
{
    const char *name;
    std::string listeners;
    int16_t found;           // -1: the search fails
    std::string text, title; // of the failure box
};

class InitBusCases : public ::testing::TestWithParam<InitCase>
{};

TEST_P(InitBusCases, CountsTheListenersOrEndsTheProgram)
{
    const InitCase &c = GetParam();
    GpibHarness h(c.listeners);
    if (c.found >= 0) {
        initBus(h.gpib);
        EXPECT_EQ(h.gpib.ListenerTable[0], c.found);
        EXPECT_EQ(h.gpib.UnassignedListeners[0], c.found);
        EXPECT_TRUE(h.boxes.boxes.empty());
        return;
    }
    h.boxes.answers = {Answer::Ok};
    EXPECT_THROW(initBus(h.gpib), ProgramEnded);
    ASSERT_EQ(h.boxes.boxes.size(), 1u);
    EXPECT_EQ(h.boxes.boxes[0].text, c.text);
    EXPECT_EQ(h.boxes.boxes[0].title, c.title);
    EXPECT_EQ(h.boxes.boxes[0].icon, Icon::Critical);
}

INSTANTIATE_TEST_SUITE_P(
    Bus, InitBusCases,
    ::testing::Values(
        InitCase{"one", "FG5010@5", 1, "", ""},
        InitCase{"fourteen", listenersAt(1, 14), 14, "", ""},
        InitCase{"fifteen", listenersAt(1, 15), -1,
                 "Too many listeners found.\nMax 14 listeners allowed.\n\nCorrect problem and "
                 "restart.",
                 "Initialization Error 20"},
        InitCase{"empty", "", -1, "No listeners found.\n\nCorrect problem and restart.",
                 "Initialization Error 14"}),
    ByName());

TEST(InitBus, FillsTheTablesInBusOrder)
{
    GpibHarness h("AFG5102@9,MUTE@2,OTHER@3");
    initBus(h.gpib);
    const std::array<int16_t, 15> table = {3, 2, 3, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(h.gpib.ListenerTable, table);
    EXPECT_EQ(h.gpib.UnassignedListeners, table);
}

TEST(FindDevice, ReportsWhenNoListenerIsLeft)
{
    GpibHarness h("FG5010@5");
    h.gpib.IdentifyFunctionGenerator();
    h.boxes.answers = {Answer::Ok};
    EXPECT_THROW(find(h.gpib, "ID?", "FG"), ProgramEnded);
    ASSERT_EQ(h.boxes.boxes.size(), 1u);
    EXPECT_EQ(h.boxes.boxes[0].text, "Can't find more than 1 device(s).\n\nCorrect problem and "
                                     "restart.");
    EXPECT_EQ(h.boxes.boxes[0].title, "Not enough devices on the bus");

    // Silent: just nothing.
    EXPECT_EQ(find(h.gpib, "ID?", "!FG"), 0);
}

TEST(FindDevice, ReportsTheRepliesMostRecentFirst)
{
    for (const bool goOn : {false, true}) {
        GpibHarness h("MUTE@2,OTHER@3");
        initBus(h.gpib);
        h.boxes.answers = {Answer::Ok};
        std::string query = goOn ? "ID?!" : "ID?";
        std::string expected = "FG";
        const std::string closing = goOn
                                        ? "Correct the problem and retry. Program will continue."
                                        : "Correct the problem and restart. Program will end.";
        if (goOn) {
            EXPECT_EQ(h.gpib.FindDevice(query, expected), 0);
            EXPECT_EQ(query, "ID?"); // the marker is gone from the caller's text
        } else {
            EXPECT_THROW(h.gpib.FindDevice(query, expected), ProgramEnded);
        }
        ASSERT_EQ(h.boxes.boxes.size(), 1u);
        EXPECT_EQ(h.boxes.boxes[0].text, "ID Query: ID?\n\nExpected Response: FG\n\nReceived "
                                         "Response(s):\nID SIM/DM5120,V1.0\n\n\n" +
                                             closing);
        EXPECT_EQ(h.boxes.boxes[0].title,
                  "Expected Id-response from device not found" + std::string(40, ' '));
    }
}

TEST(FindDevice, KeepsItsSpareHandleAfterAFailedSearch)
{
    GpibHarness h("OTHER@3,FG5010@5");
    initBus(h.gpib);
    EXPECT_EQ(find(h.gpib, "ID?", "!XYZ"), 0);
    const int16_t spare = h.gpib.SpareDevice.Handle;
    EXPECT_TRUE(h.gpib.SpareDevice.Open);
    // The next search probes with the same handle and gives it away on a match.
    EXPECT_EQ(find(h.gpib, "ID?", "!FG"), spare);
    EXPECT_FALSE(h.gpib.SpareDevice.Open);
}

struct MarkerCase
{
    const char *name;
    std::string query, expected;
    bool found;
    bool clears;
    double seconds;
};

class Markers : public ::testing::TestWithParam<MarkerCase>
{};

TEST_P(Markers, ChangeHowListenersAreAsked)
{
    const MarkerCase &c = GetParam();
    GpibHarness h("FG5010@5");
    initBus(h.gpib);
    h.trace.clear();
    EXPECT_EQ(find(h.gpib, c.query, c.expected) != 0, c.found);
    EXPECT_EQ(h.trace.front() == "clear 5", c.clears);
    EXPECT_NEAR(h.elapsedSeconds(), c.seconds, 1e-6);
    EXPECT_TRUE(h.boxes.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    FindDevice, Markers,
    ::testing::Values(MarkerCase{"contains", "ID?", "!fg50", true, true, 0},
                      MarkerCase{"noClear", "!ID?", "!FG", true, false, 0},
                      MarkerCase{"pause", "ID?", "!?FG", true, true, 0.1},
                      MarkerCase{"exact", "ID?", "!ID SIM/FG5010,V2.1!", true, true, 0},
                      MarkerCase{"exactIsCaseSensitive", "ID?", "!id sim/fg5010,v2.1!", false,
                                 true, 0},
                      MarkerCase{"exactWholeReply", "ID?", "!FG5010!", false, true, 0}),
    ByName());

TEST(FindDevice, WithoutAQueryPollsEveryListenerAndTakesTheFirst)
{
    GpibHarness h("MUTE@2,FG5010@5");
    initBus(h.gpib);
    h.gpib.DeviceTimeout = 12;
    h.trace.clear();
    const int16_t handle = find(h.gpib, "", "");
    EXPECT_EQ(h.gpib.ListenerHandles[1], handle);
    EXPECT_EQ(h.gpib.driver().ibask(const_cast<int16_t &>(handle), gpib::IbaPAD), 2);
    EXPECT_EQ(h.trace, (std::vector<std::string>{"timeout 2", "spoll 5 0"}));
}

TEST(ModelName, IsCutBetweenTheFirstSlashAndTheFirstComma)
{
    const std::pair<const char *, const char *> cases[] = {
        {"ID SIM/AFG5102,V2.1", "AFG5102"},
        {"ID TEKTRONIX/FG5010,FV:1.2", "FG5010"},
        {"junk/AFG5102,x/y,z", "AFG5102"},
        {"AFG5101,x", "AFG5101"}, // no slash: from the start
        {"ID AFG5102,V1", "ID AFG5102"},
        {"ID TEK/AFG5102", ""},
        {"ID A,B/C", ""},
        {"/,", ""},
        {"", ""},
    };
    for (const auto &[reply, name] : cases)
        EXPECT_EQ(ModelNameFromIdentity(reply), name) << reply;
}

TEST(AddressForDeviceHandle, UnknownHandleGivesItsBoxAndZero)
{
    GpibHarness h("FG5010@5");
    h.gpib.IdentifyFunctionGenerator();
    h.boxes.answers = {Answer::Ok};
    int16_t stranger = 999;
    EXPECT_EQ(h.gpib.AddressForDeviceHandle(stranger), 0);
    ASSERT_EQ(h.boxes.boxes.size(), 1u);
    EXPECT_EQ(h.boxes.boxes[0].text, "Device not found");
    EXPECT_EQ(h.boxes.boxes[0].title, "Error");
    EXPECT_EQ(h.boxes.boxes[0].icon, Icon::Information);
}

} // namespace
