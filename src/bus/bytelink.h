#pragma once

#include "bus/clock.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// A byte stream to a GPIB controller: a TCP connection or a serial port. Backends speak
// their protocol over it; tests put a scripted peer in its place.
class ByteLink
{
public:
    virtual ~ByteLink() = default;

    // Sends all of `bytes`, waiting at most `limit` for them to leave; false when the
    // link failed.
    virtual bool send(std::string_view bytes, Clock::Duration limit) = 0;
    // Waits at most `limit` for bytes and appends those that came (maybe none) to `into`;
    // false when the link failed (closed by the other end, or an I/O error).
    virtual bool receive(std::string &into, Clock::Duration limit) = 0;
    // Why the link failed, as a sentence part for a box ("Connection refused").
    virtual std::string failure() const = 0;
};

// A TCP connection to `host` (a name, IPv4 or IPv6 without brackets) on `port`, within
// `limit`; null, with `why`, when it cannot be made. `peer` names the other end in the
// failure texts ("the controller", "the gateway").
std::unique_ptr<ByteLink> connectTcp(const std::string &host, uint16_t port, Clock::Duration limit,
                                     const std::string &peer, std::string &why);
