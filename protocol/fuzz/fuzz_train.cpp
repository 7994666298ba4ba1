// Decoder fuzz target: never crashes or overruns, and what it accepts encodes back unchanged.
#include "messages.h"
#include "roundtrip.h"

using namespace qorproto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<std::uint8_t> payload(data, data + size);
    checkRoundTrip<TrainPacket>(payload, decodeTrainPacket, encodeTrainPacket);
    checkRoundTrip<TrainStamp>(payload, decodeTrainStamp, encodeTrainStamp);
    return 0;
}
