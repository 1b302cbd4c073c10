// XDR on memory buffers: the primitives rpcgen's routines and our ONC RPC layer call, for
// the platforms without libtirpc. What libtirpc does with odd input (values truncated to
// the field, any nonzero word a true bool, pad bytes not checked) is kept, so both builds
// speak alike.
#include <rpc/xdr.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

bool_t putBytes(XDR *x, const void *data, u_int n)
{
    if (n > x->x_handy)
        return FALSE;
    if (x->x_base && n > 0)
        std::memcpy(x->x_base + x->x_pos, data, n);
    x->x_pos += n;
    x->x_handy -= n;
    return TRUE;
}

bool_t getBytes(XDR *x, void *data, u_int n)
{
    if (n > x->x_handy || (!x->x_base && n > 0))
        return FALSE;
    if (n > 0)
        std::memcpy(data, x->x_base + x->x_pos, n);
    x->x_pos += n;
    x->x_handy -= n;
    return TRUE;
}

// The fill after `n` bytes of opaque data, to the next whole word.
u_int padding(u_int n)
{
    return (BYTES_PER_XDR_UNIT - n % BYTES_PER_XDR_UNIT) % BYTES_PER_XDR_UNIT;
}

// Whether `n` bytes of opaque data and their fill are still to be read: checked before
// anything is allocated for them, so a forged length costs nothing.
bool fitsLeft(const XDR *x, u_int n)
{
    return uint64_t{n} + padding(n) <= x->x_handy;
}

bool_t word(XDR *x, uint32_t *w)
{
    unsigned char b[4];
    switch (x->x_op) {
    case XDR_ENCODE:
        b[0] = static_cast<unsigned char>(*w >> 24);
        b[1] = static_cast<unsigned char>(*w >> 16);
        b[2] = static_cast<unsigned char>(*w >> 8);
        b[3] = static_cast<unsigned char>(*w);
        return putBytes(x, b, 4);
    case XDR_DECODE:
        if (!getBytes(x, b, 4))
            return FALSE;
        *w = uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
        return TRUE;
    case XDR_FREE:
        return TRUE;
    }
    return FALSE;
}

// Every integer travels as one 32-bit word: wider values are cut to their low 32 bits,
// narrower fields take the low bits of what arrives, as libtirpc does. A decoded long is
// the word read as unsigned where long has 64 bits (libtirpc's result on Linux), and a
// negative number for a top bit set where it has 32 (Windows).
template<class T> bool_t integer(XDR *x, T *v)
{
    uint32_t w = x->x_op == XDR_ENCODE ? static_cast<uint32_t>(*v) : 0;
    if (!word(x, &w))
        return FALSE;
    if (x->x_op == XDR_DECODE)
        *v = static_cast<T>(w);
    return TRUE;
}

} // namespace

extern "C" {

void xdrmem_create(XDR *xdrs, char *addr, u_int size, enum xdr_op op)
{
    xdrs->x_op = op;
    xdrs->x_base = addr;
    xdrs->x_pos = 0;
    xdrs->x_handy = addr ? size : 0;
}

u_int xdr_getpos(XDR *xdrs)
{
    return xdrs->x_pos;
}

bool_t xdr_setpos(XDR *xdrs, u_int pos)
{
    const u_int size = xdrs->x_pos + xdrs->x_handy;
    if (pos > size)
        return FALSE;
    xdrs->x_pos = pos;
    xdrs->x_handy = size - pos;
    return TRUE;
}

// Never a pointer into the buffer: callers fall back to the checked routines, and no
// word is read through a pointer that may not be aligned. (libtirpc's inline path sends a
// bool_t as it is, 7 as 7; here a bool always goes out as 0 or 1.)
int32_t *xdr_inline(XDR *, u_int)
{
    return nullptr;
}

void xdr_destroy(XDR *) {}

bool_t xdr_void(void)
{
    return TRUE;
}

bool_t xdr_int(XDR *xdrs, int *ip)
{
    return integer(xdrs, ip);
}
bool_t xdr_u_int(XDR *xdrs, u_int *up)
{
    return integer(xdrs, up);
}
bool_t xdr_long(XDR *xdrs, long *lp)
{
    return integer(xdrs, lp);
}
bool_t xdr_u_long(XDR *xdrs, u_long *ulp)
{
    return integer(xdrs, ulp);
}
bool_t xdr_u_short(XDR *xdrs, u_short *usp)
{
    return integer(xdrs, usp);
}
bool_t xdr_char(XDR *xdrs, char *cp)
{
    return integer(xdrs, cp);
}
bool_t xdr_u_char(XDR *xdrs, u_char *ucp)
{
    return integer(xdrs, ucp);
}
bool_t xdr_enum(XDR *xdrs, enum_t *ep)
{
    return integer(xdrs, ep);
}

bool_t xdr_bool(XDR *xdrs, bool_t *bp)
{
    uint32_t w = xdrs->x_op == XDR_ENCODE && *bp ? 1 : 0;
    if (!word(xdrs, &w))
        return FALSE;
    if (xdrs->x_op == XDR_DECODE)
        *bp = w != 0 ? TRUE : FALSE;
    return TRUE;
}

bool_t xdr_opaque(XDR *xdrs, char *cp, u_int cnt)
{
    static const char zeros[BYTES_PER_XDR_UNIT] = {};
    char ignored[BYTES_PER_XDR_UNIT];
    const u_int pad = padding(cnt);
    if (xdrs->x_op == XDR_FREE)
        return TRUE;
    if ((cnt > 0 && !cp) || !fitsLeft(xdrs, cnt))
        return FALSE;
    if (xdrs->x_op == XDR_ENCODE)
        return putBytes(xdrs, cp, cnt) && putBytes(xdrs, zeros, pad);
    return getBytes(xdrs, cp, cnt) && getBytes(xdrs, ignored, pad);
}

bool_t xdr_bytes(XDR *xdrs, char **cpp, u_int *sizep, u_int maxsize)
{
    switch (xdrs->x_op) {
    case XDR_ENCODE:
        if (*sizep > maxsize || (*sizep > 0 && !*cpp))
            return FALSE;
        return xdr_u_int(xdrs, sizep) && xdr_opaque(xdrs, *cpp, *sizep);
    case XDR_DECODE: {
        u_int size = 0;
        if (!xdr_u_int(xdrs, &size))
            return FALSE;
        *sizep = size;
        if (size == 0)
            return TRUE;
        if (size > maxsize || !fitsLeft(xdrs, size))
            return FALSE;
        if (!*cpp)
            *cpp = static_cast<char *>(std::malloc(size));
        return *cpp && xdr_opaque(xdrs, *cpp, size);
    }
    case XDR_FREE:
        std::free(*cpp);
        *cpp = nullptr;
        return TRUE;
    }
    return FALSE;
}

bool_t xdr_string(XDR *xdrs, char **cpp, u_int maxsize)
{
    switch (xdrs->x_op) {
    case XDR_ENCODE: {
        if (!*cpp)
            return FALSE;
        const size_t length = std::strlen(*cpp);
        u_int size = static_cast<u_int>(length);
        if (length > maxsize)
            return FALSE;
        return xdr_u_int(xdrs, &size) && xdr_opaque(xdrs, *cpp, size);
    }
    case XDR_DECODE: {
        u_int size = 0;
        if (!xdr_u_int(xdrs, &size))
            return FALSE;
        // The terminating null needs a byte more than the length says.
        if (size > maxsize || size == UINT_MAX || !fitsLeft(xdrs, size))
            return FALSE;
        if (!*cpp)
            *cpp = static_cast<char *>(std::malloc(size + 1u));
        if (!*cpp || !xdr_opaque(xdrs, *cpp, size))
            return FALSE;
        (*cpp)[size] = '\0';
        return TRUE;
    }
    case XDR_FREE:
        std::free(*cpp);
        *cpp = nullptr;
        return TRUE;
    }
    return FALSE;
}

void xdr_free(xdrproc_t proc, void *objp)
{
    if (!proc || !objp)
        return;
    XDR x;
    xdrmem_create(&x, nullptr, 0, XDR_FREE);
    proc(&x, objp);
}

u_long xdr_sizeof(xdrproc_t func, void *data)
{
    // A stream with no buffer and room for anything that fits a position.
    XDR x{XDR_ENCODE, nullptr, 0, UINT_MAX};
    return func && func(&x, data) ? x.x_pos : 0;
}

} // extern "C"
