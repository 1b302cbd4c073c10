#pragma once

/* The basic types of ONC RPC under libtirpc's names, for the platforms that have no
 * libtirpc (Windows). The BSD short names may already come from the system's headers; a
 * repeated typedef of the same type is allowed. */

#include <stdint.h>

typedef int32_t bool_t;
typedef int32_t enum_t;

typedef unsigned char u_char;
typedef unsigned short u_short;
typedef unsigned int u_int;
typedef unsigned long u_long;
typedef char *caddr_t;

typedef uint32_t rpcprog_t;
typedef uint32_t rpcvers_t;
typedef uint32_t rpcproc_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
