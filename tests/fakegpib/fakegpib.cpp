// A stand-in for the system's GPIB library with the linux-gpib exports: its instrument
// answers "ID?" with "FAKE/FG5010,1", and each call is logged for the tests (fakegpib_log).
// Flavours: FAKEGPIB_CONFIG_ONLY lacks ibpad, ibtmo, ibsre (macros over ibconfig in the
// newer vendor interface) and ThreadIbcntl; FAKEGPIB_NO_IBWRT lacks ibwrt;
// FAKEGPIB_REGISTRATION also registers status variables, with a long ibcntl. Constants are
// written out here, not taken from the program, so that a wrong one on either side shows.
#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#define EXPORT extern "C" __attribute__((visibility("default")))
// Initial-exec: sanitizers cannot walk the dynamic TLS of a library loaded at run time.
#define TLS thread_local __attribute__((tls_model("initial-exec")))

namespace {

constexpr int ERR = 0x8000, TIMO = 0x4000, END = 0x2000, CMPL = 0x0100, CIC = 0x0020;
std::map<int, int[2]> handles; // primary address and timeout code, by descriptor from 1
std::string reply, logText;
TLS int sta, err, *regSta, *regErr, *regCnt;
TLS long cnt, *regCntl;

// Logs the call and ends it; one on a handle never given out fails with EDVR (0).
int call(const std::string &line, int ud = 0, int status = CIC, int error = 0, long count = 0)
{
    logText += line + '\n';
    if (ud != 0 && !handles.count(ud))
        status = ERR, error = 0, count = 0;
    sta = status | CMPL, cnt = count;
    if (status & ERR)
        err = error;
    if (regSta)
        *regSta = sta, *regErr = err, *regCnt = static_cast<int>(count), *regCntl = count;
    return sta;
}

std::string args(int a, int b) { return ' ' + std::to_string(a) + ' ' + std::to_string(b); }

// Option 1 the primary address, 3 the timeout code (up to 17, else EARG), 0xB remote enable.
int configure(const std::string &line, int ud, int option, int value)
{
    if (option == 3 && (value < 0 || value > 17))
        return call(line, ud, ERR, 4);
    if (option != 0xB && handles.count(ud))
        handles[ud][option == 1 ? 0 : 1] = value;
    return call(line, option == 0xB ? 0 : ud);
}

} // namespace

EXPORT const char *fakegpib_log() { return logText.c_str(); }
EXPORT void fakegpib_reset() { handles.clear(), reply.clear(), logText.clear(), regSta = nullptr; }
EXPORT int ThreadIbsta() { return sta; }
EXPORT int ThreadIberr() { return err; }
EXPORT int ThreadIbcnt() { return static_cast<int>(cnt); }
#ifndef FAKEGPIB_CONFIG_ONLY
EXPORT long ThreadIbcntl() { return cnt; }
EXPORT int ibpad(int ud, int v) { return configure("ibpad" + args(ud, v), ud, 1, v); }
EXPORT int ibtmo(int ud, int v) { return configure("ibtmo" + args(ud, v), ud, 3, v); }
EXPORT int ibsre(int board, int v) { return configure("ibsre" + args(board, v), 0, 0xB, v); }
#endif
#ifdef FAKEGPIB_REGISTRATION
EXPORT int RegisterGpibGlobalsForThread(int *s, int *e, int *c, long *cl)
{
    logText += "RegisterGpibGlobalsForThread\n";
    if (regSta)
        return regSta == s ? 1 : 2;
    return regSta = s, regErr = e, regCnt = c, regCntl = cl, 0;
}
EXPORT int UnregisterGpibGlobalsForThread() { return regSta = nullptr, 0; }
#endif
EXPORT int ibconfig(int ud, int option, int v)
{
    return configure("ibconfig" + args(ud, option) + ' ' + std::to_string(v), ud, option, v);
}
EXPORT void SendIFC(int board) { call("SendIFC " + std::to_string(board)); }
EXPORT void FindLstn(int board, const unsigned short *, unsigned short *results, int limit)
{
    if (limit > 0)
        results[0] = 5;
    call("FindLstn" + args(board, limit), 0, limit > 0 ? CIC : ERR, 20, limit > 0); // ETAB
}
EXPORT int ibdev(int board, int pad, int sad, int tmo, int eot, int eos)
{
    const int ud = static_cast<int>(handles.size()) + 1;
    handles[ud][0] = pad, handles[ud][1] = tmo;
    return call("ibdev" + args(board, pad) + args(sad, tmo) + args(eot, eos)), ud;
}
EXPORT int ibclr(int ud) { return call("ibclr " + std::to_string(ud), ud); }
EXPORT int ibwait(int ud, int mask) { return call("ibwait" + args(ud, mask), ud); }
EXPORT int ibrsp(int ud, char *spr) { return *spr = 0, call("ibrsp " + std::to_string(ud), ud); }
EXPORT int ibask(int ud, int option, int *value)
{
    *value = handles.count(ud) ? handles[ud][option == 1 ? 0 : 1] : 0;
    return call("ibask" + args(ud, option), ud);
}
#ifndef FAKEGPIB_NO_IBWRT
EXPORT int ibwrt(int ud, const void *buf, long count)
{
    const std::string text(static_cast<const char *>(buf), static_cast<size_t>(count));
    reply = text == "ID?" ? "FAKE/FG5010,1" : "";
    return call("ibwrt " + std::to_string(ud) + ' ' + text, ud, CIC, 0, count);
}
#endif
EXPORT int ibrd(int ud, void *buf, long count)
{
    const size_t n = std::min(reply.size(), static_cast<size_t>(count));
    std::memcpy(buf, reply.data(), n);
    reply.erase(0, n);
    const int status = n == 0 ? ERR | TIMO : reply.empty() ? END | CIC : CIC; // EOI on the last
    return call("ibrd" + args(ud, static_cast<int>(count)), ud, status, 6, static_cast<long>(n));
}
