// The image of a HEX file as it is read, for an upload that starts before the file's end.
#pragma once

#include "ihexreader.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qorethw {

// Flat from the image's lowest address, growing with each record, as long as records ascend
// (what every linker writes); gaps read as 0.
class FileImage : public ihex::RecordSink
{
public:
    explicit FileImage(std::uint64_t limit) : limit_(limit), reader_(*this) {}

    std::uint32_t open(const char *path); // 0 or a QEW error; never blocks
    void readPiece();
    void readAll();
    // For a file whose records do not ascend: read whole, then flattened.
    void loadWhole(const char *path);

    // Read to its end, every record checked.
    bool complete() const { return complete_ && !error_; }
    bool unordered() const { return unordered_ && !error_; }
    // Nothing more can be sent: a fault, an image too large, or the file holds no data.
    bool stopped() const { return error_ || tooLarge_ || (complete_ && !started_); }
    // The file's verdict (0 or a QEW error), once it has been read to its end or to its fault.
    std::uint32_t result() const;
    // Whether the image's first bytes, which the upload begin carries, are known.
    bool headKnown() const;
    std::uint32_t base() const { return base_; }
    // Bytes from the start that are final; the image's size once complete().
    std::size_t ready() const { return ready_; }
    // CRC-32 of the ready bytes.
    std::uint32_t crc() const { return crc_; }
    void read(std::size_t offset, std::size_t count, std::uint8_t *out) const;

    bool data(std::size_t line, std::uint32_t address, const std::uint8_t *bytes,
              std::size_t length, ihex::Error &error) override;

private:
    const std::uint64_t limit_;
    ihex::StreamReader reader_;
    std::vector<std::uint8_t> bytes_;
    std::uint32_t base_ = 0;
    std::size_t ready_ = 0;
    std::size_t crcDone_ = 0;
    std::uint32_t crc_ = 0;
    std::uint32_t error_ = 0;
    bool started_ = false;
    bool complete_ = false;
    bool unordered_ = false;
    bool tooLarge_ = false;
};

} // namespace qorethw
