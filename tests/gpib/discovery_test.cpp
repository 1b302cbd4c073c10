// Discovery, identification and the instrument exchanges on the simulated bus, with every
// box the GPIB module shows.
#include "support/fixedidentity.h"
#include "support/gpibharness.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using Answer = MessageBoxService::Answer;

std::string others(int first, int count)
{
    std::string s;
    for (int a = first; a < first + count; ++a)
        s += (s.empty() ? "OTHER@" : ",OTHER@") + std::to_string(a);
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

TEST(Identification, TakesTheFirstGeneratorInBusOrder)
{
    const struct
    {
        std::string listeners, identity; // identity: a listener at 6 answering just that
        const char *model;
        int address;
        double seconds; // a mute listener costs 1 s each for its poll and its read
    } rows[] = {{"MUTE@2,OTHER@3,AFG5102@9", "", "AFG5102", 9, 2.1},
                {"AFG5101@7,FG5010@4", "", "FG5010", 4, 0.1},
                {"", "acme/afg9,1", "afg9", 6, 0.1}, // "FG" in any letter case
                {"OTHER@3,MUTE@5", "", "", 0, 2.0}};  // none: no box either
    for (const auto &r : rows) {
        SCOPED_TRACE(r.listeners + r.identity);
        GpibHarness h(r.listeners);
        if (!r.identity.empty())
            h.bus.attach(6, std::make_unique<FixedIdentity>(r.identity));
        h.gpib.IdentifyFunctionGenerator();
        EXPECT_EQ(h.gpib.ModelName, r.model);
        EXPECT_NEAR(h.elapsedSeconds(), r.seconds, 1e-6);
        EXPECT_EQ(h.gpib.DeviceHandle != 0, r.address != 0);
        EXPECT_EQ(r.address ? h.gpib.AddressForDeviceHandle(h.gpib.DeviceHandle) : 0, r.address);
    }
    GpibHarness h("MUTE@2,OTHER@3,AFG5102@9");
    h.gpib.IdentifyFunctionGenerator();
    EXPECT_EQ(h.trace, (std::vector<std::string>{
                           "ifc", "ren", "ifc", "ren", "findlstn 0 2 3 9",
                           "clear 2", "timeout 2", "write 2 ID?", "timeout 2", "clear 2",
                           "clear 3", "spoll 3 0", "write 3 ID?", "read 3 ID SIM/DM5120,V1.0",
                           "clear 9", "spoll 9 0", "write 9 ID?", "read 9 ID SIM/AFG5102,V2.1",
                           "write 9 ID?", "read 9 ID SIM/AFG5102,V2.1"}));
    EXPECT_EQ(h.gpib.driver().ibask(h.gpib.DeviceHandle, gpib::IbaTMO), 12);
    // A listener once handed out is not asked again.
    EXPECT_EQ(find(h.gpib, "ID?", "!AFG"), 0);
}

TEST(InitBus, FillsTheTablesInBusOrder)
{
    const std::pair<std::string, std::vector<int16_t>> rows[] = {
        {"AFG5102@9,MUTE@2,OTHER@3", {3, 2, 3, 9}}, {"FG5010@30,FG5010@1", {2, 1, 30}},
        {others(17, 14), {14, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30}}};
    for (const auto &[listeners, filled] : rows) {
        GpibHarness h(listeners);
        initBus(h.gpib);
        std::array<int16_t, 15> table{};
        std::copy(filled.begin(), filled.end(), table.begin());
        EXPECT_EQ(h.gpib.ListenerTable, table) << listeners;
        EXPECT_EQ(h.gpib.UnassignedListeners, table) << listeners;
    }
}

TEST(FindDevice, MarkersChangeHowListenersAreAsked)
{
    const struct
    {
        const char *query, *expected;
        bool found, clears;
        double seconds;
    } rows[] = {{"ID?", "!fg50", true, true, 0},  {"!ID?", "!FG", true, false, 0},
                {"ID?", "!?FG", true, true, 0.1}, {"ID?", "!ID SIM/FG5010,V2.1!", true, true, 0},
                {"ID?", "!FG5010!", false, true, 0}, {"ID?", "!id sim/fg5010,v2.1!", false, true, 0}};
    for (const auto &r : rows) {
        SCOPED_TRACE(std::string(r.query) + " " + r.expected);
        GpibHarness h("FG5010@5");
        initBus(h.gpib);
        h.trace.clear();
        EXPECT_EQ(find(h.gpib, r.query, r.expected) != 0, r.found);
        EXPECT_EQ(h.trace.front() == "clear 5", r.clears);
        EXPECT_NEAR(h.elapsedSeconds(), r.seconds, 1e-6);
    }
    const std::pair<const char *, const char *> names[] = {
        {"ID SIM/AFG5102,V2.1", "AFG5102"}, {"junk/AFG5102,x/y,z", "AFG5102"},
        {"AFG5101,x", "AFG5101"}, {"ID TEK/AFG5102", ""}, {"ID A,B/C", ""}, {"/,", ""}};
    for (const auto &[reply, name] : names)
        EXPECT_EQ(ModelNameFromIdentity(reply), name) << reply;
}

TEST(QueryInstrument, JoinsChunksAndDropsLineEnds)
{
    const std::string blanks(508, ' '); // with "FREQ" one whole chunk, trimmed on its own
    const std::pair<std::string, const char *> rows[] = {
        {"AMPL 5.00E+0\r\n", "AMPL 5.00E+0"}, {"OUT ON\n\r", "OUT ON"}, {"\n", ""},
        {"X\n\n\n", "X"}, {"A\rB", "A"}, {"  SYM 50  ", "SYM 50"},
        {"FREQ" + blanks + " 1.0E+3\n", "FREQ1.0E+3"}, {std::string(70000, 'x'), nullptr}};
    for (const auto &[reply, text] : rows) {
        SCOPED_TRACE(reply.substr(0, 12));
        GpibHarness h;
        h.bus.attach(5, std::make_unique<FixedIdentity>(reply));
        int16_t ud = h.gpib.driver().ibdev(0, 5, 0, 11, 1, 0);
        if (!text) // a reply that never ends is cut off after 64 KiB
            h.boxes.answers = {Answer::Ok};
        EXPECT_EQ(h.gpib.QueryInstrument(ud, "ID?"), text ? text : "");
        EXPECT_NEAR(h.elapsedSeconds(), 0.1, 1e-6); // the pause between query and reply
        EXPECT_EQ(h.boxes.boxes.size(), text ? 0u : 1u);
        EXPECT_EQ(h.trace.size(), text ? 1 + (reply.size() + 511) / 512 : 130u);
    }
}

TEST(GpibModule, ReportsEachFailureInItsBox)
{
    const auto exchange = [](int16_t pad, bool read) {
        return [pad, read](GpibModule &g) {
            int16_t handle = pad ? g.driver().ibdev(0, pad, 0, 11, 1, 0) : 0;
            EXPECT_EQ(read ? g.ReadResponse(handle) : g.QueryInstrument(handle, "AMPL 5"), "");
            EXPECT_EQ(g.GpibErrorFlag, !read);
            EXPECT_EQ(g.driver().ibask(handle, gpib::IbaTMO), 11); // the handle's own again
        };
    };
    const std::string restart = "\n\nCorrect problem and restart.",
                      notFound = "Expected Id-response from device not found" + std::string(40, ' '),
                      noListener = "No listener on write function.\nSelect OK to continue or "
                                   "Cancel to terminate program.",
                      idBox = "ID Query: ID?\n\nExpected Response: FG\n\nReceived Response(s):\n"
                              "ID SIM/DM5120,V1.0\n\n\nCorrect the problem and ";
    const struct
    {
        std::string listeners;
        std::function<void(GpibModule &)> action;
        Answer answer;
        std::string title, text;
        bool ends;
        double seconds;
    } rows[] = {
        {"FG5010@5", exchange(4, false), Answer::Ok, "GPIB ERROR # 2", noListener, false, 0.1},
        {"FG5010@5", exchange(4, false), Answer::Cancel, "GPIB ERROR # 2", noListener, true, 0},
        {"MUTE@2", exchange(2, true), Answer::Ok, "I/O Error", "Read cycle failed\nOperation aborted.",
         false, 3}, // each chunk may take 3 s, whatever the handle's own limit
        {"FG5010@5", exchange(0, true), Answer::Ok, "Device Error",
         "Device not configured." + restart, true, 0},
        {"", initBus, Answer::Ok, "Initialization Error 14", "No listeners found." + restart, true, 0},
        {others(1, 15), initBus, Answer::Ok, "Initialization Error 20",
         "Too many listeners found.\nMax 14 listeners allowed." + restart, true, 0},
        {"FG5010@5", [](GpibModule &g) { g.IdentifyFunctionGenerator(), find(g, "ID?", "FG"); },
         Answer::Ok, "Not enough devices on the bus", "Can't find more than 1 device(s)." + restart,
         true, 0.1},
        {"MUTE@2,OTHER@3", [](GpibModule &g) { initBus(g), find(g, "ID?", "FG"); }, Answer::Ok,
         notFound, idBox + "restart. Program will end.", true, 2},
        {"MUTE@2,OTHER@3", [](GpibModule &g) { initBus(g); EXPECT_EQ(find(g, "ID?!", "FG"), 0); },
         Answer::Ok, notFound, idBox + "retry. Program will continue.", false, 2},
        {"FG5010@5", [](GpibModule &g) { int16_t h = 99; EXPECT_EQ(g.AddressForDeviceHandle(h), 0); },
         Answer::Ok, "Error", "Device not found", false, 0}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.title);
        GpibHarness h(r.listeners);
        h.boxes.answers = {r.answer};
        bool ended = false;
        try {
            r.action(h.gpib);
        } catch (const ProgramEnded &) {
            ended = true;
        }
        EXPECT_EQ(ended, r.ends);
        EXPECT_NEAR(h.elapsedSeconds(), r.seconds, 1e-6);
        ASSERT_EQ(h.boxes.boxes.size(), 1u);
        EXPECT_EQ(h.boxes.boxes[0].title + ": " + h.boxes.boxes[0].text, r.title + ": " + r.text);
    }
}

} // namespace
