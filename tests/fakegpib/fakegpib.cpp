// A stand-in for the system's GPIB library with the linux-gpib exports: its one instrument
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
constexpr int EDVR = 0, EARG = 4, EABO = 6, ETAB = 20;

std::map<int, int[2]> handles; // primary address and timeout code, by descriptor from 1
std::string reply, logText;
TLS int sta, err, *regSta, *regErr, *regCnt;
TLS long cnt, *regCntl;

// Logs the call and ends it; a call on a handle never given out fails with EDVR.
int call(const std::string &line, int ud = 0, int status = CIC, int error = 0, long count = 0)
{
    logText += line + '\n';
    if (ud != 0 && !handles.count(ud))
        status = ERR, error = EDVR, count = 0;
    sta = status | CMPL;
    if (status & ERR)
        err = error;
    cnt = count;
    if (regSta)
        *regSta = sta, *regErr = err, *regCnt = static_cast<int>(count), *regCntl = count;
    return sta;
}

std::string join(int a, int b) { return std::to_string(a) + ' ' + std::to_string(b); }

// Option 1 the primary address, 3 the timeout code, 0xB remote enable (on a board).
int configure(const std::string &line, int ud, int option, int value)
{
    if (option == 0xB || !handles.count(ud))
        return call(line, option == 0xB ? 0 : ud);
    const bool pad = option == 1;
    if (!pad && (value < 0 || value > 17))
        return call(line, ud, ERR, EARG);
    handles[ud][pad ? 0 : 1] = value;
    return call(line, ud);
}

} // namespace

EXPORT const char *fakegpib_log() { return logText.c_str(); }
EXPORT void fakegpib_reset() { handles.clear(), reply.clear(), logText.clear(), regSta = nullptr; }
EXPORT int ThreadIbsta() { return sta; }
EXPORT int ThreadIberr() { return err; }
EXPORT int ThreadIbcnt() { return static_cast<int>(cnt); }
#ifndef FAKEGPIB_CONFIG_ONLY
EXPORT long ThreadIbcntl() { return cnt; }
EXPORT int ibpad(int ud, int v) { return configure("ibpad " + join(ud, v), ud, 1, v); }
EXPORT int ibtmo(int ud, int v) { return configure("ibtmo " + join(ud, v), ud, 3, v); }
EXPORT int ibsre(int board, int v) { return configure("ibsre " + join(board, v), 0, 0xB, v); }
#endif
#ifdef FAKEGPIB_REGISTRATION
EXPORT int RegisterGpibGlobalsForThread(int *s, int *e, int *c, long *cl)
{
    logText += "RegisterGpibGlobalsForThread\n";
    if (regSta)
        return regSta == s ? 1 : 2;
    regSta = s, regErr = e, regCnt = c, regCntl = cl;
    return 0;
}
EXPORT int UnregisterGpibGlobalsForThread() { return regSta = nullptr, 0; }
#endif
EXPORT int ibconfig(int ud, int option, int v)
{
    return configure("ibconfig " + join(ud, option) + ' ' + std::to_string(v), ud, option, v);
}
EXPORT void SendIFC(int board) { call("SendIFC " + std::to_string(board)); }
EXPORT void FindLstn(int board, const unsigned short *, unsigned short *results, int limit)
{
    if (limit < 1)
        return void(call("FindLstn " + join(board, limit), 0, ERR, ETAB));
    results[0] = 5;
    call("FindLstn " + join(board, limit), 0, CIC, 0, 1);
}
EXPORT int ibdev(int board, int pad, int sad, int tmo, int eot, int eos)
{
    const int ud = static_cast<int>(handles.size()) + 1;
    handles[ud][0] = pad, handles[ud][1] = tmo;
    call("ibdev " + join(board, pad) + ' ' + join(sad, tmo) + ' ' + join(eot, eos));
    return ud;
}
EXPORT int ibclr(int ud) { return call("ibclr " + std::to_string(ud), ud); }
EXPORT int ibwait(int ud, int mask) { return call("ibwait " + join(ud, mask), ud); }
EXPORT int ibrsp(int ud, char *spr)
{
    *spr = reply.empty() ? 0 : 0x10; // message available
    return call("ibrsp " + std::to_string(ud), ud, CIC, 0, 1);
}
EXPORT int ibask(int ud, int option, int *value)
{
    *value = handles.count(ud) ? handles[ud][option == 1 ? 0 : 1] : 0;
    return call("ibask " + join(ud, option), ud);
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
    const std::string line = "ibrd " + join(ud, static_cast<int>(count));
    if (reply.empty())
        return call(line, ud, ERR | TIMO, EABO);
    const size_t n = std::min(reply.size(), static_cast<size_t>(count));
    std::memcpy(buf, reply.data(), n);
    reply.erase(0, n);
    return call(line, ud, CIC | (reply.empty() ? END : 0), 0, static_cast<long>(n)); // EOI last
}
