#pragma once

#include <string>

// Number texts of the fields and of the specification sheet.
//
// The instrument front end shows every number in one of a few fixed shapes; these
// functions reproduce them exactly, including the single-precision steps, so that a
// value written to a field and read back gives the same text again.

// The plain number text of a single-precision value: a blank before a value of zero or
// more, "-" before a negative one; at most 7 significant digits, rounded half up; no
// trailing zeros and no point for a whole number; no 0 before the point of a magnitude
// below 1 (0.5 gives " .5"). Magnitudes of 1e7 and more, and those below 1e-4 (after
// rounding), are written in exponent form with a two-digit exponent (" 1.5E+07").
// Infinity gives " 1E+39" / "-1E+39", which reads back as infinity in single precision;
// NaN gives " NAN".
std::string NumberText(float value);

// Formats `value` under the format code `formatCode`:
//   0              the number text, with a 0 before the point of a magnitude below 1;
//   0 < |F| <= 100 |F| read as W.D: integer part at least W wide (sign position
//                  included), exactly D decimals;
//   |F| > 100      significant-digit form: units digit = significant digits (1 is
//                  refused with an "Error: IntFrac=" text), hundreds digit and up widen
//                  the field, the tens digit is ignored.
// F > 0 rounds half up at the last digit kept; F < 0 truncates. The result starts with
// blanks or "-" (callers that want bare digits trim it). A value whose text takes the
// exponent form keeps that text as it is, without appended decimals; an infinite or NaN
// value gives its number text.
// Examples: (12.345, 104) -> " 12.35"; (12.345, -104) -> " 12.34"; (7.5, 2) -> " 8".
std::string FormatNumber(float value, float formatCode);
