// Where a Prologix-compatible controller is reached: a serial port or a network host.
#include "bus/prologix.h"

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
    std::string_view host = text;
    std::optional<std::string_view> port;
    const auto all = [](std::string_view s, auto allowed) {
        return std::all_of(s.begin(), s.end(),
                           [&](char c) { return allowed(static_cast<unsigned char>(c)); });
    };
    if (text.starts_with('[')) {
        const size_t close = text.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':'))
            return std::nullopt;
        if (!rest.empty())
            port = rest.substr(1);
        // Brackets hold an IPv6 address.
        if (host.find(':') == std::string_view::npos ||
            !all(host, [](unsigned char c) { return std::isxdigit(c) || c == ':' || c == '.'; }))
            return std::nullopt;
    } else {
        const size_t colon = text.find(':');
        if (colon != std::string_view::npos) {
            host = text.substr(0, colon);
            port = text.substr(colon + 1);
        }
        if (!all(host, [](unsigned char c) {
                return std::isalnum(c) || c == '.' || c == '-' || c == '_';
            }))
            return std::nullopt;
    }
    if (host.empty())
        return std::nullopt;
    a.host = std::string(host);
    if (port) {
        const std::optional<int> p = WholeNumber(*port);
        if (!p || *p < 1 || *p > 65535)
            return std::nullopt;
        a.port = static_cast<uint16_t>(*p);
    }
    return a;
}

std::string prologixPlace(const PrologixAddress &address)
{
    if (address.kind == PrologixAddress::Kind::Serial)
        return "on " + address.device;
    const bool v6 = address.host.find(':') != std::string::npos;
    return "at " + (v6 ? "[" + address.host + "]" : address.host) + ":" +
           std::to_string(address.port);
}

PrologixOpen openPrologix(const PrologixAddress &address, Clock &clock,
                          const PrologixTiming &timing)
{
    const std::string place = "The Prologix-compatible GPIB controller " + prologixPlace(address);
    std::string why;
    std::unique_ptr<PrologixLink> link;
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
    if (!bus->start(why))
        return {nullptr, place + " did not answer: " + why + "."};
    return {std::move(bus), {}};
}
