#pragma once

#include "bus/bytelink.h"
#include "bus/clock.h"
#include "bus/handlebackend.h"
#include "bus/vxi11/rpcchannel.h"
#include "bus/xdr.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// A LAN/GPIB gateway (VXI-11) as a GPIB driver: each instrument address is a link
// ("gpib0,5") on the gateway's core channel, and each driver call becomes one or more
// of the protocol's calls on it. Bus-level work (interface clear, the listener search)
// goes through a link to the interface itself ("gpib0"), where the gateway has one.

// How long the backend waits on the gateway besides the handle's own timeout.
struct Vxi11Timing
{
    // Added to the gateway's own I/O timeout for every call: its answer still has to
    // cross the network.
    std::chrono::milliseconds margin{2000};
    // The longest any call waits, margin included.
    std::chrono::milliseconds longest{10000};
    // The I/O timeout of a serial poll that probes for a listener.
    std::chrono::milliseconds probe{20};
    // How long the gateway gets for calls that do not wait on the bus (links, commands).
    std::chrono::milliseconds command{1000};
    // A wait looks at an abort request this often.
    std::chrono::milliseconds slice{50};
};

class Vxi11Bus final : public HandleKeepingBackend<gpib::DeviceHandleSettings>
{
public:
    // Opens the gateway's abort channel on `port` when a call must be abandoned; null
    // when it cannot.
    using AbortOpener = std::function<std::unique_ptr<ByteLink>(uint16_t port)>;

    Vxi11Bus(std::unique_ptr<ByteLink> core, Clock &clock, std::string interfaceName,
             AbortOpener openAbort = {}, const Vxi11Timing &timing = Vxi11Timing());
    // Destroys the links, each within the network margin.
    ~Vxi11Bus() override;

    // Links to the interface (a gateway may refuse: then the listener search probes) and
    // checks that no other client holds it locked. False, with `why` for a box, when the
    // gateway did not answer or is locked.
    bool start(std::string &why);
    // True once the connection failed: every bus call fails from then on, at once.
    bool lost() const { return m_lost; }
    // Texts worth telling the user that the driver's error numbers cannot carry (a device
    // locked by another client); handed to `sink` as they arise.
    void setNoticeSink(std::function<void(const std::string &)> sink) { m_notice = std::move(sink); }

    void SendIFC(int board) override;
    void FindLstn(int board, const uint16_t *addressList, uint16_t *resultList, int limit) override;
    int ibsre(int board, int value) override;
    int ibclr(int handle) override;
    int ibrsp(int handle, char *statusByte) override;
    int ibwait(int handle, int mask) override;
    int ibwrt(int handle, const void *buffer, long count) override;
    int ibrd(int handle, void *buffer, long count) override;

private:
    using Handle = gpib::DeviceHandleSettings;
    struct Link
    {
        int32_t lid = 0;
        uint32_t maxRecvSize = 0;
    };
    // A gateway's answer turned into the driver's terms.
    struct Fault
    {
        int status;
        int error;
    };
    enum class Op { Write, Read, Other };
    enum class Docmd { Done, Unsupported, Failed };

    RpcChannel::Outcome coreCall(uint32_t proc, xdrproc_t args, const void *argp,
                                 xdrproc_t results, void *resp, Clock::Duration io,
                                 int32_t lid);
    // True when the call's own answer came within the margin (only waited for with `wait`).
    bool abandon(int32_t lid, uint32_t xid, xdrproc_t results, void *resp, bool wait);
    bool lose();
    int linkFailed() { return failed(gpib::EDVR); }
    Fault fault(long vxiError, Op op, const std::string &device);
    Clock::Duration ioTime(const Handle &h) const;
    static uint32_t millis(Clock::Duration d);

    std::optional<Link> createLink(const std::string &device, long &error);
    void destroyLink(int32_t lid);
    std::vector<int32_t> linkIds() const;
    void remote(int32_t lid);
    std::string deviceName(int pad) const { return m_interface + "," + std::to_string(pad); }
    // The link for `pad`, created on first use; nullopt with the error delivered.
    std::optional<Link> deviceLink(int pad);
    template<auto Results>
    std::optional<int> genericCall(const Handle &h, uint32_t proc, xdr::Decoded<Results> &r, Op op);
    Docmd docmd(long cmd, std::string_view data, long datasize, std::string *out);
    std::optional<int> listenerByNdac(int pad, int controller, bool &unsupported);
    std::optional<bool> probe(int pad);

    std::unique_ptr<ByteLink> m_coreLink;
    RpcChannel m_core;
    Clock &m_clock;
    std::string m_interface;
    AbortOpener m_openAbort;
    Vxi11Timing m_timing;
    std::function<void(const std::string &)> m_notice;

    std::unique_ptr<ByteLink> m_abortLink;
    std::unique_ptr<RpcChannel> m_abortRpc;
    uint16_t m_abortPort = 0;

    bool m_lost = false;
    std::optional<Link> m_interfaceLink; // none when the gateway refused it
    std::set<long> m_docmdUnsupported; // docmd commands the gateway refused
    bool m_remote = false; // REN by the instruments' links: links made later go remote too
    std::map<int, Link> m_links;
};

// Where the gateway is: HOST[:PORT][/INTERFACE].
struct Vxi11Address
{
    std::string host; // a name or address, IPv6 without brackets
    uint16_t port = 111; // the gateway's port mapper
    std::string interfaceName = "gpib0";

    bool operator==(const Vxi11Address &) const = default;
};

// What follows "vxi11:": HOST, HOST:PORT, [IPV6] or [IPV6]:PORT (port 1 to 65535, 111
// when left out), each optionally followed by "/" and the interface name (letters,
// digits, "_", "-", "."; gpib0 when left out). nullopt otherwise.
std::optional<Vxi11Address> parseVxi11Address(std::string_view text);

// "at 192.168.1.20:111/gpib0": where the gateway is, for a box.
std::string vxi11Place(const Vxi11Address &address);

struct Vxi11Open
{
    std::unique_ptr<Vxi11Bus> backend; // null when opening failed
    std::string error;                 // the box text when it failed
};

// Asks the gateway's port mapper for the core channel, connects to it and starts the
// backend (see Vxi11Bus::start). The backend waits on `clock`, which must outlive it.
Vxi11Open openVxi11(const Vxi11Address &address, Clock &clock,
                    const Vxi11Timing &timing = Vxi11Timing());
