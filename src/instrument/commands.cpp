#include "instrument/commands.h"

#include "gpib/numberparse.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

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

std::string VoltsForLoad(const std::string &fieldText, int16_t ModelIndex, OutputLoad load)
{
    const double factor = LoadFactor(ModelIndex, load);
    if (factor == 1)
        return fieldText;
    return ComputedNumberText(LeadingNumber(fieldText) * factor);
}

} // namespace

std::string AmplitudeForLoad(const std::string &fieldText, int16_t ModelIndex, OutputLoad load)
{
    return VoltsForLoad(fieldText, ModelIndex, load);
}

std::string OffsetForLoad(const std::string &fieldText, int16_t ModelIndex, OutputLoad load)
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

std::string FrequencyCommand(const SettingsSnapshot &s)
{
    return "FREQ " + s.Frequency + "E+" + std::to_string(s.FrequencyMultiplier);
}

std::string SettingLine(const SettingsSnapshot &s, int16_t ModelIndex)
{
    std::string line = "AMPL " + AmplitudeForLoad(s.Amplitude, ModelIndex, s.load) + ";" +
                       "OFFS " + OffsetForLoad(s.Offset, ModelIndex, s.load) + ";" +
                       FrequencyCommand(s) + ";" + "FUNC " + FunctionName(s.SelectedFunction);
    // The AFG5101 and PFG5105 have no variable symmetry and refuse "SYM".
    if (ModelIndex != 2)
        line += ";SYM " + s.Symmetry;
    return line;
}
