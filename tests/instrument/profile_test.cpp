#include "text/numberparse.h"
#include "instrument/profile.h"

#include <gtest/gtest.h>

namespace {

TEST(SelectModelProfile, KnowsFourNamesExactly)
{
    const struct
    {
        const char *name;
        int16_t index;
    } cases[] = {
        {"FG5010", 1},  {"AFG5101", 2}, {"PFG5105", 2}, {"AFG5102", 3},
        {"afg5102", 0}, {"AFG51020", 0}, {"AFG510", 0}, {" AFG5102", 0},
        {"FG5010 ", 0}, {"", 0},         {"PFG5101", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SelectModelProfile(c.name).ModelIndex, c.index) << c.name;
}

TEST(SelectModelProfile, HoldsEachModelsLimitsInSinglePrecision)
{
    const ModelProfile fg = SelectModelProfile("FG5010");
    EXPECT_EQ(fg.MinFrequency, 0.002f);
    EXPECT_EQ(fg.MaxFrequency, 20000000.0f);
    EXPECT_EQ(fg.MinSymmetry, 10.0f);
    EXPECT_EQ(fg.MaxSymmetry, 90.0f);
    EXPECT_EQ(fg.FullSpanMaxFrequency, 4000000.0f);
    EXPECT_EQ(fg.MinAmplitude, 0.02f);
    EXPECT_EQ(fg.MaxAmplitude, 20.0f);
    EXPECT_EQ(fg.MaxOffset, 7.5f);
    EXPECT_EQ(fg.MaxRange, 15.0f);

    const ModelProfile afg1 = SelectModelProfile("AFG5101");
    const ModelProfile pfg = SelectModelProfile("PFG5105");
    for (const ModelProfile &p : {afg1, pfg}) {
        EXPECT_EQ(p.MinFrequency, 0.012f);
        EXPECT_EQ(p.MaxFrequency, 12000000.0f);
        EXPECT_EQ(p.MinSymmetry, 50.0f);
        EXPECT_EQ(p.MaxSymmetry, 50.0f);
        EXPECT_EQ(p.FullSpanMaxFrequency, 0.0f);
        EXPECT_EQ(p.MinAmplitude, 0.01f);
        EXPECT_EQ(p.MaxAmplitude, 9.99f);
        EXPECT_EQ(p.MaxOffset, 4.99f);
        EXPECT_EQ(p.MaxRange, 4.99f);
    }
    EXPECT_EQ(static_cast<double>(afg1.MaxAmplitude), 9.98999977111816406);

    const ModelProfile afg2 = SelectModelProfile("AFG5102");
    EXPECT_EQ(afg2.MinFrequency, 0.02f);
    EXPECT_EQ(afg2.MaxFrequency, 20000000.0f);
    EXPECT_EQ(afg2.FullSpanMaxFrequency, 2000000.0f);
    EXPECT_EQ(afg2.MinAmplitude, 0.015f);
    EXPECT_EQ(afg2.MaxAmplitude, 15.0f);
    EXPECT_EQ(afg2.MaxOffset, 7.49f);
    EXPECT_EQ(afg2.MaxRange, 7.5f);

    const ModelProfile none = SelectModelProfile("XYZ");
    EXPECT_EQ(none.MaxAmplitude, 0.0f);
    EXPECT_EQ(none.MaxFrequency, 0.0f);
}

TEST(LoadFactor, ConvertsBetweenTheChosenLoadAndTheReferenceLoad)
{
    using L = OutputLoad;
    EXPECT_EQ(LoadFactor(1, L::FiftyOhms), 2);
    EXPECT_EQ(LoadFactor(1, L::OpenCircuit), 1);
    for (int16_t model : {2, 3}) {
        EXPECT_EQ(LoadFactor(model, L::OpenCircuit), 0.5);
        EXPECT_EQ(LoadFactor(model, L::FiftyOhms), 1);
    }
    EXPECT_EQ(ReferenceLoad(1), L::OpenCircuit);
    EXPECT_EQ(ReferenceLoad(3), L::FiftyOhms);
}

// A typed amplitude, converted to the reference load in single precision, against the
// model's maximum, as the check before sending compares them.
TEST(LoadFactor, KeepsSinglePrecisionComparisonsExactAtTheLimits)
{
    const struct
    {
        const char *model;
        OutputLoad load;
        const char *typed;
        bool withinMaximum;
    } cases[] = {
        {"AFG5101", OutputLoad::FiftyOhms, "9.99", true},
        {"AFG5101", OutputLoad::FiftyOhms, "9.991", false},
        {"FG5010", OutputLoad::FiftyOhms, "10", true},
        {"FG5010", OutputLoad::FiftyOhms, "10.01", false},
        {"AFG5102", OutputLoad::OpenCircuit, "30", true},
        {"AFG5102", OutputLoad::OpenCircuit, "30.01", false},
        {"PFG5105", OutputLoad::OpenCircuit, "19.98", true},
    };
    for (const auto &c : cases) {
        const ModelProfile p = SelectModelProfile(c.model);
        const float typed = static_cast<float>(LeadingNumber(c.typed));
        const float a = static_cast<float>(typed * LoadFactor(p.ModelIndex, c.load));
        EXPECT_EQ(!(a > p.MaxAmplitude), c.withinMaximum) << c.model << " " << c.typed;
    }
}

} // namespace
