#include "packet.h"

#include "crc32.h"

namespace qorproto {

namespace {
constexpr std::uint8_t kMagic0 = 'Q';
constexpr std::uint8_t kMagic1 = 'W';
} // namespace

std::vector<std::uint8_t> encodePacket(const Packet &packet)
{
    if (packet.payload.size() > kMaxPayload)
        return {};
    std::vector<std::uint8_t> out;
    out.reserve(kHeaderSize + packet.payload.size() + kTrailerSize);
    out.push_back(kMagic0);
    out.push_back(kMagic1);
    out.push_back(kVersion);
    out.push_back(packet.type);
    putU32(out, packet.session);
    putU32(out, packet.sequence);
    putU16(out, std::uint16_t(packet.payload.size()));
    putU16(out, 0);
    out.insert(out.end(), packet.payload.begin(), packet.payload.end());
    putU32(out, crc32(out.data(), out.size()));
    return out;
}

std::vector<std::uint8_t> encodeReplyTo(const Packet &request,
                                        const std::vector<std::uint8_t> &payload)
{
    Packet packet;
    packet.type = request.type | kReplyBit;
    packet.session = request.session;
    packet.sequence = request.sequence;
    packet.payload = payload;
    return encodePacket(packet);
}

bool decodePacket(const std::uint8_t *data, std::size_t size, Packet &packet)
{
    if (!data || size < kHeaderSize + kTrailerSize || size > kMaxDatagram)
        return false;
    if (data[0] != kMagic0 || data[1] != kMagic1 || data[2] != kVersion)
        return false;
    const std::size_t length = getU16(data + 12);
    if (kHeaderSize + length + kTrailerSize != size || getU16(data + 14) != 0)
        return false;
    if (crc32(data, size - kTrailerSize) != getU32(data + size - kTrailerSize))
        return false;
    packet.type = data[3];
    packet.session = getU32(data + 4);
    packet.sequence = getU32(data + 8);
    packet.payload.assign(data + kHeaderSize, data + kHeaderSize + length);
    return true;
}

} // namespace qorproto
