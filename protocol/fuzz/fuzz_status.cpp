// Decoder fuzz target: never crashes or overruns, and what it accepts encodes back unchanged.
#include "messages.h"
#include "roundtrip.h"

#include <cstring>

using namespace qorproto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    checkRoundTrip<std::uint8_t>({data, data + size}, decodeStatusRequest, encodeStatusRequest);
    // The block's first two bytes are the family and version, which the encoder writes itself.
    BoardStatus status;
    if (decodeStatusBlock(data, size, status)) {
        const auto block = encodeStatusBlock(status);
        if (block.size() != kStatusBlockSize || std::memcmp(block.data() + 2, data + 2, 21) != 0)
            std::abort();
    }
    return 0;
}
