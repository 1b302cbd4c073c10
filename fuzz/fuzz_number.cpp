// LeadingNumber on any text: never NaN, never a number where the text has no digit, and
// blanks in front change nothing.
#include "fuzzcheck.h"

#include "text/numberparse.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const double value = LeadingNumber(text);
    FUZZ_CHECK(!std::isnan(value));

    if (text.find_first_of("0123456789") == std::string_view::npos)
        FUZZ_CHECK(value == 0);
    // Callers print the result: zero comes without a sign.
    if (value == 0)
        FUZZ_CHECK(!std::signbit(value));

    const std::string padded = " \t\r\n" + std::string(text);
    FUZZ_CHECK(LeadingNumber(padded) == value);
    return 0;
}
