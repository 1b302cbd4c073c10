// wavedial-simgpib: the simulated bus as a GPIB driver library with the NI-488.2 C entry
// points, for `--bus system:PATH` (or any program that loads such a library) with no
// hardware. WAVEDIAL_SIMGPIB names the listeners as after "sim:" (unset: one FG5010 at
// address 5); WAVEDIAL_SIMGPIB_TRACE names its trace file. Both are read at the first call.
// Not WAVEDIAL_SIM_TRACE: Wavedial traces its calls to any library there itself, and one
// file written by both would have each line twice.
#include "bus/clock.h"
#include "sim/simbus.h"
#include "sim/simconfig.h"
#include "sim/simtrace.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#ifdef _WIN32
#define SIMGPIB_EXPORT extern "C" __declspec(dllexport)
#else
#define SIMGPIB_EXPORT extern "C" __attribute__((visibility("default")))
#endif
// The vendor's 32-bit Windows DLL uses stdcall, and programs load it so.
#if defined(_WIN32) && !defined(_WIN64)
#define SIMGPIB_CALL __stdcall
#else
#define SIMGPIB_CALL
#endif

namespace {

// ibconfig options: those the older entry points ibpad, ibtmo and ibsre stand for.
constexpr int IbcPAD = 0x1;
constexpr int IbcTMO = 0x3;
constexpr int IbcSRE = 0xB;

// One thread's status, in the C types of the interface: its last call's, and the variables
// it registered to receive each call's. The vendor's library keeps it per thread, and a
// thread's registration ends with the thread, so that a later thread never writes into
// the stack of one that has gone.
class ThreadStatus
{
public:
    int ibsta = 0;
    int iberr = 0;
    long ibcntl = 0;

    int registerVariables(int *sta, int *err, int *cnt, long *cntl)
    {
        if (!m_sta) {
            m_sta = sta, m_err = err, m_cnt = cnt, m_cntl = cntl;
            return 0;
        }
        return m_sta == sta && m_err == err && m_cnt == cnt && m_cntl == cntl ? 1 : 2;
    }
    int unregisterVariables()
    {
        const bool had = m_sta != nullptr;
        m_sta = nullptr, m_err = nullptr, m_cnt = nullptr, m_cntl = nullptr;
        return had ? 0 : 1;
    }
    // Copies the last call's status into the registered variables; iberr only when the
    // call set it.
    void publish(bool withError) const
    {
        if (!m_sta)
            return;
        *m_sta = ibsta;
        if (withError && m_err)
            *m_err = iberr;
        if (m_cnt)
            *m_cnt = static_cast<int>(ibcntl);
        if (m_cntl)
            *m_cntl = ibcntl;
    }

private:
    int *m_sta = nullptr;
    int *m_err = nullptr;
    int *m_cnt = nullptr;
    long *m_cntl = nullptr;
};

// The status the bus delivers for one call, in its own types.
struct CallStatus
{
    int32_t ibsta = 0;
    int32_t iberr = 0;
    int32_t ibcnt = 0;
    int32_t ibcntl = 0;
    bool previousInIberr = false; // ibconfig succeeded: iberr holds the option's old value
};

// The simulated bus behind the entry points, with its clock and trace. Calls from any
// thread take turns, as on a real bus; each thread sees its own calls' status.
class SimGpibDriver
{
public:
    SimGpibDriver();

    static ThreadStatus &callingThread() { return s_thread; }

    // Runs `call(bus, status)` for the calling thread and delivers the status it leaves.
    // `failure` is the entry point's result when the bus is unusable or the call threw.
    template<class Call> int run(int failure, Call &&call);

    int remoteEnable(SimBus &bus, int board, int value);
    // ibconfig for the options behind ibpad, ibtmo and ibsre: ECAP for the rest.
    int configure(SimBus &bus, CallStatus &status, int ud, int option, int value);

private:
    static thread_local ThreadStatus s_thread;

    SteadyClock m_clock; // a read from a silent listener really waits out its timeout
    std::unique_ptr<SimTraceFile> m_trace;
    std::unique_ptr<SimBus> m_bus; // null when WAVEDIAL_SIMGPIB names no listeners
    bool m_remoteEnable = false;   // for ibconfig's previous value
    std::mutex m_mutex;
};

thread_local ThreadStatus SimGpibDriver::s_thread;

SimGpibDriver::SimGpibDriver()
{
    const char *listenerText = std::getenv("WAVEDIAL_SIMGPIB");
    std::string why;
    const auto listeners =
        parseSimListeners(listenerText ? listenerText : DefaultSimListeners, &why);
    if (!listeners) {
        // A program only sees its calls fail: say why where its user can read it.
        std::fprintf(stderr,
                     "wavedial-simgpib: WAVEDIAL_SIMGPIB=%s names no listeners "
                     "(KIND@ADDRESS,...): %s; every call fails\n",
                     listenerText, why.c_str());
        return;
    }
    m_bus = std::make_unique<SimBus>(m_clock);
    populateSimBus(*m_bus, *listeners);
    const char *tracePath = std::getenv("WAVEDIAL_SIMGPIB_TRACE");
    if (!tracePath || !*tracePath)
        return;
    m_trace = std::make_unique<SimTraceFile>(tracePath);
    if (!m_trace->isOpen())
        std::fprintf(stderr, "wavedial-simgpib: cannot write the trace to %s\n", tracePath);
    SimTraceFile *trace = m_trace.get();
    m_bus->setTraceSink([trace](std::string_view line) { trace->write(line); });
}

template<class Call> int SimGpibDriver::run(int failure, Call &&call)
{
    ThreadStatus &thread = callingThread();
    // What a call gets when the bus could not be had or the call threw.
    constexpr CallStatus Unusable{gpib::ERR, gpib::EDVR, 0, 0, false};
    CallStatus status = Unusable;
    int result = failure;
    if (m_bus) {
        const std::lock_guard lock(m_mutex);
        // The bus delivers into variables registered for the calling thread: ours, for
        // this call only, since the thread may end before its next call. A call that
        // does not fail leaves the thread's last error number.
        status.iberr = thread.iberr;
        try {
            m_bus->RegisterGpibGlobalsForThread(&status.ibsta, &status.iberr, &status.ibcnt,
                                                &status.ibcntl);
            result = call(*m_bus, status);
        } catch (...) { // nothing may unwind into a C caller
            status = Unusable;
            result = failure;
        }
        m_bus->UnregisterGpibGlobalsForThread();
    }
    thread.ibsta = status.ibsta;
    thread.iberr = status.iberr;
    thread.ibcntl = status.ibcntl;
    thread.publish((status.ibsta & gpib::ERR) != 0 || status.previousInIberr);
    return result;
}

int SimGpibDriver::remoteEnable(SimBus &bus, int board, int value)
{
    const int result = bus.ibsre(board, value);
    if (!(result & gpib::ERR))
        m_remoteEnable = value != 0;
    return result;
}

int SimGpibDriver::configure(SimBus &bus, CallStatus &status, int ud, int option, int value)
{
    int previous = 0;
    int result = 0;
    switch (option) {
    case IbcPAD:
    case IbcTMO:
        result = bus.ibask(ud, option == IbcPAD ? gpib::IbaPAD : gpib::IbaTMO, &previous);
        if (!(result & gpib::ERR))
            result = option == IbcPAD ? bus.ibpad(ud, value) : bus.ibtmo(ud, value);
        break;
    case IbcSRE:
        // With ibconfig the board index takes the place of the handle.
        previous = m_remoteEnable ? 1 : 0;
        result = remoteEnable(bus, ud, value);
        break;
    default:
        status = {gpib::ERR | gpib::CMPL, gpib::ECAP, 0, 0, false};
        return status.ibsta;
    }
    if (!(result & gpib::ERR))
        status.iberr = previous, status.previousInIberr = true;
    return result;
}

// The one driver that every entry point reaches, made at the first call and kept until
// the library is unloaded.
SimGpibDriver &driver()
{
    static SimGpibDriver instance;
    return instance;
}

// The status word that the entry points return when the bus could not be had.
constexpr int Failed = gpib::ERR;

} // namespace

// Status variables of the calling thread, written after each of its calls.
SIMGPIB_EXPORT int SIMGPIB_CALL RegisterGpibGlobalsForThread(int *ibsta, int *iberr, int *ibcnt,
                                                             long *ibcntl)
{
    return SimGpibDriver::callingThread().registerVariables(ibsta, iberr, ibcnt, ibcntl);
}

SIMGPIB_EXPORT int SIMGPIB_CALL UnregisterGpibGlobalsForThread()
{
    return SimGpibDriver::callingThread().unregisterVariables();
}

SIMGPIB_EXPORT int SIMGPIB_CALL ThreadIbsta()
{
    return SimGpibDriver::callingThread().ibsta;
}

SIMGPIB_EXPORT int SIMGPIB_CALL ThreadIberr()
{
    return SimGpibDriver::callingThread().iberr;
}

SIMGPIB_EXPORT int SIMGPIB_CALL ThreadIbcnt()
{
    return static_cast<int>(SimGpibDriver::callingThread().ibcntl);
}

SIMGPIB_EXPORT long SIMGPIB_CALL ThreadIbcntl()
{
    return SimGpibDriver::callingThread().ibcntl;
}

SIMGPIB_EXPORT void SIMGPIB_CALL SendIFC(int board)
{
    driver().run(Failed, [&](SimBus &bus, CallStatus &) {
        bus.SendIFC(board);
        return 0;
    });
}

SIMGPIB_EXPORT void SIMGPIB_CALL FindLstn(int board, const unsigned short *addressList,
                                          unsigned short *resultList, int limit)
{
    driver().run(Failed, [&](SimBus &bus, CallStatus &) {
        bus.FindLstn(board, addressList, resultList, limit);
        return 0;
    });
}

SIMGPIB_EXPORT int SIMGPIB_CALL ibsre(int board, int value)
{
    SimGpibDriver &d = driver();
    return d.run(Failed, [&](SimBus &bus, CallStatus &) { return d.remoteEnable(bus, board, value); });
}

SIMGPIB_EXPORT int SIMGPIB_CALL ibdev(int board, int pad, int sad, int tmo, int eot, int eos)
{
    return driver().run(-1, [&](SimBus &bus, CallStatus &) {
        return bus.ibdev(board, pad, sad, tmo, eot, eos);
    });
}

SIMGPIB_EXPORT int SIMGPIB_CALL ibconfig(int ud, int option, int value)
{
    SimGpibDriver &d = driver();
    return d.run(Failed, [&](SimBus &bus, CallStatus &status) {
        return d.configure(bus, status, ud, option, value);
    });
}

SIMGPIB_EXPORT int SIMGPIB_CALL ibpad(int ud, int pad)
{
    return driver().run(Failed, [&](SimBus &bus, CallStatus &) { return bus.ibpad(ud, pad); });
}

SIMGPIB_EXPORT int SIMGPIB_CALL ibtmo(int ud, int code)
{
    return driver().run(Failed, [&](SimBus &bus, CallStatus &) { return bus.ibtmo(ud, code); });
}

SIMGPIB_EXPORT int SIMGPIB_CALL ibask(int ud, int option, int *value)
{
    return driver().run(Failed,
                        [&](SimBus &bus, CallStatus &) { return bus.ibask(ud, option, value); });
}

SIMGPIB_EXPORT int SIMGPIB_CALL ibclr(int ud)
{
    return driver().run(Failed, [&](SimBus &bus, CallStatus &) { return bus.ibclr(ud); });
}

SIMGPIB_EXPORT int SIMGPIB_CALL ibrsp(int ud, char *statusByte)
{
    return driver().run(Failed,
                        [&](SimBus &bus, CallStatus &) { return bus.ibrsp(ud, statusByte); });
}

SIMGPIB_EXPORT int SIMGPIB_CALL ibwait(int ud, int mask)
{
    return driver().run(Failed, [&](SimBus &bus, CallStatus &) { return bus.ibwait(ud, mask); });
}

SIMGPIB_EXPORT int SIMGPIB_CALL ibwrt(int ud, const void *buffer, long count)
{
    return driver().run(Failed,
                        [&](SimBus &bus, CallStatus &) { return bus.ibwrt(ud, buffer, count); });
}

SIMGPIB_EXPORT int SIMGPIB_CALL ibrd(int ud, void *buffer, long count)
{
    return driver().run(Failed,
                        [&](SimBus &bus, CallStatus &) { return bus.ibrd(ud, buffer, count); });
}
