// The instrument's side of the core: which names are supported models, the checks before
// sending, the commands' texts and the stored settings read in.
#include "instrument/commands.h"
#include "instrument/storedsettings.h"
#include "instrument/validation.h"

#include <gtest/gtest.h>

#include <map>

namespace {

constexpr OutputLoad Open = OutputLoad::OpenCircuit;
constexpr OutputLoad Fifty = OutputLoad::FiftyOhms;

SettingsSnapshot snapshot(const char *a, const char *o, const char *f, int16_t mult, const char *sym,
                          OutputLoad load, int16_t function = 0)
{
    return SettingsSnapshot{a, o, f, sym, load, mult, function};
}

TEST(Models, OnlyTheFourNamesExactly)
{
    using enum Model;
    const std::pair<const char *, Model> rows[] = {
        {"FG5010", FG5010}, {"AFG5101", AFG5101}, {"PFG5105", AFG5101}, {"AFG5102", AFG5102},
        {"afg5102", None}, {"AFG51020", None}, {" AFG5102", None}, {"FG5010 ", None}, {"", None},
        {"PFG5101", None},
    };
    for (const auto &[name, index] : rows)
        EXPECT_EQ(SelectModelProfile(name).ModelIndex, index) << name;
}

TEST(SettingErrors, ListEveryProblemInItsOrder)
{
    const std::string high = "Symmetry is out of range (too high).", low = "Symmetry is out of range (too low).",
                      amp = "Amplitude is out of range (too high).",
                      range = "Amplitude + Offset out of range (absolute values too high).",
                      variable = "Frequency is out of range for variable Symmetry.";
    const struct { const char *model; int16_t scope; SettingsSnapshot s; std::string errors; } rows[] = {
        // Above 4 MHz the FG5010 narrows the symmetry by 1 % per 400 kHz, rounded up.
        {"FG5010", 5, snapshot("1", "0", "15", 6, "62", Open), ""},
        {"FG5010", 5, snapshot("1", "0", "15", 6, "63", Open), high + "\nFor 15 MHz Symmetry must be 62 % or lower."},
        {"FG5010", 5, snapshot("1", "0", "15", 6, "37", Open), low + "\nFor 15 MHz Symmetry must be 38 % or higher."},
        {"FG5010", 5, snapshot("1", "0", "4", 6, "10", Open), ""},
        {"FG5010", 5, snapshot("1", "0", "4", 6, "9", Open), low},
        {"FG5010", 5, snapshot("1", "0", "4.4", 6, "11", Open), ""},
        {"FG5010", 5, snapshot("1", "0", "4400", 3, "90", Open), high + "\nFor 4.4 MHz Symmetry must be 89 % or lower."},
        {"FG5010", 5, snapshot("1", "0", "20", 6, "51", Open), high + "\nFor 20 MHz Symmetry must be 50 % or lower."},
        {"FG5010", 0, snapshot("1", "0", "4500", 3, "5", Open), low + "\nFor 4.5 MHz Symmetry must be 12 % or higher."},
        // Separators: none first, one after a symmetry text, two after any other.
        {"AFG5102", 5, snapshot("1", "0", "2", 6, "40", Fifty), ""},
        {"AFG5102", 5, snapshot("1", "0", "2.5", 6, "40", Fifty), variable},
        {"AFG5102", 5, snapshot("1", "0", "3", 6, "95", Fifty), high + "\n" + variable},
        {"AFG5102", 0, snapshot("20", "0", "3", 6, "40", Fifty), amp + "\n" + range + "\n\n" + variable},
        {"AFG5101", 3, snapshot("1", "0", "10", 6, "95", Fifty), ""},
        // The AFG5101's half amplitude 4.995 is cut to 4.99, the range limit itself.
        {"AFG5101", 1, snapshot("9.99", "0", "", 0, "", Fifty), ""},
        {"AFG5101", 1, snapshot("9.99", ".01", "", 0, "", Fifty), range},
        // The limits themselves pass, in single precision after the load's factor.
        {"FG5010", 1, snapshot("10", "0", "", 0, "", Fifty), ""},
        {"FG5010", 1, snapshot("10.0005", "0", "", 0, "", Fifty), amp},
        {"AFG5102", 1, snapshot("30", "0", "", 0, "", Open), ""},
        {"AFG5101", 2, snapshot("1", "0", "0.012", 0, "", Fifty), ""},
        {"AFG5101", 2, snapshot("1", "0", "0.0119", 0, "", Fifty), "Frequency is out of range (too low)."},
        {"FG5010", 1, snapshot("30", "-8", "", 0, "", Open),
         amp + "\nOffset is out of range (absolute value too high).\n" + range},
        {"FG5010", 0, snapshot("", "", "", 0, "50", Open),
         "Amplitude is out of range (too low).\nFrequency is out of range (too low)."},
        {"FG5010", 1, snapshot("1", "-7.6", "", 0, "", Open), "Offset is out of range (absolute value too high)."},
        {"FG5010", 4, snapshot("25", "0", "99", 6, "99", Open), ""},
        // A field text that is no number is out of any range.
        {"FG5010", 1, snapshot("2;OUT ON", "0", "", 0, "", Open), amp + "\n" + range},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message() << r.model << " " << r.scope << " " << r.s.Amplitude << "/" << r.s.Offset
                                        << "/" << r.s.Frequency << "E" << r.s.FrequencyMultiplier << "/" << r.s.Symmetry);
        EXPECT_EQ(SettingErrors(r.scope, r.s, SelectModelProfile(r.model)), r.errors);
    }
    EXPECT_EQ(SettingErrorBoxText(amp, "FG5010"), amp + "\n\nSelect Yes to see the specs of FG5010.");
}

TEST(Commands, TextsGoOutAsTheyStandOrConvertedToTheModelsLoad)
{
    const std::pair<double, const char *> numbers[] = {
        {2.5, "2.5"}, {0.75, ".75"}, {-0.25, "-.25"}, {0, "0"}, {0.1 + 0.2, ".3"},
        {1.0 / 3, ".333333333333333"}, {1e20, "100000000000000000000"}, {1e-7, ".0000001"},
        {123456789012345678.0, "123456789012346000"},
    };
    for (const auto &[value, text] : numbers)
        EXPECT_EQ(ComputedNumberText(value), text) << value;
    const struct { int16_t model; SettingsSnapshot s; const char *line; } lines[] = {
        {1, snapshot("5.00", "0.50", "10", 3, "50", Open), "AMPL 5.00;OFFS 0.50;FREQ 10E+3;FUNC SINE;SYM 50"},
        {3, snapshot("1", "0.5", "1.5", 6, "40", Open, 1), "AMPL .5;OFFS .25;FREQ 1.5E+6;FUNC SQUARE;SYM 40"},
        {2, snapshot("2.00", "-1", "250", 0, "x", Fifty, 2), "AMPL 2.00;OFFS -1;FREQ 250E+0;FUNC TRIANGLE"},
        {1, snapshot("3", "-0.1", "1", 0, "50", Fifty), "AMPL 6;OFFS -.2;FREQ 1E+0;FUNC SINE;SYM 50"},
        // Only number texts make commands: nothing else may reach the instrument.
        {1, snapshot("1;OUT ON", "0", "1", 0, "50", Open), ""},
        {1, snapshot("1", "0", "1", 0, "1.2.3", Open), ""},
    };
    for (const auto &r : lines)
        EXPECT_EQ(SettingLine(r.s, Model(r.model)), r.line) << r.line;
    const std::pair<const char *, bool> texts[] = {
        {"-1.500", true}, {" 12 ", true}, {"", true}, {"2e-3", true}, {"5;", false},
        {"1-2", false}, {"1E", false}, {"NAN", false}, {"0x10", false}, {"1\n", false},
    };
    for (const auto &[text, number] : texts)
        EXPECT_EQ(IsNumberText(text), number) << text;
    EXPECT_EQ(AmplitudeCommand(snapshot("9;OUT ON", "0", "1", 0, "50", Open), Model::FG5010), "");
}

TEST(StoredSettings, OddValuesFallBackOrRound)
{
    const struct { std::map<std::string, std::string> kv; int16_t model; size_t load, wave, unit; const char *amp, *sym; } rows[] = {
        {{}, 1, 1, 0, 0, "1.000", "50"},
        {{{"50 Ohm", "0"}, {"Function", "2"}, {"Frequency Multiplier", "6"}, {"Symmetry", "37.5"}}, 1, 0, 2, 2, "1.000", "38"},
        {{{"50 Ohm", "2"}, {"Function", "3"}, {"Frequency Multiplier", "9"}}, 3, 1, 0, 0, "1.000", "50"},
        {{{"50 Ohm", "-1"}, {"Function", "x"}, {"Frequency Multiplier", "4.5"}, {"Amplitude", "2.5V"}}, 2, 1, 0, 2, "2.500", ""},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.amp);
        const StoredSettings s = ReadStoredSettings(
            [&r](const char *key, const char *fallback) {
                const auto it = r.kv.find(key);
                return it == r.kv.end() ? std::string(fallback) : it->second;
            },
            Model(r.model));
        EXPECT_EQ(s.loadOption, r.load);
        EXPECT_EQ(s.waveformOption, r.wave);
        EXPECT_EQ(s.unitOption, r.unit);
        EXPECT_EQ(s.Amplitude, r.amp);
        EXPECT_EQ(s.Symmetry, r.sym);
    }
}

} // namespace
