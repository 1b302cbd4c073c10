#include "instrument/specsheet.h"

#include "instrument/profile.h"
#include "support/paramname.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

namespace {

// Splits at every line feed; a sheet that ends with one gives an empty last line.
std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\n')
            lines.emplace_back();
        else
            lines.back() += c;
    }
    return lines;
}

void ExpectSameLines(const std::vector<std::string> &actual,
                     const std::vector<std::string> &expected)
{
    EXPECT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < std::min(actual.size(), expected.size()); ++i)
        EXPECT_EQ(actual[i], expected[i]) << "line " << i + 1;
}

const std::string Note(13, ' ');
const std::string Example(29, ' ');

std::vector<std::string> Fg5010Sheet()
{
    return {
        "Connected to FG5010 at GPIB address 5",
        "",
        "Min Amplitude into 50 Ohm: 0.010 V",
        "Min Amplitude into High Impedance: 0.020 V",
        "",
        "Max Amplitude into 50 Ohm: 10.00 V",
        "Max Amplitude into High Impedance: 20.00 V",
        "",
        "Max Offset into 50 Ohm: 3.750 V",
        "Max Offset into High Impedance: 7.500 V",
        "",
        "Max Range (Signal/2 + Offset) into 50 Ohm: 7.500 V",
        "Max Range (Signal/2 + Offset) into High Impedance: 15.00 V",
        "",
        "NOTE: The Amplitude and Offset settings displayed on the FG5010 are true only",
        Note + "for high impedace load. For 50 Ohms load the actual outputs are half of",
        Note + "the displayed.",
        "",
        "Min Frequency: 0.002 Hz",
        "Max Frequency: 20.00 MHz",
        "",
        "Min Symmetry: 10 %",
        "Max Symmetry: 90 %",
        "",
        "NOTE: Min and Max Symmetry settings are only valid at 4.000 MHz and below.",
        Note + "At frequencies higher than 4.000 MHz Symmetry span decreases.",
        Note + "Example:  25 to 75 % @ 10 MHz",
        Example + "38 to 62 % @ 15 MHz",
        Example + "50 % only @ 20 MHz",
    };
}

// AFG5101 and PFG5105 share a profile; only the name differs.
std::vector<std::string> DecadeModelSheet(const std::string &name)
{
    return {
        "Connected to " + name + " at GPIB address 5",
        "",
        "Min Amplitude into 50 Ohm: 0.010 V",
        "Min Amplitude into High Impedance: 0.020 V",
        "",
        "Max Amplitude into 50 Ohm: 9.990 V",
        "Max Amplitude into High Impedance: 19.98 V",
        "",
        "Max Offset into 50 Ohm:",
        "   Amplitude 1.00 V to 9.99 V: 4.990 V",
        "   Amplitude 0.100 V to 0.999 V: 0.499 V",
        "   Amplitude 0.010 V to 0.099 V: 0.049 V",
        "Max Offset into High Impedance:",
        "   Amplitude 1.00 V to 9.99 V: 9.980 V",
        "   Amplitude 0.100 V to 0.999 V: 0.998 V",
        "   Amplitude 0.010 V to 0.099 V: 0.098 V",
        "",
        "Max Range (Signal/2 + Offset) into 50 Ohm:",
        "   Amplitude 1.00 V to 9.99 V: 4.990 V",
        "   Amplitude 0.100 V to 0.999 V: 0.499 V",
        "   Amplitude 0.010 V to 0.099 V: 0.049 V",
        "Max Range (Signal/2 + Offset) into High Impedance:",
        "   Amplitude 1.00 V to 9.99 V: 9.980 V",
        "   Amplitude 0.100 V to 0.999 V: 0.998 V",
        "   Amplitude 0.010 V to 0.099 V: 0.098 V",
        "",
        "NOTE: The Amplitude and Offset settings displayed on the " + name + " are true only",
        Note + "for 50 Ohms load. For high impedance load the actual outputs are double of",
        Note + "the displayed.",
        "",
        "Min Frequency: 0.012 Hz",
        "Max Frequency: 12.00 MHz",
        "",
        name + " does not support variable Symmetry.",
        "",
    };
}

std::vector<std::string> Afg5102Sheet()
{
    return {
        "Connected to AFG5102 at GPIB address 5",
        "",
        "Min Amplitude into 50 Ohm: 0.015 V",
        "Min Amplitude into High Impedance: 0.030 V",
        "",
        "Max Amplitude into 50 Ohm: 15.00 V",
        "Max Amplitude into High Impedance: 30.00 V",
        "",
        "Max Offset into 50 Ohm: 7.490 V",
        "Max Offset into High Impedance: 14.98 V",
        "",
        "Max Range (Signal/2 + Offset) into 50 Ohm: 7.500 V",
        "Max Range (Signal/2 + Offset) into High Impedance: 15.00 V",
        "",
        "NOTE: The Amplitude and Offset settings displayed on the AFG5102 are true only",
        Note + "for 50 Ohms load. For high impedance load the actual outputs are double of",
        Note + "the displayed.",
        "",
        "Min Frequency: 0.020 Hz",
        "Max Frequency: 20.00 MHz",
        "",
        "Min Symmetry: 10 %",
        "Max Symmetry: 90 %",
        "",
        "NOTE: Min and Max Symmetry settings are only valid at 2.000 MHz and below.",
        Note + "At frequencies higher than 2.000 MHz Symmetry must be 50 %.",
    };
}

struct SheetCase
{
    std::string name;
    std::string model;
    std::vector<std::string> lines;
    std::string ending;
};

class ModelSheet : public testing::TestWithParam<SheetCase>
{
};

TEST_P(ModelSheet, MatchesLineByLine)
{
    const SheetCase &c = GetParam();
    const std::string sheet = SpecSheet(SelectModelProfile(c.model), c.model, 5);
    ExpectSameLines(Lines(sheet), c.lines);
    EXPECT_TRUE(sheet.ends_with(c.ending)) << "ends with: ..." << sheet.substr(sheet.size() - 40);
}

INSTANTIATE_TEST_SUITE_P(
    AllModels, ModelSheet,
    testing::Values(SheetCase{"FG5010", "FG5010", Fg5010Sheet(),
                              "\n" + Example + "50 % only @ 20 MHz"},
                    SheetCase{"AFG5101", "AFG5101", DecadeModelSheet("AFG5101"),
                              "\nAFG5101 does not support variable Symmetry.\n"},
                    SheetCase{"PFG5105", "PFG5105", DecadeModelSheet("PFG5105"),
                              "\nPFG5105 does not support variable Symmetry.\n"},
                    SheetCase{"AFG5102", "AFG5102", Afg5102Sheet(), " MHz Symmetry must be 50 %."}),
    ByName());

TEST(SpecSheetAddress, IsWrittenWithOneLeadingBlank)
{
    const struct
    {
        int16_t address;
        const char *first;
    } cases[] = {
        {0, "Connected to FG5010 at GPIB address 0"}, // handle not in the device table
        {1, "Connected to FG5010 at GPIB address 1"},
        {30, "Connected to FG5010 at GPIB address 30"},
    };
    const ModelProfile fg = SelectModelProfile("FG5010");
    for (const auto &c : cases) {
        std::vector<std::string> expected = Fg5010Sheet();
        expected[0] = c.first;
        ExpectSameLines(Lines(SpecSheet(fg, "FG5010", c.address)), expected);
    }
}

// A profile whose figures tell the formats apart: the lower-decade offsets are cut, the
// ranges rounded, and the lowest decade starts from the limit cut to one decimal (7.7).
TEST(SpecSheetDecades, TruncateOffsetsRoundRangesAndCutTheLowestDecade)
{
    ModelProfile p = SelectModelProfile("AFG5101");
    p.MaxOffset = 7.777f;
    p.MaxRange = 7.777f;
    const std::vector<std::string> lines = Lines(SpecSheet(p, "AFG5101", 5));
    const std::vector<std::string> expected = {
        "Max Offset into 50 Ohm:",
        "   Amplitude 1.00 V to 9.99 V: 7.777 V",
        "   Amplitude 0.100 V to 0.999 V: 0.777 V",
        "   Amplitude 0.010 V to 0.099 V: 0.077 V",
        "Max Offset into High Impedance:",
        "   Amplitude 1.00 V to 9.99 V: 15.55 V",
        "   Amplitude 0.100 V to 0.999 V: 1.555 V",
        "   Amplitude 0.010 V to 0.099 V: 0.154 V",
        "",
        "Max Range (Signal/2 + Offset) into 50 Ohm:",
        "   Amplitude 1.00 V to 9.99 V: 7.777 V",
        "   Amplitude 0.100 V to 0.999 V: 0.778 V",
        "   Amplitude 0.010 V to 0.099 V: 0.077 V",
        "Max Range (Signal/2 + Offset) into High Impedance:",
        "   Amplitude 1.00 V to 9.99 V: 15.55 V",
        "   Amplitude 0.100 V to 0.999 V: 1.555 V",
        "   Amplitude 0.010 V to 0.099 V: 0.154 V",
        "",
    };
    ASSERT_GE(lines.size(), 8 + expected.size());
    ExpectSameLines({lines.begin() + 8, lines.begin() + 8 + std::ptrdiff_t(expected.size())},
                    expected);
}

} // namespace
