#pragma once

#include "instrument/profile.h"

#include <cstdint>
#include <string>

// The main window's settings as the user left them: the four field texts exactly as they
// stand, and the option groups' choices.
struct SettingsSnapshot
{
    std::string Amplitude;
    std::string Offset;
    std::string Frequency;
    std::string Symmetry;
    OutputLoad load = OutputLoad::OpenCircuit;
    int16_t FrequencyMultiplier = 0; // decimal exponent of the unit: 0 Hz, 3 kHz, 6 MHz
    int16_t SelectedFunction = 0;    // 0 sine, 1 square, 2 triangle, 3 none selected
};
