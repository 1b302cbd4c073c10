#include "text/format.h"

#include "text/numberparse.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t kSignificantDigits = 7;

// Decimal exponents outside [-4, 7) are written in exponent form.
constexpr int kPlainMinExponent = -4;
constexpr int kPlainMaxExponent = 7;

// A format code can ask for any width; beyond this the padding is cut so that an absurd
// code cannot make a gigantic string.
constexpr int kMaxWidth = 1024;

// Decimals a format code can ask for: its first decimal digit, rounded, is at most 10.
constexpr int kMaxDecimals = 10;
constexpr std::array<double, kMaxDecimals + 1> kPow10 = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5,
                                                         1e6, 1e7, 1e8, 1e9, 1e10};

// Whole part of x, clamped to [lo, hi]; NaN gives lo. Keeps odd codes from overflowing
// an int.
int WholeClamped(double x, int lo, int hi)
{
    if (!(x > lo)) {
        return lo;
    }
    if (x >= hi) {
        return hi;
    }
    return static_cast<int>(x);
}

// Digits before the point of a finite a >= 0, at least 1. The sum log10(a) + 1 is
// rounded to single precision before its whole part is taken, so that a float just
// below a power of ten (999.99994) counts the digits of that power.
int IntegerDigits(float a)
{
    if (a <= 0) {
        return 1;
    }
    const float sum = static_cast<float>(std::log10(static_cast<double>(a)) + 1.0);
    return std::max(1, static_cast<int>(std::trunc(sum)));
}

// Significant digits of |value| (finite, non-zero) rounded half up to 7, without
// trailing zeros, and the decimal exponent of the first of them.
void RoundedDigits(float value, std::string &digits, int &exponent)
{
    // The exact expansion of a float has at most 112 significant digits; rounding from
    // it is half up on the true value, where to_chars at 7 digits would round to even.
    char buf[160];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(static_cast<double>(value)),
                                   std::chars_format::scientific, 120);
    const std::string_view exact(buf, static_cast<std::size_t>(res.ptr - buf));
    const std::size_t e = exact.find('e');

    std::string all(1, exact[0]);
    all.append(exact.substr(2, e - 2)); // skip the point
    std::size_t expStart = e + 1;
    if (exact[expStart] == '+') {
        ++expStart; // from_chars takes no plus sign
    }
    std::from_chars(exact.data() + expStart, exact.data() + exact.size(), exponent);

    digits = all.substr(0, kSignificantDigits);
    if (all[kSignificantDigits] >= '5') {
        std::size_t i = kSignificantDigits;
        while (i > 0 && digits[i - 1] == '9') {
            digits[--i] = '0';
        }
        if (i == 0) {
            digits.insert(digits.begin(), '1'); // 9999999.5 becomes 1000000 one decade up
            digits.pop_back();
            ++exponent;
        } else {
            ++digits[i - 1];
        }
    }
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }
}

// The free layout (code 0): the number text with a 0 before a leading point.
std::string freeText(float value)
{
    std::string text = NumberText(value);
    // " .25" becomes " 0.25". Testing the text rather than |value| < 1 leaves the
    // exponent form of tiny values (" 1.5E-05") alone.
    if (text.size() > 1 && text[1] == '.') {
        text.insert(text.begin() + 1, '0');
    }
    return text;
}

// A layout by s significant digits (code g above 100) as the width and decimals code it
// amounts to for a >= 0; a text with no decimals left starts with a blank.
float significantCode(float a, float g, int s, double r, std::string &prefix)
{
    int e = IntegerDigits(a);
    int d = std::max(0, s - e);
    // Rounding may carry into a new integer digit (9.9996 to 10.000): one decimal
    // less. d > 0 here implies e < s <= 10, inside the table.
    if (d != 0 && std::floor(static_cast<double>(a) + r / kPow10[d]) >= kPow10[e]) {
        ++e;
        --d;
    }
    if (d == 0) {
        prefix = " ";
    }
    return std::trunc(g / 100.0f) + static_cast<float>(e) - 1.0f + static_cast<float>(d) / 10.0f;
}

// a rounded (r = 0.5) or cut (r = 0) at d decimals, from its 7-digit value, in single
// precision.
float roundedAt(float a, int d, double r)
{
    const float reduced = static_cast<float>(LeadingNumber(NumberText(a)));
    const float scaled = static_cast<float>(static_cast<double>(reduced) * kPow10[d]);
    if (std::isfinite(scaled)) {
        return static_cast<float>(std::floor(static_cast<double>(scaled) + r) / kPow10[d]);
    }
    // Only a whole number this large overflows when scaled: there is nothing to cut.
    return reduced;
}

// The digits of a >= 0 before and after the point, with d decimals.
void splitDigits(float a, int d, std::string &intPart, std::string &fraction)
{
    const std::string text = NumberText(a).substr(1);
    if (text.find('E') != std::string::npos) {
        // Exponent form carries its own point and scale: the whole text is the integer
        // part, and no decimals are appended after the exponent.
        intPart = text;
        return;
    }
    const float whole = std::trunc(a);
    intPart = NumberText(whole).substr(1);
    fraction = text.substr(std::min(intPart.size(), text.size()));
    if (d != 0) {
        // Below 1 the text has no 0 before the point, so the cut above took the point.
        if (whole == 0 || fraction.empty()) {
            fraction.insert(fraction.begin(), '.');
        }
        const int zeros = d - static_cast<int>(fraction.size()) + 1;
        if (zeros > 0) {
            fraction.append(static_cast<std::size_t>(zeros), '0');
        }
    }
}

} // namespace

std::string NumberText(float value)
{
    if (std::isnan(value)) {
        return " NAN";
    }
    if (std::isinf(value)) {
        // The first power of ten beyond single range: read back into a float it gives
        // infinity again, so an overflowed field stays out of range instead of reading 0.
        return value < 0 ? "-1E+39" : " 1E+39";
    }

    std::string text(1, value < 0 ? '-' : ' ');
    if (value == 0) {
        text += '0';
        return text;
    }

    std::string digits;
    int exponent = 0;
    RoundedDigits(value, digits, exponent);

    if (exponent < kPlainMinExponent || exponent >= kPlainMaxExponent) {
        text += digits[0];
        if (digits.size() > 1) {
            text += '.';
            text.append(digits, 1);
        }
        text += exponent < 0 ? "E-" : "E+";
        const int magnitude = std::abs(exponent);
        if (magnitude < 10) {
            text += '0';
        }
        text += std::to_string(magnitude);
    } else if (exponent >= 0) {
        const std::size_t intLength = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= intLength) {
            text += digits;
            text.append(intLength - digits.size(), '0');
        } else {
            text.append(digits, 0, intLength);
            text += '.';
            text.append(digits, intLength);
        }
    } else {
        text += '.';
        text.append(static_cast<std::size_t>(-exponent - 1), '0');
        text += digits;
    }
    return text;
}

std::string FormatNumber(float value, float formatCode)
{
    if (formatCode == 0) {
        return freeText(value);
    }

    const bool negative = value < 0;
    float a = std::fabs(value);
    const double r = formatCode > 0 ? 0.5 : 0.0;
    float g = std::fabs(formatCode);
    std::string prefix;

    const bool significantForm = g > 100;
    int s = 0;
    if (significantForm) {
        s = WholeClamped(std::nearbyint(g - 10.0f * std::trunc(g / 10.0f)), 0, kMaxDecimals);
        if (s == 1) {
            return "Error: IntFrac=" + NumberText(g) + " ";
        }
    }

    if (!std::isfinite(a)) {
        return NumberText(value); // no digits to place
    }

    if (significantForm) {
        g = significantCode(a, g, s, r, prefix);
    }

    const float wholeG = std::trunc(g);
    int w = WholeClamped(wholeG, 0, kMaxWidth);
    const int d = WholeClamped(std::nearbyint((g - wholeG) * 10.0f), 0, kMaxDecimals);
    a = roundedAt(a, d, r);

    const int l = std::trunc(a) > 0 ? IntegerDigits(a) : 1;
    if (w <= l) {
        w = l + 1; // room for the sign
    }

    std::string intPart;
    std::string fraction;
    splitDigits(a, d, intPart, fraction);
    intPart.insert(intPart.begin(), negative ? '-' : ' ');
    std::string result = prefix;
    if (intPart.size() < static_cast<std::size_t>(w)) {
        result.append(static_cast<std::size_t>(w) - intPart.size(), ' ');
    }
    result += intPart;
    result += fraction;
    return result;
}
