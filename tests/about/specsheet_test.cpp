// The About window's specification sheet of each model, and the mail link.
#include "about/links.h"
#include "instrument/specsheet.h"

#include "support/recordingshell.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

const std::string Note(13, ' '), Example(29, ' ');

// The decade model in full: its offsets are cut and its ranges rounded per decade.
TEST(SpecSheet, TheAfg5101SheetLineByLine)
{
    const std::vector<std::string> expected = {
        "Connected to AFG5101 at GPIB address 5", "",
        "Min Amplitude into 50 Ohm: 0.010 V", "Min Amplitude into High Impedance: 0.020 V", "",
        "Max Amplitude into 50 Ohm: 9.990 V", "Max Amplitude into High Impedance: 19.98 V", "",
        "Max Offset into 50 Ohm:",
        "   Amplitude 1.00 V to 9.99 V: 4.990 V", "   Amplitude 0.100 V to 0.999 V: 0.499 V",
        "   Amplitude 0.010 V to 0.099 V: 0.049 V",
        "Max Offset into High Impedance:",
        "   Amplitude 1.00 V to 9.99 V: 9.980 V", "   Amplitude 0.100 V to 0.999 V: 0.998 V",
        "   Amplitude 0.010 V to 0.099 V: 0.098 V", "",
        "Max Range (Signal/2 + Offset) into 50 Ohm:",
        "   Amplitude 1.00 V to 9.99 V: 4.990 V", "   Amplitude 0.100 V to 0.999 V: 0.499 V",
        "   Amplitude 0.010 V to 0.099 V: 0.049 V",
        "Max Range (Signal/2 + Offset) into High Impedance:",
        "   Amplitude 1.00 V to 9.99 V: 9.980 V", "   Amplitude 0.100 V to 0.999 V: 0.998 V",
        "   Amplitude 0.010 V to 0.099 V: 0.098 V", "",
        "NOTE: The Amplitude and Offset settings displayed on the AFG5101 are true only",
        Note + "for 50 Ohms load. For high impedance load the actual outputs are double of",
        Note + "the displayed.", "",
        "Min Frequency: 0.012 Hz", "Max Frequency: 12.00 MHz", "",
        "AFG5101 does not support variable Symmetry.",
    };
    const std::string sheet = SpecSheet(SelectModelProfile("AFG5101"), "AFG5101", 5);
    EXPECT_EQ(lines(sheet), expected);
    EXPECT_TRUE(sheet.ends_with("Symmetry.\n"));
}

// The lines that tell the other models and odd figures apart.
TEST(SpecSheet, EachModelsOwnLines)
{
    ModelProfile odd = SelectModelProfile("AFG5101");
    odd.MaxOffset = odd.MaxRange = 7.777f; // cut versus rounded, and the lowest decade cut first
    const struct { ModelProfile profile; const char *model; int16_t address; size_t line; std::string text; } rows[] = {
        {SelectModelProfile("FG5010"), "FG5010", 30, 0, "Connected to FG5010 at GPIB address 30"},
        {SelectModelProfile("FG5010"), "FG5010", 5, 8, "Max Offset into 50 Ohm: 3.750 V"},
        {SelectModelProfile("FG5010"), "FG5010", 5, 15, Note + "for high impedace load. For 50 Ohms load the actual outputs are half of"},
        {SelectModelProfile("FG5010"), "FG5010", 5, 24, "NOTE: Min and Max Symmetry settings are only valid at 4.000 MHz and below."},
        {SelectModelProfile("FG5010"), "FG5010", 5, 28, Example + "50 % only @ 20 MHz"},
        {SelectModelProfile("PFG5105"), "PFG5105", 5, 33, "PFG5105 does not support variable Symmetry."},
        {SelectModelProfile("AFG5102"), "AFG5102", 5, 9, "Max Offset into High Impedance: 14.98 V"},
        {SelectModelProfile("AFG5102"), "AFG5102", 5, 24, "NOTE: Min and Max Symmetry settings are only valid at 2.000 MHz and below."},
        {SelectModelProfile("AFG5102"), "AFG5102", 5, 25, Note + "At frequencies higher than 2.000 MHz Symmetry must be 50 %."},
        {odd, "AFG5101", 5, 11, "   Amplitude 0.010 V to 0.099 V: 0.077 V"},
        {odd, "AFG5101", 5, 15, "   Amplitude 0.010 V to 0.099 V: 0.154 V"},
        {odd, "AFG5101", 5, 19, "   Amplitude 0.100 V to 0.999 V: 0.778 V"},
    };
    for (const auto &r : rows) {
        const std::vector<std::string> got = lines(SpecSheet(r.profile, r.model, r.address));
        ASSERT_GT(got.size(), r.line) << r.model;
        EXPECT_EQ(got[r.line], r.text) << r.model << " line " << r.line;
    }
    EXPECT_EQ(lines(SpecSheet(SelectModelProfile("FG5010"), "FG5010", 5)).size(), 29u);
}

TEST(MailLink, PrefixOnceThenSubjectAndBody)
{
    const struct { const char *address, *subject, *body, *link; } rows[] = {
        {"a@b.org", "", "", "mailto:a@b.org"},
        {"MailTo:a@b.org", "", "", "MailTo:a@b.org"},
        {"mailtoa@b.org", "", "", "mailto:mailtoa@b.org"},
        {"", "", "", "mailto:"},
        {"a@b.org", "", "Text", "mailto:a@b.org?body=Text"},
        {"mAiLtO:a@b.org", "Hi", "Text", "mAiLtO:a@b.org?subject=Hi&body=Text"},
        {"a@b.org", "Wavedial 1.3 & more", "x=1?", "mailto:a@b.org?subject=Wavedial 1.3 & more&body=x=1?"},
    };
    for (const auto &r : rows) {
        RecordingShell shell;
        EXPECT_TRUE(OpenEmail(shell, r.address, r.subject, r.body));
        EXPECT_EQ(shell.links, std::vector<std::string>{r.link}) << r.address;
    }
}

} // namespace
