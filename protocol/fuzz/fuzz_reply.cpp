// Decoder fuzz target: never crashes or overruns, and what it accepts encodes back unchanged.
#include "messages.h"

#include <cstdlib>

using namespace qorproto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<std::uint8_t> payload(data, data + size);
    std::uint32_t status = 0;
    std::vector<std::uint8_t> body;
    if (decodeReply(payload, status, body) &&
        encodeReply(status, body.data(), body.size()) != payload)
        std::abort();
    return 0;
}
