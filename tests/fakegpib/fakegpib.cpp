// A stand-in for the system's GPIB library with the linux-gpib exports: board 0 with one
// instrument at primary address 5 that answers "ID?". Every bus call is written to a log
// the tests read through fakegpib_log(). Built in several flavours:
//   FAKEGPIB_CONFIG_ONLY   like the newer vendor interface: no ibpad, ibtmo or ibsre
//                          (they are macros over ibconfig there), and ThreadIbcnt only;
//   FAKEGPIB_NO_IBWRT      a library without ibwrt;
//   FAKEGPIB_REGISTRATION  also offers RegisterGpibGlobalsForThread with a long ibcntl.
// Deliberately independent of the program's headers: its constants are written out
// here, so a wrong constant on either side shows up in the tests.

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#if defined(_WIN32)
#define FAKEGPIB_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKEGPIB_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

constexpr int ERR = 0x8000;
constexpr int TIMO = 0x4000;
constexpr int END = 0x2000;
constexpr int CMPL = 0x0100;
constexpr int CIC = 0x0020;

constexpr int EDVR = 0;
constexpr int ENOL = 2;
constexpr int EARG = 4;
constexpr int EABO = 6;
constexpr int ENEB = 7;
constexpr int ETAB = 20;

constexpr unsigned short NOADDR = 0xFFFF;
constexpr int InstrumentPad = 5;
constexpr const char *Identity = "FAKE/FG5010,1";

struct Handle
{
    int pad = 0;
    int tmo = 0;
};

struct Bus
{
    std::map<int, Handle> handles;
    int nextHandle = 1; // linux-gpib hands out small descriptors
    bool remoteEnable = false;
    std::string reply; // what the instrument still has to say
    std::string log;
};

Bus bus;

// Status is per thread, as in linux-gpib.
// Initial-exec TLS: the sanitizers used in CI cannot walk the dynamic TLS of a library
// loaded at run time.
#define FAKE_TLS thread_local __attribute__((tls_model("initial-exec")))
FAKE_TLS int threadSta = 0;
FAKE_TLS int threadErr = 0;
FAKE_TLS long threadCnt = 0;

struct Registered
{
    int *sta = nullptr;
    int *err = nullptr;
    int *cnt = nullptr;
    long *cntl = nullptr;
};
FAKE_TLS Registered registered;

void record(const std::string &line)
{
    bus.log += line;
    bus.log += '\n';
}

std::string args(int a, int b)
{
    return std::to_string(a) + ' ' + std::to_string(b);
}

int finish(int status, int error = 0, long count = 0)
{
    threadSta = status | CMPL;
    if (status & ERR)
        threadErr = error;
    threadCnt = count;
    if (registered.sta) {
        *registered.sta = threadSta;
        *registered.err = threadErr;
        *registered.cnt = static_cast<int>(count);
        *registered.cntl = count;
    }
    return threadSta;
}

int fail(int error)
{
    return finish(ERR, error);
}

Handle *handleOf(int ud)
{
    const auto it = bus.handles.find(ud);
    return it == bus.handles.end() ? nullptr : &it->second;
}

int setPad(int ud, int pad)
{
    Handle *h = handleOf(ud);
    if (!h)
        return fail(EDVR);
    if (pad < 0 || pad > 30)
        return fail(EARG);
    h->pad = pad;
    return finish(0);
}

int setTmo(int ud, int tmo)
{
    Handle *h = handleOf(ud);
    if (!h)
        return fail(EDVR);
    if (tmo < 0 || tmo > 17)
        return fail(EARG);
    h->tmo = tmo;
    return finish(0);
}

int setRemoteEnable(int board, int value)
{
    if (board != 0)
        return fail(ENEB);
    bus.remoteEnable = value != 0;
    return finish(CIC);
}

} // namespace

// Test control.

FAKEGPIB_EXPORT const char *fakegpib_log()
{
    return bus.log.c_str();
}

FAKEGPIB_EXPORT void fakegpib_reset()
{
    bus = Bus{};
    threadSta = threadErr = 0;
    threadCnt = 0;
    registered = Registered{};
}

FAKEGPIB_EXPORT int fakegpib_remote_enable()
{
    return bus.remoteEnable ? 1 : 0;
}

// The library's entry points.

FAKEGPIB_EXPORT int ThreadIbsta()
{
    return threadSta;
}

FAKEGPIB_EXPORT int ThreadIberr()
{
    return threadErr;
}

FAKEGPIB_EXPORT int ThreadIbcnt()
{
    return static_cast<int>(threadCnt);
}

#ifndef FAKEGPIB_CONFIG_ONLY
FAKEGPIB_EXPORT long ThreadIbcntl()
{
    return threadCnt;
}
#endif

#ifdef FAKEGPIB_REGISTRATION
FAKEGPIB_EXPORT int RegisterGpibGlobalsForThread(int *sta, int *err, int *cnt, long *cntl)
{
    record("RegisterGpibGlobalsForThread");
    if (registered.sta)
        return registered.sta == sta ? 1 : 2;
    registered = Registered{sta, err, cnt, cntl};
    return 0;
}

FAKEGPIB_EXPORT int UnregisterGpibGlobalsForThread()
{
    record("UnregisterGpibGlobalsForThread");
    registered = Registered{};
    return 0;
}
#endif

FAKEGPIB_EXPORT void SendIFC(int board)
{
    record("SendIFC " + std::to_string(board));
    if (board != 0) {
        fail(ENEB);
        return;
    }
    finish(CIC);
}

FAKEGPIB_EXPORT void FindLstn(int board, const unsigned short *addrs, unsigned short *results,
                              int limit)
{
    record("FindLstn " + args(board, limit));
    if (board != 0) {
        fail(ENEB);
        return;
    }
    int found = 0;
    for (const unsigned short *a = addrs; *a != NOADDR; ++a) {
        if (*a != InstrumentPad)
            continue;
        if (found == limit) {
            finish(ERR, ETAB, found);
            return;
        }
        results[found++] = *a;
    }
    finish(CIC, 0, found);
}

FAKEGPIB_EXPORT int ibdev(int board, int pad, int sad, int tmo, int eot, int eos)
{
    record("ibdev " + args(board, pad) + ' ' + args(sad, tmo) + ' ' + args(eot, eos));
    if (board != 0) {
        fail(ENEB);
        return -1;
    }
    if (pad < 0 || pad > 30 || tmo < 0 || tmo > 17) {
        fail(EARG);
        return -1;
    }
    const int ud = bus.nextHandle++;
    bus.handles[ud] = Handle{pad, tmo};
    finish(CIC);
    return ud;
}

#ifndef FAKEGPIB_CONFIG_ONLY
FAKEGPIB_EXPORT int ibpad(int ud, int pad)
{
    record("ibpad " + args(ud, pad));
    return setPad(ud, pad);
}

FAKEGPIB_EXPORT int ibtmo(int ud, int tmo)
{
    record("ibtmo " + args(ud, tmo));
    return setTmo(ud, tmo);
}

FAKEGPIB_EXPORT int ibsre(int board, int value)
{
    record("ibsre " + args(board, value));
    return setRemoteEnable(board, value);
}
#endif

FAKEGPIB_EXPORT int ibconfig(int ud, int option, int value)
{
    record("ibconfig " + args(ud, option) + ' ' + std::to_string(value));
    switch (option) {
    case 0x1:
        return setPad(ud, value);
    case 0x3:
        return setTmo(ud, value);
    case 0xB:
        return setRemoteEnable(ud, value);
    default:
        return fail(EARG);
    }
}

FAKEGPIB_EXPORT int ibclr(int ud)
{
    record("ibclr " + std::to_string(ud));
    const Handle *h = handleOf(ud);
    if (!h)
        return fail(EDVR);
    if (h->pad != InstrumentPad)
        return fail(ENOL);
    bus.reply.clear();
    return finish(CIC);
}

FAKEGPIB_EXPORT int ibrsp(int ud, char *spr)
{
    record("ibrsp " + std::to_string(ud));
    const Handle *h = handleOf(ud);
    if (!h)
        return fail(EDVR);
    if (h->pad != InstrumentPad)
        return finish(ERR | TIMO, EABO);
    // Message available while a reply waits.
    *spr = static_cast<char>(bus.reply.empty() ? 0x00 : 0x10);
    return finish(CIC, 0, 1);
}

FAKEGPIB_EXPORT int ibask(int ud, int option, int *value)
{
    record("ibask " + args(ud, option));
    const Handle *h = handleOf(ud);
    if (!h)
        return fail(EDVR);
    switch (option) {
    case 0x1:
        *value = h->pad;
        return finish(CIC);
    case 0x3:
        *value = h->tmo;
        return finish(CIC);
    default:
        return fail(EARG);
    }
}

FAKEGPIB_EXPORT int ibwait(int ud, int mask)
{
    record("ibwait " + args(ud, mask));
    if (!handleOf(ud))
        return fail(EDVR);
    return finish(CIC);
}

#ifndef FAKEGPIB_NO_IBWRT
FAKEGPIB_EXPORT int ibwrt(int ud, const void *buf, long count)
{
    const std::string text(static_cast<const char *>(buf), static_cast<size_t>(count));
    record("ibwrt " + std::to_string(ud) + ' ' + text);
    const Handle *h = handleOf(ud);
    if (!h)
        return fail(EDVR);
    if (h->pad != InstrumentPad)
        return fail(ENOL);
    if (text == "ID?" || text == "ID?\n")
        bus.reply = Identity;
    return finish(CIC, 0, count);
}
#endif

FAKEGPIB_EXPORT int ibrd(int ud, void *buf, long count)
{
    record("ibrd " + std::to_string(ud) + ' ' + std::to_string(count));
    const Handle *h = handleOf(ud);
    if (!h)
        return fail(EDVR);
    if (h->pad != InstrumentPad || bus.reply.empty())
        return finish(ERR | TIMO, EABO);
    const size_t n = std::min(bus.reply.size(), static_cast<size_t>(count));
    std::memcpy(buf, bus.reply.data(), n);
    bus.reply.erase(0, n);
    // The instrument sets EOI with the last byte of its reply.
    return finish(CIC | (bus.reply.empty() ? END : 0), 0, static_cast<long>(n));
}
