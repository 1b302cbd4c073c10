#include "instrument/commands.h"

#include <gtest/gtest.h>

namespace {

// Field texts go into commands as they stand: only number texts may.
TEST(NumberText, OnlyNumbersMakeCommands)
{
    const std::pair<const char *, bool> cases[] = {
        {"1.5", true},     {"-1.500", true},  {" 12 ", true},    {"", true},
        {"-", true},       {".", true},       {" 1E+08", true},  {"2e-3", true},
        {"2;OUT ON", false}, {"5;", false},   {"1.2.3", false},  {"1-2", false},
        {"1E", false},     {"NAN", false},    {"0x10", false},   {"1\n", false},
    };
    for (const auto &[text, number] : cases)
        EXPECT_EQ(IsNumberText(text), number) << text;

    SettingsSnapshot s{"1.000", "0.000", "1.000", "50", OutputLoad::OpenCircuit, 3, 0};
    EXPECT_EQ(SettingLine(s, 1), "AMPL 1.000;OFFS 0.000;FREQ 1.000E+3;FUNC SINE;SYM 50");
    for (std::string SettingsSnapshot::*field :
         {&SettingsSnapshot::Amplitude, &SettingsSnapshot::Offset, &SettingsSnapshot::Frequency,
          &SettingsSnapshot::Symmetry}) {
        SettingsSnapshot bad = s;
        bad.*field = "1;OUT ON";
        EXPECT_EQ(SettingLine(bad, 1), "");
    }
    s.Symmetry = "x"; // the AFG5101 sends no symmetry, so its text does not matter
    EXPECT_EQ(SettingLine(s, 2), "AMPL .5;OFFS 0;FREQ 1.000E+3;FUNC SINE");
    s.Amplitude = "9;OUT ON";
    EXPECT_EQ(AmplitudeCommand(s, 1), "");
    EXPECT_EQ(FrequencyCommand(s), "FREQ 1.000E+3");
}

} // namespace
