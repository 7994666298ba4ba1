#include "crc32.h"

#include <array>

namespace qorproto {

namespace {

// Slicing-by-4 tables: the upload CRC runs over images of many megabytes.
struct Tables
{
    std::array<std::array<std::uint32_t, 256>, 4> t{};
    Tables()
    {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][i] = c;
        }
        for (std::uint32_t i = 0; i < 256; ++i)
            for (int s = 1; s < 4; ++s)
                t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
};

const Tables &tables()
{
    static const Tables instance;
    return instance;
}

} // namespace

std::uint32_t crc32(const void *data, std::size_t size, std::uint32_t crc)
{
    const auto &t = tables().t;
    const auto *p = static_cast<const std::uint8_t *>(data);
    std::uint32_t c = ~crc;
    while (size >= 4) {
        c ^= std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
             std::uint32_t(p[3]) << 24;
        c = t[3][c & 0xFF] ^ t[2][(c >> 8) & 0xFF] ^ t[1][(c >> 16) & 0xFF] ^ t[0][c >> 24];
        p += 4;
        size -= 4;
    }
    while (size--)
        c = t[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
    return ~c;
}

} // namespace qorproto
