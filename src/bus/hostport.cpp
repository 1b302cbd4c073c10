#include "bus/hostport.h"

#include "text/trim.h"

#include <algorithm>
#include <cctype>
#include <optional>

bool parseHostPort(std::string_view text, std::string &hostOut, uint16_t &portOut)
{
    std::string_view host = text;
    std::optional<std::string_view> port;
    const auto all = [](std::string_view s, auto allowed) {
        return std::all_of(s.begin(), s.end(),
                           [&](char c) { return allowed(static_cast<unsigned char>(c)); });
    };
    if (text.starts_with('[')) {
        const size_t close = text.find(']');
        if (close == std::string_view::npos)
            return false;
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':'))
            return false;
        if (!rest.empty())
            port = rest.substr(1);
        // Brackets hold an IPv6 address.
        if (host.find(':') == std::string_view::npos ||
            !all(host, [](unsigned char c) { return std::isxdigit(c) || c == ':' || c == '.'; }))
            return false;
    } else {
        const size_t colon = text.find(':');
        if (colon != std::string_view::npos) {
            host = text.substr(0, colon);
            port = text.substr(colon + 1);
        }
        if (!all(host, [](unsigned char c) {
                return std::isalnum(c) || c == '.' || c == '-' || c == '_';
            }))
            return false;
    }
    if (host.empty())
        return false;
    if (port) {
        const std::optional<int> p = WholeNumber(*port);
        if (!p || *p < 1 || *p > 65535)
            return false;
        portOut = static_cast<uint16_t>(*p);
    }
    hostOut = std::string(host);
    return true;
}

std::string hostPortText(const std::string &host, uint16_t port)
{
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}
