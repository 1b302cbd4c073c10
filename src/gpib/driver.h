#pragma once

#include "bus/backend.h"
#include "gpib/busexecutor.h"

#include <cstdint>
#include <span>
#include <string>

// The low 16 bits of `value`, read as a signed 16-bit number (32768 gives -32768,
// 74565 gives 9029). Handles, addresses and status words are 16-bit in the program.
int16_t LongToInt16(const int32_t &value);

// The only door to the GPIB driver. Each wrapper bears the driver function's own name,
// makes sure the driver delivers its status into this object's variables, calls the
// driver through the backend and copies the status into ibsta, iberr and ibcnt, where
// the callers judge it. The wrappers never report anything themselves. Each call, with
// the status delivery that belongs to it, runs through `bus` (the program's bus thread) when
// one is given, and on the caller's thread otherwise.
//
// Handles, addresses, codes and masks are 16-bit signed and widened with sign extension
// on their way to the driver; text crosses the bus as 8-bit characters.
class GpibDriver
{
public:
    explicit GpibDriver(GpibBackend &backend, BusExecutor *bus = nullptr)
        : m_backend(backend), m_bus(bus)
    {
    }
    GpibDriver(const GpibDriver &) = delete;
    GpibDriver &operator=(const GpibDriver &) = delete;

    // Interface clear on `board`: the board becomes controller in charge.
    void SendIFC(int16_t board);
    // Remote enable line on `board` asserted (value non-zero) or released.
    void ibsre(int16_t board, int16_t value);
    // Probes the addresses of `addressList` (ended by the no-address marker -1) and
    // writes the addresses that answered to `resultList` from entry 0 on, at most `limit`
    // of them; entries not written keep their value. `limit` is cut to the table's size.
    void FindLstn(int16_t board, std::span<const int16_t> addressList,
                  std::span<int16_t> resultList, int16_t limit);
    // A new device handle for primary address `pad` on `board`; timeout code `tmo`
    // (11 is 1 s, 12 is 3 s), `eot` non-zero sends EOI with the last byte, `eos` 0 means
    // no end-of-string character.
    int16_t ibdev(int16_t board, int16_t pad, int16_t sad, int16_t tmo, int16_t eot,
                  int16_t eos);
    // Moves `handle` to primary address `pad` (0 to 30).
    void ibpad(int16_t handle, int16_t pad);
    // Selected device clear.
    void ibclr(int16_t handle);
    // Serial poll; `statusByte` receives the device's status byte, 0 to 255.
    void ibrsp(int16_t handle, int16_t &statusByte);
    // Sets the handle's timeout code (0 to 17).
    void ibtmo(int16_t handle, int16_t code);
    // The handle's configuration value for `option` (3 is the timeout code).
    int16_t ibask(int16_t handle, int16_t option);
    // Waits until one of the status bits of `mask` is set (0x4100: TIMO or CMPL).
    void ibwait(int16_t handle, int16_t mask);
    // Sends `text` byte for byte, EOI with the last one; `text` is left unchanged.
    void ibwrt(int16_t handle, const std::string &text);
    // Reads at most buffer.size() bytes into `buffer` from its start; the rest of the
    // buffer keeps its fill characters. ibsta has END or TIMO as the read ended.
    void ibrd(int16_t handle, std::string &buffer);

    // Status of the last call.
    int16_t ibsta() const { return m_ibsta; }
    int16_t iberr() const { return m_iberr; }
    int16_t ibcnt() const { return m_ibcnt; }
    int32_t ibcntl() const { return m_ibcntl; }
    bool statusGlobalsRegistered() const { return m_statusGlobalsRegistered; }

private:
    void RegisterStatusGlobals();
    void RefreshGpibStatus();
    template<class Call> void call(Call &&driverCall);

    GpibBackend &m_backend;
    BusExecutor *m_bus;

    // Written by the driver once registered for this thread.
    int32_t m_DriverIbsta = 0;
    int32_t m_DriverIberr = 0;
    int32_t m_DriverIbcnt = 0;
    int32_t m_ibcntl = 0;

    int16_t m_ibsta = 0;
    int16_t m_iberr = 0;
    int16_t m_ibcnt = 0;
    bool m_statusGlobalsRegistered = false;
};
