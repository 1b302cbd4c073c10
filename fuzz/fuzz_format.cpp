// FormatNumber and NumberText for any value and any format code taken from the input.
// The codes the window uses must give texts that read back as finite numbers, and a
// number text must read back to the same text.
#include "fuzzcheck.h"

#include "text/format.h"
#include "text/numberparse.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace {

float floatAt(const uint8_t *data, size_t size, size_t offset)
{
    unsigned char bytes[sizeof(float)] = {};
    for (size_t i = 0; i < sizeof bytes && offset + i < size; ++i)
        bytes[i] = data[offset + i];
    float f = 0;
    std::memcpy(&f, bytes, sizeof f);
    return f;
}

// Widest text any code can give: the capped padding plus a full exponent form.
constexpr size_t kLongestText = 1100;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const float value = floatAt(data, size, 0);
    const float code = floatAt(data, size, sizeof(float));

    FUZZ_CHECK(FormatNumber(value, code).size() <= kLongestText);

    const std::string text = NumberText(value);
    FUZZ_CHECK(!text.empty() && (text[0] == ' ' || text[0] == '-'));
    if (!std::isfinite(value))
        return 0;

    // What the fields show and store, and what the symmetry and whole-number shapes give.
    for (const float used : {104.0f, -104.0f, 2.0f, -1.2f, -1.1f}) {
        const std::string shown = FormatNumber(value, used);
        FUZZ_CHECK(shown.size() <= kLongestText);
        FUZZ_CHECK(std::isfinite(LeadingNumber(shown)));
    }

    // Read back into single precision, the text is the same again; only the very top of
    // the float range may round past it to infinity.
    const float back = static_cast<float>(LeadingNumber(text));
    if (std::isfinite(back))
        FUZZ_CHECK(NumberText(back) == text);
    else
        FUZZ_CHECK(std::fabs(value) > 3.4e38f);
    return 0;
}
