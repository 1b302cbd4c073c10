#pragma once

#include <string>

// Reading the instruments' replies back: header word, blank, value, perhaps a ";"
// ("AMPL 20.0E-3;"). An empty reply (the query failed) reads as 0, Hz and sine.

// The value text of a reply: every ";" and every occurrence of `header` removed
// (case-sensitive), then the surrounding blanks.
std::string ReplyValue(const std::string &reply, const std::string &header);

// Volts from an amplitude or offset value text; "E-3" means millivolts.
float VoltsFromReply(const std::string &valueText);

struct FrequencyReading
{
    int unitIndex; // option of the unit group: 0 Hz, 1 kHz, 2 MHz
    float value;   // in that unit
};

// The unit follows the first of "E-3", "E+3", "E+6" found in the value text.
FrequencyReading FrequencyFromReply(const std::string &valueText);

// Waveform option from the two-letter code: 0 sine (also for anything unknown),
// 1 square, 2 triangle.
int WaveformFromReply(const std::string &valueText);

// The output is on when the reply holds "ON" ("OUT OFF" does not).
bool OutputOnFromReply(const std::string &reply);

// The text a field shows for a value read back: FormatNumber without its blanks.
std::string FieldText(float value, float formatCode);
