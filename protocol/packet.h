// Framing of one datagram: a fixed header, the payload, and a CRC-32 trailer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qorproto {

constexpr std::uint16_t kDefaultPort = 20805;
constexpr std::uint8_t kVersion = 1;
constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kTrailerSize = 4;
// Keeps every datagram inside one Ethernet frame (1500 - IP - UDP = 1472).
constexpr std::size_t kMaxDatagram = 1472;
constexpr std::size_t kMaxPayload = kMaxDatagram - kHeaderSize - kTrailerSize;

enum class Command : std::uint8_t {
    Hello = 0x01,
    Bye = 0x02,
    Status = 0x03,
    ChangeNetworking = 0x04,
    Raw = 0x05,
    Discover = 0x06,
    Train = 0x07,
    UploadBegin = 0x10,
    UploadData = 0x11,
    UploadEnd = 0x12,
};

// A reply carries its request's command with this bit set.
constexpr std::uint8_t kReplyBit = 0x80;

struct Packet
{
    std::uint8_t type = 0;
    std::uint32_t session = 0;
    std::uint32_t sequence = 0;
    std::vector<std::uint8_t> payload;

    bool isReply() const { return (type & kReplyBit) != 0; }
    Command command() const { return Command(type & ~kReplyBit); }
};

// Returns an empty vector when the payload is too large for one datagram.
std::vector<std::uint8_t> encodePacket(const Packet &packet);
// The datagram answering request: its command with the reply bit, in its session and sequence.
std::vector<std::uint8_t> encodeReplyTo(const Packet &request,
                                        const std::vector<std::uint8_t> &payload);
// False for anything that is not exactly one well-formed datagram of this protocol.
bool decodePacket(const std::uint8_t *data, std::size_t size, Packet &packet);

// Big-endian field access, bounds left to the caller.
inline void putU16(std::vector<std::uint8_t> &out, std::uint16_t v)
{
    out.push_back(std::uint8_t(v >> 8));
    out.push_back(std::uint8_t(v));
}
inline void putU32(std::vector<std::uint8_t> &out, std::uint32_t v)
{
    putU16(out, std::uint16_t(v >> 16));
    putU16(out, std::uint16_t(v));
}
inline std::uint16_t getU16(const std::uint8_t *p)
{
    return std::uint16_t(p[0] << 8 | p[1]);
}
inline std::uint32_t getU32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

} // namespace qorproto
