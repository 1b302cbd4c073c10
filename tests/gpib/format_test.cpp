#include "text/format.h"

#include "text/numberparse.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iomanip>
#include <limits>
#include <ostream>
#include <string>

namespace {

struct FormatCase
{
    float value;
    float code;
    const char *expected;
};

std::ostream &operator<<(std::ostream &os, const FormatCase &c)
{
    return os << std::setprecision(9) << "FormatNumber(" << c.value << ", " << c.code << ") -> \""
              << c.expected << '"';
}

class FormatNumberTable : public testing::TestWithParam<FormatCase>
{
};

TEST_P(FormatNumberTable, GivesExactText)
{
    const FormatCase &c = GetParam();
    EXPECT_EQ(FormatNumber(c.value, c.code), c.expected);
}

// The results the fields and the specification sheet depend on; the blanks in front
// are part of them.
const FormatCase kWorkedResults[] = {
    {12.345f, 104, " 12.35"},
    {12.345f, -104, " 12.34"},
    {0.5f, 104, " 0.500"},
    {0.9999f, 104, " 1.000"},
    {9.9996f, 104, " 10.00"},
    {99.95f, 104, " 99.95"},
    {1234.5f, 104, "  1235"},
    {1999.95f, 104, "  2000"},
    {1234.5f, 304, "   1235"},
    {-7.49f, 104, "-7.490"},
    {0.015f, 104, " 0.015"},
    {0.0f, 104, " 0.000"},
    {-0.00001f, 104, "-0.000"},
    {50.0f, 2, " 50"},
    {7.5f, 2, " 8"},
    {2.5f, 2, " 3"},
    {3.14159f, -1.2f, " 3.14"},
    {12.0f, -1.2f, " 12.00"},
    {0.0456f, -1.1f, " 0.0"},
    {-3.456f, -1.1f, "-3.4"},
    {12.3456f, 2.3f, " 12.346"},
    {5.5f, 0.2f, " 5.50"},
    {0.25f, 0, " 0.25"},
    {-0.25f, 0, "-0.25"},
    {3.0f, 0, " 3"},
    {1.0f, 101, "Error: IntFrac= 101 "},
};
INSTANTIATE_TEST_SUITE_P(WorkedResults, FormatNumberTable, testing::ValuesIn(kWorkedResults));

const FormatCase kRounding[] = {
    // Halves go up, never to even.
    {3.5f, 2, " 4"},
    {0.5f, 2, " 1"},
    {1.25f, 0.1f, " 1.3"},
    {-2.5f, 2, "-3"},
    // Negative codes cut where positive ones round.
    {2.5f, -2, " 2"},
    {7.99f, -2, " 7"},
    {0.9999f, -104, " 0.999"},
    {9.9996f, -104, " 9.999"},
    {1999.95f, -104, "  1999"},
    {-0.25f, -1.1f, "-0.2"},
    // Carries into a new integer digit.
    {99.996f, 104, " 100.0"},
    {999.96f, 104, "  1000"},
    {0.9996f, 1.3f, " 1.000"},
    {9.96f, 1.1f, " 10.0"},
    // The sign comes from the value even when the digits are all zeros.
    {-0.004f, -1.2f, "-0.00"},
    {-0.4f, 2, "-0"},
    // The value is first reduced to 7 digits (the float 2.49999976 reads 2.5), then rounded.
    {2.4999998f, 2, " 3"},
    {2.4999998f, -2, " 2"},
    // The float just below 1000 counts four integer digits, so no decimal is kept.
    {999.99994f, -104, "  999"},
    // -0 is not negative.
    {-0.0f, 104, " 0.000"},
    {-0.0f, 2, " 0"},
};
INSTANTIATE_TEST_SUITE_P(Rounding, FormatNumberTable, testing::ValuesIn(kRounding));

const FormatCase kWidths[] = {
    // The tens digit of a significant-digit code is not used.
    {12.345f, 154, " 12.35"},
    {1234.5f, 154, "  1235"},
    // 204 already fits the sign, so it equals 104; each further hundred adds a blank.
    {12.345f, 204, " 12.35"},
    {1234.5f, 204, "  1235"},
    {12.345f, 304, "  12.35"},
    {-7.49f, 304, " -7.490"},
    // Other digit counts; with no decimals a blank stands in for the point.
    {12.345f, 106, " 12.3450"},
    {12.345f, 102, "  12"},
    {123.45f, 102, "  123"},
    {0.5f, 102, " 0.5"},
    {-12.345f, 103, "-12.3"},
    // W.D: the width includes the sign and only ever grows.
    {3.0f, 5.1f, "    3.0"},
    {-3.0f, 5.1f, "   -3.0"},
    {12345.0f, 2, " 12345"},
    {0.25f, 0.1f, " 0.3"},
    {0.05f, 0.1f, " 0.1"},
    {1.0f, 1.9f, " 1.000000000"},
    // Code 0 is the plain number text with a 0 before the point.
    {0.5f, 0, " 0.5"},
    {1234567.0f, 0, " 1234567"},
    {-0.0001f, 0, "-0.0001"},
    {0.0f, 0, " 0"},
    // The refusal names the code's magnitude whatever its sign or tens digit.
    {5.0f, -101, "Error: IntFrac= 101 "},
    {5.0f, 191, "Error: IntFrac= 191 "},
    {5.0f, 301, "Error: IntFrac= 301 "},
};
INSTANTIATE_TEST_SUITE_P(Widths, FormatNumberTable, testing::ValuesIn(kWidths));

// Exponent forms are this program's own choice; what matters is that they read back.
TEST(FormatNumberTest, ExponentForms)
{
    const struct
    {
        float value;
        float code;
        const char *expected;
        float readBack;
    } cases[] = {
        {1.5e7f, 104, "   1.5E+07", 1.5e7f},
        {-1.5e7f, 2, " -1.5E+07", -1.5e7f},
        {1.0e8f, -1.2f, "     1E+08", 1.0e8f},
        // Cut to six decimals, the tiny value keeps one digit and no appended zeros.
        {0.0000123f, 2.6f, " 1.2E-05", 1.2e-5f},
        {0.00002f, 0, " 2E-05", 2e-5f},
        {-0.00002f, 0, "-2E-05", -2e-5f},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " with " << c.code);
        const std::string text = FormatNumber(c.value, c.code);
        EXPECT_EQ(text, c.expected);
        EXPECT_EQ(static_cast<float>(LeadingNumber(text)), c.readBack);
    }
}

TEST(FormatNumberTest, OddInputsStayBounded)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(FormatNumber(inf, 104), " 1E+39");
    EXPECT_EQ(FormatNumber(-inf, -1.2f), "-1E+39");
    EXPECT_EQ(FormatNumber(nan, 2), " NAN");
    EXPECT_EQ(FormatNumber(inf, 101), "Error: IntFrac= 101 ");

    // Scaling a huge whole number by 10^D overflows a float; the value is kept.
    EXPECT_EQ(static_cast<float>(LeadingNumber(FormatNumber(3.0e38f, 2.9f))), 3.0e38f);
    const std::string largest = FormatNumber(std::numeric_limits<float>::max(), 104);
    EXPECT_EQ(largest.size(), 41u); // a blank, then 39 digit places and the sign
    EXPECT_EQ(static_cast<float>(LeadingNumber(largest)), 3.402823e38f);

    for (float code : {inf, -inf, nan, 1e30f, -1e30f}) {
        SCOPED_TRACE(code);
        const std::string text = FormatNumber(12.5f, code);
        EXPECT_LE(text.size(), 1100u);
        EXPECT_NEAR(LeadingNumber(text), 12.5, 0.5);
    }
}

struct TextCase
{
    float value;
    const char *expected;
};

TEST(NumberTextTest, Shapes)
{
    const TextCase cases[] = {
        {0.0f, " 0"},
        {-0.0f, " 0"},
        {3.0f, " 3"},
        {-3.0f, "-3"},
        {0.5f, " .5"},
        {-0.25f, "-.25"},
        {12.345f, " 12.345"},
        {100.0f, " 100"},
        {1234567.0f, " 1234567"},
        {9999999.0f, " 9999999"},
        {12345678.0f, " 1.234568E+07"},
        {10000000.0f, " 1E+07"},
        {15000000.0f, " 1.5E+07"},
        {-1.5e7f, "-1.5E+07"},
        {3.0e38f, " 3E+38"},
        {0.0001f, " .0001"},
        {0.00012345f, " .00012345"},
        {0.00002f, " 2E-05"},
        {-0.00002f, "-2E-05"},
        {1.0e-30f, " 1E-30"},
        {1.0e-45f, " 1.401298E-45"}, // smallest denormal
        // Seven digits, rounded: the float of 0.1 is 0.100000001490116...
        {0.1f, " .1"},
        {1.0f / 3.0f, " .3333333"},
        {2.0f / 3.0f, " .6666667"},
        {123456.78f, " 123456.8"},
        {-98765.4321f, "-98765.43"},
        // Rounding that crosses into the next decade changes the form.
        {0.00001f, " 1E-05"}, // the float is 9.99999974e-06
        {1.0e11f, " 1E+11"},  // the float is 99999997952
        {0.000099999999f, " .0001"},
        // Exact halves at the eighth digit go up, not to even.
        {1048576.5f, " 1048577"},
        {4194304.5f, " 4194305"},
        {12345685.0f, " 1.234569E+07"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "value " << c.value);
        EXPECT_EQ(NumberText(c.value), c.expected);
    }
}

TEST(NumberTextTest, OverflowReadsBackAsInfinity)
{
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(static_cast<float>(LeadingNumber(NumberText(inf))), inf);
    EXPECT_EQ(static_cast<float>(LeadingNumber(NumberText(-inf))), -inf);
}

// v rounded half up to 7 significant digits through an independent path: to_chars
// rounds ties to even, so the value is first nudged away from zero by one double step,
// far below any float's distance from a non-tie.
float RoundedTo7(float v)
{
    const double nudged = std::nextafter(static_cast<double>(v), v < 0 ? -1e300 : 1e300);
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, nudged, std::chars_format::scientific, 6);
    float back = 0;
    std::from_chars(buf, res.ptr, back);
    return back;
}

// Floats spread over the whole finite range, both signs, from their bit patterns.
template<typename F> void ForSpreadOfFloats(F check)
{
    for (std::uint32_t bits = 0x00000001u; bits < 0x7f800000u; bits += 0x000f4243u) {
        for (float v : {std::bit_cast<float>(bits), -std::bit_cast<float>(bits)}) {
            check(v);
        }
    }
}

TEST(NumberTextTest, ReadsBackAsValueRoundedToSevenDigits)
{
    int checked = 0;
    ForSpreadOfFloats([&](float v) {
        const std::string text = NumberText(v);
        ASSERT_EQ(static_cast<float>(LeadingNumber(text)), RoundedTo7(v)) << text;
        ++checked;
    });
    EXPECT_GT(checked, 4000);
}

// A value written to a field and read back must give the same text again.
TEST(NumberTextTest, TextIsStableThroughReadBack)
{
    ForSpreadOfFloats([](float v) {
        const std::string text = NumberText(v);
        ASSERT_EQ(NumberText(static_cast<float>(LeadingNumber(text))), text);
        // A negative value that rounds to zero keeps its "-", which reads back as 0.
        const std::string formatted = FormatNumber(v, 104);
        if (formatted != "-0.000") {
            ASSERT_EQ(FormatNumber(static_cast<float>(LeadingNumber(formatted)), 104), formatted);
        }
    });
}

} // namespace
