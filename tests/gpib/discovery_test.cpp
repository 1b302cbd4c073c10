// Discovery, identification, exchanges and every box of the GPIB module, on the simulated bus.
#include "support/fixedidentity.h"
#include "support/gpibharness.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using Answer = MessageBoxService::Answer;

std::string others(int first, int last)
{
    std::string list = "OTHER@";
    list += std::to_string(first);
    if (first < last) {
        list += ',';
        list += others(first + 1, last);
    }
    return list;
}

int16_t find(GpibModule &g, std::string query, std::string expected)
{
    int16_t mode = 1;
    if (g.listenerCount() == 0)
        g.InitBus(mode);
    return g.FindDevice(query, expected);
}

TEST(Identification, TakesTheFirstGeneratorInBusOrder)
{
    // Listeners, and one at 6 answering just `identity`; model; address; seconds (a mute
    // listener costs 1 s each for its poll and its read).
    const std::tuple<std::string, std::string, const char *, int, double> rows[] = {
        {"MUTE@2,OTHER@3,AFG5102@9", "", "AFG5102", 9, 2.1},
        {"AFG5101@7,FG5010@4", "", "FG5010", 4, 0.1}, {"", "acme/afg9,1", "afg9", 6, 0.1},
        {"FG5010@30", "", "FG5010", 30, 0.1}, {"OTHER@3,MUTE@5", "", "", 0, 2.0},
        {others(17, 30), "", "", 0, 0}}; // a full table, and none found: no box either
    for (const auto &[listeners, identity, model, address, seconds] : rows) {
        GpibHarness h(listeners);
        if (!identity.empty())
            h.bus.attach(6, std::make_unique<FixedIdentity>(identity));
        h.gpib.IdentifyFunctionGenerator();
        EXPECT_EQ(h.gpib.modelName(), model);
        EXPECT_NEAR(h.elapsedSeconds(), seconds, 1e-6);
        EXPECT_EQ(h.gpib.deviceHandle() != 0, address != 0);
        EXPECT_EQ(address ? h.gpib.AddressForDeviceHandle(h.gpib.deviceHandle()) : 0, address);
    }
    GpibHarness h("MUTE@2,OTHER@3,AFG5102@9");
    h.gpib.IdentifyFunctionGenerator();
    EXPECT_EQ(h.trace, (std::vector<std::string>{
                           "ifc", "ren", "ifc", "ren", "findlstn 0 2 3 9",
                           "clear 2", "timeout 2", "write 2 ID?", "timeout 2", "clear 2",
                           "clear 3", "spoll 3 0", "write 3 ID?", "read 3 ID SIM/DM5120,V1.0",
                           "clear 9", "spoll 9 0", "write 9 ID?", "read 9 ID SIM/AFG5102,V2.1",
                           "write 9 ID?", "read 9 ID SIM/AFG5102,V2.1"}));
    EXPECT_EQ(h.gpib.driver().ibask(h.gpib.deviceHandle(), gpib::IbaTMO), 12);
    EXPECT_EQ(find(h.gpib, "ID?", "!AFG"), 0); // a listener handed out is not asked again
    const std::pair<const char *, const char *> names[] = {
        {"ID SIM/AFG5102,V2.1", "AFG5102"}, {"junk/AFG5102,x/y,z", "AFG5102"},
        {"AFG5101,x", "AFG5101"}, {"ID TEK/AFG5102", ""}, {"ID A,B/C", ""}, {"/,", ""}};
    for (const auto &[reply, name] : names)
        EXPECT_EQ(ModelNameFromIdentity(reply), name) << reply;
}

TEST(QueryInstrument, JoinsChunksAndDropsLineEnds)
{
    const std::pair<std::string, const char *> rows[] = {
        {"AMPL 5.00E+0\r\n", "AMPL 5.00E+0"}, {"OUT ON\n\r", "OUT ON"}, {"\n", ""},
        {"X\n\n\n", "X"}, {"A\rB", "A"}, {"  SYM 50  ", "SYM 50"}, // chunks are trimmed apart:
        {"FREQ" + std::string(509, ' ') + "1.0E+3\n", "FREQ1.0E+3"},
        {std::string(70000, 'x'), nullptr}};
    for (const auto &[reply, text] : rows) {
        GpibHarness h;
        h.bus.attach(5, std::make_unique<FixedIdentity>(reply));
        int16_t ud = h.gpib.driver().ibdev(0, 5, 0, 11, 1, 0);
        h.boxes.answers = {Answer::Ok}; // a reply that never ends is cut off after 64 KiB
        EXPECT_EQ(h.gpib.QueryInstrument(ud, "ID?"), text ? text : "") << reply.substr(0, 12);
        EXPECT_NEAR(h.elapsedSeconds(), 0.1, 1e-6); // the pause between query and reply
        EXPECT_EQ(h.boxes.boxes.size() + h.trace.size(),
                  text ? 1 + (reply.size() + 511) / 512 : 131); // a box, a write, 129 reads
    }
}

TEST(GpibModule, ReportsEachFailureInItsBox)
{
    const auto exchange = [](int16_t pad, bool read) {
        return [pad, read](GpibModule &g) {
            int16_t handle = pad ? g.driver().ibdev(0, pad, 0, 11, 1, 0) : 0;
            EXPECT_EQ(read ? g.ReadResponse(handle) : g.QueryInstrument(handle, "AMPL 5"), "");
            EXPECT_EQ(g.gpibErrorFlag(), !read);
            EXPECT_EQ(g.driver().ibask(handle, gpib::IbaTMO), 11); // the handle's own again
        };
    };
    const auto search = [](const char *query) {
        return [query](GpibModule &g) { EXPECT_EQ(find(g, query, "FG"), 0); };
    };
    const std::string restart = "\n\nCorrect problem and restart.",
                      missing = "Expected Id-response from device not found" + std::string(40, ' '),
                      noListener = "No listener on write function.\nSelect OK to continue or "
                                   "Cancel to terminate program.",
                      idBox = "ID Query: ID?\n\nExpected Response: FG\n\nReceived Response(s):\n"
                              "ID SIM/DM5120,V1.0\n\n\nCorrect the problem and ";
    // Listeners; what fails; the answer; title, text; the program ends; seconds waited.
    const std::tuple<std::string, std::function<void(GpibModule &)>, Answer, std::string,
                     std::string, bool, double>
        rows[] = {
            {"FG5010@5", exchange(4, false), Answer::Ok, "GPIB ERROR # 2", noListener, false, 0.1},
            {"FG5010@5", exchange(4, false), Answer::Cancel, "GPIB ERROR # 2", noListener, true, 0},
            {"MUTE@2", exchange(2, true), Answer::Ok, "I/O Error", // each chunk may take 3 s
             "Read cycle failed\nOperation aborted.", false, 3},
            {"FG5010@5", exchange(0, true), Answer::Ok, "Device Error",
             "Device not configured." + restart, true, 0},
            {"", search("ID?"), Answer::Ok, "Initialization Error 14",
             "No listeners found." + restart, true, 0},
            {others(1, 15), search("ID?"), Answer::Ok, "Initialization Error 20",
             "Too many listeners found.\nMax 14 listeners allowed." + restart, true, 0},
            {"FG5010@5", [](GpibModule &g) { g.IdentifyFunctionGenerator(), find(g, "ID?", "FG"); },
             Answer::Ok, "Not enough devices on the bus",
             "Can't find more than 1 device(s)." + restart, true, 0.1},
            {"MUTE@2,OTHER@3", search("ID?"), Answer::Ok, missing,
             idBox + "restart. Program will end.", true, 2},
            {"MUTE@2,OTHER@3", search("ID?!"), Answer::Ok, missing,
             idBox + "retry. Program will continue.", false, 2},
            {"FG5010@5",
             [](GpibModule &g) { int16_t h = 99; EXPECT_EQ(g.AddressForDeviceHandle(h), 0); },
             Answer::Ok, "Error", "Device not found", false, 0}};
    for (const auto &[listeners, action, answer, title, text, ends, seconds] : rows) {
        GpibHarness h(listeners);
        h.boxes.answers = {answer};
        bool ended = false;
        try {
            action(h.gpib);
        } catch (const ProgramEnded &) {
            ended = true;
        }
        EXPECT_EQ(ended, ends) << title;
        EXPECT_NEAR(h.elapsedSeconds(), seconds, 1e-6) << title;
        ASSERT_EQ(h.boxes.boxes.size(), 1u) << title;
        EXPECT_EQ(h.boxes.boxes[0].title + ": " + h.boxes.boxes[0].text, title + ": " + text);
    }
}

} // namespace
