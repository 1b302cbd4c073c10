#include "sim/simconfig.h"

#include "sim/simbus.h"
#include "sim/simfunctiongenerator.h"

#include "text/trim.h"

#include <charconv>
#include <set>
#include <string>

namespace {

std::optional<SimListenerSpec::Kind> kindNamed(std::string_view name)
{
    using K = SimListenerSpec::Kind;
    static const std::pair<std::string_view, K> kinds[] = {
        {"FG5010", K::FG5010},   {"AFG5101", K::AFG5101}, {"AFG5102", K::AFG5102},
        {"PFG5105", K::PFG5105}, {"MUTE", K::Mute},       {"OTHER", K::Other}};
    for (const auto &[n, k] : kinds)
        if (n == name)
            return k;
    return std::nullopt;
}

} // namespace

std::optional<std::vector<SimListenerSpec>> parseSimListeners(std::string_view list)
{
    std::vector<SimListenerSpec> out;
    if (TrimSpace(list).empty())
        return out;
    std::set<int> used;
    while (true) {
        const size_t comma = list.find(',');
        const std::string_view item = TrimSpace(list.substr(0, comma));
        const size_t at = item.find('@');
        if (at == std::string_view::npos)
            return std::nullopt;
        const auto kind = kindNamed(TrimSpace(item.substr(0, at)));
        const std::string_view number = TrimSpace(item.substr(at + 1));
        int address = 0;
        const auto r = std::from_chars(number.data(), number.data() + number.size(), address);
        if (!kind || number.empty() || r.ec != std::errc() ||
            r.ptr != number.data() + number.size() || address < 1 || address > 30 ||
            !used.insert(address).second)
            return std::nullopt;
        out.push_back({*kind, address});
        if (comma == std::string_view::npos)
            break;
        list.remove_prefix(comma + 1);
    }
    return out;
}

std::unique_ptr<SimDevice> makeSimDevice(SimListenerSpec::Kind kind)
{
    using K = SimListenerSpec::Kind;
    using M = SimFunctionGenerator::Model;
    switch (kind) {
    case K::FG5010:
        return std::make_unique<SimFunctionGenerator>(M::FG5010);
    case K::AFG5101:
        return std::make_unique<SimFunctionGenerator>(M::AFG5101);
    case K::AFG5102:
        return std::make_unique<SimFunctionGenerator>(M::AFG5102);
    case K::PFG5105:
        return std::make_unique<SimFunctionGenerator>(M::PFG5105);
    case K::Mute:
        return std::make_unique<SimMuteDevice>();
    case K::Other:
        break;
    }
    return std::make_unique<SimOtherDevice>();
}

void populateSimBus(SimBus &bus, const std::vector<SimListenerSpec> &listeners)
{
    for (const SimListenerSpec &l : listeners)
        bus.attach(l.address, makeSimDevice(l.kind));
}
