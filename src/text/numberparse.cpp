#include "text/numberparse.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string>
#include <system_error>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Walks the text, stepping over blanks wherever they stand.
class Cursor
{
public:
    explicit Cursor(std::string_view text) : text_(text) {}

    // The next non-blank character, or '\0' at the end.
    char peek()
    {
        while (pos_ < text_.size() && IsBlank(text_[pos_])) {
            ++pos_;
        }
        return pos_ < text_.size() ? text_[pos_] : '\0';
    }
    void advance() { ++pos_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// Far beyond any double exponent, small enough not to overflow while accumulating.
constexpr long kExponentCap = 100000;

// The mantissa's digits and point, copied without blanks for std::from_chars, which reads
// "." whatever the C or Qt locale; and the decimal order of its first non-zero digit, to
// tell overflow from underflow when from_chars reports the result out of range.
struct Mantissa
{
    std::string text;
    bool seenDigit = false;
    long intDigits = 0;     // integer digits from the first non-zero one on
    long fractionZeros = 0; // zeros after the point before the first non-zero digit
};

Mantissa readMantissa(Cursor &cursor)
{
    Mantissa m;
    bool seenPoint = false;
    bool seenNonZero = false;
    for (char c = cursor.peek(); IsDigit(c) || (c == '.' && !seenPoint); c = cursor.peek()) {
        if (c == '.') {
            seenPoint = true;
        } else {
            m.seenDigit = true;
            seenNonZero = seenNonZero || c != '0';
            if (!seenPoint && seenNonZero) {
                ++m.intDigits;
            } else if (seenPoint && !seenNonZero) {
                ++m.fractionZeros;
            }
        }
        m.text += c;
        cursor.advance();
    }
    return m;
}

// The exponent counts only when at least one digit follows the letter ("5E+" is 5).
long readExponent(Cursor &cursor)
{
    char c = cursor.peek();
    if (c != 'E' && c != 'e') {
        return 0;
    }
    cursor.advance();
    bool negativeExponent = false;
    c = cursor.peek();
    if (c == '+' || c == '-') {
        negativeExponent = c == '-';
        cursor.advance();
        c = cursor.peek();
    }
    long exponent = 0;
    bool exponentDigit = false;
    for (; IsDigit(c); c = cursor.peek()) {
        exponentDigit = true;
        exponent = std::min(exponent * 10 + (c - '0'), kExponentCap);
        cursor.advance();
    }
    if (negativeExponent) {
        exponent = -exponent;
    }
    if (!exponentDigit) {
        exponent = 0;
    }
    return exponent;
}

// The magnitude of mantissa times ten to the exponent, 0 or infinity out of range.
double magnitude(const Mantissa &m, long exponent)
{
    std::string clean = m.text;
    if (clean.front() == '.') {
        clean.insert(clean.begin(), '0');
    }
    clean += 'e';
    clean += std::to_string(exponent);

    double value = 0.0;
    const auto [end, ec] = std::from_chars(clean.data(), clean.data() + clean.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        const long order = (m.intDigits > 0 ? m.intDigits : -m.fractionZeros) + exponent;
        value = order > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return value;
}

} // namespace

double LeadingNumber(std::string_view text)
{
    Cursor cursor(text);

    bool negative = false;
    const char c = cursor.peek();
    if (c == '+' || c == '-') {
        negative = c == '-';
        cursor.advance();
    }

    const Mantissa mantissa = readMantissa(cursor);
    if (!mantissa.seenDigit) {
        return 0.0;
    }
    const double value = magnitude(mantissa, readExponent(cursor));
    if (value == 0.0) {
        return 0.0; // no "-0" for callers to print
    }
    return negative ? -value : value;
}
