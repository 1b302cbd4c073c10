#include "instrument/validation.h"

#include "support/paramname.h"

#include <gtest/gtest.h>

namespace {

struct Case
{
    const char *name;
    const char *model;
    int16_t scope;
    const char *amplitude, *offset, *frequency;
    int16_t multiplier;
    const char *symmetry;
    OutputLoad load;
    std::string errors;
};

class SettingErrorCases : public ::testing::TestWithParam<Case>
{};

TEST_P(SettingErrorCases, ListEveryProblemInItsOrder)
{
    const Case &c = GetParam();
    SettingsSnapshot s;
    s.Amplitude = c.amplitude;
    s.Offset = c.offset;
    s.Frequency = c.frequency;
    s.FrequencyMultiplier = c.multiplier;
    s.Symmetry = c.symmetry;
    s.load = c.load;
    EXPECT_EQ(SettingErrors(c.scope, s, SelectModelProfile(c.model)), c.errors);
}

constexpr OutputLoad Open = OutputLoad::OpenCircuit;
constexpr OutputLoad Fifty = OutputLoad::FiftyOhms;
const std::string SymHigh = "Symmetry is out of range (too high).";
const std::string SymLow = "Symmetry is out of range (too low).";
const std::string VariableSym = "Frequency is out of range for variable Symmetry.";

INSTANTIATE_TEST_SUITE_P(
    NarrowedSpan, SettingErrorCases,
    ::testing::Values(
        Case{"at15MHz62", "FG5010", 5, "1", "0", "15", 6, "62", Open, ""},
        Case{"at15MHz63", "FG5010", 5, "1", "0", "15", 6, "63", Open,
             SymHigh + "\nFor 15 MHz Symmetry must be 62 % or lower."},
        Case{"at15MHz38", "FG5010", 5, "1", "0", "15", 6, "38", Open, ""},
        Case{"at15MHz37", "FG5010", 5, "1", "0", "15", 6, "37", Open,
             SymLow + "\nFor 15 MHz Symmetry must be 38 % or higher."},
        Case{"at10MHz25", "FG5010", 5, "1", "0", "10", 6, "25", Open, ""},
        Case{"at10MHz75", "FG5010", 5, "1", "0", "10", 6, "75", Open, ""},
        Case{"at10MHz24", "FG5010", 5, "1", "0", "10", 6, "24", Open,
             SymLow + "\nFor 10 MHz Symmetry must be 25 % or higher."},
        Case{"at10MHz76", "FG5010", 5, "1", "0", "10", 6, "76", Open,
             SymHigh + "\nFor 10 MHz Symmetry must be 75 % or lower."},
        Case{"at4MHzFullSpan", "FG5010", 5, "1", "0", "4", 6, "10", Open, ""},
        Case{"at4MHz90", "FG5010", 5, "1", "0", "4000", 3, "90", Open, ""},
        Case{"at4MHz9", "FG5010", 5, "1", "0", "4", 6, "9", Open, SymLow},
        Case{"at4400kHz11", "FG5010", 5, "1", "0", "4.4", 6, "11", Open, ""},
        Case{"at4400kHz10", "FG5010", 5, "1", "0", "4.4", 6, "10", Open,
             SymLow + "\nFor 4.4 MHz Symmetry must be 11 % or higher."},
        Case{"at4400kHz90", "FG5010", 5, "1", "0", "4400", 3, "90", Open,
             SymHigh + "\nFor 4.4 MHz Symmetry must be 89 % or lower."},
        Case{"at20MHz50", "FG5010", 5, "1", "0", "20", 6, "50", Open, ""},
        Case{"at20MHz51", "FG5010", 5, "1", "0", "20", 6, "51", Open,
             SymHigh + "\nFor 20 MHz Symmetry must be 50 % or lower."},
        // In kHz the sentence gives the megahertz in the computed number form.
        Case{"in5000kHz", "FG5010", 5, "1", "0", "5000", 3, "95", Open,
             SymHigh + "\nFor 5 MHz Symmetry must be 87 % or lower."},
        Case{"in4500kHz", "FG5010", 0, "1", "0", "4500", 3, "5", Open,
             SymLow + "\nFor 4.5 MHz Symmetry must be 12 % or higher."}),
    ByName());

INSTANTIATE_TEST_SUITE_P(
    OtherRules, SettingErrorCases,
    ::testing::Values(
        Case{"afg2At2MHz", "AFG5102", 5, "1", "0", "2", 6, "40", Fifty, ""},
        // The first line needs no separator.
        Case{"afg2At2500kHz", "AFG5102", 5, "1", "0", "2.5", 6, "40", Fifty, VariableSym},
        // One line feed after a text that already speaks of symmetry.
        Case{"afg2Sym95At3MHz", "AFG5102", 5, "1", "0", "3", 6, "95", Fifty,
             SymHigh + "\n" + VariableSym},
        // Two after any other.
        Case{"afg2AfterAmplitude", "AFG5102", 0, "20", "0", "3", 6, "40", Fifty,
             "Amplitude is out of range (too high).\nAmplitude + Offset out of range (absolute "
             "values too high).\n\n" +
                 VariableSym},
        Case{"afg2At50Always", "AFG5102", 0, "1", "0", "20", 6, "50", Fifty, ""},
        Case{"afg1NoSymmetry", "AFG5101", 3, "1", "0", "10", 6, "95", Fifty, ""},
        Case{"pfgNoSymmetry", "PFG5105", 0, "1", "0", "10", 6, "", Fifty, ""},
        // The half amplitude 4.995 is cut to 4.99, which equals the range limit.
        Case{"afg1HalfAmplitudeCut", "AFG5101", 1, "9.99", "0", "", 0, "", Fifty, ""},
        Case{"afg1RangeExceeded", "AFG5101", 1, "9.99", ".01", "", 0, "", Fifty,
             "Amplitude + Offset out of range (absolute values too high)."},
        Case{"afg2NoCut", "AFG5102", 1, "15", "0", "", 0, "", Fifty, ""},
        Case{"fgFiftyOhms10", "FG5010", 1, "10", "0", "", 0, "", Fifty, ""},
        Case{"fgFiftyOhms10_01", "FG5010", 1, "10.01", "0", "", 0, "", Fifty,
             "Amplitude is out of range (too high)."},
        Case{"afg2OpenCircuit30", "AFG5102", 1, "30", "0", "", 0, "", Open, ""},
        Case{"threeLines", "FG5010", 1, "30", "-8", "", 0, "", Open,
             "Amplitude is out of range (too high).\nOffset is out of range (absolute value too "
             "high).\nAmplitude + Offset out of range (absolute values too high)."},
        Case{"withFrequency", "AFG5102", 0, "20", "0", "30", 6, "50", Fifty,
             "Amplitude is out of range (too high).\nAmplitude + Offset out of range (absolute "
             "values too high).\nFrequency is out of range (too high)."},
        Case{"emptyFields", "FG5010", 0, "", "", "", 0, "50", Open,
             "Amplitude is out of range (too low).\nFrequency is out of range (too low)."},
        Case{"negativeAmplitude", "FG5010", 1, "-1", "0", "", 0, "", Open,
             "Amplitude is out of range (too low)."},
        Case{"negativeOffsetByMagnitude", "FG5010", 1, "1", "-7.6", "", 0, "", Open,
             "Offset is out of range (absolute value too high)."},
        Case{"frequencyLow", "AFG5101", 2, "1", "0", "11", 3, "", Fifty, ""},
        Case{"frequencyTooLow", "AFG5101", 2, "1", "0", "0.01", 0, "", Fifty,
             "Frequency is out of range (too low)."},
        // Unknown scopes: below 2 is amplitude and offset, anything else nothing.
        Case{"scopeMinusOne", "FG5010", -1, "25", "0", "99", 6, "99", Open,
             "Amplitude is out of range (too high)."},
        Case{"scopeFour", "FG5010", 4, "25", "0", "99", 6, "99", Open, ""}),
    ByName());

TEST(SettingErrorBox, OffersTheModelsSheet)
{
    SettingsSnapshot s;
    s.Amplitude = "25";
    s.Offset = "0";
    s.Frequency = "10";
    s.FrequencyMultiplier = 6;
    s.Symmetry = "80";
    s.load = OutputLoad::OpenCircuit;
    const std::string errors = SettingErrors(0, s, SelectModelProfile("FG5010"));
    EXPECT_EQ(SettingErrorBoxText(errors, "FG5010"),
              "Amplitude is out of range (too high).\n\nSymmetry is out of range (too high).\nFor "
              "10 MHz Symmetry must be 75 % or lower.\n\nSelect Yes to see the specs of FG5010.");
}

} // namespace
