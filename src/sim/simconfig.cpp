#include "sim/simconfig.h"

#include "sim/simbus.h"
#include "sim/simfunctiongenerator.h"

#include "text/trim.h"

#include <map>
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

// One listener, KIND@ADDRESS; nullopt, with `why`, when it is none.
std::optional<SimListenerSpec> parseListener(std::string_view item, std::string &why)
{
    const std::string text(item);
    const size_t at = item.find('@');
    const std::string_view number =
        at == std::string_view::npos ? std::string_view() : TrimSpace(item.substr(at + 1));
    const auto kind = kindNamed(TrimSpace(item.substr(0, at)));
    const std::optional<int> address = WholeNumber(number);
    if (item.empty())
        why = "the list has a comma too many";
    else if (number.empty())
        why = text + " has no address (KIND@ADDRESS)";
    else if (!kind)
        why = "the kind of " + text + " is none of FG5010, AFG5101, AFG5102, PFG5105, MUTE, OTHER";
    else if (!address || *address < 1 || *address > gpib::MaxPad)
        why = "the address of " + text + " is not a number from 1 to 30";
    else
        return SimListenerSpec{*kind, *address};
    return std::nullopt;
}

} // namespace

std::optional<std::vector<SimListenerSpec>> parseSimListeners(std::string_view list,
                                                              std::string *why)
{
    std::vector<SimListenerSpec> out;
    if (TrimSpace(list).empty())
        return out;
    std::map<int, std::string_view> used; // address -> the listener given it
    std::string fault;
    while (true) {
        const size_t comma = list.find(',');
        const std::string_view item = TrimSpace(list.substr(0, comma));
        const auto listener = parseListener(item, fault);
        if (!listener)
            break;
        const auto [first, fresh] = used.try_emplace(listener->address, item);
        if (!fresh) {
            fault =
                std::string(first->second) + " and " + std::string(item) + " have the same address";
            break;
        }
        out.push_back(*listener);
        if (comma == std::string_view::npos)
            return out;
        list.remove_prefix(comma + 1);
    }
    if (why)
        *why = std::move(fault);
    return std::nullopt;
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
