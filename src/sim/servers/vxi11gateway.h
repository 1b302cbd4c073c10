#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "bus/backend.h"
#include "bus/vxi11/vxi11numbers.h"

class SimBus;

// What a VXI-11 LAN/GPIB gateway does with the calls of its core channel, in front of a
// simulated bus: links to the device names "gpib0,N" (N 1 to 30) and to the interface
// "gpib0", locks, and the transfers on the bus. Nothing here waits or knows the network:
// an answer that a real gateway gives only after io_timeout says so in `hold`, and a call
// that would wait for another link's lock says so in `waitsForLock`, for the server to
// ask again when a lock is released.
namespace vxi11 {

// The arguments of one core call; each procedure reads the fields it has.
struct Request
{
    int32_t lid = 0;
    int32_t flags = 0;
    uint32_t lockTimeoutMs = 0;
    uint32_t ioTimeoutMs = 0;
    uint32_t requestSize = 0; // device_read
    char termChar = 0;        // device_read, with TermCharSet
    int32_t cmd = 0;          // device_docmd
    bool networkOrder = true; // device_docmd: data in and out big-endian
    bool lockDevice = false;  // create_link
    std::string data;         // write data, docmd data in, create_link's device name
};

struct Answer
{
    int32_t error = NoError;
    int32_t lid = 0;    // create_link
    uint32_t size = 0;  // device_write: bytes taken
    int32_t reason = 0; // device_read
    uint8_t stb = 0;    // device_readstb
    std::string data;   // device_read, device_docmd
    // The reply leaves only after this: the talker that never talks, waited out.
    std::chrono::milliseconds hold{0};
    // Locked by another link, and the caller may wait lock_timeout for it.
    bool waitsForLock = false;
};

} // namespace vxi11

class Vxi11Gateway
{
public:
    // The largest device_write block the gateway says it takes (create_link's maxRecvSize).
    static constexpr uint32_t MaxRecvSize = 4096;

    explicit Vxi11Gateway(SimBus &bus) : m_bus(bus) {}
    Vxi11Gateway(const Vxi11Gateway &) = delete;
    Vxi11Gateway &operator=(const Vxi11Gateway &) = delete;

    // `channel` names the host's connection; a link serves only the channel that made it.
    vxi11::Answer createLink(int channel, const vxi11::Request &r);
    vxi11::Answer destroyLink(int channel, int32_t lid);
    vxi11::Answer write(int channel, const vxi11::Request &r);
    vxi11::Answer read(int channel, const vxi11::Request &r);
    vxi11::Answer readStatusByte(int channel, const vxi11::Request &r);
    vxi11::Answer clear(int channel, const vxi11::Request &r);
    vxi11::Answer remote(int channel, const vxi11::Request &r, bool on);
    vxi11::Answer lock(int channel, const vxi11::Request &r);
    vxi11::Answer unlock(int channel, int32_t lid);
    vxi11::Answer docmd(int channel, const vxi11::Request &r);

    // The channel closed: its links go, and their locks with them.
    void closeChannel(int channel);
    // Whether `lid` is a link at all (the abort channel may name any).
    bool hasLink(int32_t lid) const { return m_links.count(lid) != 0; }
    // Counts lock releases, so that a server knows when to ask again for waiting calls.
    uint64_t lockReleases() const { return m_lockReleases; }
    // Ends a listener search in progress: its trace line is written now.
    void endSearch();

private:
    static constexpr int Interface = 0; // the lock key and address of the interface link
    struct Link
    {
        int channel;
        int pad; // 1 to 30, or Interface
    };
    // The link `lid` of `channel`; null, with the answer's error set, when it is none of
    // that channel's.
    const Link *linkOf(int channel, int32_t lid, vxi11::Answer &a) const;
    // The link `lid` of `channel`; null, with the answer's error set, when it is none of
    // that channel's, or when another link holds its lock.
    const Link *usable(int channel, const vxi11::Request &r, vxi11::Answer &a);
    // The same for a transfer with an instrument, which ends a listener search; the
    // interface link has none (operation not supported).
    const Link *instrument(int channel, const vxi11::Request &r, vxi11::Answer &a);
    void release(int32_t lid);
    int handle(int pad);
    void sendCommand(std::string_view bytes, vxi11::Answer &a);
    void busStatus(const vxi11::Request &r, vxi11::Answer &a);

    SimBus &m_bus;
    std::map<int32_t, Link> m_links;
    int32_t m_nextLid = 1;
    std::map<int, int32_t> m_locks; // address (or Interface) -> the link that holds it
    uint64_t m_lockReleases = 0;
    std::map<int, int> m_handles; // address -> the bus handle the gateway writes through

    // The bus as the interface link's command bytes left it, and the listener search
    // those bytes make: the listen addresses probed since the search began.
    std::vector<int> m_listeners;
    std::vector<int> m_probed;
    bool m_ren = false;

    // The counts of the gateway's own bus calls, whoever else serves the bus: each entry
    // point that reaches the bus has them delivered here while it runs.
    gpib::StatusVariables m_status;
};
