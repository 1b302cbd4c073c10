// The model name cut from any identity reply is a part of that reply, between its first
// "/" and its first ",".
#include "fuzzcheck.h"

#include "gpib/gpibmodule.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string identity(reinterpret_cast<const char *>(data), size);
    const std::string model = ModelNameFromIdentity(identity);
    FUZZ_CHECK(model.size() < identity.size() || identity.empty());
    FUZZ_CHECK(identity.find(model) != std::string::npos);
    FUZZ_CHECK(model.find(',') == std::string::npos);
    if (!model.empty()) {
        const size_t slash = identity.find('/');
        FUZZ_CHECK(identity.compare(slash + 1, model.size(), model) == 0);
        FUZZ_CHECK(identity[slash + 1 + model.size()] == ',');
    }
    return 0;
}
