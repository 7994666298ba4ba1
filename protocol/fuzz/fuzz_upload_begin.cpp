// Decoder fuzz target: never crashes or overruns, and what it accepts encodes back unchanged.
#include "messages.h"
#include "packet.h"

#include <cstdlib>
#include <cstring>

using namespace qorproto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<std::uint8_t> payload(data, data + size);
    UploadBegin begin;
    if (decodeUploadBegin(payload, begin) && encodeUploadBegin(begin) != payload)
        std::abort();
    return 0;
}
