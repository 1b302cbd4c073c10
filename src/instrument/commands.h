#pragma once

#include "instrument/settings.h"

#include <string>

// The instruments' command language as the program writes it: headers, one blank,
// argument; several commands joined by ";" without blanks.

// A number the program computed (a halved or doubled voltage), as the instruments take
// it: plain decimal, "." whatever the locale, no 0 before the point of a magnitude below
// 1, no trailing zeros, at most 15 significant digits. 2.5 "2.5", 0.75 ".75",
// -0.25 "-.25", 10 "10".
std::string ComputedNumberText(double value);

// The amplitude (volts) to send for a field text typed for `load`: the text itself when
// the model works in that load, otherwise the value doubled or halved.
std::string AmplitudeForLoad(const std::string &fieldText, Model ModelIndex, OutputLoad load);
std::string OffsetForLoad(const std::string &fieldText, Model ModelIndex, OutputLoad load);

// True when a field text can only be a number: blanks anywhere, then an optional sign,
// digits with at most one ".", and an optional exponent (E, optional sign, digits); an
// empty text, a lone sign or point count (they read as 0). Field texts go into commands
// as they stand, so anything else (";", letters) could become a command of its own.
bool IsNumberText(const std::string &text);

// "SINE", "SQUARE", "TRIANGLE" for 0 to 2; "" otherwise.
std::string FunctionName(int16_t selectedFunction);

// The commands of one field. Each is "" when the field's text is not a number text
// (IsNumberText): nothing but a number ever goes from a field to the instrument.
// "AMPL " / "OFFS " + the value for the load (AmplitudeForLoad, OffsetForLoad).
std::string AmplitudeCommand(const SettingsSnapshot &s, Model ModelIndex);
std::string OffsetCommand(const SettingsSnapshot &s, Model ModelIndex);
// "FREQ " + the field text + "E+" + the unit's exponent: the frequency goes out as typed.
std::string FrequencyCommand(const SettingsSnapshot &s);
// "SYM " + the field text, in percent.
std::string SymmetryCommand(const SettingsSnapshot &s);

// The one line that applies every setting:
// "AMPL a;OFFS o;FREQ fE+x;FUNC name" and, for models with variable symmetry, ";SYM s";
// "" when a field text it needs is not a number text.
std::string SettingLine(const SettingsSnapshot &s, Model ModelIndex);
