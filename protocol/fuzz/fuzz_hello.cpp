// Decoder fuzz target: never crashes or overruns, and what it accepts encodes back unchanged.
#include "messages.h"
#include "roundtrip.h"

using namespace qorproto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<std::uint8_t> payload(data, data + size);
    checkRoundTrip<std::uint8_t>(payload, decodeHelloRequest, encodeHelloRequest);
    // A refusal may be the bare status word, which encodes back in full.
    checkRoundTrip<HelloReply>(payload, decodeHelloReply, [&](const HelloReply &reply) {
        return size == 16 ? encodeHelloReply(reply) : payload;
    });
    return 0;
}
