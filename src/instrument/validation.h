#pragma once

#include "instrument/profile.h"
#include "instrument/settings.h"

#include <cstdint>
#include <string>

// Which settings a check covers: 0 all; 1 amplitude and offset; 2 frequency; 3 symmetry;
// 5 frequency and symmetry. Any other value below 2 checks amplitude and offset only,
// and any other value at all nothing.
//
// Returns every problem found, one line each in a fixed order ("" when all is well).
// Values are compared in single precision, as the instruments' front panels do, so that a
// limit typed exactly passes.
std::string SettingErrors(int16_t scope, const SettingsSnapshot &s, const ModelProfile &p);

// The text of the "Setting Error" box for the problems found.
std::string SettingErrorBoxText(const std::string &errorText, const std::string &ModelName);
