#pragma once

/* XDR on memory buffers, with libtirpc's names and semantics for what rpcgen's routines
 * and our ONC RPC layer call. Decoding never reads past the buffer, and a length is
 * checked against the bytes left before anything is allocated for it. */

#include <rpc/types.h>

#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

enum xdr_op { XDR_ENCODE = 0, XDR_DECODE = 1, XDR_FREE = 2 };

#define BYTES_PER_XDR_UNIT 4

/* No table of operations: memory is the only kind of stream (and xdr_sizeof's counting
 * one, which has no buffer). x_handy is the count of bytes left, as in libtirpc's memory
 * streams, which our ONC RPC layer reads. */
typedef struct XDR
{
    enum xdr_op x_op;
    char *x_base;  /* the buffer; null for a stream that only counts */
    u_int x_pos;   /* bytes read or written so far */
    u_int x_handy; /* bytes left */
} XDR;

typedef bool_t (*xdrproc_t)(XDR *, ...);

void xdrmem_create(XDR *xdrs, char *addr, u_int size, enum xdr_op op);
u_int xdr_getpos(XDR *xdrs);
bool_t xdr_setpos(XDR *xdrs, u_int pos);
int32_t *xdr_inline(XDR *xdrs, u_int len);
void xdr_destroy(XDR *xdrs);

#define XDR_GETPOS(xdrs) xdr_getpos(xdrs)
#define XDR_SETPOS(xdrs, pos) xdr_setpos(xdrs, pos)
#define XDR_INLINE(xdrs, len) xdr_inline(xdrs, len)
#define XDR_DESTROY(xdrs) xdr_destroy(xdrs)

bool_t xdr_void(void);
bool_t xdr_int(XDR *xdrs, int *ip);
bool_t xdr_u_int(XDR *xdrs, u_int *up);
bool_t xdr_long(XDR *xdrs, long *lp);
bool_t xdr_u_long(XDR *xdrs, u_long *ulp);
bool_t xdr_u_short(XDR *xdrs, u_short *usp);
bool_t xdr_char(XDR *xdrs, char *cp);
bool_t xdr_u_char(XDR *xdrs, u_char *ucp);
bool_t xdr_bool(XDR *xdrs, bool_t *bp);
bool_t xdr_enum(XDR *xdrs, enum_t *ep);
bool_t xdr_opaque(XDR *xdrs, char *cp, u_int cnt);
bool_t xdr_bytes(XDR *xdrs, char **cpp, u_int *sizep, u_int maxsize);
bool_t xdr_string(XDR *xdrs, char **cpp, u_int maxsize);

/* Frees what decoding allocated inside objp and nulls those pointers. */
void xdr_free(xdrproc_t proc, void *objp);
/* The encoded size of *data, or 0 when it would not encode. */
u_long xdr_sizeof(xdrproc_t func, void *data);

/* rpcgen's routines take whole words straight from the buffer when XDR_INLINE gives
 * them a pointer. Ours always says no, so these only have to compile; they still swap
 * to the wire's big-endian order, should that ever change. */
static inline uint32_t xdr_word_to_wire(uint32_t v)
{
    const unsigned char b[4] = {(unsigned char)(v >> 24), (unsigned char)(v >> 16),
                                (unsigned char)(v >> 8), (unsigned char)v};
    uint32_t w;
    memcpy(&w, b, sizeof w);
    return w;
}

static inline uint32_t xdr_word_from_wire(uint32_t w)
{
    unsigned char b[4];
    memcpy(b, &w, sizeof b);
    return (uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3];
}

#define IXDR_GET_INT32(buf) ((int32_t)xdr_word_from_wire((uint32_t) * (buf)++))
#define IXDR_PUT_INT32(buf, v) (*(buf)++ = (int32_t)xdr_word_to_wire((uint32_t)(v)))
#define IXDR_GET_U_INT32(buf) xdr_word_from_wire((uint32_t) * (buf)++)
#define IXDR_PUT_U_INT32(buf, v) IXDR_PUT_INT32(buf, v)
#define IXDR_GET_LONG(buf) ((long)IXDR_GET_U_INT32(buf))
#define IXDR_PUT_LONG(buf, v) IXDR_PUT_INT32(buf, v)
#define IXDR_GET_U_LONG(buf) ((u_long)IXDR_GET_U_INT32(buf))
#define IXDR_PUT_U_LONG(buf, v) IXDR_PUT_INT32(buf, v)
#define IXDR_GET_BOOL(buf) ((bool_t)(IXDR_GET_INT32(buf) != 0))
#define IXDR_PUT_BOOL(buf, v) IXDR_PUT_INT32(buf, (v) ? 1 : 0)
#define IXDR_GET_U_SHORT(buf) ((u_short)IXDR_GET_U_INT32(buf))
#define IXDR_PUT_U_SHORT(buf, v) IXDR_PUT_INT32(buf, v)

#ifdef __cplusplus
}
#endif
