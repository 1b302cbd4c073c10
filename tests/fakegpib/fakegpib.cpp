// The system's GPIB library, faked: each call is logged with its arguments and ends with the
// status fakegpib_next set. FAKEGPIB_CONFIG_ONLY lacks ibpad, ibtmo, ibsre (ibconfig macros
// in the newer vendor interface) and ThreadIbcntl; FAKEGPIB_NO_IBWRT lacks ibwrt;
// FAKEGPIB_REGISTRATION registers status variables too, with a long ibcntl.
#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>

#ifdef _WIN32
#define EXPORT extern "C" __declspec(dllexport)
#define TLS thread_local
#else
#define EXPORT extern "C" __attribute__((visibility("default")))
// Initial-exec: sanitizers cannot walk the dynamic TLS of a library loaded at run time.
#define TLS thread_local __attribute__((tls_model("initial-exec")))
#endif

namespace {

std::string logText;
int nextStatus, nextError;
long nextCount;
TLS int sta, err, *regSta, *regErr, *regCnt;
TLS long cnt, *regCntl;

int call(const char *name, std::initializer_list<long> args, const std::string &text = "")
{
    logText += name;
    for (const long a : args)
        logText += ' ' + std::to_string(a);
    logText += text + '\n';
    sta = nextStatus, cnt = nextCount;
    if (sta & 0x8000) // the error number is only written with ERR
        err = nextError;
    if (regSta)
        *regSta = sta, *regErr = err, *regCnt = static_cast<int>(cnt), *regCntl = cnt;
    return sta;
}

} // namespace

EXPORT const char *fakegpib_log() { return logText.c_str(); }
EXPORT void fakegpib_next(int s, int e, long c)
{
    logText.clear(), nextStatus = s, nextError = e, nextCount = c;
}
EXPORT int ThreadIbsta() { return sta; }
EXPORT int ThreadIberr() { return err; }
EXPORT int ThreadIbcnt() { return static_cast<int>(cnt); }
#ifndef FAKEGPIB_CONFIG_ONLY
EXPORT long ThreadIbcntl() { return cnt; }
EXPORT int ibpad(int ud, int v) { return call("ibpad", {ud, v}); }
EXPORT int ibtmo(int ud, int v) { return call("ibtmo", {ud, v}); }
EXPORT int ibsre(int board, int v) { return call("ibsre", {board, v}); }
#endif
#ifdef FAKEGPIB_REGISTRATION
EXPORT int RegisterGpibGlobalsForThread(int *s, int *e, int *c, long *cl)
{
    logText += "Register"; // in front of the call that registered
    return regSta = s, regErr = e, regCnt = c, regCntl = cl, 0;
}
EXPORT int UnregisterGpibGlobalsForThread() { return regSta = nullptr, 0; }
#endif
EXPORT int ibconfig(int ud, int option, int v) { return call("ibconfig", {ud, option, v}); }
EXPORT void SendIFC(int board) { call("SendIFC", {board}); }
EXPORT void FindLstn(int board, const unsigned short *list, unsigned short *results, int limit)
{
    results[0] = list[1];
    call("FindLstn", {board, list[0], limit});
}
EXPORT int ibdev(int board, int pad, int sad, int tmo, int eot, int eos)
{
    return call("ibdev", {board, pad, sad, tmo, eot, eos}), 7;
}
EXPORT int ibclr(int ud) { return call("ibclr", {ud}); }
EXPORT int ibwait(int ud, int mask) { return call("ibwait", {ud, mask}); }
EXPORT int ibrsp(int ud, char *spr) { return *spr = 0x41, call("ibrsp", {ud}); }
EXPORT int ibask(int ud, int option, int *v) { return *v = 12, call("ibask", {ud, option}); }
#ifndef FAKEGPIB_NO_IBWRT
EXPORT int ibwrt(int ud, const void *buf, long count)
{
    return call("ibwrt", {ud, count}, ' ' + std::string(static_cast<const char *>(buf), count));
}
#endif
EXPORT int ibrd(int ud, void *buf, long count)
{
    std::memcpy(buf, "FAKE", static_cast<size_t>(std::min(count, 4L)));
    return call("ibrd", {ud, count});
}
