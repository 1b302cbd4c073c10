// Loading the saved settings from a store that holds anything at all: the result is
// always a set the window can show, with options inside their groups and short texts.
#include "fuzzcheck.h"

#include "instrument/storedsettings.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Longer than any number text a field can get from FieldText.
constexpr size_t kLongestFieldText = 24;

const char *const kKeys[] = {
    "50 Ohm", "Amplitude", "Offset", "Function", "Frequency", "Frequency Multiplier", "Symmetry"};

bool knownKey(const char *key)
{
    for (const char *k : kKeys)
        if (std::strcmp(k, key) == 0)
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Byte 0: the model index; byte 1: which keys are missing (one bit each); the rest:
    // the stored texts, one per line, handed out in the order the keys are read.
    if (size < 2)
        return 0;
    const auto model = static_cast<Model>(static_cast<int8_t>(data[0]));
    const unsigned missing = data[1];
    std::vector<std::string> texts;
    std::string_view rest(reinterpret_cast<const char *>(data) + 2, size - 2);
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        texts.emplace_back(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }

    size_t reads = 0;
    const StoreReader reader = [&](const char *key, const char *fallback) -> std::string {
        FUZZ_CHECK(key && fallback && knownKey(key));
        const size_t i = reads++;
        if ((missing >> (i % 8)) & 1u)
            return fallback;
        return i < texts.size() ? texts[i] : std::string();
    };
    const StoredSettings s = ReadStoredSettings(reader, model);

    FUZZ_CHECK(s.loadOption < 2);
    FUZZ_CHECK(s.waveformOption < 3);
    FUZZ_CHECK(s.unitOption < 3);
    for (const std::string *text : {&s.Amplitude, &s.Offset, &s.Frequency, &s.Symmetry})
        FUZZ_CHECK(text->size() <= kLongestFieldText);
    FUZZ_CHECK(!s.Amplitude.empty() && !s.Offset.empty() && !s.Frequency.empty());
    FUZZ_CHECK(s.Symmetry.empty() == (model == Model::AFG5101));
    return 0;
}
