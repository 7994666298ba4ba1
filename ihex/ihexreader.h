// Intel HEX reader: turns a whole file into a memory image, or says exactly why it cannot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ihex {

enum class ErrorCode {
    None,
    CannotOpen,
    CannotRead,
    Empty,
    MissingColon,
    BadHexDigit,
    BadLength,
    BadChecksum,
    UnknownRecordType,
    BadRecord,
    MissingEndOfFile,
    DataAfterEndOfFile,
    Overlap,
    AddressOverflow,
};

struct Error
{
    ErrorCode code = ErrorCode::None;
    std::size_t line = 0; // 1-based; 0 when it concerns the whole file
    std::string message;
};

struct Segment
{
    std::uint32_t address = 0;
    std::vector<std::uint8_t> bytes;
};

class Image
{
public:
    // Sorted by address, not overlapping, adjacent runs merged.
    std::vector<Segment> segments;
    std::optional<std::uint32_t> startAddress; // from a type 03 or 05 record

    bool empty() const { return segments.empty(); }
    std::uint32_t lowestAddress() const;
    std::uint64_t endAddress() const; // one past the highest byte
    std::size_t dataSize() const;     // bytes actually given by data records
    // The image from its lowest to its highest address, gaps filled, as objcopy -O binary makes it.
    std::vector<std::uint8_t> flatten(std::uint8_t fill = 0) const;
};

bool parse(std::string_view text, Image &image, Error &error);
bool parseFile(const std::string &path, Image &image, Error &error);

} // namespace ihex
