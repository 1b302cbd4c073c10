#include "bus/vxi11/vxi11bus.h"

#include "bus/vxi11/vxi11protocol.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// rpcgen's decoders of the two replies with variable-length data, but with the length
// checked against the record before anything is allocated for it.
bool_t decodeReadResp(XDR *x, Device_ReadResp *r)
{
    return xdr_Device_ErrorCode(x, &r->error) && xdr_long(x, &r->reason) &&
           xdr::boundedBytes(x, &r->data.data_val, &r->data.data_len);
}

} // namespace

namespace vxi11client {

bool_t decodeDocmdResp(XDR *x, Device_DocmdResp *r)
{
    return xdr_Device_ErrorCode(x, &r->error) &&
           xdr::boundedBytes(x, &r->data_out.data_out_val, &r->data_out.data_out_len);
}

} // namespace vxi11client

using namespace vxi11client;

Vxi11Bus::Vxi11Bus(std::unique_ptr<ByteLink> core, Clock &clock, std::string interfaceName,
                   AbortOpener openAbort, const Vxi11Timing &timing)
    : m_coreLink(std::move(core)), m_core(*m_coreLink, clock, MaxRecord), m_clock(clock),
      m_interface(std::move(interfaceName)), m_openAbort(std::move(openAbort)), m_timing(timing)
{
}

Vxi11Bus::~Vxi11Bus()
{
    for (const int32_t lid : linkIds())
        destroyLink(lid);
}

// Every link held (a failed call drops them all, so callers loop over a copy).
std::vector<int32_t> Vxi11Bus::linkIds() const
{
    std::vector<int32_t> ids;
    for (const auto &[pad, link] : m_links)
        ids.push_back(link.lid);
    if (m_interfaceLink)
        ids.push_back(m_interfaceLink->lid);
    return ids;
}

uint32_t Vxi11Bus::millis(Clock::Duration d)
{
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(d).count();
    return static_cast<uint32_t>(std::clamp<int64_t>(ms, 0, UINT32_MAX));
}

// The gateway's I/O timeout for a handle: its own timeout, shortened so that with the
// margin it fits the longest wait; "for ever" (code 0) gets all of that.
Clock::Duration Vxi11Bus::ioTime(const Handle &h) const
{
    const Clock::Duration most = m_timing.longest - m_timing.margin;
    const int64_t us = gpib::TimeoutMicroseconds(h.timeoutCode);
    if (us <= 0)
        return most;
    return std::min<Clock::Duration>(std::chrono::microseconds(us), most);
}

bool Vxi11Bus::lose()
{
    m_lost = true;
    m_links.clear();
    m_interfaceLink.reset();
    return false;
}

RpcChannel::Outcome Vxi11Bus::coreCall(uint32_t proc, xdrproc_t args, const void *argp,
                                       xdrproc_t results, void *resp, Clock::Duration io,
                                       int32_t lid)
{
    using O = RpcChannel::Outcome;
    if (m_lost) {
        lose();
        return O::Lost;
    }
    if (cancelled())
        return O::Aborted;
    const Clock::Duration wait = std::min<Clock::Duration>(io + m_timing.margin, m_timing.longest);
    uint32_t xid = 0;
    O out = O::Lost;
    if (m_core.send(DEVICE_CORE, DEVICE_CORE_VERSION, proc, args, argp, wait, xid))
        out = m_core.await(xid, results, resp, m_clock.now() + wait, m_timing.slice, &cancelFlag());
    // A cancelled call whose answer (the gateway's "aborted") came after the abort leaves
    // the link as good as before: the program's last writes still go through it.
    if (out == O::Aborted && abandon(lid, xid, results, resp, true))
        return O::Done;
    if (out == O::TimedOut)
        abandon(lid, xid, results, resp, false);
    if (out == O::Lost || out == O::TimedOut || out == O::Aborted)
        lose();
    return out;
}

// A call that must not wait longer: the gateway is told to stop it on its abort channel,
// where it gave one. A cancelled call's abort and the call's own answer get one network
// margin between them, so that the gateway is left with nothing running for us; a gateway that stopped answering has had its whole wait, and its abort is sent
// without waiting for an answer, which would hold the call past the longest wait.
bool Vxi11Bus::abandon(int32_t lid, uint32_t xid, xdrproc_t results, void *resp, bool wait)
{
    if (m_abortPort != 0 && m_openAbort && !m_abortRpc) {
        m_abortLink = m_openAbort(m_abortPort);
        if (m_abortLink)
            m_abortRpc = std::make_unique<RpcChannel>(*m_abortLink, m_clock, 1024);
    }
    const Clock::Duration deadline = m_clock.now() + m_timing.margin;
    if (m_abortRpc) {
        Device_Link link = lid;
        uint32_t abortXid = 0;
        if (m_abortRpc->send(DEVICE_ASYNC, DEVICE_ASYNC_VERSION, device_abort,
                             xdr::proc<xdr_Device_Link>, &link,
                             wait ? m_timing.margin : m_timing.slice, abortXid) &&
            wait) {
            xdr::Decoded<xdr_Device_Error> r;
            m_abortRpc->await(abortXid, r.proc, &r.value, deadline, m_timing.slice);
        }
    }
    return wait && m_core.await(xid, results, resp, deadline, m_timing.slice) ==
                       RpcChannel::Outcome::Done;
}

Vxi11Bus::Fault Vxi11Bus::fault(long vxiError, Op op, const std::string &device)
{
    switch (vxiError) {
    case vxi11::IoTimeout:
    case vxi11::Aborted:
        return {gpib::ERR | gpib::TIMO, gpib::EABO};
    case vxi11::IoError:
        // Nobody took the bytes: on the bus, a write with no listener.
        return {gpib::ERR, op == Op::Read ? gpib::EABO : gpib::ENOL};
    case vxi11::DeviceNotAccessible:
        return {gpib::ERR, gpib::ENOL};
    case vxi11::InvalidAddress:
        return {gpib::ERR, gpib::EARG};
    case vxi11::NotSupported:
        return {gpib::ERR, gpib::ECAP};
    case vxi11::InvalidLink:
        lose();
        return {gpib::ERR, gpib::EDVR};
    case vxi11::Locked:
        if (m_notice)
            m_notice("The gateway's device " + device +
                     " is locked by another client (VXI-11 error 11); it stays unusable "
                     "until that client releases the lock.");
        return {gpib::ERR, gpib::EDVR};
    default:
        return {gpib::ERR, gpib::EDVR};
    }
}

std::optional<Vxi11Bus::Link> Vxi11Bus::createLink(const std::string &device, long &error)
{
    std::string name = device;
    Create_LinkParms p{};
    p.clientId = 0;
    p.lockDevice = FALSE;
    p.lock_timeout = 0;
    p.device = name.data();
    xdr::Decoded<xdr_Create_LinkResp> r;
    const auto out = coreCall(create_link, xdr::proc<xdr_Create_LinkParms>, &p, r.proc, &r.value,
                              m_timing.command, 0);
    if (out == RpcChannel::Outcome::Refused) {
        error = vxi11::NotSupported;
        return std::nullopt;
    }
    if (out != RpcChannel::Outcome::Done) {
        error = vxi11::InvalidLink;
        return std::nullopt;
    }
    error = r.value.error;
    if (error != vxi11::NoError)
        return std::nullopt;
    if (m_abortPort == 0)
        m_abortPort = r.value.abortPort;
    const uint32_t most = static_cast<uint32_t>(r.value.maxRecvSize);
    return Link{static_cast<int32_t>(r.value.lid), most == 0 ? DefaultRecvSize : most};
}

void Vxi11Bus::destroyLink(int32_t lid)
{
    if (m_lost)
        return;
    Device_Link link = lid;
    xdr::Decoded<xdr_Device_Error> r;
    coreCall(destroy_link, xdr::proc<xdr_Device_Link>, &link, r.proc, &r.value, m_timing.command,
             lid);
}

void Vxi11Bus::remote(int32_t lid)
{
    Device_GenericParms g{lid, 0, 0, millis(m_timing.command)};
    xdr::Decoded<xdr_Device_Error> r;
    coreCall(device_remote, xdr::proc<xdr_Device_GenericParms>, &g, r.proc, &r.value,
             m_timing.command, lid);
}

std::optional<Vxi11Bus::Link> Vxi11Bus::deviceLink(int pad)
{
    if (m_lost) {
        linkFailed();
        return std::nullopt;
    }
    if (const auto it = m_links.find(pad); it != m_links.end())
        return it->second;
    long error = vxi11::NoError;
    const std::optional<Link> link = createLink(deviceName(pad), error);
    if (!link) {
        const Fault f = fault(error, Op::Other, deviceName(pad));
        done(f.status, f.error);
        return std::nullopt;
    }
    m_links[pad] = *link;
    if (m_remote)
        remote(link->lid);
    if (m_lost) {
        linkFailed();
        return std::nullopt;
    }
    return link;
}

// A call on the handle's link that takes only the link and its I/O timeout (device clear,
// serial poll): nullopt when the gateway did it, with `r` holding its answer; otherwise the
// status of the failure, delivered.
template<auto Results>
std::optional<int> Vxi11Bus::genericCall(const Handle &h, uint32_t proc, xdr::Decoded<Results> &r,
                                         Op op)
{
    const std::optional<Link> link = deviceLink(h.pad);
    if (!link)
        return Failed;
    Device_GenericParms g{link->lid, 0, 0, millis(ioTime(h))};
    if (coreCall(proc, xdr::proc<xdr_Device_GenericParms>, &g, r.proc, &r.value, ioTime(h),
                 link->lid) != RpcChannel::Outcome::Done)
        return linkFailed();
    if (r.value.error != vxi11::NoError) {
        const Fault f = fault(r.value.error, op, deviceName(h.pad));
        return done(f.status, f.error);
    }
    return std::nullopt;
}

int Vxi11Bus::ibclr(int ud)
{
    Handle *h = handleFor(ud);
    if (!h)
        return Failed;
    xdr::Decoded<xdr_Device_Error> r;
    if (const std::optional<int> failure = genericCall(*h, device_clear, r, Op::Other))
        return *failure;
    return done(0);
}

int Vxi11Bus::ibrsp(int ud, char *statusByte)
{
    Handle *h = transferHandle(ud, statusByte, 1, true);
    if (!h)
        return Failed;
    xdr::Decoded<xdr_Device_ReadStbResp> r;
    if (const std::optional<int> failure = genericCall(*h, device_readstb, r, Op::Read))
        return *failure;
    *statusByte = static_cast<char>(r.value.stb);
    return done(0, 0, 1);
}

int Vxi11Bus::ibwait(int ud, int mask)
{
    // Every transfer is complete when its call returns.
    (void)mask;
    if (!handleFor(ud))
        return Failed;
    return done(0);
}

int Vxi11Bus::ibwrt(int ud, const void *buffer, long count)
{
    Handle *h = transferHandle(ud, buffer, count, false);
    if (!h)
        return Failed;
    if (m_lost)
        return linkFailed();
    if (count == 0)
        return done(0);
    const std::optional<Link> link = deviceLink(h->pad);
    if (!link)
        return Failed;
    const char *bytes = static_cast<const char *>(buffer);
    const size_t total = static_cast<size_t>(count);
    size_t sent = 0;
    while (sent < total) {
        const size_t n = std::min<size_t>(total - sent, link->maxRecvSize);
        const bool last = sent + n == total;
        Device_WriteParms p{};
        p.lid = link->lid;
        p.io_timeout = millis(ioTime(*h));
        p.flags = last && h->eot ? vxi11::EndFlag : 0;
        p.data.data_len = static_cast<u_int>(n);
        p.data.data_val = const_cast<char *>(bytes + sent);
        xdr::Decoded<xdr_Device_WriteResp> r;
        if (coreCall(device_write, xdr::proc<xdr_Device_WriteParms>, &p, r.proc, &r.value,
                     ioTime(*h), link->lid) != RpcChannel::Outcome::Done)
            return linkFailed();
        // A gateway that says it took more than it got, or nothing without an error,
        // cannot be followed any further.
        const size_t took = std::min<size_t>(static_cast<size_t>(r.value.size), n);
        sent += took;
        if (r.value.error != vxi11::NoError) {
            const Fault f = fault(r.value.error, Op::Write, deviceName(h->pad));
            return done(f.status, f.error, static_cast<int>(sent));
        }
        if (took == 0)
            return done(gpib::ERR, gpib::EDVR, static_cast<int>(sent));
    }
    return done(0, 0, static_cast<int>(sent));
}

int Vxi11Bus::ibrd(int ud, void *buffer, long count)
{
    Handle *h = transferHandle(ud, buffer, count, true);
    if (!h)
        return Failed;
    const std::optional<Link> link = deviceLink(h->pad);
    if (!link)
        return Failed;
    Device_ReadParms p{};
    p.lid = link->lid;
    p.requestSize = std::min<unsigned long>(static_cast<unsigned long>(count), MaxRequest);
    p.io_timeout = millis(ioTime(*h));
    xdr::Decoded<decodeReadResp> r;
    if (coreCall(device_read, xdr::proc<xdr_Device_ReadParms>, &p, r.proc, &r.value, ioTime(*h),
                 link->lid) != RpcChannel::Outcome::Done)
        return linkFailed();
    // Never more than asked for, whatever the gateway sent.
    const size_t n = std::min<size_t>(r.value.data.data_len, p.requestSize);
    if (n > 0)
        std::memcpy(buffer, r.value.data.data_val, n);
    if (r.value.error != vxi11::NoError) {
        const Fault f = fault(r.value.error, Op::Read, deviceName(h->pad));
        return done(f.status, f.error, static_cast<int>(n));
    }
    // The message ended with EOI (or the end character, which the vendor's driver also
    // shows as END); a full buffer alone is no end.
    const bool ended = (r.value.reason & (vxi11::ReasonEnd | vxi11::ReasonTermChar)) != 0 && n == r.value.data.data_len;
    return done(ended ? gpib::END : 0, 0, static_cast<int>(n));
}
