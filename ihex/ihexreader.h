// Intel HEX reader: turns a whole file into a memory image, or says exactly why it cannot.
//
// The whole file is checked before anything is returned; a file with any fault yields no image
// (the image passed in is left as it was) and an error naming the first faulty line.
//
// Rules (GNU objcopy is the reference for what data a valid file means; on syntax and checksums
// this reader is at least as strict as objcopy, and stricter where a firmware file would
// otherwise be ambiguous):
// - A record is one line: ':' then pairs of hex digits (upper or lower case), nothing else; no
//   blanks before, inside or after it. Lines end in LF or CRLF; the last line needs no line end.
// - A line longer than MaxLineLength is refused before the rest of it is read: BadHexDigit for a
//   bad digit among its first MaxLineLength characters, else BadLength.
// - Empty lines are skipped anywhere. A file holding nothing but blanks and line ends is Empty.
// - Byte count, address, type, data and checksum must all be there: the byte count must equal
//   the number of data bytes on the line (BadLength), and the sum of all bytes of the record must
//   be 0 modulo 256 (BadChecksum).
// - Types: 00 data, 01 end of file, 02 extended segment address, 03 start segment address,
//   04 extended linear address, 05 start linear address; any other type is UnknownRecordType.
// - 01 must hold no data (its address field is ignored, as objcopy does). 02 and 04 must hold
//   two bytes, 03 and 05 four, and their address field must be 0000 (BadRecord). At most one
//   start address record (03 or 05) is allowed; 03 gives CS * 16 + IP.
// - A data byte's address is the 04 base (upper 16 bits) plus the 02 base (segment * 16) plus
//   the record's offset, as objcopy computes it. Data while both bases are nonzero is BadRecord,
//   because readers disagree on what such a file means.
// - A record that runs past offset FFFF continues into the next 64 KiB under linear addressing
//   (no extended record yet, or 04 last), as objcopy reads it. After an 02 record the Intel
//   definition wraps the offset inside the segment while objcopy does not, so there such a
//   record is refused (AddressOverflow). Data past 4 GiB is AddressOverflow.
// - Every byte may be given once: data overlapping earlier data is Overlap, even when the values
//   are equal (objcopy silently keeps the later value; in a firmware file it is a fault).
// - The file must end with an 01 record (MissingEndOfFile). After it only blank lines (spaces,
//   tabs, CR, form feeds and the old DOS end mark ^Z) may follow (DataAfterEndOfFile).
// - A file whose only record is 01 parses to an empty image.
//
// Cost: linear in the file size for files whose records ascend, n log n otherwise; memory stays
// proportional to the file (the image holds only bytes the file gives). flatten() is the one call
// whose size is set by the addresses: check endAddress() - lowestAddress() before calling it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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
    FileTooLarge,
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

// Larger files are refused before they are read (FileTooLarge); 1 GiB holds a 370 MiB image.
constexpr std::uint64_t MaxFileSize = std::uint64_t(1) << 30;

bool parse(std::string_view text, Image &image, Error &error);
bool parseFile(const std::string &path, Image &image, Error &error);

// The longest line a valid file can hold: ':', 255 data bytes with their overhead as hex, CR.
constexpr std::size_t MaxLineLength = 1 + 2 * (255 + 5) + 1;

// Receives the data records of a file as they are checked, in file order.
class RecordSink
{
public:
    virtual ~RecordSink() = default;
    // False (with error set) stops the reading.
    virtual bool data(std::size_t line, std::uint32_t address, const std::uint8_t *bytes,
                      std::size_t length, Error &error) = 0;
};

// Reads a regular file piece by piece with the rules above (but for overlaps, which need the
// whole file: records that do not ascend are the sink's affair), so that a caller can act on
// its beginning before its end has been read. Memory stays bounded by the piece size.
class StreamReader
{
public:
    explicit StreamReader(RecordSink &sink);
    ~StreamReader();
    StreamReader(const StreamReader &) = delete;
    StreamReader &operator=(const StreamReader &) = delete;

    // Opens without ever blocking: anything but a regular file is CannotRead.
    bool open(const std::string &path, Error &error);
    // Reads and checks the next piece; false on a fault. finished() once the file is done.
    bool next(Error &error);
    bool finished() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// "Line 12: bad checksum ..." (or the bare message when no line applies).
std::string describe(const Error &error);
// The enumerator's name, for logs and tests.
const char *errorCodeName(ErrorCode code);

} // namespace ihex
