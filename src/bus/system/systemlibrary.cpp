#include "bus/system/systemlibrary.h"

#include <QLibrary>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <mutex>

// The vendor's 32-bit Windows DLL exports its functions with the stdcall convention;
// everywhere else the platform's C convention applies.
#if defined(_WIN32) && !defined(_WIN64)
#define WAVEDIAL_GPIB_CALL __stdcall
#else
#define WAVEDIAL_GPIB_CALL
#endif

namespace {

// The C signatures of the library's entry points.
using RegisterFn = int(WAVEDIAL_GPIB_CALL *)(int *, int *, int *, long *);
using NoArgFn = int(WAVEDIAL_GPIB_CALL *)();
using LongNoArgFn = long(WAVEDIAL_GPIB_CALL *)();
using SendIfcFn = void(WAVEDIAL_GPIB_CALL *)(int);
using FindLstnFn = void(WAVEDIAL_GPIB_CALL *)(int, const uint16_t *, uint16_t *, int);
using OneArgFn = int(WAVEDIAL_GPIB_CALL *)(int);
using TwoArgFn = int(WAVEDIAL_GPIB_CALL *)(int, int);
using IbdevFn = int(WAVEDIAL_GPIB_CALL *)(int, int, int, int, int, int);
using IbrspFn = int(WAVEDIAL_GPIB_CALL *)(int, char *);
using IbaskFn = int(WAVEDIAL_GPIB_CALL *)(int, int, int *);
using IbconfigFn = int(WAVEDIAL_GPIB_CALL *)(int, int, int);
using IbwrtFn = int(WAVEDIAL_GPIB_CALL *)(int, const void *, long);
using IbrdFn = int(WAVEDIAL_GPIB_CALL *)(int, void *, long);

// ibconfig options behind the newer interface's ibpad, ibtmo and ibsre macros.
constexpr int IbcPAD = 0x1;
constexpr int IbcTMO = 0x3;
constexpr int IbcSRE = 0xB;

// The library's registration takes (int *, int *, int *, long *) and writes through them
// with those widths. Our variables are 32-bit, so the pointers can only be handed over
// where int and long are both 32-bit (Windows, 32- and 64-bit alike). On LP64 systems
// the library would write 8 bytes into a 4-byte ibcntl; there the status is fetched
// from the Thread* functions after each call instead, which is just as exact.
constexpr bool LibraryVariablesAre32Bit =
    sizeof(int) == sizeof(int32_t) && sizeof(long) == sizeof(int32_t);

struct Entries
{
    RegisterFn registerGlobals = nullptr;
    NoArgFn unregisterGlobals = nullptr;
    SendIfcFn sendIfc = nullptr;
    FindLstnFn findLstn = nullptr;
    TwoArgFn ibsre = nullptr; // may be missing: ibconfig then stands in
    IbdevFn ibdev = nullptr;
    TwoArgFn ibpad = nullptr; // may be missing: ibconfig
    OneArgFn ibclr = nullptr;
    IbrspFn ibrsp = nullptr;
    TwoArgFn ibtmo = nullptr; // may be missing: ibconfig
    IbaskFn ibask = nullptr;
    TwoArgFn ibwait = nullptr;
    IbwrtFn ibwrt = nullptr;
    IbrdFn ibrd = nullptr;
    IbconfigFn ibconfig = nullptr;
    NoArgFn threadIbsta = nullptr;
    NoArgFn threadIberr = nullptr;
    NoArgFn threadIbcnt = nullptr;
    LongNoArgFn threadIbcntl = nullptr;

    bool forwardsRegistration() const
    {
        return LibraryVariablesAre32Bit && registerGlobals && unregisterGlobals;
    }
};

template<class Fn> Fn resolve(QLibrary &library, const char *name)
{
    // QFunctionPointer is void (*)(), which converts to any function pointer type.
    return reinterpret_cast<Fn>(library.resolve(name));
}

Entries resolveEntries(QLibrary &library)
{
    Entries e;
    e.registerGlobals = resolve<RegisterFn>(library, "RegisterGpibGlobalsForThread");
    e.unregisterGlobals = resolve<NoArgFn>(library, "UnregisterGpibGlobalsForThread");
    e.sendIfc = resolve<SendIfcFn>(library, "SendIFC");
    e.findLstn = resolve<FindLstnFn>(library, "FindLstn");
    e.ibsre = resolve<TwoArgFn>(library, "ibsre");
    e.ibdev = resolve<IbdevFn>(library, "ibdev");
    e.ibpad = resolve<TwoArgFn>(library, "ibpad");
    e.ibclr = resolve<OneArgFn>(library, "ibclr");
    e.ibrsp = resolve<IbrspFn>(library, "ibrsp");
    e.ibtmo = resolve<TwoArgFn>(library, "ibtmo");
    e.ibask = resolve<IbaskFn>(library, "ibask");
    e.ibwait = resolve<TwoArgFn>(library, "ibwait");
    e.ibwrt = resolve<IbwrtFn>(library, "ibwrt");
    e.ibrd = resolve<IbrdFn>(library, "ibrd");
    e.ibconfig = resolve<IbconfigFn>(library, "ibconfig");
    e.threadIbsta = resolve<NoArgFn>(library, "ThreadIbsta");
    e.threadIberr = resolve<NoArgFn>(library, "ThreadIberr");
    e.threadIbcnt = resolve<NoArgFn>(library, "ThreadIbcnt");
    e.threadIbcntl = resolve<LongNoArgFn>(library, "ThreadIbcntl");
    return e;
}

// The entry points the backend cannot do without, in the interface's order.
std::vector<std::string> missingEntries(const Entries &e)
{
    std::vector<std::string> missing;
    const auto need = [&](bool present, const char *name) {
        if (!present)
            missing.emplace_back(name);
    };
    need(e.sendIfc, "SendIFC");
    need(e.findLstn, "FindLstn");
    need(e.ibsre || e.ibconfig, "ibsre");
    need(e.ibdev, "ibdev");
    need(e.ibpad || e.ibconfig, "ibpad");
    need(e.ibclr, "ibclr");
    need(e.ibrsp, "ibrsp");
    need(e.ibtmo || e.ibconfig, "ibtmo");
    need(e.ibask, "ibask");
    need(e.ibwait, "ibwait");
    need(e.ibwrt, "ibwrt");
    need(e.ibrd, "ibrd");
    if (!e.forwardsRegistration()) {
        need(e.threadIbsta, "ThreadIbsta");
        need(e.threadIberr, "ThreadIberr");
        need(e.threadIbcntl || e.threadIbcnt, "ThreadIbcntl");
    }
    return missing;
}

std::string joined(const std::vector<std::string> &items)
{
    std::string text;
    for (const std::string &item : items) {
        if (!text.empty())
            text += ", ";
        text += item;
    }
    return text;
}

// Some other library named by mistake lacks them all: a box names the first few only.
std::string missingText(const std::string &fileName, const std::vector<std::string> &missing)
{
    constexpr size_t Named = 3;
    std::string text = "The GPIB library " + fileName + " has no entry point";
    if (missing.size() == 1)
        return text + " " + missing.front() + ".";
    if (missing.size() <= Named + 1)
        return text + "s " + joined(missing) + ".";
    const std::vector<std::string> first(missing.begin(), missing.begin() + Named);
    return text + "s " + joined(first) + " and " + std::to_string(missing.size() - Named) +
           " others.";
}

} // namespace

class SystemGpibLibrary final : public GpibBackend
{
public:
    SystemGpibLibrary(std::unique_ptr<QLibrary> library, const Entries &entries)
        : m_library(std::move(library)), m_fn(entries), m_forwarding(entries.forwardsRegistration())
    {
    }

    // QLibrary's destructor leaves the library loaded, and so do we: a library with
    // per-thread status may have left clean-up hooks that would point into unmapped code.
    ~SystemGpibLibrary() override = default;

    int RegisterGpibGlobalsForThread(int32_t *ibsta, int32_t *iberr, int32_t *ibcnt,
                                     int32_t *ibcntl) override
    {
        if (m_forwarding)
            return m_fn.registerGlobals(
                reinterpret_cast<int *>(ibsta), reinterpret_cast<int *>(iberr),
                reinterpret_cast<int *>(ibcnt), reinterpret_cast<long *>(ibcntl));
        const std::lock_guard lock(m_mutex);
        return m_status.registerThread(ibsta, iberr, ibcnt, ibcntl);
    }

    int UnregisterGpibGlobalsForThread() override
    {
        if (m_forwarding)
            return m_fn.unregisterGlobals();
        const std::lock_guard lock(m_mutex);
        return m_status.unregisterThread();
    }

    void SendIFC(int board) override
    {
        m_fn.sendIfc(board);
        deliverStatus();
    }

    void FindLstn(int board, const uint16_t *addressList, uint16_t *resultList, int limit) override
    {
        m_fn.findLstn(board, addressList, resultList, limit);
        deliverStatus();
    }

    int ibsre(int board, int value) override
    {
        // With ibconfig the board index takes the place of the handle.
        return settled(m_fn.ibsre ? m_fn.ibsre(board, value) : m_fn.ibconfig(board, IbcSRE, value));
    }

    int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) override
    {
        return settled(m_fn.ibdev(board, pad, sad, tmo, eot, eos));
    }

    int ibpad(int handle, int pad) override
    {
        return settled(m_fn.ibpad ? m_fn.ibpad(handle, pad) : m_fn.ibconfig(handle, IbcPAD, pad));
    }

    int ibclr(int handle) override { return settled(m_fn.ibclr(handle)); }

    int ibrsp(int handle, char *statusByte) override
    {
        return settled(m_fn.ibrsp(handle, statusByte));
    }

    int ibtmo(int handle, int code) override
    {
        return settled(m_fn.ibtmo ? m_fn.ibtmo(handle, code) : m_fn.ibconfig(handle, IbcTMO, code));
    }

    int ibask(int handle, int option, int *value) override
    {
        return settled(m_fn.ibask(handle, option, value));
    }

    int ibwait(int handle, int mask) override { return settled(m_fn.ibwait(handle, mask)); }

    int ibwrt(int handle, const void *buffer, long count) override
    {
        return settled(m_fn.ibwrt(handle, buffer, count));
    }

    int ibrd(int handle, void *buffer, long count) override
    {
        return settled(m_fn.ibrd(handle, buffer, count));
    }

private:
    int settled(int result)
    {
        deliverStatus();
        return result;
    }

    // Copies the calling thread's status from the library into the variables registered
    // for this thread. A library that registers the variables itself has written them.
    void deliverStatus()
    {
        if (m_forwarding)
            return;
        const int32_t status = m_fn.threadIbsta();
        const int32_t error = m_fn.threadIberr();
        int32_t count = 0;
        if (m_fn.threadIbcntl) {
            // A long count is 64-bit on LP64; no transfer comes near 2 GB.
            const long wide = m_fn.threadIbcntl();
            count = static_cast<int32_t>(std::clamp<long>(wide, std::numeric_limits<int32_t>::min(),
                                                          std::numeric_limits<int32_t>::max()));
        } else {
            count = m_fn.threadIbcnt();
        }
        const std::lock_guard lock(m_mutex);
        m_status.deliver(status, error, count);
    }

    std::unique_ptr<QLibrary> m_library;
    const Entries m_fn;
    const bool m_forwarding;
    std::mutex m_mutex; // the registry's table is shared by every calling thread
    StatusRegistry m_status;
};

namespace {

struct Attempt
{
    std::unique_ptr<GpibBackend> backend;
    bool loaded = false; // the file loaded (it may still lack entry points)
    std::string error;
};

Attempt tryLibrary(const std::string &fileName)
{
    auto library = std::make_unique<QLibrary>(QString::fromStdString(fileName));
    Attempt attempt;
    if (!library->load()) {
        attempt.error = library->errorString().toStdString();
        return attempt;
    }
    attempt.loaded = true;
    const Entries entries = resolveEntries(*library);
    const std::vector<std::string> missing = missingEntries(entries);
    if (!missing.empty()) {
        // Left loaded, for the same reason as a working one.
        attempt.error = missingText(fileName, missing);
        return attempt;
    }
    attempt.backend = std::make_unique<SystemGpibLibrary>(std::move(library), entries);
    return attempt;
}

} // namespace

std::vector<std::string> defaultGpibLibraryNames()
{
#ifdef _WIN32
    return {"gpib-32.dll", "ni4882.dll"};
#else
    return {"libgpib.so.0", "libgpibapi.so"};
#endif
}

SystemLibraryLoad loadFirstGpibLibrary(const std::vector<std::string> &candidates)
{
    std::string firstLoadError;
    std::string incomplete; // the first library that loaded but lacked entry points
    for (const std::string &fileName : candidates) {
        Attempt attempt = tryLibrary(fileName);
        if (attempt.backend)
            return {std::move(attempt.backend), {}};
        if (attempt.loaded && incomplete.empty())
            incomplete = std::move(attempt.error);
        else if (!attempt.loaded && firstLoadError.empty())
            firstLoadError = std::move(attempt.error);
    }
    if (!incomplete.empty())
        return {nullptr, incomplete};
    if (candidates.empty())
        return {nullptr, "No GPIB library was named."};
    if (candidates.size() == 1)
        return {nullptr, "The GPIB library " + candidates.front() +
                             " could not be loaded: " + firstLoadError};
    return {nullptr, "No GPIB library could be loaded (tried " + joined(candidates) +
                         "): " + firstLoadError};
}

namespace {

// Where the usual libraries are missing, the box says what provides them.
std::string gpibLibraryAdvice()
{
#ifdef _WIN32
    return "Install the NI-488.2 driver of National Instruments (or a compatible one), or "
           "choose another bus with --bus.";
#else
    return "Install linux-gpib (the package libgpib0) or the vendor's NI-488.2 library, or "
           "choose another bus with --bus.";
#endif
}

} // namespace

SystemLibraryLoad loadSystemGpibLibrary(const std::string &path)
{
    if (!path.empty())
        return loadFirstGpibLibrary({path});
    SystemLibraryLoad load = loadFirstGpibLibrary(defaultGpibLibraryNames());
    if (!load.backend && load.error.starts_with("No GPIB library could be loaded"))
        load.error += "\n\n" + gpibLibraryAdvice();
    return load;
}
