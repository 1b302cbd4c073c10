// The simulated bus as a network instrument: a Prologix-compatible GPIB-Ethernet
// controller (for WAVEDIAL_GPIB=prologix:HOST:PORT) or a VXI-11 LAN/GPIB gateway (for
// vxi11:HOST:PORT and other VXI-11 clients), or both, with simulated instruments behind.
//   wavedial-sim [--listen ADDRESS:PORT] [--vxi11 ADDRESS:PORT] [fault options]
//                [--trace FILE] [--no-fndl] [KIND@ADDRESS,... | --bus sim:KIND@ADDRESS,...]
#include "bus/clock.h"
#include "sim/prologixserver.h"
#include "sim/simbus.h"
#include "sim/simconfig.h"
#include "sim/simtrace.h"
#include "sim/vxi11calls.h"
#include "sim/vxi11server.h"

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

// "drop", "malformed", "delay:MS".
bool parseFault(std::string_view text, Vxi11Faults &faults)
{
    using K = Vxi11Faults::Kind;
    if (text == "drop" || text == "malformed") {
        faults.kind = text == "drop" ? K::Drop : K::Malformed;
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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    // Loopback unless told otherwise: the simulated bus is nobody else's business.
    std::optional<Listen> listen, vxi11;
    Vxi11Faults faults;
    bool faultOptions = false;
    std::string tracePath;
    if (const char *env = std::getenv("WAVEDIAL_SIM_TRACE"))
        tracePath = env;
    SimPrologixOptions options;
    options.version = "Wavedial simulated GPIB-Ethernet controller version " WAVEDIAL_VERSION;
    std::optional<std::string> listeners;

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Serves the simulated GPIB bus as a Prologix-compatible GPIB-Ethernet controller or a "
        "VXI-11 LAN/GPIB gateway."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and ends."));
    const QCommandLineOption version = option("version", "Shows the version and ends.");
    const QCommandLineOption listenOption = option(
        "listen", "A Prologix-compatible controller here (127.0.0.1:1234 when --vxi11 is not "
                  "given; port 0: any free port).", "ADDRESS:PORT");
    const QCommandLineOption vxi11Option = option(
        "vxi11", "A VXI-11 gateway, its port mapper here (port 0: any free port).",
        "ADDRESS:PORT");
    const QCommandLineOption fault = option(
        "fault", "The gateway's fault: drop (closes the connection), malformed (a reply cut "
                 "short) or delay:MS (replies MS milliseconds late).", "KIND");
    const QCommandLineOption faultAfter =
        option("fault-after", "Core calls answered well before the fault (default 0).", "N");
    const QCommandLineOption faultOn = option(
        "fault-on", "Only calls of this procedure meet the fault, e.g. device_read.", "PROCEDURE");
    const QCommandLineOption busOption = option(
        "bus", "The listeners in the form sim:KIND@ADDRESS,... of WAVEDIAL_GPIB, in place of "
               "the LISTENERS argument.", "SPEC");
    const QCommandLineOption traceOption =
        option("trace", "Appends the bus trace to FILE (default: WAVEDIAL_SIM_TRACE).", "FILE");
    const QCommandLineOption noFndl =
        option("no-fndl", "Ignores ++fndl, as a genuine Prologix box does.");
    parser.addOptions({help, version, listenOption, vxi11Option, fault, faultAfter, faultOn, busOption,
                       traceOption, noFndl});
    parser.addPositionalArgument(
        QStringLiteral("LISTENERS"),
        QStringLiteral("KIND@ADDRESS,... as for WAVEDIAL_GPIB=sim: (default FG5010@5; \"\" for "
                       "an empty bus)."),
        QStringLiteral("[KIND@ADDRESS,...]"));
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText().toStdString());
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toStdString().c_str(), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::puts("wavedial-sim " WAVEDIAL_VERSION);
        return 0;
    }
    const auto text = [&](const QCommandLineOption &o) { return parser.value(o).toStdString(); };
    for (const QCommandLineOption *o : {&listenOption, &vxi11Option}) {
        if (!parser.isSet(*o))
            continue;
        const auto l = parseListen(text(*o));
        if (!l)
            return fail("cannot listen on " + text(*o));
        (o == &listenOption ? listen : vxi11) = *l;
    }
    if (parser.isSet(fault) && !parseFault(text(fault), faults))
        return fail("no such fault: " + text(fault));
    if (parser.isSet(faultAfter)) {
        const auto n = count(text(faultAfter));
        if (!n)
            return fail("--fault-after needs a number, not " + text(faultAfter));
        faults.after = *n;
    }
    if (parser.isSet(faultOn)) {
        faults.procedure = vxi11::procedureNumber(text(faultOn));
        if (faults.procedure == 0)
            return fail("no such VXI-11 procedure: " + text(faultOn));
    }
    faultOptions = parser.isSet(fault) || parser.isSet(faultAfter) || parser.isSet(faultOn);
    if (parser.isSet(traceOption))
        tracePath = text(traceOption);
    options.findListeners = !parser.isSet(noFndl);
    for (const QString &arg : parser.positionalArguments())
        listeners = listeners ? *listeners + "," + arg.toStdString() : arg.toStdString();
    if (parser.isSet(busOption)) {
        // Only the simulated bus's forms: this program is that bus.
        const std::string spec = text(busOption);
        if (listeners || !(spec == "sim" || spec.starts_with("sim:")))
            return fail("--bus takes sim or sim:KIND@ADDRESS,... and no LISTENERS besides, not " +
                        spec);
        listeners = spec == "sim" ? std::string(DefaultSimListeners) : spec.substr(4);
    }

    if (faultOptions && !vxi11)
        return fail("the fault options are the VXI-11 gateway's: give --vxi11");
    if (!listen && !vxi11)
        listen = Listen{QHostAddress(QHostAddress::LocalHost), 1234};

    const std::string listenerText = listeners.value_or(std::string(DefaultSimListeners));
    std::string why;
    const auto specs = parseSimListeners(listenerText, &why);
    if (!specs)
        return fail((parser.isSet(busOption) ? "--bus " + text(busOption) : listenerText) +
                    " names no simulated bus: " + why);

    // Nothing here waits on the clock: a timeout is the host's to wait out.
    ManualClock clock;
    SimBus bus(clock);
    populateSimBus(bus, *specs);
    std::unique_ptr<SimTraceFile> trace;
    if (!tracePath.empty()) {
        trace = std::make_unique<SimTraceFile>(tracePath);
        if (!trace->isOpen())
            return fail("cannot write the trace to " + tracePath + ": " + trace->error());
        SimTraceFile *file = trace.get();
        bus.setTraceSink([file](std::string_view line) { file->write(line); });
    }

    std::unique_ptr<PrologixServer> prologix;
    if (listen) {
        prologix = std::make_unique<PrologixServer>(bus, options);
        if (!prologix->listen(listen->address, listen->port))
            return fail("cannot listen on " + hostText(listen->address) + ":" +
                        std::to_string(listen->port) + ": " + prologix->errorText().toStdString());
        std::printf("wavedial-sim listening on %s:%u\n", hostText(listen->address).c_str(),
                    static_cast<unsigned>(prologix->port()));
    }
    // The gateway's waits (a talker that never talks, a lock held elsewhere) are real
    // time for its hosts.
    SteadyClock steady;
    std::unique_ptr<Vxi11Server> gateway;
    if (vxi11) {
        gateway = std::make_unique<Vxi11Server>(bus, steady, faults);
        if (!gateway->listen(vxi11->address, vxi11->port))
            return fail("cannot listen on " + hostText(vxi11->address) + ":" +
                        std::to_string(vxi11->port) + ": " + gateway->errorText().toStdString());
        std::printf("wavedial-sim VXI-11 gateway listening on %s:%u\n",
                    hostText(vxi11->address).c_str(), static_cast<unsigned>(gateway->port()));
    }
    std::fflush(stdout);
    return QCoreApplication::exec();
}
