#pragma once

#include "bus/backend.h"

#include <map>
#include <type_traits>

// A backend that keeps its own device handles and status (the simulated bus, the Prologix
// controllers): status goes into the variables registered for the calling thread, as the
// vendor's library does it, and the calls that need no bus are answered alike.
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

    // A new handle on board 0 for primary address `pad` (0 to 30), no secondary address.
    int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) override
    {
        if (board != 0) {
            failed(gpib::ENEB);
            return -1;
        }
        if (pad < 0 || pad > MaxPad || sad != 0 || gpib::TimeoutMicroseconds(tmo) < 0 ||
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
    int ibtmo(int ud, int code) override
    {
        return answered(gpib::SetTimeoutCode(handle(ud), code));
    }
    int ibask(int ud, int option, int *value) override
    {
        return answered(gpib::AskOption(handle(ud), option, value));
    }

protected:
    static constexpr int MaxPad = 30;

    // Delivers one call's status (CMPL added) and returns it.
    int done(int status, int error = 0, int count = 0)
    {
        const int s = status | gpib::CMPL;
        m_status.deliver(s, error, count);
        return s;
    }
    int failed(int error) { return done(gpib::ERR, error); }
    int answered(int error) { return error == gpib::NoError ? done(0) : failed(error); }

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
