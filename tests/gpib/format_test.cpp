#include "gpib/format.h"

#include "gpib/numberparse.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
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
    return os << "FormatNumber(" << c.value << ", " << c.code << ") -> \"" << c.expected << '"';
}

class FormatNumberTest : public testing::TestWithParam<FormatCase>
{
};

TEST_P(FormatNumberTest, GivesExactText)
{
    const FormatCase &c = GetParam();
    EXPECT_EQ(FormatNumber(c.value, c.code), c.expected);
}

// The results the fields and the specification sheet depend on; the blanks in front
// are part of them.
INSTANTIATE_TEST_SUITE_P(WorkedResults, FormatNumberTest,
                         testing::Values(FormatCase{12.345f, 104, " 12.35"},
                                         FormatCase{12.345f, -104, " 12.34"},
                                         FormatCase{0.5f, 104, " 0.500"},
                                         FormatCase{0.9999f, 104, " 1.000"},
                                         FormatCase{9.9996f, 104, " 10.00"},
                                         FormatCase{99.95f, 104, " 99.95"},
                                         FormatCase{1234.5f, 104, "  1235"},
                                         FormatCase{1999.95f, 104, "  2000"},
                                         FormatCase{1234.5f, 304, "   1235"},
                                         FormatCase{-7.49f, 104, "-7.490"},
                                         FormatCase{0.015f, 104, " 0.015"},
                                         FormatCase{0.0f, 104, " 0.000"},
                                         FormatCase{-0.00001f, 104, "-0.000"},
                                         FormatCase{50.0f, 2, " 50"},
                                         FormatCase{7.5f, 2, " 8"},
                                         FormatCase{2.5f, 2, " 3"},
                                         FormatCase{3.14159f, -1.2f, " 3.14"},
                                         FormatCase{12.0f, -1.2f, " 12.00"},
                                         FormatCase{0.0456f, -1.1f, " 0.0"},
                                         FormatCase{-3.456f, -1.1f, "-3.4"},
                                         FormatCase{12.3456f, 2.3f, " 12.346"},
                                         FormatCase{5.5f, 0.2f, " 5.50"},
                                         FormatCase{0.25f, 0, " 0.25"},
                                         FormatCase{-0.25f, 0, "-0.25"},
                                         FormatCase{3.0f, 0, " 3"},
                                         FormatCase{1.0f, 101, "Error: IntFrac= 101 "}));

INSTANTIATE_TEST_SUITE_P(
    Rounding, FormatNumberTest,
    testing::Values(
        // Halves go up, never to even.
        FormatCase{3.5f, 2, " 4"}, FormatCase{0.5f, 2, " 1"}, FormatCase{1.25f, 0.2f, " 1.30"},
        FormatCase{-2.5f, 2, "-3"},
        // Negative codes cut where positive ones round.
        FormatCase{2.5f, -2, " 2"}, FormatCase{7.99f, -2, " 7"}, FormatCase{0.9999f, -104, " 0.999"},
        FormatCase{9.9996f, -104, " 9.999"}, FormatCase{1999.95f, -104, "  1999"},
        FormatCase{-0.25f, -1.1f, "-0.2"},
        // Carries into a new integer digit.
        FormatCase{9.9996f, 104, " 10.00"}, FormatCase{99.996f, 104, " 100.0"},
        FormatCase{999.96f, 104, "  1000"}, FormatCase{0.99996f, -1.3f, " 0.999"},
        FormatCase{0.9996f, 1.3f, " 1.000"}, FormatCase{9.96f, 1.1f, " 10.0"},
        // The sign comes from the value even when the digits are all zeros.
        FormatCase{-0.004f, -1.2f, "-0.00"}, FormatCase{-0.4f, 2, "-0"},
        // -0 is not negative.
        FormatCase{-0.0f, 104, " 0.000"}, FormatCase{-0.0f, 2, " 0"}));

INSTANTIATE_TEST_SUITE_P(
    Widths, FormatNumberTest,
    testing::Values(
        // The tens digit of a significant-digit code is not used.
        FormatCase{12.345f, 154, " 12.35"}, FormatCase{1234.5f, 154, "  1235"},
        FormatCase{0.5f, 194, " 0.500"},
        // 204 already fits the sign, so it equals 104; each further hundred adds a blank.
        FormatCase{12.345f, 204, " 12.35"}, FormatCase{-7.49f, 204, "-7.490"},
        FormatCase{1234.5f, 204, "  1235"}, FormatCase{12.345f, 304, "  12.35"},
        FormatCase{-7.49f, 304, " -7.490"}, FormatCase{12.345f, 504, "    12.35"},
        // Other digit counts; with no decimals a blank stands in for the point.
        FormatCase{12.345f, 106, " 12.3450"}, FormatCase{12.345f, 102, "  12"},
        FormatCase{123.45f, 102, "  123"}, FormatCase{0.5f, 102, " 0.5"},
        FormatCase{-12.345f, 103, "-12.3"},
        // W.D: the width includes the sign and only ever grows.
        FormatCase{3.0f, 5.1f, "    3.0"}, FormatCase{-3.0f, 5.1f, "   -3.0"},
        FormatCase{12345.0f, 2, " 12345"}, FormatCase{0.25f, 0.1f, " 0.3"},
        FormatCase{0.05f, 0.1f, " 0.1"}, FormatCase{0.04f, 0.1f, " 0.0"},
        FormatCase{1.0f, 1.9f, " 1.000000000"},
        // Code 0 is the plain number text with a 0 before the point.
        FormatCase{0.5f, 0, " 0.5"}, FormatCase{1234567.0f, 0, " 1234567"},
        FormatCase{-0.0001f, 0, "-0.0001"}, FormatCase{0.0f, 0, " 0"},
        // The refusal names the code's magnitude whatever its sign or tens digit.
        FormatCase{5.0f, -101, "Error: IntFrac= 101 "},
        FormatCase{5.0f, 191, "Error: IntFrac= 191 "},
        FormatCase{5.0f, 301, "Error: IntFrac= 301 "}));

// Exponent forms are this program's own choice; what matters is that they read back.
TEST(FormatNumberTest, ExponentFormsReadBack)
{
    const struct
    {
        float value;
        float code;
        const char *expected;
    } cases[] = {
        {1.5e7f, 104, "   1.5E+07"},
        {-1.5e7f, 2, "-1.5E+07"},
        {0.0000123f, 2.6f, " 1.2E-05"},
        {1.0e8f, -1.2f, " 1E+08"},
        {0.00002f, 0, " 2E-05"},
        {-0.00002f, 0, "-2E-05"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " with " << c.code);
        const std::string text = FormatNumber(c.value, c.code);
        EXPECT_EQ(text, c.expected);
        const float back = static_cast<float>(LeadingNumber(text));
        EXPECT_EQ(NumberText(back), NumberText(static_cast<float>(LeadingNumber(NumberText(c.value)))));
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
    EXPECT_EQ(LeadingNumber(FormatNumber(3.0e38f, 2.9f)), LeadingNumber(NumberText(3.0e38f)));
    EXPECT_EQ(FormatNumber(std::numeric_limits<float>::max(), 104).find("3.402823E+38"),
              std::string::npos - std::string::npos + FormatNumber(std::numeric_limits<float>::max(), 104).size() - 12);

    for (float code : {inf, -inf, nan, 1e30f, -1e30f}) {
        SCOPED_TRACE(code);
        const std::string text = FormatNumber(12.5f, code);
        EXPECT_LE(text.size(), 1100u);
        EXPECT_NE(text.find("12"), std::string::npos);
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
        {9999999.5f, " 1E+07"},
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

// v rounded to 7 significant digits through an independent path (to_chars rounds ties
// to even, which no sampled value hits).
float RoundedTo7(float v)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, static_cast<double>(v),
                                   std::chars_format::scientific, 6);
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
        const std::string formatted = FormatNumber(v, 104);
        ASSERT_EQ(FormatNumber(static_cast<float>(LeadingNumber(formatted)), 104), formatted);
    });
}

} // namespace
