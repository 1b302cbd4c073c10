#pragma once

/* The RPC version 2 messages (a call's header, a reply's) and their XDR, with libtirpc's
 * names, on our own XDR. There is no client or server machinery: our ONC RPC layer does
 * the I/O itself. */

#include <rpc/types.h>
#include <rpc/xdr.h>
/* As libtirpc's does, for code that finds the port mapper's record here. */
#include <rpc/pmap_prot.h>

#ifdef __cplusplus
extern "C" {
#endif

#define RPC_MSG_VERSION ((uint32_t)2)

/* Authentication: only its wire form, a flavour and at most MAX_AUTH_BYTES of body. */
#define MAX_AUTH_BYTES 400
#define AUTH_NONE 0
#define AUTH_NULL 0

enum auth_stat {
    AUTH_OK = 0,
    AUTH_BADCRED = 1,
    AUTH_REJECTEDCRED = 2,
    AUTH_BADVERF = 3,
    AUTH_REJECTEDVERF = 4,
    AUTH_TOOWEAK = 5,
    AUTH_INVALIDRESP = 6,
    AUTH_FAILED = 7
};

struct opaque_auth
{
    enum_t oa_flavor;
    caddr_t oa_base; /* decoding allocates the body when this is null */
    u_int oa_length;
};

enum msg_type { CALL = 0, REPLY = 1 };
enum reply_stat { MSG_ACCEPTED = 0, MSG_DENIED = 1 };
enum accept_stat {
    SUCCESS = 0,
    PROG_UNAVAIL = 1,
    PROG_MISMATCH = 2,
    PROC_UNAVAIL = 3,
    GARBAGE_ARGS = 4,
    SYSTEM_ERR = 5
};
enum reject_stat { RPC_MISMATCH = 0, AUTH_ERROR = 1 };

/* A decoded accepted reply holds whatever status the server sent, known or not (read it
 * as the 32-bit number it is); the results are coded by ar_results.proc at .where. */
struct accepted_reply
{
    struct opaque_auth ar_verf;
    enum accept_stat ar_stat;
    union {
        struct
        {
            rpcvers_t low;
            rpcvers_t high;
        } AR_versions;
        struct
        {
            caddr_t where;
            xdrproc_t proc;
        } AR_results;
    } ru;
#define ar_results ru.AR_results
#define ar_vers ru.AR_versions
};

struct rejected_reply
{
    enum reject_stat rj_stat;
    union {
        struct
        {
            rpcvers_t low;
            rpcvers_t high;
        } RJ_versions;
        enum auth_stat RJ_why;
    } ru;
#define rj_vers ru.RJ_versions
#define rj_why ru.RJ_why
};

struct reply_body
{
    enum reply_stat rp_stat;
    union {
        struct accepted_reply RP_ar;
        struct rejected_reply RP_dr;
    } ru;
#define rp_acpt ru.RP_ar
#define rp_rjct ru.RP_dr
};

struct call_body
{
    rpcvers_t cb_rpcvers;
    rpcprog_t cb_prog;
    rpcvers_t cb_vers;
    rpcproc_t cb_proc;
    struct opaque_auth cb_cred;
    struct opaque_auth cb_verf;
};

struct rpc_msg
{
    uint32_t rm_xid;
    enum msg_type rm_direction;
    union {
        struct call_body RM_cmb;
        struct reply_body RM_rmb;
    } ru;
#define rm_call ru.RM_cmb
#define rm_reply ru.RM_rmb
};
#define acpted_rply ru.RM_rmb.ru.RP_ar
#define rjcted_rply ru.RM_rmb.ru.RP_dr

bool_t xdr_opaque_auth(XDR *xdrs, struct opaque_auth *ap);
/* A call's header up to its arguments; only RPC version 2 calls. */
bool_t xdr_callmsg(XDR *xdrs, struct rpc_msg *cmsg);
/* A whole reply, the results of a success included. */
bool_t xdr_replymsg(XDR *xdrs, struct rpc_msg *rmsg);

/* rpcgen's headers declare client and server stubs on these; we never define them. */
typedef struct wavedial_rpc_client CLIENT;
typedef struct wavedial_rpc_server SVCXPRT;
struct svc_req;

#ifdef __cplusplus
}
#endif
