// CRC-32 (IEEE 802.3, reflected, as zlib computes it).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qorproto {

// Continues a running CRC: pass the previous result (0 to start).
std::uint32_t crc32(const void *data, std::size_t size, std::uint32_t crc = 0);

} // namespace qorproto
