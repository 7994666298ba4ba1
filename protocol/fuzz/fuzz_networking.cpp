// Decoder fuzz target: never crashes or overruns, and what it accepts encodes back unchanged.
#include "messages.h"
#include "packet.h"

#include <cstdlib>
#include <cstring>
#include <string>

using namespace qorproto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<std::uint8_t> payload(data, data + size);
    NetworkSettings settings;
    if (decodeNetworkSettings(payload, settings) && encodeNetworkSettings(settings) != payload)
        std::abort();
    // The dotted-address parser sees the same bytes as a NUL-terminated text.
    std::string text(reinterpret_cast<const char *>(data), size);
    std::array<std::uint8_t, 4> address{};
    parseDottedIPv4(text.c_str(), address);
    return 0;
}
