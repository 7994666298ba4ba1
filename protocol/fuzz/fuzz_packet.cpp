// Decoder fuzz target: never crashes or overruns, and what it accepts encodes back unchanged.
#include "crc32.h"
#include "messages.h"
#include "packet.h"

#include <cstdlib>
#include <cstring>

using namespace qorproto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte says whether to fix up length and CRC, so the checks behind them are reached.
    std::vector<std::uint8_t> datagram(data + 1, data + size);
    if ((data[0] & 1) && datagram.size() >= kHeaderSize + kTrailerSize) {
        const std::size_t length = datagram.size() - kHeaderSize - kTrailerSize;
        datagram[12] = std::uint8_t(length >> 8);
        datagram[13] = std::uint8_t(length);
        const std::uint32_t crc = crc32(datagram.data(), datagram.size() - kTrailerSize);
        for (int i = 0; i < 4; ++i)
            datagram[datagram.size() - 4 + i] = std::uint8_t(crc >> (24 - 8 * i));
    }
    Packet packet;
    if (decodePacket(datagram.data(), datagram.size(), packet) && encodePacket(packet) != datagram)
        std::abort();
    return 0;
}
