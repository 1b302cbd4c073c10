#include "app/busselection.h"

#include "support/scriptedservices.h"
#include "support/simprocess.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// A chosen bus in a few words, for the table.
std::string described(const std::optional<BusChoice> &c)
{
    if (!c)
        return "refused";
    switch (c->kind) {
    case BusChoice::Kind::System:
        return "system " + c->libraryPath;
    case BusChoice::Kind::Prologix:
        return c->adapter.kind == PrologixAddress::Kind::Serial
                   ? "serial " + c->adapter.device
                   : "tcp " + c->adapter.host + " " + std::to_string(c->adapter.port);
    case BusChoice::Kind::Simulated:
        break;
    }
    std::string s = "sim";
    for (const SimListenerSpec &l : c->listeners)
        s += " " + std::to_string(static_cast<int>(l.kind)) + "@" + std::to_string(l.address);
    return s;
}

TEST(BusChoice, AcceptsTheDocumentedFormsOnly)
{
    const std::pair<std::optional<std::string>, std::string> rows[] = {
        {std::nullopt, "sim 0@5"}, {"", "sim 0@5"}, {"sim", "sim 0@5"}, {"sim:", "sim"},
        {"sim: MUTE@2,OTHER@3 , AFG5102@30", "sim 4@2 5@3 2@30"},
        {"system", "system "}, {"system:/opt/gpib/libgpib.so.0", "system /opt/gpib/libgpib.so.0"},
        {"prologix:192.168.1.20:1235", "tcp 192.168.1.20 1235"}, {"prologix:gpib-box.lab", "tcp gpib-box.lab 1234"},
        {"prologix:localhost:65535", "tcp localhost 65535"}, {"prologix:[fe80::1]:1234", "tcp fe80::1 1234"},
        {"prologix:compaq-gpib", "tcp compaq-gpib 1234"}, {"prologix:/dev/ttyUSB0", "serial /dev/ttyUSB0"},
        {"prologix:com12", "serial COM12"},
    };
    for (const auto &[value, expected] : rows)
        EXPECT_EQ(described(parseBusChoice(value)), expected) << value.value_or("(unset)");
    for (const char *bad : {"sim:AFG5102@31", "sim:AFG5102@0", "sim:AFG5102@9,FG5010@9", "sim:AFG5102@9,",
                            "sim:AFG5102@9x", "sim:afg5102@9", "SIM", "gpib0", "prologix:", "prologix:host:0",
                            "prologix:host:65536", "prologix::1234", "prologix:::1", "prologix:[::1",
                            "prologix:[host]:1234", "prologix:my host", "prologix:COM0", "Prologix:host"})
        EXPECT_EQ(described(parseBusChoice(std::string_view(bad))), "refused") << bad;
    const std::string help = busChoiceHelp("gpib0");
    for (const char *part : {"WAVEDIAL_GPIB=gpib0", "sim:KIND@ADDRESS", "system:LIBRARY", "prologix:HOST[:PORT]", "prologix:COM3"})
        EXPECT_NE(help.find(part), std::string::npos) << part;
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
