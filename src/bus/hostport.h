#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A network place as the user writes it: HOST, HOST:PORT, [IPV6] or [IPV6]:PORT.
struct HostPort
{
    std::string host; // a name or an address, IPv6 without brackets
    uint16_t port = 0;
};

// nullopt unless `text` is one of the forms above, with a port of 1 to 65535;
// `defaultPort` when it has none.
std::optional<HostPort> parseHostPort(std::string_view text, uint16_t defaultPort);

// "192.168.1.20:1234", "[fe80::1]:111".
std::string hostPortText(const std::string &host, uint16_t port);
