// Number texts: the fields, the replies and the specification sheet all go through these,
// so one wrong digit shows everywhere.
#include "text/format.h"
#include "text/numberparse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>

namespace {

const float Inf = std::numeric_limits<float>::infinity();

TEST(FormatNumber, Rows)
{
    const std::tuple<float, float, const char *> rows[] = { // value, code, text
        // Significant-digit codes: units digit = digits, hundreds widen, tens ignored.
        {12.345f, 104, " 12.35"}, {12.345f, -104, " 12.34"}, {0.5f, 104, " 0.500"},
        {0.9999f, 104, " 1.000"}, {9.9996f, 104, " 10.00"}, {99.996f, 104, " 100.0"},
        {1234.5f, 104, "  1235"}, {1234.5f, 304, "   1235"}, {12.345f, 154, " 12.35"},
        {12.345f, 204, " 12.35"}, {-7.49f, 304, " -7.490"}, {12.345f, 106, " 12.3450"},
        {0.5f, 102, " 0.5"}, {-0.00001f, 104, "-0.000"}, {-0.0f, 104, " 0.000"},
        {9.9996f, -104, " 9.999"}, {999.99994f, -104, "  999"},
        // W.D codes: halves go up (never to even), negative codes cut.
        {7.5f, 2, " 8"}, {2.5f, 2, " 3"}, {-2.5f, 2, "-3"}, {2.5f, -2, " 2"}, {-0.4f, 2, "-0"},
        {2.4999998f, 2, " 3"}, {3.14159f, -1.2f, " 3.14"}, {-3.456f, -1.1f, "-3.4"},
        {12.3456f, 2.3f, " 12.346"}, {3.0f, 5.1f, "    3.0"}, {9.96f, 1.1f, " 10.0"},
        {0.05f, 0.1f, " 0.1"}, {1.0f, 1.9f, " 1.000000000"},
        // Code 0 puts a 0 before the point; exponent forms keep their text; odd ones stay sane.
        {0.25f, 0, " 0.25"}, {-0.25f, 0, "-0.25"}, {3.0f, 0, " 3"}, {0.00002f, 0, " 2E-05"},
        {1.5e7f, 104, "   1.5E+07"}, {0.0000123f, 2.6f, " 1.2E-05"}, {Inf, 104, " 1E+39"},
        {std::nanf(""), 2, " NAN"}, {1.0f, 101, "Error: IntFrac= 101 "},
        {5.0f, -191, "Error: IntFrac= 191 "}};
    for (const auto &[value, code, text] : rows)
        EXPECT_EQ(FormatNumber(value, code), text) << value << " with code " << code;
    EXPECT_LE(FormatNumber(12.5f, 1e30f).size(), 1100u); // an absurd width is cut
    EXPECT_EQ(static_cast<float>(LeadingNumber(FormatNumber(3.0e38f, 2.9f))), 3.0e38f);
}

TEST(NumberText, Rows)
{
    const std::pair<float, const char *> rows[] = {
        {0.0f, " 0"}, {-0.0f, " 0"}, {-3.0f, "-3"}, {0.5f, " .5"}, {-0.25f, "-.25"},
        {9999999.0f, " 9999999"}, {12345678.0f, " 1.234568E+07"}, {1.0e7f, " 1E+07"},
        {0.0001f, " .0001"}, {0.00002f, " 2E-05"}, {1.0e-45f, " 1.401298E-45"},
        {0.1f, " .1"}, {2.0f / 3.0f, " .6666667"}, {123456.78f, " 123456.8"},
        {0.00001f, " 1E-05"}, {0.000099999999f, " .0001"}, {1.0e11f, " 1E+11"},
        // Exact halves at the eighth digit go up.
        {1048576.5f, " 1048577"}, {4194304.5f, " 4194305"}, {Inf, " 1E+39"}, {-Inf, "-1E+39"}};
    for (const auto &[value, text] : rows)
        EXPECT_EQ(NumberText(value), text) << value;
}

TEST(LeadingNumber, Rows)
{
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<std::string, double> rows[] = {
        {"12.5kHz", 12.5}, {" - 1 . 5", -1.5}, {"5.00E+0", 5}, {"E5", 0}, {"\t1\r\n2", 12},
        {"2.5e - 2", 0.025}, {"25E-3", 0.025}, {"1.5E+6", 1.5e6}, {".5", 0.5}, {"5.", 5},
        {"987654321", 987654321}, {"19.9", 19.9}, {"", 0}, {".", 0}, {"-", 0}, {".e5", 0},
        {"1.2.3", 1.2}, {"5E+", 5}, {"5Ex", 5}, {"3E1.5", 30}, {"--5", 0}, {"5-3", 5},
        {"\v5", 0}, {"1,5", 1}, {"1E999", inf}, {"-1E999", -inf}, {std::string(400, '9'), inf},
        {"1E-999", 0}, {"1000E-99999999999999999999", 0}, {"4.9E-324", 4.9e-324},
        {"0." + std::string(300, '0') + "15E302", 15}};
    for (const auto &[text, value] : rows) {
        EXPECT_EQ(LeadingNumber(text), value) << text.substr(0, 40);
        EXPECT_FALSE(value == 0 && std::signbit(LeadingNumber("-" + text))); // no "-0" to print
    }
}

} // namespace
