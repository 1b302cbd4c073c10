#pragma once

#include "instrument/profile.h"

#include <cstdint>
#include <string>

// The two multipliers that turn a profile's volt figure into the figure for each load.
// The FG5010's figures hold for an open circuit, so into 50 ohms it gives half of them;
// the other models' figures hold for 50 ohms and double into an open circuit.
struct SheetFactors
{
    float Factor50;    // 50-ohm load: 0.5 for the FG5010, else 1
    float FactorHighZ; // high-impedance load: 1 for the FG5010, else 2
};

SheetFactors SpecSheetFactors(Model ModelIndex);

// The About window's specification sheet of the connected model: the connection line,
// amplitude, offset and range for both loads, frequency and symmetry limits, lines
// separated by '\n'. Every number goes through FormatNumber and keeps its leading blank
// or sign. `address` is the instrument's primary GPIB address (1..30; 0 when its handle
// was not found) and is written with one leading blank. The FG5010 and AFG5102 sheets
// end without a line feed, the AFG5101/PFG5105 sheet with one.
std::string SpecSheet(const ModelProfile &profile, const std::string &ModelName, int16_t address);
