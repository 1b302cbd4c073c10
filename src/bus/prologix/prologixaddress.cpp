// Where a Prologix-compatible controller is reached: a serial port or a network host.
#include "bus/prologix/prologix.h"

#include "bus/hostport.h"
#include "text/trim.h"

#include <algorithm>
#include <cctype>

std::optional<PrologixAddress> parsePrologixAddress(std::string_view text)
{
    PrologixAddress a;
    if (text.starts_with('/')) {
        a.kind = PrologixAddress::Kind::Serial;
        a.device = std::string(text);
        return a;
    }
    const bool comPort = text.size() > 3 && (text.starts_with("COM") || text.starts_with("com")) &&
                         std::all_of(text.begin() + 3, text.end(), [](char c) {
                             return std::isdigit(static_cast<unsigned char>(c));
                         });
    if (comPort) {
        const std::optional<int> n = WholeNumber(text.substr(3));
        if (!n || *n < 1 || *n > 256)
            return std::nullopt;
        a.kind = PrologixAddress::Kind::Serial;
        a.device = "COM" + std::to_string(*n);
        return a;
    }
    if (!parseHostPort(text, a.host, a.port))
        return std::nullopt;
    return a;
}

std::string prologixPlace(const PrologixAddress &address)
{
    if (address.kind == PrologixAddress::Kind::Serial)
        return "on " + address.device;
    return "at " + hostPortText(address.host, address.port);
}

PrologixOpen openPrologix(const PrologixAddress &address, Clock &clock,
                          const PrologixTiming &timing)
{
    const std::string place = "The Prologix-compatible GPIB controller " + prologixPlace(address);
    std::string why;
    std::unique_ptr<ByteLink> link;
    PrologixTiming t = timing;
    if (address.kind == PrologixAddress::Kind::Serial) {
        link = openPrologixSerial(address.device, why);
        // An AR488 restarts when its port opens and takes a second or two to listen.
        t.helloAttempts = std::max(t.helloAttempts, 3);
    } else {
        link = connectPrologixTcp(address.host, address.port, std::chrono::seconds(5), why);
    }
    if (!link)
        return {nullptr, place + " could not be opened: " + why + "."};
    auto bus = std::make_unique<PrologixBus>(std::move(link), clock, t);
    if (bus->start(why))
        return {std::move(bus), {}};
    std::string error = place + " did not answer: " + why + ".";
    // The GPIB-Ethernet box serves one TCP client at a time: it closes a second connection
    // at once, or takes it and leaves it unanswered while the first one lasts.
    if (address.kind == PrologixAddress::Kind::Tcp)
        error += "\n\nThe controller serves one client at a time: another program or Wavedial "
                 "window may be connected to it. Close that one, then start Wavedial again.";
    return {nullptr, error};
}
