// The RPC version 2 call and reply headers, and the port mapper's record, on our XDR.
// Like libtirpc: a call must be of version 2, a reply's unknown accept status is taken
// (the caller judges it), an unknown reject status or reply status is not.
#include <rpc/pmap_prot.h>
#include <rpc/rpc.h>

#include <cstring>

namespace {

// The messages' enum fields, as the 32-bit numbers they travel as. A peer may send a
// number the enum has no name for, so they are read and stored as numbers, never as
// the enum type.
static_assert(sizeof(enum_t) == sizeof(msg_type) && sizeof(enum_t) == sizeof(accept_stat) &&
              sizeof(enum_t) == sizeof(reply_stat) && sizeof(enum_t) == sizeof(reject_stat) &&
              sizeof(enum_t) == sizeof(auth_stat));

bool_t enumField(XDR *x, void *field)
{
    enum_t v = 0;
    if (x->x_op == XDR_ENCODE)
        std::memcpy(&v, field, sizeof v);
    if (!xdr_enum(x, &v))
        return FALSE;
    if (x->x_op == XDR_DECODE)
        std::memcpy(field, &v, sizeof v);
    return TRUE;
}

enum_t valueOf(const void *field)
{
    enum_t v = 0;
    std::memcpy(&v, field, sizeof v);
    return v;
}

bool_t word(XDR *x, uint32_t *w)
{
    u_int v = x->x_op == XDR_ENCODE ? *w : 0;
    if (!xdr_u_int(x, &v))
        return FALSE;
    if (x->x_op == XDR_DECODE)
        *w = v;
    return TRUE;
}

bool_t versions(XDR *x, rpcvers_t *low, rpcvers_t *high)
{
    return word(x, low) && word(x, high);
}

bool_t acceptedReply(XDR *x, accepted_reply *ar)
{
    if (!xdr_opaque_auth(x, &ar->ar_verf) || !enumField(x, &ar->ar_stat))
        return FALSE;
    switch (valueOf(&ar->ar_stat)) {
    case SUCCESS:
        return ar->ar_results.proc && ar->ar_results.proc(x, ar->ar_results.where);
    case PROG_MISMATCH:
        return versions(x, &ar->ar_vers.low, &ar->ar_vers.high);
    default:
        return TRUE;
    }
}

bool_t rejectedReply(XDR *x, rejected_reply *rr)
{
    if (!enumField(x, &rr->rj_stat))
        return FALSE;
    switch (valueOf(&rr->rj_stat)) {
    case RPC_MISMATCH:
        return versions(x, &rr->rj_vers.low, &rr->rj_vers.high);
    case AUTH_ERROR:
        return enumField(x, &rr->rj_why);
    default:
        return FALSE;
    }
}

} // namespace

extern "C" {

bool_t xdr_opaque_auth(XDR *xdrs, struct opaque_auth *ap)
{
    return xdr_enum(xdrs, &ap->oa_flavor) &&
           xdr_bytes(xdrs, &ap->oa_base, &ap->oa_length, MAX_AUTH_BYTES);
}

bool_t xdr_callmsg(XDR *xdrs, struct rpc_msg *cmsg)
{
    call_body &cb = cmsg->rm_call;
    return word(xdrs, &cmsg->rm_xid) && enumField(xdrs, &cmsg->rm_direction) &&
           valueOf(&cmsg->rm_direction) == CALL && word(xdrs, &cb.cb_rpcvers) &&
           cb.cb_rpcvers == RPC_MSG_VERSION && word(xdrs, &cb.cb_prog) && word(xdrs, &cb.cb_vers) &&
           word(xdrs, &cb.cb_proc) && xdr_opaque_auth(xdrs, &cb.cb_cred) &&
           xdr_opaque_auth(xdrs, &cb.cb_verf);
}

bool_t xdr_replymsg(XDR *xdrs, struct rpc_msg *rmsg)
{
    reply_body &rb = rmsg->rm_reply;
    if (!word(xdrs, &rmsg->rm_xid) || !enumField(xdrs, &rmsg->rm_direction) ||
        valueOf(&rmsg->rm_direction) != REPLY || !enumField(xdrs, &rb.rp_stat))
        return FALSE;
    switch (valueOf(&rb.rp_stat)) {
    case MSG_ACCEPTED:
        return acceptedReply(xdrs, &rb.rp_acpt);
    case MSG_DENIED:
        return rejectedReply(xdrs, &rb.rp_rjct);
    default:
        return FALSE;
    }
}

bool_t xdr_pmap(XDR *xdrs, struct pmap *regs)
{
    return xdr_u_long(xdrs, &regs->pm_prog) && xdr_u_long(xdrs, &regs->pm_vers) &&
           xdr_u_long(xdrs, &regs->pm_prot) && xdr_u_long(xdrs, &regs->pm_port);
}

} // extern "C"
