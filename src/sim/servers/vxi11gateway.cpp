#include "sim/servers/vxi11gateway.h"

#include "sim/simbus.h"

#include <algorithm>
#include <cctype>
#include <charconv>

using namespace vxi11;

namespace {

struct DeviceName
{
    int32_t error;
    int pad;
};

// "gpib0" is the interface itself (address 0), "gpib0,N" the instrument at primary
// address N; gateways take the names in any case. The simulated instruments have no
// secondary addresses, so "gpib0,N,S" names nothing here.
DeviceName parseDeviceName(std::string_view name, int interfacePad)
{
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::string_view n = lower;
    constexpr std::string_view Board = "gpib0";
    if (!n.starts_with(Board))
        return {DeviceNotAccessible, 0};
    if (n.size() == Board.size())
        return {NoError, interfacePad};
    if (n[Board.size()] != ',')
        return {DeviceNotAccessible, 0};
    const std::string_view rest = n.substr(Board.size() + 1);
    const std::string_view primary = rest.substr(0, rest.find(','));
    int pad = -1;
    const auto r = std::from_chars(primary.data(), primary.data() + primary.size(), pad);
    if (primary.empty() || r.ec != std::errc() || r.ptr != primary.data() + primary.size() ||
        pad < 1 || pad > gpib::MaxPad)
        return {InvalidAddress, 0};
    if (primary.size() != rest.size())
        return {DeviceNotAccessible, 0};
    return {NoError, pad};
}

} // namespace

int Vxi11Gateway::handle(int pad)
{
    const auto it = m_handles.find(pad);
    if (it != m_handles.end())
        return it->second;
    // No timeout on the bus handle: the wait for a silent talker is the server's, on
    // io_timeout, so that it blocks nobody else.
    const int ud = m_bus.ibdev(0, pad, 0, 0, 1, 0);
    m_handles[pad] = ud;
    return ud;
}

const Vxi11Gateway::Link *Vxi11Gateway::linkOf(int channel, int32_t lid, Answer &a) const
{
    const auto it = m_links.find(lid);
    if (it != m_links.end() && it->second.channel == channel)
        return &it->second;
    a.error = InvalidLink;
    return nullptr;
}

const Vxi11Gateway::Link *Vxi11Gateway::usable(int channel, const Request &r, Answer &a)
{
    const Link *l = linkOf(channel, r.lid, a);
    if (!l)
        return nullptr;
    const auto holder = m_locks.find(l->pad);
    if (holder != m_locks.end() && holder->second != r.lid) {
        a.error = Locked;
        a.waitsForLock = (r.flags & WaitLock) != 0 && r.lockTimeoutMs > 0;
        return nullptr;
    }
    return l;
}

const Vxi11Gateway::Link *Vxi11Gateway::instrument(int channel, const Request &r, Answer &a)
{
    const Link *l = usable(channel, r, a);
    if (l && l->pad == Interface) {
        a.error = NotSupported; // the interface link takes bus commands only
        return nullptr;
    }
    if (l)
        endSearch();
    return l;
}

void Vxi11Gateway::release(int32_t lid)
{
    for (auto it = m_locks.begin(); it != m_locks.end();) {
        if (it->second == lid) {
            it = m_locks.erase(it);
            ++m_lockReleases;
        } else {
            ++it;
        }
    }
}

Answer Vxi11Gateway::createLink(int channel, const Request &r)
{
    Answer a;
    const DeviceName name = parseDeviceName(r.data, Interface);
    if (name.error != NoError) {
        a.error = name.error;
        return a;
    }
    if (r.lockDevice && m_locks.count(name.pad)) {
        // create_link has no flags: lock_timeout alone says whether to wait.
        a.error = Locked;
        a.waitsForLock = r.lockTimeoutMs > 0;
        return a;
    }
    a.lid = m_nextLid++;
    m_links[a.lid] = Link{channel, name.pad};
    if (r.lockDevice)
        m_locks[name.pad] = a.lid;
    return a;
}

Answer Vxi11Gateway::destroyLink(int channel, int32_t lid)
{
    const auto counts = m_bus.statusInto(m_status);
    Answer a;
    const Link *l = linkOf(channel, lid, a);
    if (!l)
        return a;
    if (l->pad == Interface)
        endSearch();
    release(lid);
    m_links.erase(lid);
    return a;
}

void Vxi11Gateway::closeChannel(int channel)
{
    const auto counts = m_bus.statusInto(m_status);
    for (auto it = m_links.begin(); it != m_links.end();) {
        if (it->second.channel != channel) {
            ++it;
            continue;
        }
        if (it->second.pad == Interface)
            endSearch();
        release(it->first);
        it = m_links.erase(it);
    }
}

Answer Vxi11Gateway::write(int channel, const Request &r)
{
    const auto counts = m_bus.statusInto(m_status);
    Answer a;
    const Link *l = instrument(channel, r, a);
    if (!l)
        return a;
    const int h = handle(l->pad);
    m_bus.setEndOfMessage(h, (r.flags & EndFlag) != 0);
    // Nobody to take the bytes is what the bus reports as an I/O error.
    if (m_bus.ibwrt(h, r.data.data(), static_cast<long>(r.data.size())) & gpib::ERR)
        a.error = IoError;
    else
        a.size = static_cast<uint32_t>(r.data.size());
    return a;
}

Answer Vxi11Gateway::read(int channel, const Request &r)
{
    const auto counts = m_bus.statusInto(m_status);
    Answer a;
    const Link *l = instrument(channel, r, a);
    if (!l)
        return a;
    if (r.requestSize == 0) {
        a.reason = ReasonRequestCount;
        return a;
    }
    // As much of the reply as the host asked for, up to its end character if it gave one.
    SimDevice *d = m_bus.deviceAt(l->pad);
    const std::string_view pending = d && d->talks() ? d->output() : std::string_view();
    size_t n = std::min<size_t>(pending.size(), r.requestSize);
    bool atTermChar = false;
    if ((r.flags & TermCharSet) != 0) {
        const size_t at = pending.find(r.termChar);
        if (at < n) {
            n = at + 1;
            atTermChar = true;
        }
    }
    std::string bytes(std::max<size_t>(n, 1), '\0');
    const int h = handle(l->pad);
    const int status = m_bus.ibrd(h, bytes.data(), static_cast<long>(bytes.size()));
    if (status & gpib::ERR) {
        // A talker that never talks: the gateway waits io_timeout for its first byte.
        a.error = IoTimeout;
        a.hold = std::chrono::milliseconds(r.ioTimeoutMs);
        return a;
    }
    bytes.resize(static_cast<size_t>(std::max<int32_t>(m_status.ibcntl, 0)));
    a.reason = ((status & gpib::END) ? ReasonEnd : 0) | (atTermChar ? ReasonTermChar : 0) |
               (bytes.size() == r.requestSize ? ReasonRequestCount : 0);
    a.data = std::move(bytes);
    return a;
}

Answer Vxi11Gateway::readStatusByte(int channel, const Request &r)
{
    const auto counts = m_bus.statusInto(m_status);
    Answer a;
    const Link *l = instrument(channel, r, a);
    if (!l)
        return a;
    char statusByte = 0;
    if (m_bus.ibrsp(handle(l->pad), &statusByte) & gpib::ERR) {
        a.error = IoTimeout;
        a.hold = std::chrono::milliseconds(r.ioTimeoutMs);
        return a;
    }
    a.stb = static_cast<uint8_t>(statusByte);
    return a;
}

Answer Vxi11Gateway::clear(int channel, const Request &r)
{
    const auto counts = m_bus.statusInto(m_status);
    Answer a;
    const Link *l = instrument(channel, r, a);
    if (!l)
        return a;
    if (m_bus.ibclr(handle(l->pad)) & gpib::ERR)
        a.error = IoError;
    return a;
}

Answer Vxi11Gateway::remote(int channel, const Request &r, bool on)
{
    const auto counts = m_bus.statusInto(m_status);
    Answer a;
    const Link *l = usable(channel, r, a);
    if (!l)
        return a;
    endSearch();
    // Remote asserts REN; local on an instrument's link sends it Go To Local, on the
    // interface link it releases REN for every instrument.
    if (on || l->pad == Interface) {
        m_bus.ibsre(0, on ? 1 : 0);
        m_ren = on;
    } else {
        m_bus.goToLocal(l->pad);
    }
    return a;
}

Answer Vxi11Gateway::lock(int channel, const Request &r)
{
    Answer a;
    if (const Link *l = usable(channel, r, a))
        m_locks[l->pad] = r.lid; // again by its holder: still one lock
    return a;
}

Answer Vxi11Gateway::unlock(int channel, int32_t lid)
{
    Answer a;
    const Link *l = linkOf(channel, lid, a);
    if (!l)
        return a;
    const auto holder = m_locks.find(l->pad);
    if (holder == m_locks.end() || holder->second != lid) {
        a.error = NoLockHeld;
        return a;
    }
    m_locks.erase(holder);
    ++m_lockReleases;
    return a;
}

Answer Vxi11Gateway::docmd(int channel, const Request &r)
{
    const auto counts = m_bus.statusInto(m_status);
    Answer a;
    const Link *l = usable(channel, r, a);
    if (!l)
        return a;
    // Bus commands belong to the interface link; an instrument's link has none.
    if (l->pad != Interface) {
        a.error = NotSupported;
        return a;
    }
    switch (r.cmd) {
    case CmdSendCommand:
        sendCommand(r.data, a);
        break;
    case CmdBusStatus:
        busStatus(r, a);
        break;
    case CmdIfc:
        endSearch();
        m_bus.SendIFC(0);
        m_listeners.clear(); // IFC unaddresses everybody
        break;
    case CmdRen:
        if (r.data.size() < 2) {
            a.error = ParameterError;
            break;
        }
        endSearch();
        m_ren = r.data[0] != 0 || r.data[1] != 0;
        m_bus.ibsre(0, m_ren ? 1 : 0);
        break;
    default:
        a.error = NotSupported;
    }
    return a;
}

void Vxi11Gateway::sendCommand(std::string_view bytes, Answer &a)
{
    constexpr uint8_t GoToLocal = 0x01, SelectedDeviceClear = 0x04, ListenBase = 0x20,
                      Unlisten = 0x3F;
    for (const char byte : bytes) {
        const uint8_t c = static_cast<uint8_t>(byte) & 0x7F; // the eighth bit is parity
        if (c == Unlisten) {
            m_listeners.clear();
        } else if (c >= ListenBase && c < Unlisten) {
            const int pad = c - ListenBase;
            if (std::find(m_listeners.begin(), m_listeners.end(), pad) == m_listeners.end())
                m_listeners.push_back(pad);
        } else if (c == SelectedDeviceClear || c == GoToLocal) {
            endSearch();
            for (const int pad : m_listeners) {
                if (pad == Interface)
                    continue;
                if (c == GoToLocal)
                    m_bus.goToLocal(pad);
                else
                    m_bus.ibclr(handle(pad));
            }
        }
        // Talk addresses, UNT and the other universal commands change nothing that the
        // simulated instruments keep.
    }
    a.data = std::string(bytes);
    bool anybody = false;
    for (int pad = 1; pad <= gpib::MaxPad && !anybody; ++pad)
        anybody = m_bus.deviceAt(pad) != nullptr;
    if (!anybody) {
        // Nobody on the bus takes part in the handshake: the bytes go nowhere. This ends
        // a listener search as surely as a quiet NDAC does.
        a.error = IoError;
        m_probed.insert(m_probed.end(), m_listeners.begin(), m_listeners.end());
    }
}

void Vxi11Gateway::busStatus(const Request &r, Answer &a)
{
    if (r.data.size() < 2) {
        a.error = ParameterError;
        return;
    }
    const auto b0 = static_cast<uint8_t>(r.data[0]), b1 = static_cast<uint8_t>(r.data[1]);
    const int item = r.networkOrder ? b0 << 8 | b1 : b1 << 8 | b0;
    constexpr int Ren = 1, Srq = 2, Ndac = 3, SystemController = 4, InCharge = 5, Talker = 6,
                  Listener = 7, BusAddress = 8;
    int value = 0;
    switch (item) {
    case Ren:
        value = m_ren;
        break;
    case Srq:
        value = m_bus.serviceRequested();
        break;
    case Ndac:
        // An instrument addressed to listen holds NDAC until it takes a byte: the probe a
        // listener search makes for each address. A probe of an address already probed
        // begins a new search.
        for (const int pad : m_listeners) {
            if (std::find(m_probed.begin(), m_probed.end(), pad) != m_probed.end())
                endSearch();
            m_probed.push_back(pad);
            value = value || (pad != Interface && m_bus.deviceAt(pad));
        }
        break;
    case SystemController:
    case InCharge:
        value = 1; // the gateway is the bus's only controller
        break;
    case Talker:
    case Listener:
    case BusAddress:
        value = 0; // addressed by nobody, at address 0
        break;
    default:
        a.error = ParameterError;
        return;
    }
    const char hi = static_cast<char>(value >> 8), lo = static_cast<char>(value & 0xFF);
    a.data = r.networkOrder ? std::string{hi, lo} : std::string{lo, hi};
}

void Vxi11Gateway::endSearch()
{
    const auto counts = m_bus.statusInto(m_status);
    if (m_probed.empty())
        return;
    // The search's one trace line, as the card's search gives it: the interface's own
    // address 0 first, then the addresses probed, and the bus error on an empty bus.
    std::vector<uint16_t> list{0};
    for (const int pad : m_probed)
        if (std::find(list.begin(), list.end(), pad) == list.end())
            list.push_back(static_cast<uint16_t>(pad));
    list.push_back(gpib::NOADDR);
    m_probed.clear();
    std::vector<uint16_t> found(list.size(), 0);
    m_bus.FindLstn(0, list.data(), found.data(), static_cast<int>(found.size()));
}
