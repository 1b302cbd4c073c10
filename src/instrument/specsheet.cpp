#include "instrument/specsheet.h"

#include "text/format.h"
#include "text/numberparse.h"

namespace {

constexpr char LF = '\n';

// Blanks before the notes' continuation lines and the example's later lines.
const std::string Indent(13, ' ');
const std::string ExampleIndent(29, ' ');

std::string Volts(const char *label, float value, float code = 104)
{
    return label + FormatNumber(value, code) + " V" + LF;
}

// The limit cut to one decimal and read back (4.99 gives 4.9).
float OneDecimal(float value)
{
    return static_cast<float>(LeadingNumber(FormatNumber(value, -1.1f)));
}

// The AFG5101 and PFG5105 give their offset and range limits per amplitude decade. The
// lowest decade starts from the limit cut to one decimal; the offsets of the two lower
// decades are truncated while the ranges are rounded, so the blocks differ on purpose.
std::string DecadeBlocks(const ModelProfile &p, float highZ)
{
    const float o = p.MaxOffset;
    const float r = p.MaxRange;
    const float o1 = OneDecimal(o);
    const float r1 = OneDecimal(r);
    const float ten = 10;
    const float hundred = 100;

    std::string s;
    s += "Max Offset into 50 Ohm:";
    s += LF;
    s += Volts("   Amplitude 1.00 V to 9.99 V:", o);
    s += Volts("   Amplitude 0.100 V to 0.999 V:", o / ten, -104);
    s += Volts("   Amplitude 0.010 V to 0.099 V:", o1 / hundred, -104);
    s += "Max Offset into High Impedance:";
    s += LF;
    s += Volts("   Amplitude 1.00 V to 9.99 V:", o * highZ);
    s += Volts("   Amplitude 0.100 V to 0.999 V:", o / ten * highZ, -104);
    s += Volts("   Amplitude 0.010 V to 0.099 V:", o1 / hundred * highZ, -104) + LF;

    s += "Max Range (Signal/2 + Offset) into 50 Ohm:";
    s += LF;
    s += Volts("   Amplitude 1.00 V to 9.99 V:", r);
    s += Volts("   Amplitude 0.100 V to 0.999 V:", r / ten);
    s += Volts("   Amplitude 0.010 V to 0.099 V:", r1 / hundred);
    s += "Max Range (Signal/2 + Offset) into High Impedance:";
    s += LF;
    s += Volts("   Amplitude 1.00 V to 9.99 V:", r * highZ);
    s += Volts("   Amplitude 0.100 V to 0.999 V:", r / ten * highZ);
    s += Volts("   Amplitude 0.010 V to 0.099 V:", r1 / hundred * highZ) + LF;
    return s;
}

} // namespace

SheetFactors SpecSheetFactors(Model ModelIndex)
{
    if (ModelIndex == Model::FG5010)
        return {0.5f, 1.0f};
    return {1.0f, 2.0f};
}

std::string SpecSheet(const ModelProfile &p, const std::string &ModelName, int16_t address)
{
    const auto [f50, fHighZ] = SpecSheetFactors(p.ModelIndex);
    const float mega = 1000000;

    // The address is written as a signed number: a blank in the sign position.
    std::string s = "Connected to " + ModelName + " at GPIB address" + (address < 0 ? "" : " ") +
                    std::to_string(address) + LF + LF;

    s += Volts("Min Amplitude into 50 Ohm:", p.MinAmplitude * f50);
    s += Volts("Min Amplitude into High Impedance:", p.MinAmplitude * fHighZ) + LF;
    s += Volts("Max Amplitude into 50 Ohm:", p.MaxAmplitude * f50);
    s += Volts("Max Amplitude into High Impedance:", p.MaxAmplitude * fHighZ) + LF;

    if (!HasSymmetry(p.ModelIndex)) {
        s += DecadeBlocks(p, fHighZ);
    } else {
        s += Volts("Max Offset into 50 Ohm:", p.MaxOffset * f50);
        s += Volts("Max Offset into High Impedance:", p.MaxOffset * fHighZ) + LF;
        s += Volts("Max Range (Signal/2 + Offset) into 50 Ohm:", p.MaxRange * f50);
        s += Volts("Max Range (Signal/2 + Offset) into High Impedance:", p.MaxRange * fHighZ) + LF;
    }

    s += "NOTE: The Amplitude and Offset settings displayed on the " + ModelName +
         " are true only" + LF;
    if (p.ModelIndex == Model::FG5010)
        s +=
            Indent + "for high impedace load. For 50 Ohms load the actual outputs are half of" + LF;
    else
        s += Indent + "for 50 Ohms load. For high impedance load the actual outputs are double of" +
             LF;
    s += Indent + "the displayed." + LF + LF;

    s += "Min Frequency:" + FormatNumber(p.MinFrequency, 104) + " Hz" + LF;
    s += "Max Frequency:" + FormatNumber(p.MaxFrequency / mega, 104) + " MHz" + LF + LF;

    if (!HasSymmetry(p.ModelIndex))
        return s + ModelName + " does not support variable Symmetry." + LF;

    const std::string fullSpan = FormatNumber(p.FullSpanMaxFrequency / mega, 104);
    s += "Min Symmetry:" + FormatNumber(p.MinSymmetry, 2) + " %" + LF;
    s += "Max Symmetry:" + FormatNumber(p.MaxSymmetry, 2) + " %" + LF + LF;
    s +=
        "NOTE: Min and Max Symmetry settings are only valid at" + fullSpan + " MHz and below." + LF;
    s += Indent + "At frequencies higher than" + fullSpan + " MHz ";
    if (p.ModelIndex == Model::FG5010)
        s += "Symmetry span decreases." + std::string(1, LF) + Indent +
             "Example:  25 to 75 % @ 10 MHz" + LF + ExampleIndent + "38 to 62 % @ 15 MHz" + LF +
             ExampleIndent + "50 % only @ 20 MHz";
    else if (p.ModelIndex == Model::AFG5102)
        s += "Symmetry must be 50 %.";
    return s;
}
