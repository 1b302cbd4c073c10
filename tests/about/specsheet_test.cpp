// The About window's specification sheet of each model.
#include "instrument/specsheet.h"

#include <gtest/gtest.h>

namespace {

// The open-circuit model in full: half of each figure into 50 ohms, no line feed at the end.
TEST(SpecSheet, TheFg5010SheetWhole)
{
    EXPECT_EQ(SpecSheet(SelectModelProfile("FG5010"), "FG5010", 30), R"(Connected to FG5010 at GPIB address 30

Min Amplitude into 50 Ohm: 0.010 V
Min Amplitude into High Impedance: 0.020 V

Max Amplitude into 50 Ohm: 10.00 V
Max Amplitude into High Impedance: 20.00 V

Max Offset into 50 Ohm: 3.750 V
Max Offset into High Impedance: 7.500 V

Max Range (Signal/2 + Offset) into 50 Ohm: 7.500 V
Max Range (Signal/2 + Offset) into High Impedance: 15.00 V

NOTE: The Amplitude and Offset settings displayed on the FG5010 are true only
             for high impedace load. For 50 Ohms load the actual outputs are half of
             the displayed.

Min Frequency: 0.002 Hz
Max Frequency: 20.00 MHz

Min Symmetry: 10 %
Max Symmetry: 90 %

NOTE: Min and Max Symmetry settings are only valid at 4.000 MHz and below.
             At frequencies higher than 4.000 MHz Symmetry span decreases.
             Example:  25 to 75 % @ 10 MHz
                             38 to 62 % @ 15 MHz
                             50 % only @ 20 MHz)");
}

// 7.777 V shows the decade rules: lower offsets cut, ranges rounded, the lowest from 7.7 V.
TEST(SpecSheet, TheLinesThatTellTheOtherModelsApart)
{
    const std::string In(13, ' '), Mid = "\n   Amplitude 0.100 V to 0.999 V:", Lo = "\n   Amplitude 0.010 V to 0.099 V:";
    const struct { const char *model; float limit; std::string part; bool atEnd; } rows[] = {
        {"AFG5101", 7.777f, Mid + " 0.777 V" + Lo + " 0.077 V\nMax Offset into High Impedance:", false},
        {"AFG5101", 7.777f, Mid + " 1.555 V" + Lo + " 0.154 V\n\nMax Range", false},
        {"AFG5101", 7.777f, Mid + " 0.778 V" + Lo + " 0.077 V\nMax Range (Signal/2 + Offset) into High", false},
        {"AFG5101", 7.777f, Mid + " 1.555 V" + Lo + " 0.154 V\n\nNOTE", false},
        {"AFG5101", 0, "\n" + In + "for 50 Ohms load. For high impedance load the actual outputs are double of\n", false},
        {"PFG5105", 0, "Max Frequency: 12.00 MHz\n\nPFG5105 does not support variable Symmetry.\n", true},
        {"AFG5102", 0, "\nMax Offset into 50 Ohm: 7.490 V\nMax Offset into High Impedance: 14.98 V\n", false},
        {"AFG5102", 0, "only valid at 2.000 MHz and below.\n" + In + "At frequencies higher than 2.000 MHz Symmetry must be 50 %.", true},
    };
    for (const auto &r : rows) {
        ModelProfile profile = SelectModelProfile(r.model);
        if (r.limit)
            profile.MaxOffset = profile.MaxRange = r.limit;
        const std::string sheet = SpecSheet(profile, r.model, 5);
        EXPECT_TRUE(r.atEnd ? sheet.ends_with(r.part) : sheet.find(r.part) != std::string::npos)
            << r.part << "\nnot in:\n" << sheet;
    }
}

} // namespace
