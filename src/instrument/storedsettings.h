#pragma once

#include "instrument/profile.h"

#include <cstdint>
#include <functional>
#include <string>

// One saved set of instrument settings as the window shows it once loaded.
struct StoredSettings
{
    size_t loadOption = 1;     // 0 open circuit, 1 50 ohms
    std::string Amplitude;     // field texts, already formatted
    std::string Offset;
    size_t waveformOption = 0; // 0 sine, 1 square, 2 triangle
    std::string Frequency;
    size_t unitOption = 0; // 0 Hz, 1 kHz, 2 MHz
    std::string Symmetry;  // "" for models without variable symmetry: left as it is
};

// Reads one key of the model's section: the stored text, or `fallback` when missing.
using StoreReader = std::function<std::string(const char *key, const char *fallback)>;

// The saved settings, read key by key in their fixed order with their defaults. Numbers
// are the leading number of each text (0 when there is none); an option index outside
// its group gives the group's default. Whatever the store holds, the result is a valid
// set of field texts and options.
StoredSettings ReadStoredSettings(const StoreReader &read, Model ModelIndex);
