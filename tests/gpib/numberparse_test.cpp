#include "text/numberparse.h"

#include "text/format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace {

TEST(LeadingNumberTest, ReadsTheNumberAtTheStart)
{
    const struct
    {
        const char *text;
        double expected;
    } cases[] = {
        {"12.5kHz", 12.5},
        {" - 1 . 5", -1.5},
        {"5.00E+0", 5.0},
        {"E5", 0.0},
        // Blanks anywhere, including inside the digits and the exponent.
        {" 1 2.5", 12.5},
        {"\t1\r\n2", 12.0},
        {"1 E 3", 1000.0},
        {"2.5e - 2", 0.025},
        // Both halves of the mantissa are optional, but not both at once.
        {".5", 0.5},
        {"-.25", -0.25},
        {"5.", 5.0},
        {"007", 7.0},
        {"", 0.0},
        {"   ", 0.0},
        {".", 0.0},
        {"-", 0.0},
        {"-.", 0.0},
        {"abc", 0.0},
        {"e5", 0.0},
        {".e5", 0.0},
        // A second point ends the number.
        {"1.2.3", 1.2},
        {"..5", 0.0},
        // The exponent counts only with a digit after the letter and its sign.
        {"5E", 5.0},
        {"5E+", 5.0},
        {"5e-", 5.0},
        {"5Ex", 5.0},
        {"5E+x3", 5.0},
        {"1.5E+6", 1.5e6},
        {"1.5e6", 1.5e6},
        {"25E-3", 0.025},
        {"1E+03;", 1000.0},
        {"3E1.5", 30.0},
        // One sign only.
        {"+5", 5.0},
        {"--5", 0.0},
        {"+-5", 0.0},
        {"5-3", 5.0},
        // Only the listed blanks are skipped.
        {"\v5", 0.0},
        {"0x1A", 0.0},
        {"1,5", 1.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.text << '"');
        EXPECT_DOUBLE_EQ(LeadingNumber(c.text), c.expected);
    }
}

TEST(LeadingNumberTest, RangeLimits)
{
    const double inf = std::numeric_limits<double>::infinity();
    const struct
    {
        std::string text;
        double expected;
    } cases[] = {
        {"1E999", inf},
        {"-1E999", -inf},
        {"1E99999999999999999999", inf},
        {"0.0000001E316", inf},
        {"1000E-330", 0.0},
        {std::string(400, '9'), inf},
        {"1E-999", 0.0},
        {"-1E-999", 0.0},
        {"1000E-99999999999999999999", 0.0},
        {"0E999", 0.0},
        {"1.7976931348623157E308", std::numeric_limits<double>::max()},
        {"4.9E-324", std::numeric_limits<double>::denorm_min()},
        // Many digits still read correctly.
        {"0." + std::string(300, '0') + "15E302", 15.0},
        {"1" + std::string(30, '0'), 1e30},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        EXPECT_EQ(LeadingNumber(c.text), c.expected);
    }
}

TEST(LeadingNumberTest, ZeroIsNeverNegative)
{
    for (const char *text : {"-0", "- 0.000", "-0E5", "-1E-999", "-"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(std::signbit(LeadingNumber(text)));
    }
}

// A user's locale with a decimal comma must not change how fields are read or written.
TEST(LeadingNumberTest, PointWhateverTheLocale)
{
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    bool commaLocale = false;
    for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "German_Germany.1252"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            commaLocale = std::string(std::localeconv()->decimal_point) == ",";
            break;
        }
    }
    if (!commaLocale) {
        std::setlocale(LC_NUMERIC, previous.c_str());
        GTEST_SKIP() << "no German locale installed";
    }
    const double point = LeadingNumber("1.5");
    const double comma = LeadingNumber("1,5");
    const std::string text = NumberText(1.5f);
    const std::string formatted = FormatNumber(12.345f, 104);
    std::setlocale(LC_NUMERIC, previous.c_str());

    EXPECT_EQ(point, 1.5);
    EXPECT_EQ(comma, 1.0);
    EXPECT_EQ(text, " 1.5");
    EXPECT_EQ(formatted, " 12.35");
}

} // namespace
