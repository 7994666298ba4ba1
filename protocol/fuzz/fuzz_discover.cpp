// Decoder fuzz target: never crashes or overruns, and what it accepts encodes back unchanged.
#include "messages.h"

#include <cstdlib>

using namespace qorproto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<std::uint8_t> payload(data, data + size);
    std::uint16_t spread = 0;
    if (decodeDiscoverRequest(payload, spread) && encodeDiscoverRequest(spread) != payload)
        std::abort();
    return 0;
}
