#include "sim/prologixadapter.h"
#include "sim/simbus.h"
#include "sim/simconfig.h"

#include "support/paramname.h"

#include <gtest/gtest.h>

namespace {

struct AdapterCase
{
    const char *name;
    std::string listeners;
    std::vector<std::string> input; // as the bytes arrive, in pieces
    std::string output;
    std::vector<std::string> trace;
    bool findListeners = true;
};

class Adapter : public ::testing::TestWithParam<AdapterCase>
{};

TEST_P(Adapter, AnswersAsTheControllerWould)
{
    const AdapterCase &c = GetParam();
    ManualClock clock;
    SimBus bus(clock);
    populateSimBus(bus, parseSimListeners(c.listeners).value());
    std::vector<std::string> trace;
    bus.setTraceSink([&](std::string_view line) { trace.emplace_back(line); });
    SimPrologixOptions options;
    options.findListeners = c.findListeners;
    options.version = "SIM 1.0";
    SimPrologixAdapter adapter(bus, options);

    std::string output;
    for (const std::string &piece : c.input)
        output += adapter.take(piece);
    EXPECT_EQ(output, c.output);
    EXPECT_EQ(trace, c.trace);
}

const std::string Eot = "\x04";

INSTANTIATE_TEST_SUITE_P(
    Commands, Adapter,
    ::testing::Values(
        AdapterCase{"version", "", {"++ver\n"}, "SIM 1.0\r\n", {}},
        AdapterCase{"settingsShown", "", {"++addr 9\n++addr\n++eos\n++read_tmo_ms\n++eoi\n"},
                    "9\r\n0\r\n500\r\n1\r\n", {}},
        AdapterCase{"outOfRangeIgnored", "", {"++addr 31\n++eos 4\n++read_tmo_ms 0\n++addr\n"
                                              "++eos\n++read_tmo_ms\n"},
                    "0\r\n0\r\n500\r\n", {}},
        AdapterCase{"crLfIsOneLineEnd", "FG5010@5", {"++addr 5\r\n++spoll\r\n"}, "0\r\n",
                    {"spoll 5 0"}},
        AdapterCase{"linesInPieces", "FG5010@5", {"++ad", "dr 5\n++sp", "oll", "\n"}, "0\r\n",
                    {"spoll 5 0"}},
        AdapterCase{"pollWithAddress", "FG5010@5", {"++spoll 5\n++addr\n"}, "0\r\n0\r\n",
                    {"spoll 5 0"}},
        AdapterCase{"silentPoll", "MUTE@2", {"++spoll 2\n"}, "", {"timeout 2"}},
        // Default line end CR LF is added to the data; ++eos 3 adds nothing.
        AdapterCase{"dataWithEos0", "FG5010@5", {"++addr 5\nAMPL 2\n"}, "",
                    {"write 5 AMPL 2\\x0D\\x0A"}},
        AdapterCase{"dataWithEos3", "FG5010@5", {"++addr 5\n++eos 3\nAMPL 2\n"}, "",
                    {"write 5 AMPL 2"}},
        AdapterCase{"escapedData", "FG5010@5",
                    {"++addr 5\n++eos 3\n\x1b+\x1b+ifc \x1b\r\x1b\n\x1b\x1b\n"}, "",
                    {"write 5 ++ifc \\x0D\\x0A\\x1B"}},
        AdapterCase{"readWithoutEot", "FG5010@5", {"++addr 5\n++eos 3\nID?\n++read eoi\n"},
                    "ID SIM/FG5010,V2.1", {"write 5 ID?", "read 5 ID SIM/FG5010,V2.1"}},
        AdapterCase{"readWithEot", "FG5010@5",
                    {"++addr 5\n++eos 3\n++eot_enable 1\n++eot_char 4\nID?\n++read eoi\n"},
                    "ID SIM/FG5010,V2.1" + Eot, {"write 5 ID?", "read 5 ID SIM/FG5010,V2.1"}},
        AdapterCase{"readAfterWrite", "FG5010@5", {"++addr 5\n++eos 3\n++auto 1\nOUT?\n"},
                    "OUT OFF", {"write 5 OUT?", "read 5 OUT OFF"}},
        AdapterCase{"readNothing", "FG5010@5", {"++addr 5\n++read eoi\n"}, "", {"timeout 5"}},
        AdapterCase{"busCommands", "FG5010@5", {"++mode 1\n++ifc\n++addr 5\n++clr\n"}, "",
                    {"ren", "ifc", "clear 5"}},
        AdapterCase{"listenerSearch", "FG5010@5,MUTE@2", {"++fndl\n"}, "2 5\r\n",
                    {"findlstn 0 2 5"}},
        AdapterCase{"listenerSearchEmpty", "", {"++fndl\n"}, "\r\n", {"findlstn"}},
        AdapterCase{"listenerSearchUnknown", "FG5010@5", {"++fndl\n"}, "", {}, false},
        AdapterCase{"unknownCommand", "FG5010@5", {"++bogus 1\n++\n"}, "", {}}),
    ByName());

TEST(Adapter, ANewConnectionDropsTheHalfReceivedLine)
{
    ManualClock clock;
    SimBus bus(clock);
    SimPrologixOptions options;
    options.version = "SIM 1.0";
    SimPrologixAdapter adapter(bus, options);
    EXPECT_EQ(adapter.take("++addr 7\n++addr 1"), "");
    adapter.newConnection();
    // The settings stay: the controller keeps them between hosts.
    EXPECT_EQ(adapter.take("2\n++addr\n"), "7\r\n");
}

} // namespace
