#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Reads a network place as the user writes it: HOST, HOST:PORT, [IPV6] or [IPV6]:PORT, with
// a port of 1 to 65535. `host` gets the name or address (IPv6 without brackets); `port`
// keeps what it holds, the default, when the text names none. False, both untouched, when
// `text` is none of these forms.
bool parseHostPort(std::string_view text, std::string &host, uint16_t &port);

// "192.168.1.20:1234", "[fe80::1]:111".
std::string hostPortText(const std::string &host, uint16_t port);
