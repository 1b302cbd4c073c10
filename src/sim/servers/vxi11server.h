#pragma once

#include "bus/clock.h"
#include "bus/oncrpc.h"
#include "sim/servers/vxi11gateway.h"

#include <QHostAddress>
#include <QString>
#include <QTcpServer>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QTcpSocket;
class SimBus;

// Faults the gateway can be told to show on its core channel, to try a host's handling
// of a gateway gone bad: after `after` core calls answered as they should be, every call
// of `procedure` (0: of any procedure) meets the fault.
struct Vxi11Faults
{
    enum class Kind {
        None,
        Drop,      // the connection is closed instead of an answer
        Delay,     // the answer leaves `delay` late
        Malformed, // the answer is cut short inside its result
        // The port mapper knows no core channel: a host that runs a port mapper but no
        // VXI-11 service. Core calls are answered as they should be.
        Unregistered,
    };
    Kind kind = Kind::None;
    std::chrono::milliseconds delay{0};
    uint64_t after = 0;
    uint32_t procedure = 0;
};

// The simulated bus as a VXI-11 LAN/GPIB gateway: the port mapper on the port given, the
// core channel and the abort channel on ports of their own, for any number of hosts at
// once. Everything runs on the event loop of the thread that made it; nothing blocks. A
// read from a talker that never talks is answered io_timeout later by `clock`, and calls
// waiting for another link's lock are asked again as locks are released.
class Vxi11Server
{
public:
    Vxi11Server(SimBus &bus, Clock &clock, Vxi11Faults faults = Vxi11Faults());
    ~Vxi11Server();
    Vxi11Server(const Vxi11Server &) = delete;
    Vxi11Server &operator=(const Vxi11Server &) = delete;

    // Listens on `address`: the port mapper on `port` (0: one the system chooses), the
    // core and abort channels on ports the system chooses. False, with errorText(), when
    // it cannot.
    bool listen(const QHostAddress &address, uint16_t port);
    uint16_t port() const { return m_servers[PortMapper].serverPort(); }
    uint16_t corePort() const { return m_servers[Core].serverPort(); }
    uint16_t abortPort() const { return m_servers[Abort].serverPort(); }
    QString errorText() const { return m_error; }

    // Sends every held answer whose time has come by the clock and sets the timer for
    // the next; the timer calls it, and tests call it after moving their clock.
    void wake();
    // How many calls wait for their answer, on every connection.
    size_t heldCalls() const;

private:
    enum Service { PortMapper, Core, Abort };
    // A core call not answered yet: it waits out a hold, or another link's lock.
    struct Held
    {
        uint32_t xid = 0;
        uint32_t proc = 0;
        vxi11::Request request;
        vxi11::Answer answer;
        Clock::Duration due{};
        std::chrono::milliseconds lateBy{0}; // the delay fault
        bool lockWait = false;
        bool cutShort = false; // the malformed-reply fault
    };
    struct Channel
    {
        int id;
        Service service;
        QTcpSocket *socket; // a child of its server
        oncrpc::RecordReader records;
        std::optional<Held> held; // calls behind it wait in `records`
    };

    void accept(Service service);
    void take(int id);
    void serve(int id);
    void call(Channel &c, std::string_view record);
    void portMapperCall(Channel &c, std::string_view record, const oncrpc::Call &call);
    void coreCall(Channel &c, std::string_view record, const oncrpc::Call &call);
    void abortCall(Channel &c, std::string_view record, const oncrpc::Call &call);
    void run(Channel &c, Held h);
    void answer(Channel &c, const Held &h);
    void retryLockWaits();
    void send(Channel &c, std::string_view message);
    void close(int id, bool drop);
    void arm();
    Channel *channel(int id);

    Vxi11Gateway m_gateway;
    Clock &m_clock;
    Vxi11Faults m_faults;
    uint64_t m_coreCalls = 0;
    uint64_t m_releasesSeen = 0;
    bool m_retrying = false;
    QTcpServer m_servers[3];
    QTimer m_timer;
    std::map<int, std::unique_ptr<Channel>> m_channels;
    int m_nextChannel = 1;
    QString m_error;
};
