#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <thread>

// The driver's entry points, as the NI-488.2 interface defines them. A backend is one
// GPIB driver: the built-in simulated bus, the system's library loaded at run time, a
// Prologix-compatible controller, or a LAN/GPIB gateway that speaks VXI-11.
// Like the vendor's library, a backend returns the status word from each call and
// delivers the status into the four variables registered for the calling thread.

namespace gpib {

// NI-488.2 status word bits.
inline constexpr int32_t ERR = 0x8000;  // the call failed, iberr says why
inline constexpr int32_t TIMO = 0x4000; // time limit reached
inline constexpr int32_t END = 0x2000;  // the talker ended its message with EOI
inline constexpr int32_t CMPL = 0x0100; // I/O complete
inline constexpr int32_t CIC = 0x0020;  // board is controller in charge

// NI-488.2 error numbers.
inline constexpr int32_t EDVR = 0;  // driver or system error, also an invalid handle
inline constexpr int32_t ECIC = 1;  // board is not controller in charge
inline constexpr int32_t ENOL = 2;  // no listener on a write
inline constexpr int32_t EARG = 4;  // invalid argument
inline constexpr int32_t EABO = 6;  // I/O aborted: timeout
inline constexpr int32_t ENEB = 7;  // no such GPIB board
inline constexpr int32_t ECAP = 11; // no capability for the operation
inline constexpr int32_t EBUS = 14; // bus error: nobody took the bytes
inline constexpr int32_t ETAB = 20; // result table overflow

inline constexpr uint16_t NOADDR = 0xFFFF; // ends an address list
inline constexpr int MaxPad = 30;          // the highest primary address

inline constexpr int IbaPAD = 1; // ibask option: the handle's primary address
inline constexpr int IbaTMO = 3; // ibask option: the handle's timeout code

// Timeout codes 0 (none) to 17 (1000 s), in microseconds; code 11 is 1 s, 12 is 3 s.
// Returns -1 for an invalid code and 0 for code 0, which means "wait for ever".
int64_t TimeoutMicroseconds(int code);

// What a backend that keeps its own device handles remembers of each.
struct DeviceHandleSettings
{
    int pad = 0;         // primary address, 0 to 30
    int timeoutCode = 0; // 0 to 17
    bool eot = true;     // EOI with the last byte written
};

// One caller's status variables, for a caller that keeps them together.
struct StatusVariables
{
    int32_t ibsta = 0;
    int32_t iberr = 0;
    int32_t ibcnt = 0;
    int32_t ibcntl = 0;
};

// ibtmo and ibask answered as the vendor's driver answers them, for such a backend: the
// error number, or NoError when the call succeeds. `h` is null for an unknown handle.
inline constexpr int NoError = -1;
int SetTimeoutCode(DeviceHandleSettings *h, int code);
int AskOption(const DeviceHandleSettings *h, int option, int *value);

} // namespace gpib

class GpibBackend
{
public:
    virtual ~GpibBackend() = default;

    // 0 registered; 1 already registered for this thread; 2 registered for this thread
    // with other variables; 3 out of memory. Any other value is a failure as well.
    virtual int RegisterGpibGlobalsForThread(int32_t *ibsta, int32_t *iberr, int32_t *ibcnt,
                                             int32_t *ibcntl) = 0;
    virtual int UnregisterGpibGlobalsForThread() = 0;

    virtual void SendIFC(int board) = 0;
    virtual void FindLstn(int board, const uint16_t *addressList, uint16_t *resultList,
                          int limit) = 0;
    virtual int ibsre(int board, int value) = 0;
    virtual int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) = 0;
    virtual int ibpad(int handle, int pad) = 0;
    virtual int ibclr(int handle) = 0;
    virtual int ibrsp(int handle, char *statusByte) = 0;
    virtual int ibtmo(int handle, int code) = 0;
    virtual int ibask(int handle, int option, int *value) = 0;
    virtual int ibwait(int handle, int mask) = 0;
    virtual int ibwrt(int handle, const void *buffer, long count) = 0;
    virtual int ibrd(int handle, void *buffer, long count) = 0;

    // Safe from any thread. The call under way gives up its wait as soon as it can, and
    // so does every wait until allowCalls(): the call then fails as its timeout would.
    // The program cancels a call when it must end in the middle of one (its window was
    // closed, or it was told to end). A backend whose driver cannot be interrupted (the
    // system's library) lets the call run to its own timeout. A backend that wraps another
    // passes both on: the wait to give up is the other's.
    virtual void cancelCalls() { m_cancelled.store(true); }
    virtual void allowCalls() { m_cancelled.store(false); }

protected:
    bool cancelled() const { return m_cancelled.load(); }
    const std::atomic<bool> &cancelFlag() const { return m_cancelled; }

private:
    std::atomic<bool> m_cancelled{false};
};

// Per-thread registration of status variables, for backends that keep the status
// themselves (those that keep their own handles, and system libraries that only offer
// thread-local status functions): it answers registration as the vendor's library does
// and writes the status of each call into the variables registered for the calling thread.
// The trace keeps one too, to read back what another backend wrote there.
class StatusRegistry
{
public:
    int registerThread(int32_t *ibsta, int32_t *iberr, int32_t *ibcnt, int32_t *ibcntl);
    int unregisterThread();

    // Writes one call's status into the calling thread's variables, if registered.
    // iberr is written only when status has ERR set, as the vendor's library does.
    void deliver(int32_t status, int32_t error, int32_t count);
    // What the calling thread's variables hold now; nullopt when it registered none.
    std::optional<gpib::StatusVariables> current() const;

    // A caller's own variables in place of the thread's, for a while (below).
    class Scope;

private:
    struct Variables
    {
        int32_t *ibsta;
        int32_t *iberr;
        int32_t *ibcnt;
        int32_t *ibcntl;
    };
    std::map<std::thread::id, Variables> m_threads;
};

// While a scope lasts, the calling thread's calls deliver into `own`; the thread's
// registration, or its lack of one, comes back when the scope ends. For one thread that
// serves several hosts on one bus: each host's counts stay its own.
class StatusRegistry::Scope
{
public:
    Scope(StatusRegistry &registry, gpib::StatusVariables &own);
    ~Scope();
    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;

private:
    StatusRegistry &m_registry;
    std::optional<Variables> m_saved;
};
