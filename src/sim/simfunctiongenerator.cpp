#include "sim/simfunctiongenerator.h"

#include "sim/simcommand.h"

#include <cmath>
#include <vector>

namespace {

// What each model accepts, written from the instruments' front-panel behaviour. Volts
// are for the model's reference load: open circuit for the FG5010, 50 ohms otherwise.
struct Limits
{
    double minFrequency, maxFrequency;
    double minAmplitude, maxAmplitude;
    double maxOffset;
    double maxPeak;          // amplitude / 2 + |offset|
    bool variableSymmetry;   // "SYM" accepted at all
    double fullSpanFrequency; // above it symmetry narrows (FG5010) or is 50 % only
    bool narrowingSpan;
    bool halfAmplitudeIn10mV; // peak check on the half amplitude cut to 10 mV steps
};

const Limits &limitsOf(SimFunctionGenerator::Model model)
{
    using M = SimFunctionGenerator::Model;
    static const Limits fg5010{0.002, 20e6, 0.02, 20, 7.5, 15, true, 4e6, true, false};
    static const Limits afg5101{0.012, 12e6, 0.01, 9.99, 4.99, 4.99, false, 0, false, true};
    static const Limits afg5102{0.02, 20e6, 0.015, 15, 7.49, 7.5, true, 2e6, false, false};
    switch (model) {
    case M::FG5010:
        return fg5010;
    case M::AFG5102:
        return afg5102;
    case M::AFG5101:
    case M::PFG5105:
        break;
    }
    return afg5101;
}

// The front end computes its figures in single precision: a limit typed exactly is
// accepted even when the two sides differ in the last bits.
constexpr double Slack = 1e-6;

bool above(double value, double limit)
{
    return value > limit * (1 + Slack) + 1e-12;
}

bool below(double value, double limit)
{
    return value < limit * (1 - Slack) - 1e-12;
}

const char *waveformName(SimFunctionGenerator::Waveform w)
{
    switch (w) {
    case SimFunctionGenerator::Waveform::Square:
        return "SQUARE";
    case SimFunctionGenerator::Waveform::Triangle:
        return "TRIANGLE";
    case SimFunctionGenerator::Waveform::Sine:
        break;
    }
    return "SINE";
}

bool wellFormedQuery(const SimCommand &c)
{
    static const char *const queries[] = {"AMPL", "OFFS", "FREQ", "FUNC", "SYM", "OUT", "ID"};
    bool known = false;
    for (const char *q : queries)
        known = known || c.header == q;
    return known && c.argument.empty();
}

// What a setting command does: change a setting the limits check, change what needs no
// check (the output, the settings at power-on), or nothing, refused as malformed.
enum class Effect { Setting, Unchecked, Malformed };

Effect apply(const SimCommand &c, const Limits &l, SimFunctionGenerator::State &next)
{
    using W = SimFunctionGenerator::Waveform;
    const auto number = parseSimNumber(c.argument);
    if (c.header == "AMPL" && number) {
        next.amplitude = *number;
    } else if (c.header == "OFFS" && number) {
        next.offset = *number;
    } else if (c.header == "FREQ" && number) {
        next.frequency = *number;
    } else if (c.header == "SYM" && number && l.variableSymmetry) {
        next.symmetry = *number;
    } else if (c.header == "FUNC" && c.argument == "SINE") {
        next.waveform = W::Sine;
    } else if (c.header == "FUNC" && c.argument == "SQUARE") {
        next.waveform = W::Square;
    } else if (c.header == "FUNC" && c.argument == "TRIANGLE") {
        next.waveform = W::Triangle;
    } else if (c.header == "OUT" && (c.argument == "ON" || c.argument == "OFF")) {
        next.outputOn = c.argument == "ON";
        return Effect::Unchecked;
    } else if (c.header == "INIT" && c.argument.empty()) {
        next = SimFunctionGenerator::State{};
        return Effect::Unchecked;
    } else {
        return Effect::Malformed;
    }
    return Effect::Setting;
}

// A query's part of the reply, empty for one the model does not answer.
std::string answer(const SimCommand &c, const SimFunctionGenerator::State &s,
                   SimFunctionGenerator::Model model, const Limits &l)
{
    if (c.header == "AMPL")
        return "AMPL " + engineeringText(s.amplitude, 3);
    if (c.header == "OFFS")
        return "OFFS " + engineeringText(s.offset, 3);
    if (c.header == "FREQ")
        return "FREQ " + engineeringText(s.frequency, 4);
    if (c.header == "FUNC")
        return std::string("FUNC ") + waveformName(s.waveform);
    if (c.header == "SYM" && l.variableSymmetry)
        return "SYM " + plainText(s.symmetry, 3);
    if (c.header == "OUT")
        return s.outputOn ? "OUT ON" : "OUT OFF";
    if (c.header == "ID")
        return "ID SIM/" + SimFunctionGenerator::modelName(model) + ",V2.1";
    return {};
}

} // namespace

SimFunctionGenerator::SimFunctionGenerator(Model model) : m_model(model) {}

std::string SimFunctionGenerator::modelName(Model model)
{
    switch (model) {
    case Model::FG5010:
        return "FG5010";
    case Model::AFG5101:
        return "AFG5101";
    case Model::AFG5102:
        return "AFG5102";
    case Model::PFG5105:
        return "PFG5105";
    }
    return {};
}

bool SimFunctionGenerator::withinLimits(const State &s) const
{
    const Limits &l = limitsOf(m_model);
    if (above(s.frequency, l.maxFrequency) || below(s.frequency, l.minFrequency))
        return false;
    if (above(s.amplitude, l.maxAmplitude) || below(s.amplitude, l.minAmplitude))
        return false;
    if (above(std::fabs(s.offset), l.maxOffset))
        return false;
    double half = s.amplitude / 2;
    if (l.halfAmplitudeIn10mV)
        half = std::floor(half * 100 + 1e-7) / 100;
    if (above(half + std::fabs(s.offset), l.maxPeak))
        return false;
    if (!l.variableSymmetry || s.symmetry == 50)
        return true;
    if (s.frequency <= l.fullSpanFrequency * (1 + Slack))
        return !above(s.symmetry, 90) && !below(s.symmetry, 10);
    if (!l.narrowingSpan)
        return false;
    // Above 4 MHz the FG5010 keeps one percent of symmetry away from each edge for every
    // 400 kHz, rounded up.
    const double margin = std::ceil(s.frequency / 400e3 - 1e-9);
    return !above(s.symmetry, 100 - margin) && !below(s.symmetry, margin);
}

void SimFunctionGenerator::receive(std::string_view message)
{
    output().clear();
    const Limits &l = limitsOf(m_model);
    const std::vector<SimCommand> commands = splitCommands(message);

    // The whole message is checked before any of it takes effect.
    State next = m_state;
    bool malformed = false;
    bool settingsChanged = false;
    for (const SimCommand &c : commands) {
        if (c.query) {
            malformed = malformed || !wellFormedQuery(c);
            continue;
        }
        const Effect effect = apply(c, l, next);
        malformed = malformed || effect == Effect::Malformed;
        settingsChanged = settingsChanged || effect == Effect::Setting;
    }

    if (malformed)
        flagError(SimCommandError);
    else if (settingsChanged && !withinLimits(next))
        flagError(SimExecutionError);
    else
        m_state = next;

    std::string reply;
    for (const SimCommand &c : commands) {
        if (!c.query || malformed)
            continue;
        const std::string part = answer(c, m_state, m_model, l);
        if (part.empty())
            continue;
        if (!reply.empty())
            reply += ';';
        reply += part;
    }
    output() = reply;
}
