// Where a LAN/GPIB gateway is reached, and the way in: its port mapper names the port of
// the core channel, which is then connected to.
#include "bus/vxi11/vxi11bus.h"

#include "bus/hostport.h"

#include <rpc/pmap_prot.h>

#include <algorithm>
#include <cctype>

#include "bus/vxi11/vxi11.h"

std::optional<Vxi11Address> parseVxi11Address(std::string_view text)
{
    Vxi11Address a;
    // The interface name follows the first "/"; neither a host name nor an IPv6 address
    // holds one.
    const size_t slash = text.find('/');
    if (slash != std::string_view::npos) {
        const std::string_view name = text.substr(slash + 1);
        const bool fits = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return std::isalnum(u) || c == '_' || c == '-' || c == '.';
        });
        if (!fits)
            return std::nullopt;
        a.interfaceName = std::string(name);
        text = text.substr(0, slash);
    }
    if (!parseHostPort(text, a.host, a.port))
        return std::nullopt;
    return a;
}

std::string vxi11Place(const Vxi11Address &address)
{
    return "at " + hostPortText(address.host, address.port) + "/" + address.interfaceName;
}

Vxi11Open openVxi11(const Vxi11Address &address, Clock &clock, const Vxi11Timing &timing)
{
    const std::string place = "The LAN/GPIB gateway " + vxi11Place(address);
    const Clock::Duration wait = timing.command + timing.margin;
    std::string why;
    uint16_t corePort = 0;
    {
        std::unique_ptr<ByteLink> mapper =
            connectTcp(address.host, address.port, wait, "the gateway", why);
        if (!mapper)
            return {nullptr, place + " could not be reached: " + why + "."};
        RpcChannel rpc(*mapper, clock, 1024);
        pmap query{DEVICE_CORE, DEVICE_CORE_VERSION, xdr::TcpProtocol, 0};
        xdr::Decoded<xdr_u_long> port;
        const auto out = rpc.call(PMAPPROG, PMAPVERS, PMAPPROC_GETPORT, xdr::proc<xdr_pmap>, &query,
                                  port.proc, &port.value, clock.now() + wait, timing.slice);
        if (out != RpcChannel::Outcome::Done)
            return {nullptr, place + " did not answer as a port mapper on port " +
                                 std::to_string(address.port) + "."};
        if (port.value == 0 || port.value > 65535)
            return {nullptr, place + " offers no VXI-11 instrument service (its port mapper "
                                     "knows no core channel)."};
        corePort = static_cast<uint16_t>(port.value);
    }
    std::unique_ptr<ByteLink> core = connectTcp(address.host, corePort, wait, "the gateway", why);
    if (!core)
        return {nullptr, place + " could not be reached on its core channel (port " +
                             std::to_string(corePort) + "): " + why + "."};
    const std::string host = address.host;
    const Clock::Duration margin = timing.margin;
    auto openAbort = [host, margin](uint16_t port) {
        std::string ignored;
        return connectTcp(host, port, margin, "the gateway", ignored);
    };
    auto bus = std::make_unique<Vxi11Bus>(std::move(core), clock, address.interfaceName,
                                          openAbort, timing);
    if (!bus->start(why))
        return {nullptr, place + " cannot be used: " + why + "."};
    return {std::move(bus), {}};
}
