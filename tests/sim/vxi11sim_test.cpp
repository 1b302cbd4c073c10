// wavedial-sim's VXI-11 gateway over loopback TCP, driven as hosts drive it: each row is
// one call (or a move of the gateway's test clock) and what comes back and onto the bus.
#include "bus/xdr.h"
#include "sim/servers/prologixadapter.h"
#include "sim/servers/vxi11server.h"
#include "sim/simbus.h"
#include "sim/simconfig.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <functional>

#include "bus/vxi11/vxi11.h"

namespace {

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
    template<class T> void call(uint32_t prog, uint32_t proc, xdrproc_t f, T args)
    {
        const std::string c = oncrpc::frameRecord(
            oncrpc::encodeCall(++xid, prog, 1 + (prog == PMAPPROG), proc, f, &args));
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

// Hosts A and B (and more) on one gateway over MUTE@2,FG5010@5,AFG5102@9, on a test clock,
// and a Prologix controller on the same bus, as wavedial-sim serves both.
struct Bench
{
    explicit Bench(Vxi11Faults faults = {}) : server(bus, clock, faults)
    {
        populateSimBus(bus, *parseSimListeners("MUTE@2,FG5010@5,AFG5102@9"));
        bus.setTraceSink([this](std::string_view l) {
            if (!trace.empty())
                trace += '|';
            trace += l;
        });
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
            h.mapper.call(PMAPPROG, PMAPPROC_GETPORT, xdr::proc<xdr_pmap>,
                          pmap{DEVICE_CORE, DEVICE_CORE_VERSION, xdr::TcpProtocol, 0});
            u_int port = 0;
            oncrpc::decodeReply(h.mapper.reply(true).value_or(""), 1, xdr::proc<xdr_u_int>, &port);
            h.core.open(static_cast<uint16_t>(port));
            h.abort.open(server.abortPort());
        }
        return h;
    }
    // Sends the call a row names: "write ID?", "read 8", "docmd 20000 3F4025" (in hex) ...
    void send(Host &h, const std::string &row)
    {
        const std::string op = row.substr(0, row.find(' '));
        std::string text = row.size() > op.size() ? row.substr(op.size() + 1) : "";
        const auto n = static_cast<u_long>(std::strtoul(text.c_str(), nullptr, 16));
        const QByteArray data = QByteArray::fromHex(text.substr(text.find(' ') + 1).c_str());
        const auto core = [&](uint32_t proc, auto f, auto args) {
            h.core.call(DEVICE_CORE, h.proc = proc, f, args);
        };
        const std::map<std::string, uint32_t> generic{
            {"stb", device_readstb},  {"clear", device_clear},     {"remote", device_remote},
            {"local", device_local},  {"trigger", device_trigger}, {"unlock", device_unlock},
            {"destroy", destroy_link}};
        const bool waits = op == "waitwrite"; // the flag alone says whether to wait for a lock
        if (op == "link" || op == "locklink")
            core(create_link, xdr::proc<xdr_Create_LinkParms>,
                 Create_LinkParms{1, op == "locklink", 0, text.data()});
        else if (op == "write" || op == "part" || waits)
            core(device_write, xdr::proc<xdr_Device_WriteParms>,
                 Device_WriteParms{h.lid,
                                   1000,
                                   500,
                                   (op == "part" ? 0 : 8) | waits,
                                   {static_cast<u_int>(text.size()), text.data()}});
        else if (op == "read")
            core(device_read, xdr::proc<xdr_Device_ReadParms>,
                 Device_ReadParms{h.lid, n, 1000, 0, 0, 0});
        else if (op == "docmd")
            core(device_docmd, xdr::proc<xdr_Device_DocmdParms>,
                 Device_DocmdParms{
                     h.lid,
                     0,
                     1000,
                     0,
                     static_cast<long>(n),
                     1,
                     2,
                     {static_cast<u_int>(data.size()), const_cast<char *>(data.data())}});
        else if (op == "abort")
            h.abort.call(DEVICE_ASYNC, device_abort, xdr::proc<xdr_Device_Link>,
                         Device_Link{h.lid});
        else if (op == "lock")
            core(device_lock, xdr::proc<xdr_Device_LockParms>, Device_LockParms{h.lid, 0, 0});
        else if (op == "unlock" || op == "destroy")
            core(generic.at(op), xdr::proc<xdr_Device_Link>, Device_Link{h.lid});
        else
            core(generic.at(op), xdr::proc<xdr_Device_GenericParms>,
                 Device_GenericParms{h.lid, 0, 0, 1000});
    }
    // The reply as "ERROR [FIELDS]", "-" for none, "closed", "malformed". The result's
    // fields by its procedure: n a number, o bytes as text, x in hex, l the link, - skipped.
    std::string answer(Host &h, bool abortLine, bool wait)
    {
        Line &line = abortLine ? h.abort : h.core;
        const uint32_t proc = abortLine ? uint32_t{device_abort} : h.proc;
        const std::optional<std::string> r = line.reply(wait);
        if (!r)
            return line.socket.state() == QAbstractSocket::ConnectedState ? "-" : "closed";
        const std::map<uint32_t, std::string> shapes{{create_link, "la-"},
                                                     {device_write, "n"},
                                                     {device_read, "no"},
                                                     {device_readstb, "n"},
                                                     {device_docmd, "x"}};
        const auto none = xdr::nothing;
        std::string_view in = *r;
        uint32_t word = 0;
        const auto next = [&] {
            for (int i = 0; i < 4; ++i)
                word = word << 8 | static_cast<uint8_t>(in.at(static_cast<size_t>(i)));
            in.remove_prefix(4);
            return word;
        };
        if (oncrpc::decodeReply(*r, line.xid, none, nullptr).status != oncrpc::ReplyStatus::Success)
            return "malformed";
        try {
            in = in.substr(24); // an accepted reply's header, with a null verifier
            std::string out = std::to_string(static_cast<int32_t>(next()));
            if (word != 0)
                return out; // the rest of a result is not to be read after an error
            for (const char f : shapes.count(proc) ? shapes.at(proc) : "") {
                const uint32_t v = next();
                const bool bytes = f == 'o' || f == 'x';
                const QByteArray b =
                    bytes ? QByteArray(in.data(), std::min<qsizetype>(v, in.size())) : "";
                in = in.substr(bytes ? (v + 3) / 4 * 4 : 0);
                h.lid = f == 'l' ? static_cast<int32_t>(v) : h.lid;
                if (f == 'n') {
                    out += ' ';
                    out += std::to_string(v);
                } else if (f == 'a' && v != server.abortPort()) {
                    out += " abort port?";
                }
                if (f == 'o' || !b.isEmpty()) {
                    out += ' ';
                    out += (f == 'o' ? b : b.toHex()).toStdString();
                }
            }
            return in.empty() ? out : "malformed";
        } catch (const std::out_of_range &) {
            return "malformed";
        }
    }

    ManualClock busClock, clock;
    SimBus bus{busClock};
    Vxi11Server server;
    SimPrologixAdapter prologix{bus};
    std::map<char, Host> hosts;
    std::string trace;
};

struct Row
{
    // A host; '+' moves the clock by `call` ms, then a host's "wait" takes its held reply;
    // 'P' sends `call` to the Prologix controller on the same bus.
    char host;
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
        } else if (r.host == 'P') {
            got = b.prologix.take(r.call);
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

// clang-format off: a row to a call, as hosts make them.
TEST(Vxi11Gateway, AnswersHostsAsAGatewayDoes)
{
    Bench b;
    play(b, {{'A', "link gpib0,5", "0", ""},
             {'A', "write ID?", "0 3", "write 5 ID?"},
             {'A', "read 8", "0 1 ID SIM/F", "read 5 ID SIM/F"},
             {'A', "read 40", "0 4 G5010,V2.1", "read 5 G5010,V2.1"},
             {'A', "part AMPL ", "0 5", "write 5 AMPL "},
             {'A', "write 99", "0 2", "write 5 99"},
             {'A', "stb", "0 98", "spoll 5 98"},
             {'A', "stb", "0 0", "spoll 5 0"},
             {'A', "write AMPL?", "0 5", "write 5 AMPL?"},
             {'A', "clear", "0", "clear 5"},
             {'A', "read 8", "-", "timeout 5"},
             {'+', "1000", "", ""},
             {'A', "wait", "15", ""},
             {'A', "remote", "0", "ren"},
             {'A', "local", "0", "local 5"},
             {'A', "trigger", "8", ""},
             {'B', "link gpib0,7", "0", ""},
             {'B', "write ID?", "17", "nolistener 7"},
             {'B', "link gpib0,31", "21", ""}, {'B', "link gpib0,0", "21", ""},
             {'B', "link gpib1,5", "3", ""},
             {'B', "link GPIB0,5,1", "3", ""},
             {'B', "link gpib0", "0", ""},
             {'B', "docmd 20010", "0", "ifc"},
             {'B', "docmd 20000 3F4021", "0 3f4021", ""},
             {'B', "docmd 20001 0003", "0 0000", ""},
             {'B', "docmd 20000 3F4022", "0 3f4022", ""},
             {'B', "docmd 20001 0003", "0 0001", ""},
             {'B', "docmd 20000 3F4025", "0 3f4025", ""},
             {'B', "docmd 20001 0003", "0 0001", ""},
             {'B', "read 8", "8", ""},
             {'A', "write ID?", "0 3", "findlstn 0 2 5|write 5 ID?"}});
}

TEST(Vxi11Gateway, WaitsForTalkersAndLocksWithoutBlockingOthers)
{
    Bench b;
    play(b, {{'A', "link gpib0,2", "0", ""},
             {'A', "read 8", "-", "timeout 2"},
             {'B', "link gpib0,2", "0", ""},
             {'B', "write ID?", "0 3", "write 2 ID?"},
             {'+', "999", "", ""},
             {'A', "abort", "0", ""}, {'D', "abort", "4", ""},
             {'A', "wait", "23", ""},
             {'B', "lock", "0", ""},
             {'A', "write ID?", "11", ""},
             {'A', "waitwrite ID?", "-", ""},
             {'B', "unlock", "0", "write 2 ID?"},
             {'A', "wait", "0 3", ""},
             {'C', "locklink gpib0,2", "0", ""},
             {'A', "waitwrite ID?", "-", ""},
             {'+', "499", "", ""},
             {'B', "unlock", "12", ""},
             {'+', "1", "", ""},
             {'A', "wait", "11", ""},
             {'A', "waitwrite ID?", "-", ""},
             {'C', "destroy", "0", "write 2 ID?"},
             {'A', "wait", "0 3", ""}});
}

TEST(Vxi11Gateway, ShowsTheFaultItIsToldTo)
{
    using K = Vxi11Faults::Kind;
    const std::tuple<Vxi11Faults, Row, Row> rows[] = {
        {{K::Drop, ms(0), 1, 0},
         {'A', "write ID?", "closed", ""},
         {'B', "link gpib0,5", "closed", ""}},
        {{K::Drop, ms(0), 0, device_read},
         {'A', "write ID?", "0 3", "write 5 ID?"},
         {'A', "read 8", "closed", ""}},
        {{K::Malformed, ms(0), 1, 0},
         {'A', "write ID?", "malformed", "write 5 ID?"},
         {'A', "read 8", "malformed", "read 5 ID SIM/F"}},
        {{K::Delay, ms(5000), 1, 0},
         {'A', "write ID?", "-", "write 5 ID?"},
         {'+', "5000", "", ""}}};
    for (const auto &[faults, first, second] : rows) {
        Bench b(faults);
        play(b, {{'A', "link gpib0,5", "0", ""}, first, second});
        if (faults.kind == K::Delay)
            play(b, {{'A', "wait", "0 3", ""}});
    }
}

// wavedial-sim --listen and --vxi11: one bus, one thread, and each front end reads the
// counts of its own calls, whichever came first and however their calls interleave.
TEST(Vxi11Gateway, SharesTheBusWithAPrologixControllerEachWithItsOwnCounts)
{
    const Row prologixId = {'P', "++eos 3\n++addr 5\nID?\n++read eoi\n", "ID SIM/FG5010,V2.1",
                            "write 5 ID?|read 5 ID SIM/FG5010,V2.1"};
    for (const bool prologixFirst : {true, false}) {
        Bench b;
        gpib::StatusVariables thread; // the thread's own: the front ends leave them alone
        b.bus.RegisterGpibGlobalsForThread(&thread.ibsta, &thread.iberr, &thread.ibcnt,
                                           &thread.ibcntl);
        if (prologixFirst)
            play(b, {prologixId});
        play(b, {{'A', "link gpib0,9", "0", ""},
                 {'A', "write ID?", "0 3", "write 9 ID?"},
                 {'A', "read 40", "0 4 ID SIM/AFG5102,V2.1", "read 9 ID SIM/AFG5102,V2.1"},
                 prologixId,
                 {'P', "OUT?\n", "", "write 5 OUT?"},
                 {'A', "write FREQ?", "0 5", "write 9 FREQ?"},
                 {'P', "++read eoi\n", "OUT OFF", "read 5 OUT OFF"},
                 {'A', "read 40", "0 4 FREQ 1.000E+3", "read 9 FREQ 1.000E+3"}});
        EXPECT_EQ(thread.ibsta, 0);
        b.bus.ibsre(0, 1);
        EXPECT_EQ(thread.ibsta, gpib::CMPL);
    }
}
// clang-format on

} // namespace
