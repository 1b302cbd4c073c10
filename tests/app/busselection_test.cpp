// Which bus WAVEDIAL_GPIB names, and what the start of the program does with each kind.
#include "app/backends.h"
#include "app/busselection.h"

#include "gpib/gpibmodule.h"
#include "support/scriptedservices.h"
#include "support/simprocess.h"

#include <gtest/gtest.h>

namespace {

std::string described(std::optional<std::string_view> value)
{
    std::string why;
    const std::optional<BusChoice> c = parseBusChoice(value, &why);
    if (!c)
        return "refused" + (why.empty() ? "" : ": " + why);
    // The scheme, then the library, port or place.
    std::string s = std::string(c->backend->scheme) + " " + c->libraryPath + c->adapter.device +
                    c->adapter.host + (c->adapter.host.empty() ? "" : ":" + std::to_string(c->adapter.port));
    if (c->backend->scheme == "vxi11")
        s += c->gateway.host + ":" + std::to_string(c->gateway.port) + "/" + c->gateway.interfaceName;
    for (const SimListenerSpec &l : c->listeners)
        s += std::to_string(static_cast<int>(l.kind)) + "@" + std::to_string(l.address) + " ";
    return s;
}

TEST(BusChoice, AcceptsTheDocumentedFormsOnly)
{
    const std::pair<std::optional<std::string>, std::string> rows[] = {
        {std::nullopt, "sim 0@5 "}, {"", "sim 0@5 "}, {"sim", "sim 0@5 "}, {"sim:", "sim "}, {"system", "system "},
        {"sim: MUTE@2,OTHER@3 , AFG5102@30", "sim 4@2 5@3 2@30 "}, {"system:/opt/libgpib.so", "system /opt/libgpib.so"},
        {R"(system:C:\NI\ni4882.dll)", R"(system C:\NI\ni4882.dll)"},
        {"prologix:10.0.0.2:65535", "prologix 10.0.0.2:65535"}, {"prologix:gpib-box.lab", "prologix gpib-box.lab:1234"},
        {"prologix:[fe80::1]:1234", "prologix fe80::1:1234"}, {"prologix:compaq-gpib", "prologix compaq-gpib:1234"},
        {"prologix:/dev/ttyUSB0", "prologix /dev/ttyUSB0"}, {"prologix:com12", "prologix COM12"},
        {"vxi11:10.0.0.5", "vxi11 10.0.0.5:111/gpib0"}, {"vxi11:[fe80::2]:5000/gpib1", "vxi11 fe80::2:5000/gpib1"},
        {"vxi11:gw.lab/hpib_0", "vxi11 gw.lab:111/hpib_0"},
        {"sim:MUTE@31", "refused: the address of MUTE@31 is not a number from 1 to 30"},
        {"sim:MUTE@0", "refused: the address of MUTE@0 is not a number from 1 to 30"},
        {"sim:MUTE@9x", "refused: the address of MUTE@9x is not a number from 1 to 30"},
        {"sim:mute@9", "refused: the kind of mute@9 is none of FG5010, AFG5101, AFG5102, PFG5105, MUTE, OTHER"},
        {"sim:FG5010", "refused: FG5010 has no address (KIND@ADDRESS)"}, {"sim:MUTE@9,", "refused: the list has a comma too many"},
        {"sim:MUTE@9, OTHER@3,PFG5105@9", "refused: MUTE@9 and PFG5105@9 have the same address"},
    };
    for (const auto &[value, expected] : rows)
        EXPECT_EQ(described(value), expected) << value.value_or("(unset)");
    for (const char *bad : {"SIM", "systemx", "prologix:", "prologix:h:0", "prologix:h:65536", "prologix:h:80x", "prologix::1234", "prologix:::1",
                            "prologix:[::1", "prologix:[host]:1234", "prologix:my host", "prologix:COM0", "Prologix:host",
                            "vxi11:", "vxi11:gw/", "vxi11:gw/a b", "vxi11:gw:0", "vxi11:[::1", "vxi11:/gpib0"})
        EXPECT_EQ(described(bad), "refused") << bad;
}

TEST(ProgramStart, EachKindOfBusOpensOrIsReportedAndEndsTheProgram)
{
    const std::string port = std::to_string(closedPort());
    SimProcess mapperOnly({"FG5010@5", "--fault", "unregistered"}, "--vxi11");
    const std::string mapper = "127.0.0.1:" + std::to_string(mapperOnly.port);
    const std::pair<std::string, std::string> rows[] = {
        {"sim:AFG5102@30", ""}, {"gpib0", "WAVEDIAL_GPIB=gpib0 names no bus that Wavedial can open.\n\nAccepted forms:\n"},
        {"sim:FG5010@5,AFG5102@5", "WAVEDIAL_GPIB=sim:FG5010@5,AFG5102@5 names no bus that Wavedial can open: "
                                   "FG5010@5 and AFG5102@5 have the same address.\n\nAccepted forms:\n"},
        {"system:/nonexistent/libgpib.so", "The GPIB library /nonexistent/libgpib.so could not be loaded: "},
        {"prologix:127.0.0.1:" + port, "The Prologix-compatible GPIB controller at 127.0.0.1:" + port + " could not be opened: Connection refused."},
        {"vxi11:127.0.0.1:" + port, "The LAN/GPIB gateway at 127.0.0.1:" + port + "/gpib0 could not be reached: Connection refused."},
        {"vxi11:" + mapper, "The LAN/GPIB gateway at " + mapper + "/gpib0 offers no VXI-11 instrument service "
                            "(its port mapper knows no core channel)."},
    };
    for (const auto &[value, box] : rows) {
        qputenv("WAVEDIAL_GPIB", QByteArray::fromStdString(value));
        ScriptedMessageBox boxes;
        boxes.answers.assign(box.empty() ? 0 : 1, MessageBoxService::Answer::Ok); // any other box fails
        RecordingProgramEnd programEnd;
        if (box.empty())
            EXPECT_NE(openBusFromEnvironment(boxes, programEnd).backend, nullptr) << value;
        else
            EXPECT_THROW(openBusFromEnvironment(boxes, programEnd), ProgramEnded) << value;
        EXPECT_EQ(boxes.boxes.empty() ? "" : boxes.boxes[0].text.substr(0, box.size()), box) << value;
    }
    qunsetenv("WAVEDIAL_GPIB");
}

// A trace asked for is written on every bus: the program's own lines for its calls to a
// LAN/GPIB gateway read as the gateway's simulated bus writes them.
TEST(ProgramStart, TracesABusThatIsNotSimulated)
{
    SimProcess sim({"OTHER@3,FG5010@5"}, "--vxi11");
    QTemporaryDir dir;
    const ProgramOptions options{"vxi11:127.0.0.1:" + std::to_string(sim.port),
                                 dir.filePath("trace").toStdString()};
    ScriptedMessageBox boxes;
    RecordingProgramEnd end;
    ManualClock clock;
    ScriptedEvents events(clock);
    OpenBus bus =
        openBusFromEnvironment(boxes, end, options, std::make_unique<SimTraceFile>(*options.trace));
    GpibModule(*bus.backend, GpibServices{boxes, end, clock, events}).IdentifyFunctionGenerator();
    QFile file(QString::fromStdString(*options.trace));
    file.open(QIODevice::ReadOnly);
    std::vector<std::string> lines;
    for (const QByteArray &line : file.readAll().trimmed().split('\n'))
        lines.push_back(line.toStdString());
    EXPECT_EQ(lines, sim.trace());
    EXPECT_EQ(lines.back(), "read 5 ID SIM/FG5010,V2.1");
}

// The command line: what it prints, how the program ends, and what a run is given.
TEST(CommandLine, PrintsOrEndsOrRuns)
{
    struct Row { QStringList args; int exit; std::string printed, bus; };
    const Row rows[] = {
        {{}, 0, "", "(env)"}, {{"--version"}, 0, "wavedial 1.3.1\n", ""}, {{"--help"}, 0, "Usage: wavedial [options]\n", ""},
        {{"--bus", "vxi11:gw"}, 0, "", "vxi11:gw"}, {{"--bus=sim:", "--trace", "t"}, 0, "", "sim:"},
        {{"--bus", "gpib0"}, 2, "wavedial: --bus gpib0 names no bus that Wavedial can open.\n\nAccepted forms:\n", ""},
        {{"--bus", "sim:FG5010@31"}, 2, "wavedial: --bus sim:FG5010@31 names no bus that Wavedial can open: the address "
                                        "of FG5010@31 is not a number from 1 to 30.\n\nAccepted forms:\n", ""},
        {{"--frob"}, 2, "wavedial: Unknown option 'frob'.\n", ""}, {{"--bus"}, 2, "wavedial: Missing value after '--bus'.\n", ""},
        {{"sim"}, 2, "wavedial: unexpected argument 'sim'.\n", ""},
        {{"--address", "31"}, 2, "wavedial: --address takes a GPIB address from 1 to 30, not '31'.\n", ""},
        {{"--address", "0x9"}, 2, "wavedial: --address takes a GPIB address from 1 to 30, not '0x9'.\n", ""},
    };
    EXPECT_TRUE(readCommandLine({"wavedial", "--help"}).out.ends_with(
        "2 for a bad\ncommand line, a trace that cannot be written, or no display.\n"));
    // The window for another generator runs on this one's bus, however it was named.
    const CommandLine chosen = readCommandLine({"wavedial", "--address", "30", "--list"});
    ASSERT_TRUE(chosen.run && chosen.run->address == 30 && chosen.run->list);
    EXPECT_EQ(anotherGeneratorArguments(*chosen.run, 9, "vxi11:gw"),
              QStringList({"--bus", "vxi11:gw", "--address", "9"}));
    EXPECT_EQ(anotherGeneratorArguments(ProgramOptions{.bus = "sim:", .trace = "t"}, 5, "vxi11:gw"),
              QStringList({"--bus", "sim:", "--address", "5"}));
    EXPECT_EQ(anotherGeneratorArguments({}, 5, std::nullopt), QStringList({"--address", "5"}));
    for (const Row &r : rows) {
        const CommandLine line = readCommandLine(QStringList{"wavedial"} + r.args);
        SCOPED_TRACE(r.args.join(' ').toStdString());
        EXPECT_EQ(line.exitCode, r.exit);
        EXPECT_EQ((line.out + line.err).substr(0, r.printed.size()), r.printed);
        EXPECT_EQ(line.run.has_value(), r.exit == 0 && r.printed.empty());
        EXPECT_EQ(line.run ? line.run->bus.value_or("(env)") : "", line.run ? r.bus : "");
    }
}

} // namespace
