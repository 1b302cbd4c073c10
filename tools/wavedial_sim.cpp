// The simulated bus as a network instrument: a Prologix-compatible GPIB-Ethernet
// controller (for WAVEDIAL_GPIB=prologix:HOST:PORT) or a VXI-11 LAN/GPIB gateway (for
// vxi11:HOST:PORT and other VXI-11 clients), or both, with simulated instruments behind.
//   wavedial-sim [--listen ADDRESS:PORT] [--vxi11 ADDRESS:PORT] [fault options]
//                [--trace FILE] [--no-fndl] [KIND@ADDRESS,... | --bus sim:KIND@ADDRESS,...]
#include "bus/clock.h"
#include "sim/servers/prologixserver.h"
#include "sim/simbus.h"
#include "sim/simconfig.h"
#include "sim/simtrace.h"
#include "sim/servers/vxi11calls.h"
#include "sim/servers/vxi11server.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace {

struct Listen
{
    QHostAddress address;
    uint16_t port = 0;
};

// "127.0.0.1:1234", "localhost:1234", "0.0.0.0:1234", "[::1]:1234".
std::optional<Listen> parseListen(std::string_view text)
{
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    std::string_view host = text.substr(0, colon);
    const std::string_view port = text.substr(colon + 1);
    int number = 0;
    const auto r = std::from_chars(port.data(), port.data() + port.size(), number);
    if (port.empty() || r.ec != std::errc() || r.ptr != port.data() + port.size() || number < 0 ||
        number > 65535)
        return std::nullopt;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    Listen l;
    l.port = static_cast<uint16_t>(number);
    if (host == "localhost")
        l.address = QHostAddress(QHostAddress::LocalHost);
    else if (!l.address.setAddress(
                 QString::fromUtf8(host.data(), static_cast<qsizetype>(host.size()))))
        return std::nullopt;
    return l;
}

// A whole decimal number with nothing after it.
std::optional<uint64_t> count(std::string_view text)
{
    uint64_t n = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size())
        return std::nullopt;
    return n;
}

// "drop", "malformed", "unregistered", "delay:MS".
bool parseFault(std::string_view text, Vxi11Faults &faults)
{
    using K = Vxi11Faults::Kind;
    if (text == "drop" || text == "malformed" || text == "unregistered") {
        faults.kind = text == "drop" ? K::Drop : text == "malformed" ? K::Malformed : K::Unregistered;
        return true;
    }
    const auto ms = text.starts_with("delay:") ? count(text.substr(6)) : std::nullopt;
    if (!ms || *ms > 24 * 3600 * 1000)
        return false;
    faults.kind = K::Delay;
    faults.delay = std::chrono::milliseconds(*ms);
    return true;
}

std::string hostText(const QHostAddress &address)
{
    return (address.protocol() == QAbstractSocket::IPv6Protocol ? "[" + address.toString() + "]"
                                                                : address.toString())
        .toStdString();
}

int fail(const std::string &message)
{
    std::fprintf(stderr, "wavedial-sim: %s\nTry 'wavedial-sim --help' for the options.\n",
                 message.c_str());
    return 2;
}

QCommandLineOption option(const char *name, const char *help, const char *value = nullptr)
{
    return value ? QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(help),
                                      QString::fromLatin1(value))
                 : QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(help));
}

struct Options
{
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Shows this help and ends.")};
    QCommandLineOption version = option("version", "Shows the version and ends.");
    QCommandLineOption listen = option(
        "listen", "A Prologix-compatible controller here (127.0.0.1:1234 when --vxi11 is not "
                  "given; port 0: any free port).", "ADDRESS:PORT");
    QCommandLineOption vxi11 = option(
        "vxi11", "A VXI-11 gateway, its port mapper here (port 0: any free port).",
        "ADDRESS:PORT");
    QCommandLineOption fault = option(
        "fault", "The gateway's fault: drop (closes the connection), malformed (a reply cut "
                 "short), delay:MS (replies MS milliseconds late) or unregistered (the port mapper "
                 "knows no core channel).", "KIND");
    QCommandLineOption faultAfter =
        option("fault-after", "Core calls answered well before the fault (default 0).", "N");
    QCommandLineOption faultOn = option(
        "fault-on", "Only calls of this procedure meet the fault, e.g. device_read.", "PROCEDURE");
    QCommandLineOption bus = option(
        "bus", "The listeners in the form sim:KIND@ADDRESS,... of WAVEDIAL_GPIB, in place of "
               "the LISTENERS argument.", "SPEC");
    QCommandLineOption trace =
        option("trace", "Appends the bus trace to FILE (default: WAVEDIAL_SIM_TRACE).", "FILE");
    QCommandLineOption noFndl =
        option("no-fndl", "Ignores ++fndl, as a genuine Prologix box does.");
};

void declareOptions(QCommandLineParser &parser, const Options &o)
{
    parser.setApplicationDescription(QStringLiteral(
        "Serves the simulated GPIB bus as a Prologix-compatible GPIB-Ethernet controller or a "
        "VXI-11 LAN/GPIB gateway."));
    parser.addOptions({o.help, o.version, o.listen, o.vxi11, o.fault, o.faultAfter, o.faultOn,
                       o.bus, o.trace, o.noFndl});
    parser.addPositionalArgument(
        QStringLiteral("LISTENERS"),
        QStringLiteral("KIND@ADDRESS,... as for WAVEDIAL_GPIB=sim: (default FG5010@5; \"\" for "
                       "an empty bus)."),
        QStringLiteral("[KIND@ADDRESS,...]"));
}

// What the command line asks this run to serve.
struct Settings
{
    std::optional<Listen> listen, vxi11;
    Vxi11Faults faults;
    std::string tracePath;
    SimPrologixOptions prologix;
    std::optional<std::string> listeners;
};

std::string valueOf(const QCommandLineParser &parser, const QCommandLineOption &o)
{
    return parser.value(o).toStdString();
}

// The gateway's fault options; the reason when one is wrong.
std::optional<std::string> readFaults(const QCommandLineParser &parser, const Options &o,
                                      Vxi11Faults &faults)
{
    const auto text = [&](const QCommandLineOption &option) { return valueOf(parser, option); };
    if (parser.isSet(o.fault) && !parseFault(text(o.fault), faults))
        return "no such fault: " + text(o.fault);
    if (parser.isSet(o.faultAfter)) {
        const auto n = count(text(o.faultAfter));
        if (!n)
            return "--fault-after needs a number, not " + text(o.faultAfter);
        faults.after = *n;
    }
    if (parser.isSet(o.faultOn)) {
        faults.procedure = vxi11::procedureNumber(text(o.faultOn));
        if (faults.procedure == 0)
            return "no such VXI-11 procedure: " + text(o.faultOn);
    }
    return std::nullopt;
}

// The reason when the options do not make a run.
std::optional<std::string> readSettings(const QCommandLineParser &parser, const Options &o,
                                        Settings &s)
{
    if (const char *env = std::getenv("WAVEDIAL_SIM_TRACE"))
        s.tracePath = env;
    s.prologix.version = "Wavedial simulated GPIB-Ethernet controller version " WAVEDIAL_VERSION;
    const auto text = [&](const QCommandLineOption &option) { return valueOf(parser, option); };
    for (const QCommandLineOption *option : {&o.listen, &o.vxi11}) {
        if (!parser.isSet(*option))
            continue;
        const auto l = parseListen(text(*option));
        if (!l)
            return "cannot listen on " + text(*option);
        (option == &o.listen ? s.listen : s.vxi11) = *l;
    }
    if (auto why = readFaults(parser, o, s.faults))
        return why;
    const bool faultOptions =
        parser.isSet(o.fault) || parser.isSet(o.faultAfter) || parser.isSet(o.faultOn);
    if (parser.isSet(o.trace))
        s.tracePath = text(o.trace);
    s.prologix.findListeners = !parser.isSet(o.noFndl);
    for (const QString &arg : parser.positionalArguments())
        s.listeners = s.listeners ? *s.listeners + "," + arg.toStdString() : arg.toStdString();
    if (parser.isSet(o.bus)) {
        // Only the simulated bus's forms: this program is that bus.
        const std::string spec = text(o.bus);
        if (s.listeners || !(spec == "sim" || spec.starts_with("sim:")))
            return "--bus takes sim or sim:KIND@ADDRESS,... and no LISTENERS besides, not " + spec;
        s.listeners = spec == "sim" ? std::string(DefaultSimListeners) : spec.substr(4);
    }

    if (faultOptions && !s.vxi11)
        return "the fault options are the VXI-11 gateway's: give --vxi11";
    // Loopback unless told otherwise: the simulated bus is nobody else's business.
    if (!s.listen && !s.vxi11)
        s.listen = Listen{QHostAddress(QHostAddress::LocalHost), 1234};
    return std::nullopt;
}

// Listens where asked and says where on standard output; the reason when it cannot.
template<typename Server>
std::optional<std::string> serve(Server &server, const Listen &at, const char *what)
{
    if (!server.listen(at.address, at.port))
        return "cannot listen on " + hostText(at.address) + ":" + std::to_string(at.port) + ": " +
               server.errorText().toStdString();
    std::printf("%s listening on %s:%u\n", what, hostText(at.address).c_str(),
                static_cast<unsigned>(server.port()));
    return std::nullopt;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    QCommandLineParser parser;
    const Options o;
    declareOptions(parser, o);
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText().toStdString());
    if (parser.isSet(o.help)) {
        std::fputs(parser.helpText().toStdString().c_str(), stdout);
        return 0;
    }
    if (parser.isSet(o.version)) {
        std::puts("wavedial-sim " WAVEDIAL_VERSION);
        return 0;
    }
    Settings s;
    if (const auto why = readSettings(parser, o, s))
        return fail(*why);

    const std::string listenerText = s.listeners.value_or(std::string(DefaultSimListeners));
    std::string why;
    const auto specs = parseSimListeners(listenerText, &why);
    if (!specs)
        return fail((parser.isSet(o.bus) ? "--bus " + valueOf(parser, o.bus) : listenerText) +
                    " names no simulated bus: " + why);

    // Nothing here waits on the clock: a timeout is the host's to wait out.
    ManualClock clock;
    SimBus bus(clock);
    populateSimBus(bus, *specs);
    std::unique_ptr<SimTraceFile> trace;
    if (!s.tracePath.empty()) {
        trace = std::make_unique<SimTraceFile>(s.tracePath);
        if (!trace->isOpen())
            return fail("cannot write the trace to " + s.tracePath + ": " + trace->error());
        SimTraceFile *file = trace.get();
        bus.setTraceSink([file](std::string_view line) { file->write(line); });
    }

    std::unique_ptr<PrologixServer> prologix;
    if (s.listen) {
        prologix = std::make_unique<PrologixServer>(bus, s.prologix);
        if (const auto error = serve(*prologix, *s.listen, "wavedial-sim"))
            return fail(*error);
    }
    // The gateway's waits (a talker that never talks, a lock held elsewhere) are real
    // time for its hosts.
    SteadyClock steady;
    std::unique_ptr<Vxi11Server> gateway;
    if (s.vxi11) {
        gateway = std::make_unique<Vxi11Server>(bus, steady, s.faults);
        if (const auto error = serve(*gateway, *s.vxi11, "wavedial-sim VXI-11 gateway"))
            return fail(*error);
    }
    std::fflush(stdout);
    return QCoreApplication::exec();
}
