#include "app/busselection.h"

#include "mainwindow/entryfield.h"
#include "support/formharness.h"
#include "support/simprocess.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using Kind = SimListenerSpec::Kind;

struct ChoiceCase
{
    std::optional<std::string> value;
    bool valid;
    BusChoice::Kind kind;
    std::vector<std::pair<Kind, int>> listeners;
    std::string library;
};

TEST(BusChoice, AcceptsTheDocumentedFormsOnly)
{
    using BK = BusChoice::Kind;
    const ChoiceCase cases[] = {
        {std::nullopt, true, BK::Simulated, {{Kind::FG5010, 5}}, ""},
        {"", true, BK::Simulated, {{Kind::FG5010, 5}}, ""},
        {"sim", true, BK::Simulated, {{Kind::FG5010, 5}}, ""},
        {"sim:", true, BK::Simulated, {}, ""},
        {"sim:MUTE@2,OTHER@3,AFG5102@9",
         true,
         BK::Simulated,
         {{Kind::Mute, 2}, {Kind::Other, 3}, {Kind::AFG5102, 9}},
         ""},
        {"sim: PFG5105@30 , AFG5101@1", true, BK::Simulated,
         {{Kind::PFG5105, 30}, {Kind::AFG5101, 1}}, ""},
        {"system", true, BK::System, {}, ""},
        {"system:/opt/gpib/libgpib.so.0", true, BK::System, {}, "/opt/gpib/libgpib.so.0"},
        {"sim:AFG5102@31", false, BK::Simulated, {}, ""},
        {"sim:AFG5102@0", false, BK::Simulated, {}, ""},
        {"sim:AFG5102@9,FG5010@9", false, BK::Simulated, {}, ""},
        {"sim:AFG5102@9,", false, BK::Simulated, {}, ""},
        {"sim:AFG5102", false, BK::Simulated, {}, ""},
        {"sim:AFG5102@x", false, BK::Simulated, {}, ""},
        {"sim:AFG5102@9x", false, BK::Simulated, {}, ""},
        {"sim:DMM@4", false, BK::Simulated, {}, ""},
        {"sim:afg5102@9", false, BK::Simulated, {}, ""},
        {"simulated", false, BK::Simulated, {}, ""},
        {"SIM", false, BK::Simulated, {}, ""},
        {"gpib0", false, BK::Simulated, {}, ""},
    };
    for (const ChoiceCase &c : cases) {
        const std::string label = c.value.value_or("(unset)");
        const auto choice = parseBusChoice(c.value ? std::optional<std::string_view>(*c.value)
                                                   : std::nullopt);
        ASSERT_EQ(choice.has_value(), c.valid) << label;
        if (!choice)
            continue;
        EXPECT_EQ(choice->kind, c.kind) << label;
        std::vector<std::pair<Kind, int>> got;
        for (const auto &l : choice->listeners)
            got.emplace_back(l.kind, l.address);
        EXPECT_EQ(got, c.listeners) << label;
        EXPECT_EQ(choice->libraryPath, c.library) << label;
    }
}

TEST(BusChoice, HelpNamesTheValueAndEveryForm)
{
    const std::string help = busChoiceHelp("gpib0");
    for (const char *part : {"WAVEDIAL_GPIB=gpib0", "sim:KIND@ADDRESS", "MUTE", "OTHER",
                             "PFG5105", "system:LIBRARY", "prologix:HOST[:PORT]", "1234",
                             "prologix:/dev/ttyUSB0", "prologix:COM3"})
        EXPECT_NE(help.find(part), std::string::npos) << part;
}

struct AdapterCase
{
    std::string value;
    std::optional<PrologixAddress> adapter;
};

PrologixAddress tcp(const std::string &host, uint16_t port = 1234)
{
    PrologixAddress a;
    a.host = host;
    a.port = port;
    return a;
}

PrologixAddress serial(const std::string &device)
{
    PrologixAddress a;
    a.kind = PrologixAddress::Kind::Serial;
    a.device = device;
    return a;
}

TEST(BusChoice, NamesPrologixControllersByHostOrSerialPort)
{
    const AdapterCase cases[] = {
        {"prologix:192.168.1.20", tcp("192.168.1.20")},
        {"prologix:192.168.1.20:1235", tcp("192.168.1.20", 1235)},
        {"prologix:gpib-box.lab", tcp("gpib-box.lab")},
        {"prologix:localhost:65535", tcp("localhost", 65535)},
        {"prologix:[::1]", tcp("::1")},
        {"prologix:[fe80::1]:1234", tcp("fe80::1")},
        {"prologix:/dev/ttyUSB0", serial("/dev/ttyUSB0")},
        {"prologix:/dev/serial/by-id/usb-AR488-if00", serial("/dev/serial/by-id/usb-AR488-if00")},
        {"prologix:COM3", serial("COM3")},
        {"prologix:com12", serial("COM12")},
        {"prologix:", std::nullopt},
        {"prologix", std::nullopt},
        {"prologix:host:", std::nullopt},
        {"prologix:host:0", std::nullopt},
        {"prologix:host:65536", std::nullopt},
        {"prologix:host:12x", std::nullopt},
        {"prologix::1234", std::nullopt},
        {"prologix:::1", std::nullopt},
        {"prologix:[::1", std::nullopt},
        {"prologix:[::1]x", std::nullopt},
        {"prologix:[host]:1234", std::nullopt},
        {"prologix:my host", std::nullopt},
        {"prologix:compaq-gpib", tcp("compaq-gpib")},
        {"prologix:COM0", std::nullopt},
        {"Prologix:host", std::nullopt},
    };
    for (const AdapterCase &c : cases) {
        const auto choice = parseBusChoice(std::string_view(c.value));
        ASSERT_EQ(choice.has_value(), c.adapter.has_value()) << c.value;
        if (!choice)
            continue;
        EXPECT_EQ(choice->kind, BusChoice::Kind::Prologix) << c.value;
        EXPECT_EQ(choice->adapter, *c.adapter) << c.value;
    }
}

// Sets an environment variable for one test.
class EnvironmentValue
{
public:
    EnvironmentValue(const char *name, const std::string &value) : m_name(name)
    {
        if (const char *old = std::getenv(name))
            m_old = old;
        qputenv(name, QByteArray::fromStdString(value));
    }
    ~EnvironmentValue()
    {
        if (m_old)
            qputenv(m_name, QByteArray::fromStdString(*m_old));
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    std::optional<std::string> m_old;
};

// The program's start on a Prologix controller, with the program's own waits on a test
// clock: the bus, its controller and the window are real.
struct ProgramOnController
{
    ProgramOnController()
    {
        bus = openBusFromEnvironment(boxes, programEnd);
        gpib = std::make_unique<GpibModule>(*bus.backend,
                                            GpibServices{boxes, programEnd, clock, events});
        form = std::make_unique<MainForm>(*gpib, FormServices{boxes, programEnd, shell, store});
    }

    ManualClock clock;
    ScriptedEvents events{clock};
    ScriptedMessageBox boxes;
    RecordingProgramEnd programEnd;
    RecordingShell shell;
    QTemporaryDir storeFolder;
    SettingsStore store{storeFolder.filePath(QStringLiteral("Wavedial.conf"))};
    OpenBus bus;
    std::unique_ptr<GpibModule> gpib;
    std::unique_ptr<MainForm> form;
};

TEST(ProgramStart, OnAPrologixControllerItRunsAsOnTheSimulatedBus)
{
    SimProcess sim({"OTHER@3,AFG5102@9"});
    ASSERT_NE(sim.port, 0);
    const EnvironmentValue gpib("WAVEDIAL_GPIB",
                                "prologix:127.0.0.1:" + std::to_string(sim.port));
    ProgramOnController program;
    program.form->Form_Load();
    program.form->controller().Form_Activate();

    FormHarness local("OTHER@3,AFG5102@9");
    local.form->Form_Load();
    local.form->controller().Form_Activate();

    EXPECT_TRUE(program.boxes.boxes.empty());
    EXPECT_EQ(program.gpib->ModelName, "AFG5102");
    EXPECT_EQ(program.form->windowTitle(), local.form->windowTitle());
    EXPECT_EQ(program.form->ui().Amplitude->text(), local.form->ui().Amplitude->text());
    EXPECT_EQ(program.form->ui().Frequency->text(), local.form->ui().Frequency->text());
    EXPECT_TRUE(program.form->controller().StartupDone);

    std::vector<std::string> expected = local.trace;
    std::erase(expected, "ren");
    std::vector<std::string> traced = sim.trace();
    std::erase(traced, "ren");
    EXPECT_GT(traced.size(), 5u);
    EXPECT_EQ(traced, expected);
}

TEST(ProgramStart, AControllerThatCannotBeReachedIsReportedAndEndsTheProgram)
{
    const uint16_t port = closedPort();
    const EnvironmentValue gpib("WAVEDIAL_GPIB", "prologix:127.0.0.1:" + std::to_string(port));
    ScriptedMessageBox boxes;
    boxes.answers.push_back(MessageBoxService::Answer::Ok);
    RecordingProgramEnd programEnd;
    EXPECT_THROW(openBusFromEnvironment(boxes, programEnd), ProgramEnded);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "The Prologix-compatible GPIB controller at 127.0.0.1:" +
                                       std::to_string(port) +
                                       " could not be opened: Connection refused.");
    EXPECT_EQ(boxes.boxes[0].icon, MessageBoxService::Icon::Critical);
    EXPECT_EQ(programEnd.ends, 1);
}

} // namespace
