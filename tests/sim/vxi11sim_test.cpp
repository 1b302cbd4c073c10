// wavedial-sim's VXI-11 gateway over loopback TCP, driven as hosts drive it: each row is
// one call (or a move of the gateway's test clock) and what comes back and onto the bus.
#include "sim/simbus.h"
#include "sim/simconfig.h"
#include "sim/vxi11server.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "vxi11.h"

namespace {

template<class T> xdrproc_t untyped(bool_t (*f)(XDR *, T *))
{
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(f));
}

bool pumpUntil(const std::function<bool()> &done)
{
    for (QDeadlineTimer limit(5000); !done() && !limit.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return done();
}

// One connection and the replies that came over it.
struct Line
{
    void open(uint16_t port)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        ASSERT_TRUE(pumpUntil([&] { return socket.state() == QAbstractSocket::ConnectedState; }));
    }
    template<class T> void call(uint32_t prog, uint32_t proc, bool_t (*f)(XDR *, T *), T args)
    {
        const std::string c = oncrpc::frameRecord(oncrpc::encodeCall(++xid, prog, 1 + (prog == 100000), proc, untyped(f), &args));
        socket.write(c.data(), static_cast<qint64>(c.size()));
    }
    // The next reply; nullopt when none comes (at once, unless `wait`) or the line closed.
    std::optional<std::string> reply(bool wait)
    {
        std::optional<std::string> r;
        const auto got = [&] {
            const QByteArray in = socket.readAll();
            records.feed({in.constData(), static_cast<size_t>(in.size())});
            r = r ? r : records.next();
            return r || socket.state() != QAbstractSocket::ConnectedState;
        };
        wait ? pumpUntil(got) : (QCoreApplication::processEvents(), got());
        return r;
    }
    QTcpSocket socket;
    oncrpc::RecordReader records{1 << 20};
    uint32_t xid = 0;
};

using ms = std::chrono::milliseconds;

// Hosts A and B (and more) on one gateway over MUTE@2,FG5010@5, on a test clock.
struct Bench
{
    explicit Bench(Vxi11Faults faults = {}) : server(bus, clock, faults)
    {
        populateSimBus(bus, *parseSimListeners("MUTE@2,FG5010@5"));
        bus.setTraceSink([this](std::string_view l) { trace += (trace.empty() ? "" : "|") + std::string(l); });
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    }
    struct Host
    {
        Line mapper, core, abort;
        int32_t lid = 0;
        uint32_t proc = 0; // of the call on the core channel
    };
    Host &host(char name)
    {
        Host &h = hosts[name];
        if (h.core.socket.state() == QAbstractSocket::UnconnectedState && h.core.xid == 0) {
            h.mapper.open(server.port()); // the core channel's port, from the port mapper
            h.mapper.call(100000, 3, xdr_pmap, pmap{DEVICE_CORE, DEVICE_CORE_VERSION, 6, 0});
            u_int port = 0;
            oncrpc::decodeReply(h.mapper.reply(true).value_or(""), 1, untyped(xdr_u_int), &port);
            h.core.open(static_cast<uint16_t>(port));
            h.abort.open(server.abortPort());
        }
        return h;
    }
    // Sends the call a row names: "write ID?", "read 8", "cmd 3F4025" ...
    void send(Host &h, const std::string &row)
    {
        std::istringstream in(row);
        std::string op, text;
        uint32_t n = 0;
        in >> op;
        std::getline(in >> std::ws, text);
        std::istringstream(text) >> n;
        const Device_GenericParms generic{h.lid, 0, 0, 1000};
        std::string data = text;
        if (op == "cmd")
            for (size_t i = 0; i < data.size(); i += 2)
                data[i / 2] = static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
        data.resize(op == "cmd" ? text.size() / 2 : op == "ndac" ? 2 : data.size());
        if (op == "ndac")
            data = std::string("\0\3", 2);
        const auto docmd = [&](long cmd) {
            Device_DocmdParms p{h.lid, 0, 1000, 0, cmd, 1, 2, {static_cast<u_int>(data.size()), data.data()}};
            h.core.call(DEVICE_CORE, h.proc = device_docmd, xdr_Device_DocmdParms, p);
        };
        const auto write = [&](long flags, u_long lockMs) {
            Device_WriteParms p{h.lid, 1000, lockMs, flags, {static_cast<u_int>(text.size()), text.data()}};
            h.core.call(DEVICE_CORE, h.proc = device_write, xdr_Device_WriteParms, p);
        };
        if (op == "link" || op == "locklink")
            h.core.call(DEVICE_CORE, h.proc = create_link, xdr_Create_LinkParms,
                        Create_LinkParms{1, op == "locklink", 0, text.data()});
        else if (op == "write" || op == "part" || op == "waitwrite")
            write((op != "part" ? 8 : 0) | (op == "waitwrite"), op == "waitwrite" ? 500 : 0);
        else if (op == "read")
            h.core.call(DEVICE_CORE, h.proc = device_read, xdr_Device_ReadParms, Device_ReadParms{h.lid, n, 1000, 0, 0, 0});
        else if (op == "cmd" || op == "ndac")
            docmd(op == "cmd" ? 0x20000 : 0x20001);
        else if (op == "ifc")
            docmd(0x20010);
        else if (op == "abort")
            h.abort.call(DEVICE_ASYNC, device_abort, xdr_Device_Link, Device_Link{h.lid});
        else if (op == "unlock" || op == "destroy")
            h.core.call(DEVICE_CORE, h.proc = op == "unlock" ? device_unlock : destroy_link, xdr_Device_Link, Device_Link{h.lid});
        else if (op == "lock")
            h.core.call(DEVICE_CORE, h.proc = device_lock, xdr_Device_LockParms, Device_LockParms{h.lid, 0, 0});
        else {
            const std::map<std::string, uint32_t> procs{{"stb", device_readstb}, {"clear", device_clear},
                {"remote", device_remote}, {"local", device_local}, {"trigger", device_trigger}};
            h.core.call(DEVICE_CORE, h.proc = procs.at(op), xdr_Device_GenericParms, generic);
        }
    }
    // The reply as "ERROR [SIZE|REASON DATA|STB|VALUE]", "-" for none, "closed", "malformed".
    std::string answer(Host &h, bool abortLine, bool wait)
    {
        Line &line = abortLine ? h.abort : h.core;
        const uint32_t proc = abortLine ? uint32_t{device_abort} : h.proc;
        const std::optional<std::string> r = line.reply(wait);
        if (!r)
            return line.socket.state() == QAbstractSocket::ConnectedState ? "-" : "closed";
        const auto decode = [&](auto f, auto &resp) {
            return oncrpc::decodeReply(*r, line.xid, untyped(f), &resp).status ==
                   oncrpc::ReplyStatus::Success;
        };
        const auto text = [](long error, const std::string &rest) {
            return std::to_string(error) + (error || rest.empty() ? "" : " " + rest);
        };
        switch (proc) {
        case create_link:
            if (Create_LinkResp x{}; decode(xdr_Create_LinkResp, x)) {
                h.lid = x.error ? h.lid : static_cast<int32_t>(x.lid);
                return text(x.error, x.abortPort == server.abortPort() ? "" : "abort port?");
            }
            break;
        case device_write:
            if (Device_WriteResp x{}; decode(xdr_Device_WriteResp, x))
                return text(x.error, std::to_string(x.size));
            break;
        case device_read:
            if (Device_ReadResp x{}; decode(xdr_Device_ReadResp, x)) {
                const std::string data(x.data.data_val ? x.data.data_val : "", x.data.data_len);
                oncrpc::releaseDecoded(untyped(xdr_Device_ReadResp), &x);
                return text(x.error, std::to_string(x.reason) + " " + data);
            }
            break;
        case device_readstb:
            if (Device_ReadStbResp x{}; decode(xdr_Device_ReadStbResp, x))
                return text(x.error, std::to_string(x.stb));
            break;
        case device_docmd:
            if (Device_DocmdResp x{}; decode(xdr_Device_DocmdResp, x)) {
                const bool two = x.data_out.data_out_len == 2;
                const std::string value = two ? std::to_string(x.data_out.data_out_val[1]) : "";
                oncrpc::releaseDecoded(untyped(xdr_Device_DocmdResp), &x);
                return text(x.error, value);
            }
            break;
        default:
            if (Device_Error x{}; decode(xdr_Device_Error, x))
                return text(x.error, "");
        }
        return "malformed";
    }

    ManualClock busClock, clock;
    SimBus bus{busClock};
    Vxi11Server server;
    std::map<char, Host> hosts;
    std::string trace;
};

struct Row
{
    char host;        // '+' moves the clock by `call` ms; then a host's "wait" takes its held reply
    const char *call;
    const char *answer; // "-": held, nothing yet
    const char *trace;  // the lines it put on the bus, "|" between them
};

void play(Bench &b, std::initializer_list<Row> rows)
{
    for (const Row &r : rows) {
        SCOPED_TRACE(std::string(1, r.host) + " " + r.call);
        b.trace.clear();
        std::string got;
        if (r.host == '+') {
            b.clock.advance(ms(std::stoi(r.call)));
            b.server.wake();
        } else if (std::string(r.call) == "wait") {
            got = b.answer(b.host(r.host), false, true);
        } else {
            Bench::Host &h = b.host(r.host);
            const size_t held = b.server.heldCalls();
            b.send(h, r.call);
            if (std::string(r.answer) == "-")
                pumpUntil([&] { return b.server.heldCalls() > held; });
            got = b.answer(h, std::string(r.call) == "abort", std::string(r.answer) != "-");
        }
        EXPECT_EQ(got, r.host == '+' ? "" : r.answer);
        EXPECT_EQ(b.trace, r.trace);
    }
}

TEST(Vxi11Gateway, AnswersHostsAsAGatewayDoes)
{
    Bench b;
    play(b, {{'A', "link gpib0,5", "0", ""}, {'A', "write ID?", "0 3", "write 5 ID?"},
             {'A', "read 8", "0 1 ID SIM/F", "read 5 ID SIM/F"},
             {'A', "read 64", "0 4 G5010,V2.1", "read 5 G5010,V2.1"},
             {'A', "part AMPL ", "0 5", "write 5 AMPL "}, {'A', "write 99", "0 2", "write 5 99"},
             {'A', "stb", "0 98", "spoll 5 98"}, {'A', "stb", "0 0", "spoll 5 0"},
             {'A', "write AMPL?", "0 5", "write 5 AMPL?"}, {'A', "clear", "0", "clear 5"},
             {'A', "read 8", "-", "timeout 5"}, {'+', "1000", "", ""}, {'A', "wait", "15", ""},
             {'A', "remote", "0", "ren"},
             {'A', "local", "0", "local 5"}, {'A', "trigger", "8", ""},
             {'B', "link gpib0,7", "0", ""}, {'B', "write ID?", "17", "nolistener 7"},
             {'B', "link gpib0,31", "21", ""}, {'B', "link gpib1,5", "3", ""},
             {'B', "link GPIB0,5,1", "3", ""}, {'B', "link gpib0", "0", ""}, {'B', "ifc", "0", "ifc"},
             {'B', "cmd 3F4021", "0", ""}, {'B', "ndac", "0 0", ""}, {'B', "cmd 3F4022", "0", ""},
             {'B', "ndac", "0 1", ""}, {'B', "cmd 3F4025", "0", ""}, {'B', "ndac", "0 1", ""},
             {'B', "read 8", "8", ""}, {'A', "write ID?", "0 3", "findlstn 0 2 5|write 5 ID?"}});
}

TEST(Vxi11Gateway, WaitsForTalkersAndLocksWithoutBlockingOthers)
{
    Bench b;
    play(b, {{'A', "link gpib0,2", "0", ""}, {'A', "read 8", "-", "timeout 2"},
             {'B', "link gpib0,2", "0", ""}, {'B', "write ID?", "0 3", "write 2 ID?"},
             {'+', "999", "", ""}, {'A', "abort", "0", ""}, {'A', "wait", "23", ""},
             {'B', "lock", "0", ""}, {'A', "write ID?", "11", ""}, {'A', "waitwrite ID?", "-", ""},
             {'B', "unlock", "0", "write 2 ID?"}, {'A', "wait", "0 3", ""},
             {'C', "locklink gpib0,2", "0", ""}, {'A', "waitwrite ID?", "-", ""},
             {'+', "499", "", ""}, {'B', "unlock", "12", ""}, {'+', "1", "", ""},
             {'A', "wait", "11", ""}, {'A', "waitwrite ID?", "-", ""}, {'C', "destroy", "0", "write 2 ID?"},
             {'A', "wait", "0 3", ""}});
}

TEST(Vxi11Gateway, ShowsTheFaultItIsToldTo)
{
    using K = Vxi11Faults::Kind;
    const std::tuple<Vxi11Faults, Row, Row> rows[] = {
        {{K::Drop, ms(0), 1, 0}, {'A', "write ID?", "closed", ""}, {'B', "link gpib0,5", "closed", ""}},
        {{K::Drop, ms(0), 0, device_read}, {'A', "write ID?", "0 3", "write 5 ID?"}, {'A', "read 8", "closed", ""}},
        {{K::Malformed, ms(0), 1, 0}, {'A', "write ID?", "malformed", "write 5 ID?"}, {'A', "read 8", "malformed", "read 5 ID SIM/F"}},
        {{K::Delay, ms(5000), 1, 0}, {'A', "write ID?", "-", "write 5 ID?"}, {'+', "5000", "", ""}}};
    for (const auto &[faults, first, second] : rows) {
        Bench b(faults);
        play(b, {{'A', "link gpib0,5", "0", ""}, first, second});
        if (faults.kind == K::Delay)
            play(b, {{'A', "wait", "0 3", ""}});
    }
}

} // namespace
