// Decoder fuzz target: never crashes or overruns, and what it accepts encodes back unchanged.
#include "messages.h"
#include "roundtrip.h"

using namespace qorproto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    checkRoundTrip<std::uint16_t>({data, data + size}, decodeDiscoverRequest,
                                  encodeDiscoverRequest);
    return 0;
}
