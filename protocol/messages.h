// Payloads of the commands and replies carried by a Packet.
#pragma once

#include "packet.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qorproto {

// Codes a board reports in a reply's status field (0 = done).
enum BoardError : std::uint32_t {
    kBoardOk = 0,
    kBoardUnknownCommand = 1,
    kBoardBadRequest = 2,
    kBoardInvalidMac = 3,
    kBoardNoUpload = 4,
    kBoardBootstrapRequired = 5,
    kBoardImageTooLarge = 6,
    kBoardCrcMismatch = 7,
    kBoardIncomplete = 8,
    kBoardNoSession = 9,
    kBoardWrongMode = 10,
    kBoardBadAddress = 11,
    kBoardBusy = 12,
};

constexpr std::size_t kStatusBlockSize = 23;
constexpr std::size_t kMaxStatusBlock = 256;
constexpr std::size_t kAckBitmapChunks = 64; // chunks an acknowledgement's bitmap covers
constexpr std::size_t kMaxWindow = 1024;
constexpr std::size_t kMinChunk = 64;
constexpr std::size_t kUploadDataHeader = 4;
constexpr std::size_t kMaxChunk = kMaxPayload - kUploadDataHeader;
constexpr std::size_t kImageHeadSize = 8;

struct HelloReply
{
    std::uint32_t status = 0;
    std::uint32_t session = 0;
    std::uint32_t flashSize = 0;
    std::uint16_t chunkSize = 0;
    std::uint16_t window = 0;
};

struct NetworkSettings
{
    std::array<std::uint8_t, 4> ip{}, subnet{}, gateway{};
};

struct BoardStatus
{
    std::uint8_t flags = 0;
    std::uint16_t revision = 0;
    std::array<std::uint8_t, 6> mac{};
    NetworkSettings network;
};
constexpr std::uint8_t kStatusBootstrapped = 0x01;
constexpr std::uint8_t kStatusHasFirmware = 0x02;

// Upload begin flags. Deferred: size is only an upper bound and crc is 0; the image's size and
// CRC-32 travel in the upload end, once the host has read and checked the whole file. Extended
// acknowledgements: every acknowledgement carries the arrival time and a bitmap up to the
// highest chunk in. A board that knows neither refuses the flags as a malformed request.
constexpr std::uint16_t kUploadDeferred = 0x0001;
constexpr std::uint16_t kUploadExtendedAck = 0x0002;
constexpr std::uint16_t kUploadKnownFlags = kUploadDeferred | kUploadExtendedAck;

struct UploadBegin
{
    std::uint32_t base = 0;
    std::uint32_t size = 0;
    std::uint32_t crc = 0;
    std::uint16_t chunkSize = 0;
    std::uint16_t flags = 0;
    std::array<std::uint8_t, kImageHeadSize> head{}; // the image's first bytes, zero-padded
};

struct UploadData
{
    std::uint32_t offset = 0;
    const std::uint8_t *data = nullptr; // points into the decoded payload
    std::size_t size = 0;
};

struct UploadAck
{
    std::uint32_t status = 0;
    std::uint32_t contiguous = 0; // chunks 0 .. contiguous-1 are all in
    std::uint64_t bitmap = 0;     // bit i: chunk contiguous+1+i is in
    // Extended acknowledgements only (kUploadExtendedAck):
    bool extended = false;
    std::uint32_t arrivalUs = 0;    // board clock (microseconds, wrapping) at the data's arrival
    std::vector<std::uint8_t> more; // bit j of byte k: chunk contiguous+65+8k+j is in

    bool has(std::size_t chunk) const;  // whether this acknowledgement says the chunk is in
    std::size_t highestCovered() const; // one past the last chunk the bitmaps can describe
};

// The upload end of a deferred upload: the image's final size and CRC-32.
struct UploadEnd
{
    std::uint32_t size = 0;
    std::uint32_t crc = 0;
};

// Every reply starts with a status word; the rest is the reply's body.
std::vector<std::uint8_t> encodeReply(std::uint32_t status, const std::uint8_t *body = nullptr,
                                      std::size_t size = 0);
bool decodeReply(const std::vector<std::uint8_t> &payload, std::uint32_t &status,
                 std::vector<std::uint8_t> &body);

std::vector<std::uint8_t> encodeHelloRequest(std::uint8_t mode);
bool decodeHelloRequest(const std::vector<std::uint8_t> &payload, std::uint8_t &mode);
std::vector<std::uint8_t> encodeHelloReply(const HelloReply &reply);
bool decodeHelloReply(const std::vector<std::uint8_t> &payload, HelloReply &reply);

std::vector<std::uint8_t> encodeStatusRequest(std::uint8_t level);
bool decodeStatusRequest(const std::vector<std::uint8_t> &payload, std::uint8_t &level);
std::vector<std::uint8_t> encodeStatusBlock(const BoardStatus &status);
bool decodeStatusBlock(const std::uint8_t *data, std::size_t size, BoardStatus &status);

std::vector<std::uint8_t> encodeNetworkSettings(const NetworkSettings &settings);
bool decodeNetworkSettings(const std::vector<std::uint8_t> &payload, NetworkSettings &settings);

// The MAC change rides on the raw exchange: "ChMC" and the six bytes. The board's body answers
// it: empty when done, or "_Err" and the board's code (little-endian) when refused.
using MacAddress = std::array<std::uint8_t, 6>;
struct MacChangeReply
{
    bool refused = false;
    std::uint32_t code = 0; // the board's code when refused; 0 when the refusal carries none
};
std::vector<std::uint8_t> encodeMacChange(const MacAddress &mac);
bool decodeMacChange(const std::vector<std::uint8_t> &payload, MacAddress &mac);
std::vector<std::uint8_t> encodeMacChangeReply(const MacChangeReply &reply);
// Any body is a reply: what does not start with "_Err" says done. A code shorter than four bytes
// is read from the bytes there are.
MacChangeReply decodeMacChangeReply(const std::uint8_t *body, std::size_t size);

std::vector<std::uint8_t> encodeUploadBegin(const UploadBegin &begin);
bool decodeUploadBegin(const std::vector<std::uint8_t> &payload, UploadBegin &begin);
std::vector<std::uint8_t> encodeUploadData(std::uint32_t offset, const std::uint8_t *data,
                                           std::size_t size);
bool decodeUploadData(const std::vector<std::uint8_t> &payload, UploadData &data);
std::vector<std::uint8_t> encodeUploadAck(const UploadAck &ack);
bool decodeUploadAck(const std::vector<std::uint8_t> &payload, UploadAck &ack);
std::vector<std::uint8_t> encodeUploadEnd(const UploadEnd &end);
bool decodeUploadEnd(const std::vector<std::uint8_t> &payload, UploadEnd &end);

// Discovery: the request says how long a board may wait before it answers, the reply is a
// status reply whose body is the status block. A board waits at most kMaxDiscoverySpreadMs.
constexpr std::uint16_t kMaxDiscoverySpreadMs = 2000;
std::vector<std::uint8_t> encodeDiscoverRequest(std::uint16_t spreadMs);
bool decodeDiscoverRequest(const std::vector<std::uint8_t> &payload, std::uint16_t &spreadMs);

// A rate train: packets sent back to back beside an upload session's Hello, in session 0 so
// that they need no round trip of their own. The board answers each with its arrival time on
// the board's clock; how far the arrivals spread shows the path's rate before any data is due.
// A board that knows no train answers each with a bare refusal, which costs nothing to wait for.
constexpr std::size_t kTrainHeader = 4;
struct TrainPacket
{
    std::uint8_t index = 0;
    std::uint8_t count = 0;
    std::uint16_t size = kTrainHeader; // the whole payload; zeros pad it out
};
struct TrainStamp
{
    std::uint32_t status = 0;
    std::uint8_t index = 0;
    std::uint32_t arrivalUs = 0; // board clock (microseconds, wrapping)
};
std::vector<std::uint8_t> encodeTrainPacket(const TrainPacket &packet);
bool decodeTrainPacket(const std::vector<std::uint8_t> &payload, TrainPacket &packet);
std::vector<std::uint8_t> encodeTrainStamp(const TrainStamp &stamp);
// A refusal may be the bare status word, as an older board sends it.
bool decodeTrainStamp(const std::vector<std::uint8_t> &payload, TrainStamp &stamp);

// Dotted IPv4 text: exactly four decimal octets 0-255, nothing else.
bool parseDottedIPv4(const char *text, std::array<std::uint8_t, 4> &address);
bool isLoopback(const std::array<std::uint8_t, 4> &address);

} // namespace qorproto
