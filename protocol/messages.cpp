#include "messages.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace qorproto {

std::vector<std::uint8_t> encodeReply(std::uint32_t status, const std::uint8_t *body,
                                      std::size_t size)
{
    std::vector<std::uint8_t> out;
    out.reserve(4 + size);
    putU32(out, status);
    if (body && size)
        out.insert(out.end(), body, body + size);
    return out;
}

bool decodeReply(const std::vector<std::uint8_t> &payload, std::uint32_t &status,
                 std::vector<std::uint8_t> &body)
{
    if (payload.size() < 4)
        return false;
    status = getU32(payload.data());
    body.assign(payload.begin() + 4, payload.end());
    return true;
}

std::vector<std::uint8_t> encodeHelloRequest(std::uint8_t mode)
{
    return {mode, 0, 0, 0};
}

bool decodeHelloRequest(const std::vector<std::uint8_t> &payload, std::uint8_t &mode)
{
    if (payload.size() != 4 || payload[1] || payload[2] || payload[3] || payload[0] > 1)
        return false;
    mode = payload[0];
    return true;
}

std::vector<std::uint8_t> encodeHelloReply(const HelloReply &reply)
{
    std::vector<std::uint8_t> out;
    putU32(out, reply.status);
    putU32(out, reply.session);
    putU32(out, reply.flashSize);
    putU16(out, reply.chunkSize);
    putU16(out, reply.window);
    return out;
}

bool decodeHelloReply(const std::vector<std::uint8_t> &payload, HelloReply &reply)
{
    // A refusal may be the bare status word.
    if (payload.size() == 4) {
        reply = HelloReply{};
        reply.status = getU32(payload.data());
        return reply.status != kBoardOk;
    }
    if (payload.size() != 16)
        return false;
    const std::uint8_t *p = payload.data();
    HelloReply r;
    r.status = getU32(p);
    r.session = getU32(p + 4);
    r.flashSize = getU32(p + 8);
    r.chunkSize = getU16(p + 12);
    r.window = getU16(p + 14);
    if (r.status == kBoardOk && (r.session == 0 || r.chunkSize < kMinChunk ||
                                 r.chunkSize > kMaxChunk || r.window == 0 || r.window > kMaxWindow))
        return false;
    reply = r;
    return true;
}

std::vector<std::uint8_t> encodeStatusRequest(std::uint8_t level)
{
    return {level};
}

bool decodeStatusRequest(const std::vector<std::uint8_t> &payload, std::uint8_t &level)
{
    if (payload.size() != 1)
        return false;
    level = payload[0];
    return true;
}

std::vector<std::uint8_t> encodeStatusBlock(const BoardStatus &status)
{
    std::vector<std::uint8_t> out;
    out.reserve(kStatusBlockSize);
    out.push_back('Q'); // board family
    out.push_back(kVersion);
    out.push_back(status.flags);
    putU16(out, status.revision);
    out.insert(out.end(), status.mac.begin(), status.mac.end());
    out.insert(out.end(), status.network.ip.begin(), status.network.ip.end());
    out.insert(out.end(), status.network.subnet.begin(), status.network.subnet.end());
    out.insert(out.end(), status.network.gateway.begin(), status.network.gateway.end());
    return out;
}

bool decodeStatusBlock(const std::uint8_t *data, std::size_t size, BoardStatus &status)
{
    if (!data || size < kStatusBlockSize)
        return false;
    BoardStatus s;
    s.flags = data[2];
    s.revision = getU16(data + 3);
    std::memcpy(s.mac.data(), data + 5, 6);
    std::memcpy(s.network.ip.data(), data + 11, 4);
    std::memcpy(s.network.subnet.data(), data + 15, 4);
    std::memcpy(s.network.gateway.data(), data + 19, 4);
    status = s;
    return true;
}

std::vector<std::uint8_t> encodeNetworkSettings(const NetworkSettings &settings)
{
    std::vector<std::uint8_t> out;
    out.insert(out.end(), settings.ip.begin(), settings.ip.end());
    out.insert(out.end(), settings.subnet.begin(), settings.subnet.end());
    out.insert(out.end(), settings.gateway.begin(), settings.gateway.end());
    return out;
}

bool decodeNetworkSettings(const std::vector<std::uint8_t> &payload, NetworkSettings &settings)
{
    if (payload.size() != 12)
        return false;
    std::memcpy(settings.ip.data(), payload.data(), 4);
    std::memcpy(settings.subnet.data(), payload.data() + 4, 4);
    std::memcpy(settings.gateway.data(), payload.data() + 8, 4);
    return true;
}

namespace {
constexpr char kMacChangeTag[] = {'C', 'h', 'M', 'C'};
constexpr char kMacRefusalTag[] = {'_', 'E', 'r', 'r'};
} // namespace

std::vector<std::uint8_t> encodeMacChange(const MacAddress &mac)
{
    std::vector<std::uint8_t> out(std::begin(kMacChangeTag), std::end(kMacChangeTag));
    out.insert(out.end(), mac.begin(), mac.end());
    return out;
}

bool decodeMacChange(const std::vector<std::uint8_t> &payload, MacAddress &mac)
{
    if (payload.size() != sizeof kMacChangeTag + mac.size() ||
        std::memcmp(payload.data(), kMacChangeTag, sizeof kMacChangeTag) != 0)
        return false;
    std::memcpy(mac.data(), payload.data() + sizeof kMacChangeTag, mac.size());
    return true;
}

std::vector<std::uint8_t> encodeMacChangeReply(const MacChangeReply &reply)
{
    if (!reply.refused)
        return {};
    std::vector<std::uint8_t> out(std::begin(kMacRefusalTag), std::end(kMacRefusalTag));
    for (int i = 0; i < 4; ++i) // little-endian, unlike the packet fields
        out.push_back(std::uint8_t(reply.code >> (8 * i)));
    return out;
}

MacChangeReply decodeMacChangeReply(const std::uint8_t *body, std::size_t size)
{
    MacChangeReply reply;
    if (size < sizeof kMacRefusalTag ||
        std::memcmp(body, kMacRefusalTag, sizeof kMacRefusalTag) != 0)
        return reply;
    reply.refused = true;
    const std::size_t codeSize = std::min<std::size_t>(size - sizeof kMacRefusalTag, 4);
    for (std::size_t i = 0; i < codeSize; ++i)
        reply.code |= std::uint32_t(body[sizeof kMacRefusalTag + i]) << (8 * i);
    return reply;
}

std::vector<std::uint8_t> encodeUploadBegin(const UploadBegin &begin)
{
    std::vector<std::uint8_t> out;
    putU32(out, begin.base);
    putU32(out, begin.size);
    putU32(out, begin.crc);
    putU16(out, begin.chunkSize);
    putU16(out, begin.flags);
    out.insert(out.end(), begin.head.begin(), begin.head.end());
    return out;
}

bool decodeUploadBegin(const std::vector<std::uint8_t> &payload, UploadBegin &begin)
{
    if (payload.size() != 16 + kImageHeadSize)
        return false;
    const std::uint8_t *p = payload.data();
    UploadBegin b;
    b.base = getU32(p);
    b.size = getU32(p + 4);
    b.crc = getU32(p + 8);
    b.chunkSize = getU16(p + 12);
    b.flags = getU16(p + 14);
    if ((b.flags & ~kUploadKnownFlags) || b.size == 0 || b.chunkSize < kMinChunk ||
        b.chunkSize > kMaxChunk)
        return false;
    if (std::uint64_t(b.base) + b.size > 0x100000000ull)
        return false;
    std::memcpy(b.head.data(), p + 16, kImageHeadSize);
    begin = b;
    return true;
}

std::vector<std::uint8_t> encodeUploadData(std::uint32_t offset, const std::uint8_t *data,
                                           std::size_t size)
{
    std::vector<std::uint8_t> out;
    out.reserve(kUploadDataHeader + size);
    putU32(out, offset);
    out.insert(out.end(), data, data + size);
    return out;
}

bool decodeUploadData(const std::vector<std::uint8_t> &payload, UploadData &data)
{
    if (payload.size() <= kUploadDataHeader || payload.size() > kUploadDataHeader + kMaxChunk)
        return false;
    data.offset = getU32(payload.data());
    data.data = payload.data() + kUploadDataHeader;
    data.size = payload.size() - kUploadDataHeader;
    return true;
}

std::vector<std::uint8_t> encodeUploadAck(const UploadAck &ack)
{
    std::vector<std::uint8_t> out;
    putU32(out, ack.status);
    putU32(out, ack.contiguous);
    putU32(out, std::uint32_t(ack.bitmap >> 32));
    putU32(out, std::uint32_t(ack.bitmap));
    if (ack.extended) {
        putU32(out, ack.arrivalUs);
        putU16(out, std::uint16_t(ack.more.size()));
        out.insert(out.end(), ack.more.begin(), ack.more.end());
    }
    return out;
}

bool decodeUploadAck(const std::vector<std::uint8_t> &payload, UploadAck &ack)
{
    if (payload.size() != 16 &&
        (payload.size() < 22 || getU16(payload.data() + 20) != payload.size() - 22))
        return false;
    const std::uint8_t *p = payload.data();
    ack.status = getU32(p);
    ack.contiguous = getU32(p + 4);
    ack.bitmap = std::uint64_t(getU32(p + 8)) << 32 | getU32(p + 12);
    ack.extended = payload.size() > 16;
    ack.arrivalUs = ack.extended ? getU32(p + 16) : 0;
    ack.more.assign(payload.begin() + (ack.extended ? 22 : 16), payload.end());
    return true;
}

bool UploadAck::has(std::size_t chunk) const
{
    if (chunk < contiguous)
        return true;
    if (chunk == contiguous)
        return false;
    const std::size_t bit = chunk - contiguous - 1;
    if (bit < kAckBitmapChunks)
        return (bitmap >> bit) & 1;
    const std::size_t extra = bit - kAckBitmapChunks;
    return extra / 8 < more.size() && ((more[extra / 8] >> (extra % 8)) & 1);
}

std::size_t UploadAck::highestCovered() const
{
    return std::size_t(contiguous) + 1 + kAckBitmapChunks + 8 * more.size();
}

std::vector<std::uint8_t> encodeUploadEnd(const UploadEnd &end)
{
    std::vector<std::uint8_t> out;
    putU32(out, end.size);
    putU32(out, end.crc);
    return out;
}

bool decodeUploadEnd(const std::vector<std::uint8_t> &payload, UploadEnd &end)
{
    if (payload.size() != 8)
        return false;
    end.size = getU32(payload.data());
    end.crc = getU32(payload.data() + 4);
    return end.size != 0;
}

bool parseDottedIPv4(const char *text, std::array<std::uint8_t, 4> &address)
{
    if (!text)
        return false;
    std::array<std::uint8_t, 4> result{};
    const char *p = text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (*p != '.')
                return false;
            ++p;
        }
        int digits = 0;
        unsigned value = 0;
        while (*p >= '0' && *p <= '9') {
            if (++digits > 3)
                return false;
            value = value * 10 + unsigned(*p - '0');
            ++p;
        }
        if (digits == 0 || value > 255)
            return false;
        result[i] = std::uint8_t(value);
    }
    if (*p != '\0')
        return false;
    address = result;
    return true;
}

std::vector<std::uint8_t> encodeDiscoverRequest(std::uint16_t spreadMs)
{
    std::vector<std::uint8_t> out;
    putU16(out, spreadMs);
    putU16(out, 0);
    return out;
}

bool decodeDiscoverRequest(const std::vector<std::uint8_t> &payload, std::uint16_t &spreadMs)
{
    if (payload.size() != 4 || getU16(payload.data() + 2) != 0)
        return false;
    spreadMs = getU16(payload.data());
    return true;
}

std::vector<std::uint8_t> encodeTrainPacket(const TrainPacket &packet)
{
    std::vector<std::uint8_t> out{packet.index, packet.count, 0, 0};
    out.resize(std::max<std::size_t>(packet.size, kTrainHeader), 0);
    return out;
}

bool decodeTrainPacket(const std::vector<std::uint8_t> &payload, TrainPacket &packet)
{
    if (payload.size() < kTrainHeader || payload.size() > kMaxPayload || payload[1] == 0 ||
        payload[0] >= payload[1] ||
        std::any_of(payload.begin() + 2, payload.end(), [](std::uint8_t b) { return b != 0; }))
        return false;
    packet.index = payload[0];
    packet.count = payload[1];
    packet.size = std::uint16_t(payload.size());
    return true;
}

std::vector<std::uint8_t> encodeTrainStamp(const TrainStamp &stamp)
{
    std::vector<std::uint8_t> out;
    putU32(out, stamp.status);
    if (stamp.status != kBoardOk)
        return out;
    out.insert(out.end(), {stamp.index, 0, 0, 0});
    putU32(out, stamp.arrivalUs);
    return out;
}

bool decodeTrainStamp(const std::vector<std::uint8_t> &payload, TrainStamp &stamp)
{
    if (payload.size() == 4) {
        stamp = TrainStamp{};
        stamp.status = getU32(payload.data());
        return stamp.status != kBoardOk;
    }
    if (payload.size() != 12 || getU32(payload.data()) != kBoardOk || payload[5] || payload[6] ||
        payload[7])
        return false;
    stamp.status = kBoardOk;
    stamp.index = payload[4];
    stamp.arrivalUs = getU32(payload.data() + 8);
    return true;
}

bool isLoopback(const std::array<std::uint8_t, 4> &address)
{
    return address[0] == 127;
}

} // namespace qorproto
