#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The instruments' message syntax: commands and queries joined by ";", a command being
// a header word, a blank and an argument ("FREQ 10E+3"), a query a header and "?".
struct SimCommand
{
    std::string header;   // upper-cased header word, "" when the part has none
    bool query = false;   // header followed by "?"
    std::string argument; // what follows the header's blanks, trimmed
};

// Splits a message into its parts; empty parts (";;", a trailing ";") are dropped.
std::vector<SimCommand> splitCommands(std::string_view message);

// A strictly formed decimal number: optional sign, digits with at most one point (at
// least one digit), optional exponent. Anything else, trailing text included, is nullopt.
std::optional<double> parseSimNumber(std::string_view text);

// Engineering form with `digits` significant digits and an exponent that is a multiple
// of three, as the instruments answer queries: (5, 3) "5.00E+0", (0.02, 3) "20.0E-3",
// (1e7, 4) "10.00E+6", (0.002, 4) "2.000E-3".
std::string engineeringText(double value, int digits);

// A short plain decimal text, at most `digits` significant digits, no trailing zeros:
// (50, 3) "50", (37.5, 3) "37.5".
std::string plainText(double value, int digits);
