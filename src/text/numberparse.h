#pragma once

#include <string_view>

// Reads the number at the start of a text, as the instrument fields and replies are read
// throughout the program: blanks (space, tab, CR, LF) are skipped wherever they stand;
// then an optional sign, digits with at most one ".", and an optional exponent ("E" or
// "e", optional sign, digits), as far as these form a number. "." is the decimal
// separator whatever the user's locale. Returns 0 when the text does not begin with a
// number; a magnitude too large for a double gives +/-infinity.
// Examples: "12.5kHz" -> 12.5; " - 1 . 5" -> -1.5; "5.00E+0" -> 5; "E5" -> 0.
double LeadingNumber(std::string_view text);
