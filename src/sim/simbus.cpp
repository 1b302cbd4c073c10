#include "sim/simbus.h"

#include "bus/tracingbackend.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

void SimBus::attach(int address, std::unique_ptr<SimDevice> device)
{
    m_devices[address] = std::move(device);
}

SimDevice *SimBus::deviceAt(int address) const
{
    const auto it = m_devices.find(address);
    return it == m_devices.end() ? nullptr : it->second.get();
}

void SimBus::setEndOfMessage(int ud, bool eot)
{
    if (Handle *h = handle(ud))
        h->eot = eot;
}

void SimBus::goToLocal(int pad)
{
    trace("local " + std::to_string(pad));
}

bool SimBus::serviceRequested() const
{
    return std::any_of(m_devices.begin(), m_devices.end(),
                       [](const auto &d) { return (d.second->statusByte() & 0x40) != 0; });
}

int SimBus::timedOut(const Handle &h)
{
    // Nothing can arrive while the caller waits: the bus is driven by this thread alone.
    // With timeout code 0 ("for ever") the wait would never end, so it ends at once.
    // Slept in slices, so that a cancelled call ends within one.
    constexpr Clock::Duration Slice = std::chrono::milliseconds(20);
    Clock::Duration left = std::chrono::microseconds(gpib::TimeoutMicroseconds(h.timeoutCode));
    while (left > Clock::Duration::zero() && !cancelled()) {
        const Clock::Duration step = std::min(left, Slice);
        m_clock.sleepFor(step);
        left -= step;
    }
    trace("timeout " + std::to_string(h.pad));
    return done(gpib::ERR | gpib::TIMO, gpib::EABO);
}

void SimBus::trace(const std::string &line)
{
    if (m_trace)
        m_trace(line);
}

void SimBus::SendIFC(int board)
{
    if (!boardCallAllowed(board))
        return;
    trace("ifc");
    done(0);
}

void SimBus::FindLstn(int board, const uint16_t *addressList, uint16_t *resultList, int limit)
{
    if (!listenerSearchAllowed(board, addressList, resultList, limit))
        return;
    // With no instrument on the bus nobody takes part in the handshake: the driver
    // reports a bus error, not an empty list.
    if (m_devices.empty()) {
        trace("findlstn");
        failed(gpib::EBUS);
        return;
    }
    std::vector<uint16_t> found;
    for (const uint16_t *a = addressList; *a != gpib::NOADDR; ++a) {
        const int pad = *a & 0xFF;
        const int sad = *a >> 8;
        // The interface itself listens at its own address 0.
        if (sad == 0 && (pad == 0 || deviceAt(pad)))
            found.push_back(*a);
    }
    std::string line = "findlstn";
    for (const uint16_t a : found)
        line += ' ' + std::to_string(a);
    trace(line);
    deliverListeners(found, resultList, limit);
}

int SimBus::ibsre(int board, int value)
{
    if (board != 0)
        return failed(gpib::ENEB);
    trace(value ? "ren" : "ren off");
    return done(0);
}

SimDevice *SimBus::listener(const Handle &h)
{
    SimDevice *d = deviceAt(h.pad);
    if (!d) {
        trace("nolistener " + std::to_string(h.pad));
        failed(gpib::ENOL);
    }
    return d;
}

int SimBus::ibclr(int ud)
{
    Handle *h = handleFor(ud);
    if (!h)
        return Failed;
    SimDevice *d = listener(*h);
    if (!d)
        return Failed;
    h->pendingWrite.clear();
    d->deviceClear();
    trace("clear " + std::to_string(h->pad));
    return done(0);
}

int SimBus::ibrsp(int ud, char *statusByte)
{
    Handle *h = transferHandle(ud, statusByte, 1, true);
    if (!h)
        return Failed;
    SimDevice *d = deviceAt(h->pad);
    if (!d || !d->talks())
        return timedOut(*h);
    const uint8_t s = d->serialPoll();
    *statusByte = static_cast<char>(s);
    trace("spoll " + std::to_string(h->pad) + ' ' + std::to_string(s));
    return done(0, 0, 1);
}

int SimBus::ibwait(int ud, int mask)
{
    if (!handleFor(ud))
        return Failed;
    // Every simulated transfer is complete when its call returns.
    (void)mask;
    return done(0);
}

int SimBus::ibwrt(int ud, const void *buffer, long count)
{
    Handle *h = transferHandle(ud, buffer, count, false);
    if (!h)
        return Failed;
    SimDevice *d = listener(*h);
    if (!d)
        return Failed;
    const std::string_view bytes(static_cast<const char *>(buffer), static_cast<size_t>(count));
    trace("write " + std::to_string(h->pad) + ' ' + traceText(bytes));
    h->pendingWrite.append(bytes);
    if (h->eot) {
        const std::string message = std::move(h->pendingWrite);
        h->pendingWrite.clear();
        d->receive(message);
    }
    return done(0, 0, static_cast<int>(count));
}

int SimBus::ibrd(int ud, void *buffer, long count)
{
    Handle *h = transferHandle(ud, buffer, count, true);
    if (!h)
        return Failed;
    SimDevice *d = deviceAt(h->pad);
    if (!d || !d->talks() || d->output().empty())
        return timedOut(*h);
    std::string &out = d->output();
    const size_t n = std::min(out.size(), static_cast<size_t>(count));
    std::memcpy(buffer, out.data(), n);
    trace("read " + std::to_string(h->pad) + ' ' + traceText(std::string_view(out.data(), n)));
    out.erase(0, n);
    // The instrument sets EOI on the last byte of its reply.
    return done(out.empty() ? gpib::END : 0, 0, static_cast<int>(n));
}
