#pragma once

/* The port mapper's program and its mapping record, with libtirpc's names. */

#include <rpc/types.h>
#include <rpc/xdr.h>

#ifdef __cplusplus
extern "C" {
#endif

#define PMAPPORT ((u_short)111)
#define PMAPPROG ((u_long)100000)
#define PMAPVERS ((u_long)2)
#define PMAPPROC_NULL ((u_long)0)
#define PMAPPROC_SET ((u_long)1)
#define PMAPPROC_UNSET ((u_long)2)
#define PMAPPROC_GETPORT ((u_long)3)

struct pmap
{
    u_long pm_prog;
    u_long pm_vers;
    u_long pm_prot;
    u_long pm_port;
};

bool_t xdr_pmap(XDR *xdrs, struct pmap *regs);

#ifdef __cplusplus
}
#endif
