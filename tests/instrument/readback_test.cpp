#include "instrument/readback.h"

#include <gtest/gtest.h>

namespace {

TEST(ReplyValue, DropsHeaderSemicolonsAndBlanks)
{
    EXPECT_EQ(ReplyValue("AMPL 20.0E-3;", "AMPL"), "20.0E-3");
    EXPECT_EQ(ReplyValue(" FREQ 10.00E+6 ", "FREQ"), "10.00E+6");
    EXPECT_EQ(ReplyValue("SYM 50;SYM 50", "SYM"), "50 50");
    EXPECT_EQ(ReplyValue("ampl 5", "AMPL"), "ampl 5"); // the header is case-sensitive
    EXPECT_EQ(ReplyValue("", "OFFS"), "");
}

TEST(VoltsFromReply, ReadsMillivoltsAndEngineeringForm)
{
    EXPECT_FLOAT_EQ(VoltsFromReply("20.0E-3"), 0.02f);
    EXPECT_FLOAT_EQ(VoltsFromReply("5.00E+0"), 5.0f);
    EXPECT_FLOAT_EQ(VoltsFromReply("-1.50E+0"), -1.5f);
    EXPECT_FLOAT_EQ(VoltsFromReply("garbage"), 0.0f);
    EXPECT_FLOAT_EQ(VoltsFromReply(""), 0.0f);
}

TEST(FrequencyFromReply, TheSuffixChoosesTheUnit)
{
    const struct
    {
        const char *text;
        int unit;
        float value;
    } cases[] = {
        {"10.00E+6", 2, 10},  {"250.0E+0", 0, 250}, {"2.000E-3", 0, 0.002f},
        {"12.50E+3", 1, 12.5f}, {"", 0, 0},          {"5", 0, 5},
        {"1.5E2", 0, 150},
    };
    for (const auto &c : cases) {
        const FrequencyReading r = FrequencyFromReply(c.text);
        EXPECT_EQ(r.unitIndex, c.unit) << c.text;
        EXPECT_FLOAT_EQ(r.value, c.value) << c.text;
    }
}

TEST(WaveformFromReply, KnowsTheTwoLetterCodes)
{
    const std::pair<const char *, int> cases[] = {
        {"SINE", 0}, {"SQUARE", 1}, {"TRIANGLE", 2}, {"XX", 0}, {"", 0}, {"S", 0},
        {"R", 0}, // would round to a fourth option
    };
    for (const auto &[text, option] : cases)
        EXPECT_EQ(WaveformFromReply(text), option) << text;
}

TEST(OutputOnFromReply, LooksForOn)
{
    EXPECT_TRUE(OutputOnFromReply("OUT ON"));
    EXPECT_FALSE(OutputOnFromReply("OUT OFF"));
    EXPECT_FALSE(OutputOnFromReply(""));
}

TEST(FieldText, RoundsAndTrims)
{
    EXPECT_EQ(FieldText(37.5f, 2), "38");
    EXPECT_EQ(FieldText(50, 2), "50");
    EXPECT_EQ(FieldText(0.02f, 104), "0.020");
    EXPECT_EQ(FieldText(2.5f, 104), "2.500");
    EXPECT_EQ(FieldText(10, 104), "10.00");
}

} // namespace
