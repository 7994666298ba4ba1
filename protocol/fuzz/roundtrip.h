// What every decoder fuzz target checks: decoding never crashes or overruns, and a message a
// decoder accepts encodes back to the very bytes it came from.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

template<class Message, class Decode, class Encode>
void checkRoundTrip(const std::vector<std::uint8_t> &payload, Decode decode, Encode encode)
{
    Message message{};
    if (decode(payload, message) && encode(message) != payload)
        std::abort();
}
