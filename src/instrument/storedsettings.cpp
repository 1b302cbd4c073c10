#include "instrument/storedsettings.h"

#include "text/numberparse.h"
#include "instrument/readback.h"

#include <cmath>

namespace {

// An index stored as text: its leading number divided and rounded (halves to even).
size_t storedIndex(const std::string &text, double divisor, size_t options, size_t fallback)
{
    const double index = std::nearbyint(LeadingNumber(text) / divisor);
    if (!(index >= 0 && index < static_cast<double>(options)))
        return fallback;
    return static_cast<size_t>(index);
}

} // namespace

StoredSettings ReadStoredSettings(const StoreReader &read, Model ModelIndex)
{
    const auto number = [&read](const char *key, const char *fallback) {
        return static_cast<float>(LeadingNumber(read(key, fallback)));
    };
    StoredSettings s;
    s.loadOption = storedIndex(read("50 Ohm", "1"), 1, 2, 1);
    s.Amplitude = FieldText(number("Amplitude", "1"), 104);
    s.Offset = FieldText(number("Offset", "0"), 104);
    s.waveformOption = storedIndex(read("Function", "0"), 1, 3, 0);
    s.Frequency = FieldText(number("Frequency", "1000"), 104);
    s.unitOption = storedIndex(read("Frequency Multiplier", "1"), 3, 3, 0);
    // The AFG5101 and PFG5105 have no variable symmetry: their field keeps "50".
    if (HasSymmetry(ModelIndex))
        s.Symmetry = FieldText(number("Symmetry", "50"), 2);
    return s;
}
