// The image of a HEX file as it is read, for an upload that starts before the file's end.
#pragma once

#include "ihexreader.h"
#include "outcome.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qorethw {

// Flat from the image's lowest address, growing with each record, as long as records ascend
// (what every linker writes); gaps read as 0.
class FileImage : public ihex::RecordSink
{
public:
    explicit FileImage(std::uint64_t limit) : m_limit(limit), m_reader(*this) {}

    Outcome open(const char *path); // never blocks
    void readPiece();
    void readAll();
    // For a file whose records do not ascend: read whole, then flattened.
    void loadWhole(const char *path);

    // Read to its end, every record checked.
    bool complete() const { return m_complete && m_error.ok(); }
    bool unordered() const { return m_unordered && m_error.ok(); }
    // Nothing more can be sent: a fault, an image too large, or the file holds no data.
    bool stopped() const { return !m_error.ok() || m_tooLarge || (m_complete && !m_started); }
    // The file's verdict, once it has been read to its end or to its fault.
    Outcome result() const;
    // Whether the image's first bytes, which the upload begin carries, are known.
    bool headKnown() const;
    std::uint32_t base() const { return m_base; }
    // Bytes from the start that are final; the image's size once complete().
    std::size_t ready() const { return m_ready; }
    // CRC-32 of the ready bytes.
    std::uint32_t crc() const { return m_crc; }
    void read(std::size_t offset, std::size_t count, std::uint8_t *out) const;

    bool data(std::size_t line, std::uint32_t address, const std::uint8_t *bytes,
              std::size_t length, ihex::Error &error) override;

private:
    const std::uint64_t m_limit;
    ihex::StreamReader m_reader;
    std::vector<std::uint8_t> m_bytes;
    std::uint32_t m_base = 0;
    std::size_t m_ready = 0;
    std::size_t m_crcDone = 0;
    std::uint32_t m_crc = 0;
    Outcome m_error = Outcome::success();
    bool m_started = false;
    bool m_complete = false;
    bool m_unordered = false;
    bool m_tooLarge = false;
};

} // namespace qorethw
