// The instrument's replies are read back whatever bytes came over the bus: every reader
// gives an option inside its group and a value text without separators or outer blanks.
#include "fuzzcheck.h"

#include "instrument/readback.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // First byte: length of the header word, taken from what follows; the rest is the
    // reply, so the fuzzer can make the header match parts of the reply.
    if (size == 0)
        return 0;
    const size_t headerLength = std::min<size_t>(data[0] % 8, size - 1);
    const std::string header(reinterpret_cast<const char *>(data) + 1, headerLength);
    const std::string reply(reinterpret_cast<const char *>(data) + 1, size - 1);

    const std::string value = ReplyValue(reply, header);
    FUZZ_CHECK(value.size() <= reply.size());
    FUZZ_CHECK(value.find(';') == std::string::npos);
    FUZZ_CHECK(value.empty() || (value.front() != ' ' && value.back() != ' '));

    const float volts = VoltsFromReply(value);
    FUZZ_CHECK(!std::isnan(volts));

    const FrequencyReading f = FrequencyFromReply(value);
    FUZZ_CHECK(f.unitIndex >= 0 && f.unitIndex <= 2);
    FUZZ_CHECK(!std::isnan(f.value));

    const int waveform = WaveformFromReply(value);
    FUZZ_CHECK(waveform >= 0 && waveform <= 2);
    // The same readers see the raw reply when a header is missing altogether.
    const int rawWaveform = WaveformFromReply(reply);
    FUZZ_CHECK(rawWaveform >= 0 && rawWaveform <= 2);
    const FrequencyReading raw = FrequencyFromReply(reply);
    FUZZ_CHECK(raw.unitIndex >= 0 && raw.unitIndex <= 2);

    (void)OutputOnFromReply(reply);

    // What the fields then show.
    FUZZ_CHECK(!FieldText(volts, 104).empty());
    FUZZ_CHECK(!FieldText(f.value, 104).empty());
    return 0;
}
