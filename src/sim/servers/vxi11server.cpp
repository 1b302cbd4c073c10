#include "sim/servers/vxi11server.h"

#include "sim/servers/vxi11calls.h"

#include "bus/xdr.h"

#include <QTcpSocket>

#include <rpc/pmap_prot.h>

#include <algorithm>
#include <vector>

// Last: it defines the procedure names (create_link, device_abort, ...) as numbers.
#include "bus/vxi11/vxi11.h"

using namespace vxi11;

namespace {

// Far above any call a host makes (create_link's maxRecvSize is a few kilobytes): a
// longer record means a host out of step with the stream.
constexpr size_t MaxRecord = 1 << 20;

} // namespace

Vxi11Server::Vxi11Server(SimBus &bus, Clock &clock, Vxi11Faults faults)
    : m_gateway(bus), m_clock(clock), m_faults(faults)
{
    for (const Service s : {PortMapper, Core, Abort})
        QObject::connect(&m_servers[s], &QTcpServer::newConnection, &m_servers[s],
                         [this, s] { accept(s); });
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { wake(); });
}

Vxi11Server::~Vxi11Server()
{
    // The sockets' signals must not reach this object while it goes.
    while (!m_channels.empty())
        close(m_channels.begin()->first, true);
}

bool Vxi11Server::listen(const QHostAddress &address, uint16_t port)
{
    for (const Service s : {PortMapper, Core, Abort}) {
        if (!m_servers[s].listen(address, s == PortMapper ? port : 0)) {
            m_error = m_servers[s].errorString();
            for (QTcpServer &server : m_servers)
                server.close();
            return false;
        }
    }
    return true;
}

Vxi11Server::Channel *Vxi11Server::channel(int id)
{
    const auto it = m_channels.find(id);
    return it == m_channels.end() ? nullptr : it->second.get();
}

void Vxi11Server::accept(Service service)
{
    QTcpServer &server = m_servers[service];
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        const int id = m_nextChannel++;
        m_channels[id] = std::make_unique<Channel>(
            Channel{id, service, socket, oncrpc::RecordReader(MaxRecord), std::nullopt});
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QObject::connect(socket, &QTcpSocket::readyRead, &server, [this, id] { take(id); });
        QObject::connect(socket, &QTcpSocket::disconnected, &server,
                         [this, id] { close(id, false); });
        take(id); // bytes may have come with the connection itself
    }
}

void Vxi11Server::take(int id)
{
    Channel *c = channel(id);
    if (!c)
        return;
    const QByteArray bytes = c->socket->readAll();
    if (!c->records.feed(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())))) {
        close(id, true);
        return;
    }
    serve(id);
}

void Vxi11Server::serve(int id)
{
    // One call at a time per connection, in order, as a gateway's channel serves them.
    while (Channel *c = channel(id)) {
        if (c->held)
            return;
        const std::optional<std::string> record = c->records.next();
        if (!record)
            return;
        call(*c, *record);
    }
}

void Vxi11Server::call(Channel &c, std::string_view record)
{
    const std::optional<oncrpc::Call> rpc = oncrpc::decodeCallHeader(record);
    if (!rpc) {
        close(c.id, true); // no call, not even an xid to answer
        return;
    }
    if (rpc->rpcvers != 2) {
        send(c, oncrpc::encodeRpcMismatch(rpc->xid));
        return;
    }
    static constexpr uint32_t Programs[3][2] = {{PMAPPROG, PMAPVERS},
                                                {DEVICE_CORE, DEVICE_CORE_VERSION},
                                                {DEVICE_ASYNC, DEVICE_ASYNC_VERSION}};
    const auto [prog, vers] = Programs[c.service];
    if (rpc->prog != prog) {
        send(c, oncrpc::encodeError(rpc->xid, oncrpc::ReplyStatus::ProgUnavail));
    } else if (rpc->vers != vers) {
        send(c, oncrpc::encodeProgMismatch(rpc->xid, vers, vers));
    } else if (rpc->proc == 0) {
        // NULL: the client's "are you there".
        send(c, oncrpc::encodeSuccess(rpc->xid, xdr::nothing, nullptr));
    } else if (c.service != Core &&
               rpc->proc != (c.service == PortMapper ? PMAPPROC_GETPORT : device_abort)) {
        // Of the port mapper only GETPORT, of the abort channel only device_abort.
        send(c, oncrpc::encodeError(rpc->xid, oncrpc::ReplyStatus::ProcUnavail));
    } else if (c.service == PortMapper) {
        portMapperCall(c, record, *rpc);
    } else if (c.service == Core) {
        coreCall(c, record, *rpc);
    } else {
        abortCall(c, record, *rpc);
    }
}

void Vxi11Server::portMapperCall(Channel &c, std::string_view record, const oncrpc::Call &rpc)
{
    const std::optional<Mapping> m = decodeMapping(record, rpc);
    if (!m) {
        send(c, oncrpc::encodeError(rpc.xid, oncrpc::ReplyStatus::GarbageArgs));
        return;
    }
    uint32_t port = 0;
    if (m->vers == DEVICE_CORE_VERSION && m->prot == xdr::TcpProtocol && m->prog == DEVICE_CORE)
        port = m_faults.kind == Vxi11Faults::Kind::Unregistered ? 0 : corePort();
    else if (m->vers == DEVICE_ASYNC_VERSION && m->prot == xdr::TcpProtocol &&
             m->prog == DEVICE_ASYNC)
        port = abortPort();
    send(c, encodePortReply(rpc.xid, port));
}

void Vxi11Server::coreCall(Channel &c, std::string_view record, const oncrpc::Call &rpc)
{
    if (!isCoreProcedure(rpc.proc)) {
        send(c, oncrpc::encodeError(rpc.xid, oncrpc::ReplyStatus::ProcUnavail));
        return;
    }
    ++m_coreCalls;
    const bool faulty = m_faults.kind != Vxi11Faults::Kind::None && m_coreCalls > m_faults.after &&
                        (m_faults.procedure == 0 || m_faults.procedure == rpc.proc);
    if (faulty && m_faults.kind == Vxi11Faults::Kind::Drop) {
        close(c.id, true);
        return;
    }
    std::optional<Request> request = decodeCoreArguments(record, rpc);
    if (!request) {
        send(c, oncrpc::encodeError(rpc.xid, oncrpc::ReplyStatus::GarbageArgs));
        return;
    }
    Held h;
    h.xid = rpc.xid;
    h.proc = rpc.proc;
    h.request = std::move(*request);
    if (faulty && m_faults.kind == Vxi11Faults::Kind::Delay)
        h.lateBy = m_faults.delay;
    h.cutShort = faulty && m_faults.kind == Vxi11Faults::Kind::Malformed;
    run(c, std::move(h));
    retryLockWaits();
}

void Vxi11Server::run(Channel &c, Held h)
{
    h.answer = runCoreCall(m_gateway, c.id, h.proc, h.request);
    const Clock::Duration now = m_clock.now();
    if (h.answer.waitsForLock) {
        // The deadline counts from the first try, however often it is tried again.
        if (!h.lockWait)
            h.due = now + std::chrono::milliseconds(h.request.lockTimeoutMs);
        h.lockWait = true;
        c.held = std::move(h);
    } else {
        h.lockWait = false;
        h.due = now + h.answer.hold + h.lateBy;
        if (h.due > now)
            c.held = std::move(h);
        else
            answer(c, h);
    }
    arm();
}

void Vxi11Server::answer(Channel &c, const Held &h)
{
    send(c, encodeCoreReply(h.xid, h.proc, h.answer, abortPort(), h.cutShort));
}

void Vxi11Server::retryLockWaits()
{
    if (m_retrying)
        return; // the loop below sees the releases made meanwhile
    m_retrying = true;
    while (m_gateway.lockReleases() != m_releasesSeen) {
        m_releasesSeen = m_gateway.lockReleases();
        std::vector<int> waiting;
        for (const auto &[id, c] : m_channels)
            if (c->held && c->held->lockWait)
                waiting.push_back(id);
        for (const int id : waiting) {
            Channel *c = channel(id);
            if (!c || !c->held || !c->held->lockWait)
                continue;
            Held h = std::move(*c->held);
            c->held.reset();
            run(*c, std::move(h));
            serve(id);
        }
    }
    m_retrying = false;
}

void Vxi11Server::abortCall(Channel &c, std::string_view record, const oncrpc::Call &rpc)
{
    const std::optional<int32_t> lid = decodeLink(record, rpc);
    if (!lid) {
        send(c, oncrpc::encodeError(rpc.xid, oncrpc::ReplyStatus::GarbageArgs));
        return;
    }
    const int32_t error = m_gateway.hasLink(*lid) ? NoError : InvalidLink;
    send(c, encodeErrorReply(rpc.xid, error));
    // The call in progress on that link ends now, with "aborted".
    std::vector<int> ended;
    for (const auto &[id, other] : m_channels)
        if (other->service == Core && other->held && other->held->request.lid == *lid)
            ended.push_back(id);
    for (const int id : ended) {
        Channel *core = channel(id);
        if (!core || !core->held)
            continue;
        Held h = std::move(*core->held);
        core->held.reset();
        h.answer = Answer();
        h.answer.error = Aborted;
        answer(*core, h);
        serve(id);
    }
    arm();
}

void Vxi11Server::wake()
{
    const Clock::Duration now = m_clock.now();
    std::vector<int> due;
    for (const auto &[id, c] : m_channels)
        if (c->held && c->held->due <= now)
            due.push_back(id);
    for (const int id : due) {
        Channel *c = channel(id);
        if (!c || !c->held)
            continue;
        Held h = std::move(*c->held);
        c->held.reset();
        if (h.lockWait) {
            h.answer = Answer();
            h.answer.error = Locked;
        }
        answer(*c, h);
        serve(id);
    }
    retryLockWaits();
    arm();
}

size_t Vxi11Server::heldCalls() const
{
    return static_cast<size_t>(
        std::count_if(m_channels.begin(), m_channels.end(),
                      [](const auto &c) { return c.second->held.has_value(); }));
}

void Vxi11Server::arm()
{
    std::optional<Clock::Duration> next;
    for (const auto &[id, c] : m_channels)
        if (c->held && (!next || c->held->due < *next))
            next = c->held->due;
    if (!next) {
        m_timer.stop();
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - m_clock.now());
    m_timer.start(static_cast<int>(std::clamp<int64_t>(wait.count(), 0, INT32_MAX)));
}

void Vxi11Server::send(Channel &c, std::string_view message)
{
    const std::string framed = oncrpc::frameRecord(message);
    c.socket->write(framed.data(), static_cast<qint64>(framed.size()));
}

void Vxi11Server::close(int id, bool drop)
{
    const auto it = m_channels.find(id);
    if (it == m_channels.end())
        return;
    std::unique_ptr<Channel> c = std::move(it->second);
    m_channels.erase(it);
    QObject::disconnect(c->socket, nullptr, &m_servers[c->service], nullptr);
    if (drop)
        c->socket->abort();
    c->socket->deleteLater();
    // A connection's links end with it, and so do their locks.
    if (c->service == Core) {
        m_gateway.closeChannel(id);
        retryLockWaits();
    }
    arm();
}
