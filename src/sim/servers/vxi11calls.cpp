#include "sim/servers/vxi11calls.h"

#include "bus/xdr.h"

#include <rpc/pmap_prot.h>
#include <rpc/rpc.h>

#include <algorithm>
#include <array>
#include <utility>

// Last: it defines the procedure names (create_link, device_write, ...) as numbers.
#include "bus/vxi11/vxi11.h"

using namespace vxi11;

namespace {

template<auto F> std::string success(uint32_t xid, const xdr::Object<F> &value)
{
    return oncrpc::encodeSuccess(xid, xdr::proc<F>, &value);
}

// rpcgen's decoders of the arguments with variable-length data, but with the length
// checked against the call's bytes first, so a forged length cannot make them allocate
// gigabytes.
bool_t decodeCreateLink(XDR *x, Create_LinkParms *p)
{
    return xdr_long(x, &p->clientId) && xdr_bool(x, &p->lockDevice) &&
           xdr_u_long(x, &p->lock_timeout) && xdr::lengthFits(x) && xdr_string(x, &p->device, ~0u);
}

bool_t decodeWrite(XDR *x, Device_WriteParms *p)
{
    return xdr_Device_Link(x, &p->lid) && xdr_u_long(x, &p->io_timeout) &&
           xdr_u_long(x, &p->lock_timeout) && xdr_Device_Flags(x, &p->flags) &&
           xdr::boundedBytes(x, &p->data.data_val, &p->data.data_len);
}

bool_t decodeDocmd(XDR *x, Device_DocmdParms *p)
{
    return xdr_Device_Link(x, &p->lid) && xdr_Device_Flags(x, &p->flags) &&
           xdr_u_long(x, &p->io_timeout) && xdr_u_long(x, &p->lock_timeout) &&
           xdr_long(x, &p->cmd) && xdr_bool(x, &p->network_order) && xdr_long(x, &p->datasize) &&
           xdr::boundedBytes(x, &p->data_in.data_in_val, &p->data_in.data_in_len);
}

std::string bytesOf(const char *data, u_int length)
{
    return length ? std::string(data, length) : std::string();
}

// Each call's arguments as the gateway takes them.
Request request(const Create_LinkParms &p)
{
    Request r;
    r.lockDevice = p.lockDevice != 0;
    r.lockTimeoutMs = static_cast<uint32_t>(p.lock_timeout);
    r.data = p.device ? p.device : "";
    return r;
}

Request request(const Device_WriteParms &p)
{
    Request r;
    r.lid = static_cast<int32_t>(p.lid);
    r.ioTimeoutMs = static_cast<uint32_t>(p.io_timeout);
    r.lockTimeoutMs = static_cast<uint32_t>(p.lock_timeout);
    r.flags = static_cast<int32_t>(p.flags);
    r.data = bytesOf(p.data.data_val, p.data.data_len);
    return r;
}

Request request(const Device_ReadParms &p)
{
    Request r;
    r.lid = static_cast<int32_t>(p.lid);
    r.requestSize = static_cast<uint32_t>(p.requestSize);
    r.ioTimeoutMs = static_cast<uint32_t>(p.io_timeout);
    r.lockTimeoutMs = static_cast<uint32_t>(p.lock_timeout);
    r.flags = static_cast<int32_t>(p.flags);
    r.termChar = p.termChar;
    return r;
}

Request request(const Device_GenericParms &p)
{
    Request r;
    r.lid = static_cast<int32_t>(p.lid);
    r.flags = static_cast<int32_t>(p.flags);
    r.lockTimeoutMs = static_cast<uint32_t>(p.lock_timeout);
    r.ioTimeoutMs = static_cast<uint32_t>(p.io_timeout);
    return r;
}

Request request(const Device_LockParms &p)
{
    Request r;
    r.lid = static_cast<int32_t>(p.lid);
    r.flags = static_cast<int32_t>(p.flags);
    r.lockTimeoutMs = static_cast<uint32_t>(p.lock_timeout);
    return r;
}

Request request(const Device_EnableSrqParms &p)
{
    Request r;
    r.lid = static_cast<int32_t>(p.lid);
    return r;
}

Request request(const Device_DocmdParms &p)
{
    Request r;
    r.lid = static_cast<int32_t>(p.lid);
    r.flags = static_cast<int32_t>(p.flags);
    r.ioTimeoutMs = static_cast<uint32_t>(p.io_timeout);
    r.lockTimeoutMs = static_cast<uint32_t>(p.lock_timeout);
    r.cmd = static_cast<int32_t>(p.cmd);
    r.networkOrder = p.network_order != 0;
    r.data = bytesOf(p.data_in.data_in_val, p.data_in.data_in_len);
    return r;
}

// The interrupt channel's host and port mean nothing to a gateway without interrupts.
Request request(const Device_RemoteFunc &)
{
    return {};
}

std::string_view argsOf(std::string_view record, const oncrpc::Call &call)
{
    return record.substr(std::min(call.argsOffset, record.size()));
}

// Decodes a call's arguments by routine F into a request.
template<auto F> std::optional<Request> decodeAs(std::string_view record, const oncrpc::Call &call)
{
    xdr::Decoded<F> p;
    if (!oncrpc::decodeArgs(record, call, p.proc, &p.value))
        return std::nullopt;
    return request(p.value);
}

constexpr std::array<std::pair<std::string_view, uint32_t>, 15> Procedures{{
    {"create_link", create_link},
    {"device_write", device_write},
    {"device_read", device_read},
    {"device_readstb", device_readstb},
    {"device_trigger", device_trigger},
    {"device_clear", device_clear},
    {"device_remote", device_remote},
    {"device_local", device_local},
    {"device_lock", device_lock},
    {"device_unlock", device_unlock},
    {"device_enable_srq", device_enable_srq},
    {"device_docmd", device_docmd},
    {"destroy_link", destroy_link},
    {"create_intr_chan", create_intr_chan},
    {"destroy_intr_chan", destroy_intr_chan},
}};

} // namespace

bool vxi11::isCoreProcedure(uint32_t proc)
{
    for (const auto &p : Procedures)
        if (p.second == proc)
            return true;
    return false;
}

uint32_t vxi11::procedureNumber(std::string_view name)
{
    for (const auto &p : Procedures)
        if (p.first == name)
            return p.second;
    return 0;
}

std::optional<Request> vxi11::decodeCoreArguments(std::string_view record, const oncrpc::Call &call)
{
    switch (call.proc) {
    case create_link:
        return decodeAs<decodeCreateLink>(record, call);
    case device_write:
        return decodeAs<decodeWrite>(record, call);
    case device_read:
        return decodeAs<xdr_Device_ReadParms>(record, call);
    case device_readstb:
    case device_trigger:
    case device_clear:
    case device_remote:
    case device_local:
        return decodeAs<xdr_Device_GenericParms>(record, call);
    case device_lock:
        return decodeAs<xdr_Device_LockParms>(record, call);
    case device_unlock:
    case destroy_link: {
        const std::optional<int32_t> lid = decodeLink(record, call);
        if (!lid)
            return std::nullopt;
        Request r;
        r.lid = *lid;
        return r;
    }
    case device_enable_srq:
        return decodeAs<xdr_Device_EnableSrqParms>(record, call);
    case device_docmd:
        return decodeAs<decodeDocmd>(record, call);
    case create_intr_chan:
        return decodeAs<xdr_Device_RemoteFunc>(record, call);
    case destroy_intr_chan:
        return argsOf(record, call).empty() ? std::optional<Request>(Request{}) : std::nullopt;
    default:
        return std::nullopt;
    }
}

Answer vxi11::runCoreCall(Vxi11Gateway &g, int channel, uint32_t proc, const Request &r)
{
    switch (proc) {
    case create_link:
        return g.createLink(channel, r);
    case device_write:
        return g.write(channel, r);
    case device_read:
        return g.read(channel, r);
    case device_readstb:
        return g.readStatusByte(channel, r);
    case device_clear:
        return g.clear(channel, r);
    case device_remote:
    case device_local:
        return g.remote(channel, r, proc == device_remote);
    case device_lock:
        return g.lock(channel, r);
    case device_unlock:
        return g.unlock(channel, r.lid);
    case device_docmd:
        return g.docmd(channel, r);
    case destroy_link:
        return g.destroyLink(channel, r.lid);
    default:
        // Triggers, service requests and interrupt channels: the simulated instruments
        // have neither trigger nor SRQ to report through them.
        Answer a;
        a.error = NotSupported;
        return a;
    }
}

std::string vxi11::encodeCoreReply(uint32_t xid, uint32_t proc, const Answer &a, uint16_t abortPort,
                                   bool cutShort)
{
    std::string reply;
    switch (proc) {
    case create_link:
        reply = success<xdr_Create_LinkResp>(
            xid, Create_LinkResp{a.error, a.lid, abortPort, Vxi11Gateway::MaxRecvSize});
        break;
    case device_write:
        reply = success<xdr_Device_WriteResp>(xid, Device_WriteResp{a.error, a.size});
        break;
    case device_read: {
        Device_ReadResp r{a.error, a.reason, {}};
        r.data.data_len = static_cast<u_int>(a.data.size());
        r.data.data_val = const_cast<char *>(a.data.data());
        reply = success<xdr_Device_ReadResp>(xid, r);
        break;
    }
    case device_readstb:
        reply = success<xdr_Device_ReadStbResp>(xid, Device_ReadStbResp{a.error, a.stb});
        break;
    case device_docmd: {
        Device_DocmdResp r{a.error, {}};
        r.data_out.data_out_len = static_cast<u_int>(a.data.size());
        r.data_out.data_out_val = const_cast<char *>(a.data.data());
        reply = success<xdr_Device_DocmdResp>(xid, r);
        break;
    }
    default:
        reply = encodeErrorReply(xid, a.error);
    }
    if (cutShort) {
        // The header as it should be, then half of the result's first number.
        const size_t header = oncrpc::encodeSuccess(xid, xdr::nothing, nullptr).size();
        reply.resize(std::min(reply.size(), header + 2));
    }
    return reply;
}

std::optional<int32_t> vxi11::decodeLink(std::string_view record, const oncrpc::Call &call)
{
    xdr::Decoded<xdr_Device_Link> lid;
    if (!oncrpc::decodeArgs(record, call, lid.proc, &lid.value))
        return std::nullopt;
    return static_cast<int32_t>(lid.value);
}

std::string vxi11::encodeErrorReply(uint32_t xid, int32_t error)
{
    return success<xdr_Device_Error>(xid, Device_Error{error});
}

std::optional<Mapping> vxi11::decodeMapping(std::string_view record, const oncrpc::Call &call)
{
    xdr::Decoded<xdr_pmap> m;
    if (!oncrpc::decodeArgs(record, call, m.proc, &m.value))
        return std::nullopt;
    return Mapping{static_cast<uint32_t>(m.value.pm_prog), static_cast<uint32_t>(m.value.pm_vers),
                   static_cast<uint32_t>(m.value.pm_prot), static_cast<uint32_t>(m.value.pm_port)};
}

std::string vxi11::encodePortReply(uint32_t xid, uint32_t port)
{
    const u_int p = port;
    return success<xdr_u_int>(xid, p);
}
