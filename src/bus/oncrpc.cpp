#include "bus/oncrpc.h"

#include "bus/xdr.h"

#include <rpc/rpc.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace oncrpc {

namespace {

constexpr uint32_t RpcVersion = 2;
constexpr size_t HeaderRoom = 64; // a call or reply header with null authentication

uint32_t bigEndian32(std::string_view bytes)
{
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v = (v << 8) | static_cast<unsigned char>(bytes[i]);
    return v;
}

void appendBigEndian32(std::string &out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((v >> shift) & 0xFF);
}

// The authentication this program sends: none. libtirpc copies from the base even for a
// length of 0, so it points somewhere real.
opaque_auth noAuth()
{
    static char nothing[1] = {0};
    return opaque_auth{AUTH_NONE, nothing, 0};
}

// Encodes a message whose body is `size` bytes at most, or returns empty.
template<class Encode> std::string encodeInto(size_t size, Encode encode)
{
    if (size > UINT_MAX - HeaderRoom)
        return {};
    std::string out(size + HeaderRoom, '\0');
    XDR x;
    xdrmem_create(&x, out.data(), static_cast<u_int>(out.size()), XDR_ENCODE);
    const bool ok = encode(&x);
    const u_int used = XDR_GETPOS(&x);
    xdr_destroy(&x);
    if (!ok)
        return {};
    out.resize(used);
    return out;
}

size_t encodedSize(xdrproc_t proc, const void *object)
{
    return xdr_sizeof(proc, const_cast<void *>(object));
}

// Decodes `object` by `proc` from `bytes`; on failure frees what it had allocated.
bool decodeBody(std::string_view bytes, xdrproc_t proc, void *object)
{
    if (bytes.size() > UINT_MAX)
        return false;
    XDR x;
    xdrmem_create(&x, const_cast<char *>(bytes.data()), static_cast<u_int>(bytes.size()),
                  XDR_DECODE);
    const bool ok = proc(&x, object);
    xdr_destroy(&x);
    if (!ok)
        releaseDecoded(proc, object);
    return ok;
}

std::string encodeReply(uint32_t xid, accept_stat stat, xdrproc_t results, const void *resp,
                        uint32_t low, uint32_t high)
{
    rpc_msg msg{};
    msg.rm_xid = xid;
    msg.rm_direction = REPLY;
    msg.rm_reply.rp_stat = MSG_ACCEPTED;
    msg.acpted_rply.ar_verf = noAuth();
    msg.acpted_rply.ar_stat = stat;
    if (stat == SUCCESS) {
        msg.acpted_rply.ar_results.where = static_cast<char *>(const_cast<void *>(resp));
        msg.acpted_rply.ar_results.proc = results;
    } else if (stat == PROG_MISMATCH) {
        msg.acpted_rply.ar_vers.low = low;
        msg.acpted_rply.ar_vers.high = high;
    }
    const size_t size = stat == SUCCESS ? encodedSize(results, resp) : 8;
    return encodeInto(size, [&](XDR *x) { return xdr_replymsg(x, &msg) != 0; });
}

} // namespace

std::string frameRecord(std::string_view message)
{
    std::string out;
    out.reserve(message.size() + 4);
    do {
        const size_t n = std::min(message.size(), MaxFragment);
        const bool last = n == message.size();
        appendBigEndian32(out, static_cast<uint32_t>(n) | (last ? LastFragment : 0));
        out.append(message.substr(0, n));
        message.remove_prefix(n);
        if (last)
            break;
    } while (true);
    return out;
}

bool RecordReader::feed(std::string_view bytes)
{
    while (!m_failed && !bytes.empty()) {
        if (!m_inFragment) {
            const size_t take = std::min(4 - m_header.size(), bytes.size());
            m_header.append(bytes.substr(0, take));
            bytes.remove_prefix(take);
            if (m_header.size() < 4)
                break;
            const uint32_t header = bigEndian32(m_header);
            m_header.clear();
            m_lastFragment = (header & LastFragment) != 0;
            m_fragmentLeft = header & MaxFragment;
            if (m_fragmentLeft > m_max - m_record.size()) {
                reset();
                m_failed = true;
                break;
            }
            m_inFragment = true;
        }
        const size_t take = std::min(m_fragmentLeft, bytes.size());
        m_record.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        m_fragmentLeft -= take;
        if (m_fragmentLeft == 0) {
            m_inFragment = false;
            if (m_lastFragment) {
                m_done.push_back(std::move(m_record));
                m_record.clear();
            }
        }
    }
    return !m_failed;
}

std::optional<std::string> RecordReader::next()
{
    if (m_done.empty())
        return std::nullopt;
    std::string r = std::move(m_done.front());
    m_done.pop_front();
    return r;
}

void RecordReader::reset()
{
    m_failed = false;
    m_header.clear();
    m_fragmentLeft = 0;
    m_inFragment = false;
    m_lastFragment = false;
    m_record.clear();
    m_done.clear();
}

std::string encodeCall(uint32_t xid, uint32_t prog, uint32_t vers, uint32_t proc, xdrproc_t args,
                       const void *argp)
{
    rpc_msg msg{};
    msg.rm_xid = xid;
    msg.rm_direction = CALL;
    msg.rm_call.cb_rpcvers = RpcVersion;
    msg.rm_call.cb_prog = prog;
    msg.rm_call.cb_vers = vers;
    msg.rm_call.cb_proc = proc;
    msg.rm_call.cb_cred = noAuth();
    msg.rm_call.cb_verf = noAuth();
    return encodeInto(encodedSize(args, argp), [&](XDR *x) {
        return xdr_callmsg(x, &msg) && args(x, const_cast<void *>(argp));
    });
}

Reply decodeReply(std::string_view record, uint32_t xid, xdrproc_t results, void *resp)
{
    Reply r;
    if (record.size() < 4 || record.size() > UINT_MAX)
        return r;
    r.xid = bigEndian32(record);
    // The header first, with no results: a reply to another call must not be decoded into
    // this call's results.
    rpc_msg msg{};
    char verifier[MAX_AUTH_BYTES];
    msg.acpted_rply.ar_verf.oa_base = verifier;
    msg.acpted_rply.ar_results.proc = xdr::nothing;
    XDR x;
    xdrmem_create(&x, const_cast<char *>(record.data()), static_cast<u_int>(record.size()),
                  XDR_DECODE);
    const bool header = xdr_replymsg(&x, &msg);
    const u_int at = XDR_GETPOS(&x);
    xdr_destroy(&x);
    if (!header)
        return r;
    if (r.xid != xid) {
        r.status = ReplyStatus::WrongXid;
        return r;
    }
    if (msg.rm_reply.rp_stat == MSG_DENIED) {
        const rejected_reply &rj = msg.rjcted_rply;
        r.status = rj.rj_stat == RPC_MISMATCH ? ReplyStatus::RpcMismatch : ReplyStatus::AuthError;
        if (rj.rj_stat == RPC_MISMATCH) {
            r.low = static_cast<uint32_t>(rj.rj_vers.low);
            r.high = static_cast<uint32_t>(rj.rj_vers.high);
        }
        return r;
    }
    // libtirpc stores any accept status the server sent in the enum, one of no value the
    // enum has too: read as the number it is.
    int32_t stat = 0;
    static_assert(sizeof stat == sizeof msg.acpted_rply.ar_stat);
    std::memcpy(&stat, &msg.acpted_rply.ar_stat, sizeof stat);
    switch (stat) {
    case SUCCESS:
        break;
    case PROG_UNAVAIL:
        r.status = ReplyStatus::ProgUnavail;
        return r;
    case PROG_MISMATCH:
        r.status = ReplyStatus::ProgMismatch;
        r.low = static_cast<uint32_t>(msg.acpted_rply.ar_vers.low);
        r.high = static_cast<uint32_t>(msg.acpted_rply.ar_vers.high);
        return r;
    case PROC_UNAVAIL:
        r.status = ReplyStatus::ProcUnavail;
        return r;
    case GARBAGE_ARGS:
        r.status = ReplyStatus::GarbageArgs;
        return r;
    case SYSTEM_ERR:
        r.status = ReplyStatus::SystemErr;
        return r;
    default:
        return r; // no accept status the protocol knows
    }
    if (decodeBody(record.substr(at), results, resp))
        r.status = ReplyStatus::Success;
    return r;
}

void releaseDecoded(xdrproc_t proc, void *object) { xdr_free(proc, object); }

std::optional<Call> decodeCallHeader(std::string_view record)
{
    if (record.size() < 12 || record.size() > UINT_MAX)
        return std::nullopt;
    Call c;
    c.xid = bigEndian32(record);
    if (bigEndian32(record.substr(4)) != CALL)
        return std::nullopt;
    // libtirpc refuses another RPC version as garbage; the server owes it an answer.
    c.rpcvers = bigEndian32(record.substr(8));
    if (c.rpcvers != RpcVersion)
        return c;
    rpc_msg msg{};
    char credentials[MAX_AUTH_BYTES];
    char verifier[MAX_AUTH_BYTES];
    msg.rm_call.cb_cred.oa_base = credentials;
    msg.rm_call.cb_verf.oa_base = verifier;
    XDR x;
    xdrmem_create(&x, const_cast<char *>(record.data()), static_cast<u_int>(record.size()),
                  XDR_DECODE);
    const bool ok = xdr_callmsg(&x, &msg);
    c.argsOffset = XDR_GETPOS(&x);
    xdr_destroy(&x);
    if (!ok)
        return std::nullopt;
    c.prog = static_cast<uint32_t>(msg.rm_call.cb_prog);
    c.vers = static_cast<uint32_t>(msg.rm_call.cb_vers);
    c.proc = static_cast<uint32_t>(msg.rm_call.cb_proc);
    return c;
}

bool decodeArgs(std::string_view record, const Call &call, xdrproc_t args, void *argp)
{
    if (call.argsOffset > record.size())
        return false;
    return decodeBody(record.substr(call.argsOffset), args, argp);
}

std::string encodeSuccess(uint32_t xid, xdrproc_t results, const void *resp)
{
    return encodeReply(xid, SUCCESS, results, resp, 0, 0);
}

std::string encodeError(uint32_t xid, ReplyStatus status)
{
    accept_stat stat = SYSTEM_ERR;
    switch (status) {
    case ReplyStatus::ProgUnavail:
        stat = PROG_UNAVAIL;
        break;
    case ReplyStatus::ProcUnavail:
        stat = PROC_UNAVAIL;
        break;
    case ReplyStatus::GarbageArgs:
        stat = GARBAGE_ARGS;
        break;
    default:
        break;
    }
    return encodeReply(xid, stat, nullptr, nullptr, 0, 0);
}

std::string encodeProgMismatch(uint32_t xid, uint32_t low, uint32_t high)
{
    return encodeReply(xid, PROG_MISMATCH, nullptr, nullptr, low, high);
}

std::string encodeRpcMismatch(uint32_t xid)
{
    rpc_msg msg{};
    msg.rm_xid = xid;
    msg.rm_direction = REPLY;
    msg.rm_reply.rp_stat = MSG_DENIED;
    msg.rjcted_rply.rj_stat = RPC_MISMATCH;
    msg.rjcted_rply.rj_vers.low = RpcVersion;
    msg.rjcted_rply.rj_vers.high = RpcVersion;
    return encodeInto(8, [&](XDR *x) { return xdr_replymsg(x, &msg) != 0; });
}

} // namespace oncrpc
