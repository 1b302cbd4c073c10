// The simulated bus as a network instrument: a Prologix-compatible GPIB-Ethernet
// controller (for WAVEDIAL_GPIB=prologix:HOST:PORT) or a VXI-11 LAN/GPIB gateway (for
// vxi11:HOST:PORT and other VXI-11 clients), or both, with simulated instruments behind.
//   wavedial-sim [--listen ADDRESS:PORT] [--vxi11 ADDRESS:PORT] [fault options]
//                [--trace FILE] [--no-fndl] [KIND@ADDRESS,...]
#include "bus/clock.h"
#include "sim/prologixserver.h"
#include "sim/simbus.h"
#include "sim/simconfig.h"
#include "sim/simtrace.h"
#include "sim/vxi11calls.h"
#include "sim/vxi11server.h"

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
    "usage: wavedial-sim [--listen ADDRESS:PORT] [--vxi11 ADDRESS:PORT] [--fault KIND]\n"
    "                    [--fault-after N] [--fault-on PROCEDURE] [--trace FILE] [--no-fndl]\n"
    "                    [KIND@ADDRESS,...]\n"
    "  --listen       a Prologix-compatible controller here (default 127.0.0.1:1234 when\n"
    "                 --vxi11 is not given; port 0: any free port)\n"
    "  --vxi11        a VXI-11 gateway, its port mapper here (port 0: any free port)\n"
    "  --fault        the gateway's fault: drop (closes the connection), malformed (a reply\n"
    "                 cut short) or delay:MS (replies MS milliseconds late)\n"
    "  --fault-after  core calls answered well before the fault (default 0)\n"
    "  --fault-on     only calls of this procedure meet the fault, e.g. device_read\n"
    "  --trace        append the bus trace to FILE (default: WAVEDIAL_SIM_TRACE)\n"
    "  --no-fndl      ignore ++fndl, as a genuine Prologix box does\n"
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
    std::fprintf(stderr, "wavedial-sim: %s\n%s", message.c_str(), Usage);
    return 2;
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

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        const bool valued =
            arg == "--listen" || arg == "--vxi11" || arg == "--trace" || arg.starts_with("--fault");
        if (valued && i + 1 >= argc)
            return fail(std::string(arg) + " needs a value");
        if (arg == "--listen" || arg == "--vxi11") {
            const auto l = parseListen(argv[++i]);
            if (!l)
                return fail(std::string("cannot listen on ") + argv[i]);
            (arg == "--listen" ? listen : vxi11) = *l;
        } else if (arg == "--fault") {
            if (!parseFault(argv[++i], faults))
                return fail(std::string("no such fault: ") + argv[i]);
            faultOptions = true;
        } else if (arg == "--fault-after") {
            const auto n = count(argv[++i]);
            if (!n)
                return fail(std::string("--fault-after needs a number, not ") + argv[i]);
            faults.after = *n;
            faultOptions = true;
        } else if (arg == "--fault-on") {
            faults.procedure = vxi11::procedureNumber(argv[++i]);
            if (faults.procedure == 0)
                return fail(std::string("no such VXI-11 procedure: ") + argv[i]);
            faultOptions = true;
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

    if (faultOptions && !vxi11)
        return fail("the fault options are the VXI-11 gateway's: give --vxi11");
    if (!listen && !vxi11)
        listen = Listen{QHostAddress(QHostAddress::LocalHost), 1234};

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
