#pragma once

// The XDR glue both ends of ONC RPC share: rpcgen's routines as the xdrproc_t that
// libtirpc (or src/xdr) calls them through, a decoded object that frees itself, and the
// guard of a variable-length field against a forged length.
#include <rpc/xdr.h>

#include <climits>
#include <cstdarg>
#include <cstdint>

namespace xdr {

// The port mapper's number for TCP (IPPROTO_TCP), which <rpc/pmap_prot.h> leaves to
// the system's headers.
inline constexpr uint32_t TcpProtocol = 6;

template<class F> struct ObjectOfRoutine;
template<class T> struct ObjectOfRoutine<bool_t (*)(XDR *, T *)>
{
    using type = T;
};
// What an rpcgen routine (XDR *, T *) encodes and decodes: T.
template<auto F> using Object = typename ObjectOfRoutine<decltype(F)>::type;

// libtirpc (and src/xdr) call a routine through xdrproc_t, (XDR *, ...), with the object
// as void *; rpcgen's routines are (XDR *, T *). Calling one through a pointer of the
// other type is undefined (and the sanitizer says so), so each routine is called through
// this one of xdrproc_t's own type, which passes the object on as T *.
template<auto F> bool_t callRoutine(XDR *x, ...)
{
    va_list args;
    va_start(args, x);
    void *object = va_arg(args, void *);
    va_end(args);
    return F(x, static_cast<Object<F> *>(object));
}
template<auto F> inline constexpr xdrproc_t proc = callRoutine<F>;

// The routine of no data (xdr_void's place, which takes no stream at all).
inline bool_t nothing(XDR *, ...)
{
    return TRUE;
}

// An object that decoding by routine F fills in; what the decoding allocated inside it
// (strings, opaque data) is freed when it goes, decoded or not (freeing a zeroed or
// already freed object frees nothing).
template<auto F> struct Decoded
{
    Decoded() = default;
    ~Decoded() { xdr_free(proc, &value); }
    Decoded(const Decoded &) = delete;
    Decoded &operator=(const Decoded &) = delete;
    Object<F> value{};
    static constexpr xdrproc_t proc = xdr::proc<F>;
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
