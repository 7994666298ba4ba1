// Decoder fuzz target: never crashes or overruns, and what it accepts encodes back unchanged.
#include "messages.h"
#include "packet.h"

#include <cstdlib>
#include <cstring>

using namespace qorproto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<std::uint8_t> payload(data, data + size);
    std::uint8_t level = 0;
    if (decodeStatusRequest(payload, level) && encodeStatusRequest(level) != payload)
        std::abort();
    BoardStatus status;
    if (decodeStatusBlock(data, size, status)) {
        const auto block = encodeStatusBlock(status);
        if (block.size() != kStatusBlockSize || std::memcmp(block.data() + 2, data + 2, 21) != 0)
            std::abort();
    }
    return 0;
}
