// The simulated bus as a network instrument: a Prologix-compatible GPIB-Ethernet
// controller with simulated instruments behind it, for WAVEDIAL_GPIB=prologix:HOST:PORT.
//   wavedial-sim [--listen ADDRESS:PORT] [--trace FILE] [--no-fndl] [KIND@ADDRESS,...]
#include "bus/clock.h"
#include "sim/prologixserver.h"
#include "sim/simbus.h"
#include "sim/simconfig.h"
#include "sim/simtrace.h"

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

constexpr const char *Usage =
    "usage: wavedial-sim [--listen ADDRESS:PORT] [--trace FILE] [--no-fndl] [KIND@ADDRESS,...]\n"
    "  --listen   where to listen (default 127.0.0.1:1234; port 0: any free port)\n"
    "  --trace    append the bus trace to FILE (default: WAVEDIAL_SIM_TRACE)\n"
    "  --no-fndl  ignore ++fndl, as a genuine Prologix box does\n"
    "  listeners as for WAVEDIAL_GPIB=sim: (default FG5010@5; \"\" for an empty bus)\n";

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

int fail(const std::string &message)
{
    std::fprintf(stderr, "wavedial-sim: %s\n%s", message.c_str(), Usage);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    // Loopback unless told otherwise: the simulated bus is nobody else's business.
    Listen listen{QHostAddress(QHostAddress::LocalHost), 1234};
    std::string tracePath;
    if (const char *env = std::getenv("WAVEDIAL_SIM_TRACE"))
        tracePath = env;
    SimPrologixOptions options;
    options.version = "Wavedial simulated GPIB-Ethernet controller version " WAVEDIAL_VERSION;
    std::optional<std::string> listeners;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if ((arg == "--listen" || arg == "--trace") && i + 1 >= argc)
            return fail(std::string(arg) + " needs a value");
        if (arg == "--listen") {
            const auto l = parseListen(argv[++i]);
            if (!l)
                return fail(std::string("cannot listen on ") + argv[i]);
            listen = *l;
        } else if (arg == "--trace") {
            tracePath = argv[++i];
        } else if (arg == "--no-fndl") {
            options.findListeners = false;
        } else if (arg.starts_with("--")) {
            return fail("unknown option " + std::string(arg));
        } else {
            listeners = listeners ? *listeners + "," + std::string(arg) : std::string(arg);
        }
    }

    const std::string listenerText = listeners.value_or("FG5010@5");
    const auto specs = parseSimListeners(listenerText);
    if (!specs)
        return fail("no such listeners: " + listenerText);

    // Nothing here waits on the clock: a timeout is the host's to wait out.
    ManualClock clock;
    SimBus bus(clock);
    populateSimBus(bus, *specs);
    std::unique_ptr<SimTraceFile> trace;
    if (!tracePath.empty()) {
        trace = std::make_unique<SimTraceFile>(tracePath);
        if (!trace->isOpen())
            return fail("cannot write the trace to " + tracePath);
        SimTraceFile *file = trace.get();
        bus.setTraceSink([file](std::string_view line) { file->write(line); });
    }

    PrologixServer server(bus, options);
    if (!server.listen(listen.address, listen.port))
        return fail("cannot listen on " + listen.address.toString().toStdString() + ":" +
                    std::to_string(listen.port) + ": " + server.errorText().toStdString());
    const QString host = listen.address.protocol() == QAbstractSocket::IPv6Protocol
                             ? "[" + listen.address.toString() + "]"
                             : listen.address.toString();
    std::printf("wavedial-sim listening on %s:%u\n", host.toStdString().c_str(),
                static_cast<unsigned>(server.port()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}
