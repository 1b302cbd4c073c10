#include "instrument/commands.h"

#include <gtest/gtest.h>

namespace {

TEST(ComputedNumberText, PlainDecimalWithoutLeadingOrTrailingZeros)
{
    const std::pair<double, const char *> cases[] = {
        {2.5, "2.5"},
        {0.75, ".75"},
        {-0.25, "-.25"},
        {10, "10"},
        {6, "6"},
        {-0.2, "-.2"},
        {0, "0"},
        {0.1 + 0.2, ".3"}, // fifteen digits hide the binary remainder
        {1.0 / 3, ".333333333333333"},
        {20e6, "20000000"},
        {1e20, "100000000000000000000"},
        {1e-7, ".0000001"},
        {-12345678.9, "-12345678.9"},
        {123456789012345678.0, "123456789012346000"},
    };
    for (const auto &[value, text] : cases)
        EXPECT_EQ(ComputedNumberText(value), text) << value;
}

SettingsSnapshot snapshot(const char *a, const char *o, const char *f, int16_t mult,
                          int16_t function, const char *sym, OutputLoad load)
{
    SettingsSnapshot s;
    s.Amplitude = a;
    s.Offset = o;
    s.Frequency = f;
    s.FrequencyMultiplier = mult;
    s.SelectedFunction = function;
    s.Symmetry = sym;
    s.load = load;
    return s;
}

TEST(SettingLine, ComposesEverySettingInOneLine)
{
    const struct
    {
        int16_t model;
        SettingsSnapshot s;
        const char *line;
    } cases[] = {
        {1, snapshot("5", "0", "10", 3, 0, "50", OutputLoad::OpenCircuit),
         "AMPL 5;OFFS 0;FREQ 10E+3;FUNC SINE;SYM 50"},
        {3, snapshot("1", "0.5", "1.5", 6, 1, "40", OutputLoad::OpenCircuit),
         "AMPL .5;OFFS .25;FREQ 1.5E+6;FUNC SQUARE;SYM 40"},
        // No symmetry on these models, whatever the field holds.
        {2, snapshot("2.00", "-1", "250", 0, 2, "35", OutputLoad::FiftyOhms),
         "AMPL 2.00;OFFS -1;FREQ 250E+0;FUNC TRIANGLE"},
        // The FG5010 works in open circuit: 50-ohm figures are doubled.
        {1, snapshot("3", "-0.1", "1", 0, 0, "50", OutputLoad::FiftyOhms),
         "AMPL 6;OFFS -.2;FREQ 1E+0;FUNC SINE;SYM 50"},
        // Unconverted texts go out as they stand, trailing zeros and all.
        {1, snapshot("5.00", "0.50", "2.5", 3, 1, "40", OutputLoad::OpenCircuit),
         "AMPL 5.00;OFFS 0.50;FREQ 2.5E+3;FUNC SQUARE;SYM 40"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SettingLine(c.s, c.model), c.line);
}

TEST(VoltsForLoad, ConvertOnlyWhereTheLoadDiffers)
{
    EXPECT_EQ(AmplitudeForLoad("3", 1, OutputLoad::FiftyOhms), "6");
    EXPECT_EQ(OffsetForLoad("-0.1", 1, OutputLoad::FiftyOhms), "-.2");
    EXPECT_EQ(AmplitudeForLoad("5.00", 1, OutputLoad::OpenCircuit), "5.00");
    EXPECT_EQ(AmplitudeForLoad("30", 3, OutputLoad::OpenCircuit), "15");
    EXPECT_EQ(AmplitudeForLoad("", 3, OutputLoad::OpenCircuit), "0");
    EXPECT_EQ(OffsetForLoad(" 1 . 5", 2, OutputLoad::FiftyOhms), " 1 . 5");
}

} // namespace
