#pragma once

#include "bus/backend.h"

#include <algorithm>
#include <map>
#include <vector>
#include <type_traits>
#include <utility>

// A backend that keeps its own device handles and status (the simulated bus, the Prologix
// controllers, the VXI-11 gateways): status goes into the variables registered for the
// calling thread, as the vendor's library does it, and the calls that need no bus are
// answered alike.
// `Handle` is gpib::DeviceHandleSettings or a struct derived from it.
template<class Handle> class HandleKeepingBackend : public GpibBackend
{
    static_assert(std::is_base_of_v<gpib::DeviceHandleSettings, Handle>);

public:
    int RegisterGpibGlobalsForThread(int32_t *ibsta, int32_t *iberr, int32_t *ibcnt,
                                     int32_t *ibcntl) override
    {
        return m_status.registerThread(ibsta, iberr, ibcnt, ibcntl);
    }
    int UnregisterGpibGlobalsForThread() override { return m_status.unregisterThread(); }
    // The calls made while the returned scope lasts deliver into `own`, not into the
    // variables registered for the thread: for a caller that shares the thread with others.
    [[nodiscard]] StatusRegistry::Scope statusInto(gpib::StatusVariables &own)
    {
        return {m_status, own};
    }

    // A new handle on board 0 for primary address `pad` (0 to 30), no secondary address.
    int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) override
    {
        if (board != 0) {
            failed(gpib::ENEB);
            return -1;
        }
        if (pad < 0 || pad > gpib::MaxPad || sad != 0 || gpib::TimeoutMicroseconds(tmo) < 0 ||
            eos < 0 || eos > 0xFFFF) {
            failed(gpib::EARG);
            return -1;
        }
        const int ud = m_nextHandle++;
        Handle &h = m_handles[ud];
        h.pad = pad;
        h.timeoutCode = tmo;
        h.eot = eot != 0;
        done(0);
        return ud;
    }
    // A new primary address (0 to 30) for the handle's next transfers.
    int ibpad(int ud, int pad) override
    {
        Handle *h = handleFor(ud);
        if (!h)
            return Failed;
        if (pad < 0 || pad > gpib::MaxPad)
            return failed(gpib::EARG);
        h->pad = pad;
        addressChanged(*h);
        return done(0);
    }
    int ibtmo(int ud, int code) override
    {
        return answered(gpib::SetTimeoutCode(handle(ud), code));
    }
    int ibask(int ud, int option, int *value) override
    {
        return answered(gpib::AskOption(handle(ud), option, value));
    }

protected:
    // After ibpad: what the handle had begun for its old address is dropped here.
    virtual void addressChanged(Handle &) {}

    // Delivers one call's status (CMPL added) and returns it.
    int done(int status, int error = 0, int count = 0)
    {
        const int s = status | gpib::CMPL;
        m_status.deliver(s, error, count);
        return s;
    }
    int failed(int error) { return done(gpib::ERR, error); }
    // The listeners a search found, as many as the caller has room for; ETAB when there
    // were more.
    void deliverListeners(const std::vector<uint16_t> &found, uint16_t *resultList, int limit)
    {
        const size_t written = std::min(found.size(), static_cast<size_t>(limit));
        std::copy_n(found.begin(), written, resultList);
        if (found.size() > written)
            done(gpib::ERR, gpib::ETAB, static_cast<int>(written));
        else
            done(0, 0, static_cast<int>(written));
    }
    // The same for a search made address by address, where nobody found but the interface
    // itself (address 0) is what the vendor's driver calls a bus error.
    void deliverListenersOrBusError(const std::vector<uint16_t> &found, uint16_t *resultList,
                                    int limit)
    {
        if (std::none_of(found.begin(), found.end(), [](uint16_t a) { return (a & 0xFF) != 0; }))
            failed(gpib::EBUS);
        else
            deliverListeners(found, resultList, limit);
    }
    // Board calls exist for board 0 only; false (and the error delivered) otherwise.
    bool boardCallAllowed(int board)
    {
        if (board == 0)
            return true;
        failed(gpib::ENEB);
        return false;
    }
    // A listener search needs an address list, and room for the results it may give.
    bool listenerSearchAllowed(int board, const uint16_t *addressList, const uint16_t *resultList,
                               int limit)
    {
        if (!boardCallAllowed(board))
            return false;
        if (addressList && (limit == 0 || (limit > 0 && resultList)))
            return true;
        failed(gpib::EARG);
        return false;
    }
    int answered(int error) { return error == gpib::NoError ? done(0) : failed(error); }

    // What a call that failed before reaching the bus returns.
    static constexpr int Failed = gpib::ERR | gpib::CMPL;
    // The handle `ud`; null, with EDVR delivered, when no such handle was given out.
    Handle *handleFor(int ud)
    {
        Handle *h = handle(ud);
        if (!h)
            failed(gpib::EDVR);
        return h;
    }
    // The handle for a transfer of `count` bytes (a read needs at least one); null, with
    // the error delivered, for an unknown handle, a buffer that cannot take the count, or
    // a count past the status's 32-bit count (long is wider on LP64): the bytes moved
    // could not be reported, and a wrapped count would pass for a short transfer.
    Handle *transferHandle(int ud, const void *buffer, long count, bool reading)
    {
        Handle *h = handleFor(ud);
        const bool bad = !std::in_range<int32_t>(count) ||
                         (reading ? count <= 0 || !buffer : count < 0 || (count > 0 && !buffer));
        if (h && bad) {
            failed(gpib::EARG);
            return nullptr;
        }
        return h;
    }
    // The handle `ud`, or null when no such handle was given out.
    Handle *handle(int ud)
    {
        const auto it = m_handles.find(ud);
        return it == m_handles.end() ? nullptr : &it->second;
    }

private:
    StatusRegistry m_status;
    std::map<int, Handle> m_handles;
    int m_nextHandle = 32;
};
