#include "sim/simcommand.h"

#include "text/trim.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Fixed-point text with `decimals` decimals; locale-independent, unlike printf.
std::string fixedText(double value, int decimals)
{
    std::array<char, 64> buf{};
    const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), value,
                                 std::chars_format::fixed, decimals);
    return std::string(buf.data(), r.ptr);
}

} // namespace

std::vector<SimCommand> splitCommands(std::string_view message)
{
    std::vector<SimCommand> out;
    while (!message.empty()) {
        const size_t semi = message.find(';');
        const std::string_view part = TrimSpace(message.substr(0, semi));
        message = semi == std::string_view::npos ? std::string_view{} : message.substr(semi + 1);
        if (part.empty())
            continue;
        SimCommand c;
        size_t i = 0;
        while (i < part.size() && std::isalpha(static_cast<unsigned char>(part[i])))
            c.header += static_cast<char>(std::toupper(static_cast<unsigned char>(part[i++])));
        if (i < part.size() && part[i] == '?') {
            c.query = true;
            ++i;
        }
        c.argument = std::string(TrimSpace(part.substr(i)));
        // A header glued to its argument ("AMPL5") is no command of the language.
        if (!c.query && i < part.size() && !std::isspace(static_cast<unsigned char>(part[i])))
            c.header.clear();
        out.push_back(std::move(c));
    }
    return out;
}

std::optional<double> parseSimNumber(std::string_view text)
{
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    size_t digits = 0;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return std::nullopt;
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        size_t expDigits = 0;
        while (i < text.size() && isDigit(text[i])) {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != text.size())
        return std::nullopt;
    std::string_view number = text;
    if (number.front() == '+')
        number.remove_prefix(1);
    double value = 0;
    const auto r = std::from_chars(number.data(), number.data() + number.size(), value);
    if (r.ec != std::errc() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string engineeringText(double value, int digits)
{
    if (value == 0 || !std::isfinite(value))
        return fixedText(0, digits - 1) + "E+0";
    // Round to the significant digits first, so that a carry (999.96 -> 1.000E+3) picks
    // the next group of three.
    std::array<char, 64> buf{};
    const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), value,
                                 std::chars_format::scientific, digits - 1);
    const std::string_view sci(buf.data(), static_cast<size_t>(r.ptr - buf.data()));
    const size_t e = sci.find('e');
    int decimalExponent = 0;
    std::from_chars(sci.data() + e + 1 + (sci[e + 1] == '+'), sci.data() + sci.size(),
                    decimalExponent);
    double rounded = 0;
    std::from_chars(sci.data(), sci.data() + sci.size(), rounded);
    const int exponent = static_cast<int>(std::floor(decimalExponent / 3.0)) * 3;
    const int whole = decimalExponent - exponent + 1;
    return fixedText(rounded / std::pow(10.0, exponent), std::max(0, digits - whole)) +
           (exponent < 0 ? "E-" : "E+") + std::to_string(std::abs(exponent));
}

std::string plainText(double value, int digits)
{
    if (value == 0 || !std::isfinite(value))
        return "0";
    const int whole = static_cast<int>(std::floor(std::log10(std::fabs(value)))) + 1;
    std::string s = fixedText(value, std::max(0, digits - whole));
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.')
            s.pop_back();
    }
    return s;
}
