#pragma once

#include <cstdint>
#include <string>

// The supported models, by the index the program's tables and stored choices use.
enum class Model : int16_t {
    None = 0,    // no supported model found
    FG5010 = 1,
    AFG5101 = 2, // and the PFG5105: the same limits, and no variable symmetry
    AFG5102 = 3,
};

// Whether the model's symmetry can be set (every model but the AFG5101 and PFG5105).
constexpr bool HasSymmetry(Model m)
{
    return m != Model::AFG5101;
}

// The limits of one model of function generator. Figures are single precision, as the
// front panel's arithmetic is: 9.99 is held as 9.98999977. Volts are for the model's
// reference load: open circuit for the FG5010, 50 ohms for the others.
struct ModelProfile
{
    Model ModelIndex = Model::None;
    float MinFrequency = 0;         // Hz
    float MaxFrequency = 0;         // Hz
    float MinSymmetry = 0;          // percent
    float MaxSymmetry = 0;          // percent
    float FullSpanMaxFrequency = 0; // Hz; above it the symmetry span shrinks or is 50 % only
    float MinAmplitude = 0;         // V peak to peak
    float MaxAmplitude = 0;         // V peak to peak
    float MaxOffset = 0;            // V, magnitude
    float MaxRange = 0;             // V, amplitude / 2 + |offset|
};

// The profile of the model named exactly (case and length) "FG5010", "AFG5101",
// "PFG5105" or "AFG5102"; any other name gives the empty profile (Model::None).
ModelProfile SelectModelProfile(const std::string &ModelName);

// Options of the load group: the load the user's amplitude and offset are meant for.
enum class OutputLoad : int { OpenCircuit = 0, FiftyOhms = 1 };

// The load whose figures the instrument itself works in: open circuit for the FG5010,
// 50 ohms otherwise.
OutputLoad ReferenceLoad(Model ModelIndex);

// The factor from a value typed for `load` to the instrument's value in its reference
// load: 2 (FG5010 driving 50 ohms), 0.5 (the others into an open circuit) or 1. The way
// back from the instrument divides by it. Powers of two, so that scaling keeps the
// precision of whatever it multiplies.
double LoadFactor(Model ModelIndex, OutputLoad load);
