#pragma once

// The XDR glue both ends of ONC RPC share: rpcgen's routines as the xdrproc_t that
// libtirpc (or src/xdr) calls them through, a decoded object that frees itself, and the
// guard of a variable-length field against a forged length.
#include <rpc/xdr.h>

#include <climits>
#include <cstdint>

namespace xdr {

// The port mapper's number for TCP (IPPROTO_TCP), which <rpc/pmap_prot.h> leaves to
// the system's headers.
inline constexpr uint32_t TcpProtocol = 6;

// xdrproc_t is (XDR *, ...), rpcgen's routines (XDR *, T *): the one conversion, through
// the generic function pointer, so only a routine of that shape gets through.
template<class T> xdrproc_t routine(bool_t (*f)(XDR *, T *))
{
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(f));
}
// xdr_void, declared with no parameters.
inline xdrproc_t routine(bool_t (*f)(void))
{
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(f));
}

// An object that decoding by `proc` fills in; what the decoding allocated inside it
// (strings, opaque data) is freed when it goes, decoded or not (freeing a zeroed or
// already freed object frees nothing).
template<class T> struct Decoded
{
    explicit Decoded(bool_t (*f)(XDR *, T *)) : proc(routine(f)) {}
    ~Decoded() { xdr_free(proc, &value); }
    Decoded(const Decoded &) = delete;
    Decoded &operator=(const Decoded &) = delete;
    T value{};
    const xdrproc_t proc;
};

// Whether the length that comes next in a decoding stream, and the bytes it announces,
// fit in what the stream holds. xdr_bytes and xdr_string allocate as much as the length
// says before they find whether the record holds it, so a forged length would cost up
// to 4 GiB: the length is read ahead, and its end probed with XDR_SETPOS, which refuses
// a position past the end of a memory stream. The stream is left where it was.
inline bool lengthFits(XDR *x)
{
    if (x->x_op != XDR_DECODE)
        return true;
    const u_int at = XDR_GETPOS(x);
    u_int length = 0;
    const bool read = xdr_u_int(x, &length) != 0;
    const uint64_t end = uint64_t{at} + 4 + length;
    const bool fits = read && end <= UINT_MAX && XDR_SETPOS(x, static_cast<u_int>(end));
    return XDR_SETPOS(x, at) && fits;
}

// A variable-length opaque field (rpcgen's "opaque name<>") from the network.
inline bool_t boundedBytes(XDR *x, char **data, u_int *length)
{
    return lengthFits(x) && xdr_bytes(x, data, length, ~0u);
}

} // namespace xdr
