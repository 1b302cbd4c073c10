#include "instrument/commands.h"

#include "text/numberparse.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cctype>
#include <cstdlib>
#include <utility>

std::string ComputedNumberText(double value)
{
    if (value == 0 || !std::isfinite(value))
        return "0";
    // Fifteen significant digits, then laid out without an exponent.
    std::array<char, 64> buf{};
    const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), std::fabs(value),
                                 std::chars_format::scientific, 14);
    const std::string_view sci(buf.data(), static_cast<size_t>(r.ptr - buf.data()));
    const size_t e = sci.find('e');
    std::string digits;
    for (const char c : sci.substr(0, e))
        if (c != '.')
            digits += c;
    const int exponent = std::atoi(std::string(sci.substr(e + 1)).c_str());

    std::string whole, fraction;
    if (exponent >= 0) {
        const size_t n = static_cast<size_t>(exponent) + 1;
        if (digits.size() < n)
            digits.append(n - digits.size(), '0');
        whole = digits.substr(0, n);
        fraction = digits.substr(n);
    } else {
        fraction = std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    }
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    std::string text = value < 0 ? "-" : "";
    text += whole; // empty below 1: no leading zero
    if (!fraction.empty())
        text += "." + fraction;
    return text;
}

namespace {

std::string VoltsForLoad(const std::string &fieldText, Model ModelIndex, OutputLoad load)
{
    const double factor = LoadFactor(ModelIndex, load);
    if (factor == 1)
        return fieldText;
    return ComputedNumberText(LeadingNumber(fieldText) * factor);
}

} // namespace

std::string AmplitudeForLoad(const std::string &fieldText, Model ModelIndex, OutputLoad load)
{
    return VoltsForLoad(fieldText, ModelIndex, load);
}

std::string OffsetForLoad(const std::string &fieldText, Model ModelIndex, OutputLoad load)
{
    return VoltsForLoad(fieldText, ModelIndex, load);
}

std::string FunctionName(int16_t selectedFunction)
{
    switch (selectedFunction) {
    case 0:
        return "SINE";
    case 1:
        return "SQUARE";
    case 2:
        return "TRIANGLE";
    default:
        return {};
    }
}

bool IsNumberText(const std::string &text)
{
    std::string t;
    for (const char c : text)
        if (c != ' ')
            t += c;
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    bool point = false;
    for (; i < t.size() && (std::isdigit(static_cast<unsigned char>(t[i])) || t[i] == '.'); ++i) {
        if (t[i] == '.' && std::exchange(point, true))
            return false;
    }
    if (i < t.size() && (t[i] == 'E' || t[i] == 'e')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            ++i;
        const size_t digits = i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
            ++i;
        if (i == digits)
            return false;
    }
    return i == t.size();
}

namespace {

std::string numberCommand(const char *header, const std::string &fieldText,
                          const std::string &argument)
{
    return IsNumberText(fieldText) ? header + argument : std::string();
}

} // namespace

std::string AmplitudeCommand(const SettingsSnapshot &s, Model ModelIndex)
{
    return numberCommand("AMPL ", s.Amplitude, AmplitudeForLoad(s.Amplitude, ModelIndex, s.load));
}

std::string OffsetCommand(const SettingsSnapshot &s, Model ModelIndex)
{
    return numberCommand("OFFS ", s.Offset, OffsetForLoad(s.Offset, ModelIndex, s.load));
}

std::string FrequencyCommand(const SettingsSnapshot &s)
{
    return numberCommand("FREQ ", s.Frequency,
                         s.Frequency + "E+" + std::to_string(s.FrequencyMultiplier));
}

std::string SymmetryCommand(const SettingsSnapshot &s)
{
    return numberCommand("SYM ", s.Symmetry, s.Symmetry);
}

std::string SettingLine(const SettingsSnapshot &s, Model ModelIndex)
{
    const std::string parts[] = {AmplitudeCommand(s, ModelIndex), OffsetCommand(s, ModelIndex),
                                 FrequencyCommand(s)};
    std::string line;
    for (const std::string &part : parts) {
        if (part.empty())
            return {};
        line += part + ";";
    }
    line += "FUNC " + FunctionName(s.SelectedFunction);
    // The AFG5101 and PFG5105 have no variable symmetry and refuse "SYM".
    if (HasSymmetry(ModelIndex)) {
        const std::string symmetry = SymmetryCommand(s);
        if (symmetry.empty())
            return {};
        line += ";" + symmetry;
    }
    return line;
}
