// Decoder fuzz target: never crashes or overruns, and what it accepts encodes back unchanged.
#include "messages.h"
#include "roundtrip.h"

#include <string>

using namespace qorproto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    checkRoundTrip<NetworkSettings>({data, data + size}, decodeNetworkSettings,
                                    encodeNetworkSettings);
    // The dotted-address parser sees the same bytes as a NUL-terminated text.
    std::string text(reinterpret_cast<const char *>(data), size);
    std::array<std::uint8_t, 4> address{};
    parseDottedIPv4(text.c_str(), address);
    return 0;
}
