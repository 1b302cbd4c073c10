#pragma once

#include "bus/clock.h"
#include "bus/handlebackend.h"
#include "sim/simdevice.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

// The simulated GPIB bus: board 0 with instruments at primary addresses 1 to 30. It
// answers the driver's entry points as the vendor documents its driver, so that the
// program runs the same path as on hardware. Waiting for a timeout happens on the clock
// it is given.
struct SimHandle : gpib::DeviceHandleSettings
{
    std::string pendingWrite; // bytes written without EOI, awaiting the rest
};

class SimBus : public HandleKeepingBackend<SimHandle>
{
public:
    using TraceSink = std::function<void(std::string_view line)>;

    explicit SimBus(Clock &clock) : m_clock(clock) {}

    // Puts `device` on the bus at `address` (1 to 30), replacing any device there.
    void attach(int address, std::unique_ptr<SimDevice> device);
    SimDevice *deviceAt(int address) const;

    // Receives one line per bus operation (see the trace format in the README).
    void setTraceSink(TraceSink sink) { m_trace = std::move(sink); }

    // Whether the handle's next writes end with EOI (the driver's ibeot), for a gateway
    // whose host says with each block whether the message ends there.
    void setEndOfMessage(int handle, bool eot);
    // Go To Local to the instrument at `pad`. The simulated instruments keep no remote
    // state, so only the trace shows it.
    void goToLocal(int pad);
    // The SRQ line: some instrument's status byte asks for service (bit 6).
    bool serviceRequested() const;

    void SendIFC(int board) override;
    void FindLstn(int board, const uint16_t *addressList, uint16_t *resultList, int limit) override;
    int ibsre(int board, int value) override;
    int ibclr(int handle) override;
    int ibrsp(int handle, char *statusByte) override;
    int ibwait(int handle, int mask) override;
    int ibwrt(int handle, const void *buffer, long count) override;
    int ibrd(int handle, void *buffer, long count) override;

private:
    using Handle = SimHandle;
    // A message begun for the old address is dropped.
    void addressChanged(Handle &h) override { h.pendingWrite.clear(); }
    int timedOut(const Handle &h);
    // The instrument at the handle's address; null, with ENOL delivered, when none listens.
    SimDevice *listener(const Handle &h);
    void trace(const std::string &line);

    Clock &m_clock;
    TraceSink m_trace;
    std::map<int, std::unique_ptr<SimDevice>> m_devices;
};
