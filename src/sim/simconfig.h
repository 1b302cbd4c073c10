#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class SimBus;
class SimDevice;

// What stands on a simulated bus, as written after "sim:": listeners KIND@ADDRESS
// separated by ",", KIND one of FG5010, AFG5101, AFG5102, PFG5105 (function generators),
// MUTE (listens, never answers) or OTHER (answers "ID?" as another kind of instrument);
// ADDRESS a primary address from 1 to 30, each used once. "" is a bus with no instrument.
struct SimListenerSpec
{
    enum class Kind { FG5010, AFG5101, AFG5102, PFG5105, Mute, Other };
    Kind kind;
    int address;
};

// What stands on a simulated bus that nobody described: one FG5010 at address 5.
inline constexpr std::string_view DefaultSimListeners = "FG5010@5";

// nullopt when the text is not such a list; then `why`, when given, names the listener at
// fault and what is wrong with it, e.g. "FG5010 has no address (KIND@ADDRESS)".
std::optional<std::vector<SimListenerSpec>> parseSimListeners(std::string_view list,
                                                              std::string *why = nullptr);

std::unique_ptr<SimDevice> makeSimDevice(SimListenerSpec::Kind kind);

void populateSimBus(SimBus &bus, const std::vector<SimListenerSpec> &listeners);
