#include "ihexreader.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ihex {

namespace {

constexpr std::uint16_t BadDigit = 0x100;

struct HexTable
{
    std::uint16_t value[256];
    constexpr HexTable() : value()
    {
        for (int c = 0; c < 256; ++c)
            value[c] = BadDigit;
        for (int c = '0'; c <= '9'; ++c)
            value[c] = std::uint16_t(c - '0');
        for (int c = 'A'; c <= 'F'; ++c)
            value[c] = std::uint16_t(c - 'A' + 10);
        for (int c = 'a'; c <= 'f'; ++c)
            value[c] = std::uint16_t(c - 'a' + 10);
    }
};
constexpr HexTable hexTable;

// Count, two address bytes, type and checksum around the data.
constexpr std::size_t RecordOverhead = 5;
constexpr std::size_t MaxRecordBytes = 255 + RecordOverhead;

enum RecordType : std::uint8_t {
    Data = 0,
    EndOfFile = 1,
    ExtendedSegment = 2,
    StartSegment = 3,
    ExtendedLinear = 4,
    StartLinear = 5,
};

std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char *fmt, ...)
{
    char buffer[256];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

std::string printable(unsigned char c)
{
    if (c == '\r')
        return "carriage return (lines end in LF or CRLF)";
    if (c >= 0x20 && c < 0x7f && c != '\'')
        return format("'%c'", c);
    return format("0x%02X", c);
}

bool fail(Error &error, ErrorCode code, std::size_t line, std::string message)
{
    error.code = code;
    error.line = line;
    error.message = std::move(message);
    return false;
}

bool isTrailingBlank(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v' || c == 0x1a;
}

bool isBlank(std::string_view line)
{
    return std::all_of(line.begin(), line.end(),
                       [](char c) { return isTrailingBlank(static_cast<unsigned char>(c)); });
}

// Checks a file line by line, everything that can be checked one record at a time; the sink
// receives each data record with its absolute address and may refuse it.
template<class Sink>
class Scanner
{
public:
    Scanner(Sink &sink, std::optional<std::uint32_t> &start, Error &error)
        : sink(sink), start(start), error(error)
    {
    }

    // One line without its LF (a CR before the LF is still there).
    bool line(std::string_view text)
    {
        ++lineNumber;
        if (!text.empty() && text.back() == '\r')
            text.remove_suffix(1);
        if (sawEnd) {
            if (!isBlank(text))
                return fail(error, ErrorCode::DataAfterEndOfFile, lineNumber,
                            "text after the end-of-file record");
            return true;
        }
        if (text.empty())
            return true;
        if (!sawRecord && isBlank(text)) {
            // Refused only once a record follows: a file of nothing but blanks is Empty.
            if (!blankLine)
                blankLine = lineNumber;
            return true;
        }
        if (blankLine)
            return fail(error, ErrorCode::MissingColon, blankLine,
                        "record does not start with ':' (found blanks)");
        sawRecord = true;
        return record(text);
    }

    // The start of a line that has run past the longest valid one: refused without reading on.
    bool overlong(std::string_view start)
    {
        start = start.substr(0, MaxLineLength);
        const std::size_t at = lineNumber + 1;
        if (start[0] == ':' && !sawEnd) {
            lineNumber = at;
            const auto *digits = reinterpret_cast<const unsigned char *>(start.data() + 1);
            for (std::size_t i = 0; i + 1 < start.size(); ++i) {
                if (hexTable.value[digits[i]] & BadDigit)
                    return badDigit(digits, i);
            }
        } else if (!line(start)) {
            return false;
        }
        return fail(error, ErrorCode::BadLength, at,
                    format("line is longer than any record can be (more than %zu characters)",
                           MaxLineLength));
    }

    bool finish()
    {
        if (!sawRecord)
            return fail(error, ErrorCode::Empty, 0, "the file holds no records");
        if (!sawEnd)
            return fail(error, ErrorCode::MissingEndOfFile, 0, "no end-of-file record (type 01)");
        return true;
    }

private:
    bool badDigit(const unsigned char *digits, std::size_t at)
    {
        return fail(error, ErrorCode::BadHexDigit, lineNumber,
                    "unexpected character " + printable(digits[at]) + " at column " +
                        std::to_string(at + 2));
    }

    // One record: its digits decoded, its length and checksum checked, then what it says applied.
    bool record(std::string_view line)
    {
        std::size_t byteCount = 0;
        unsigned sum = 0;
        if (!decodeDigits(line, byteCount, sum) || !checkFrame(byteCount, sum))
            return false;
        const std::uint32_t offset = std::uint32_t(bytes[1]) << 8 | bytes[2];
        return apply(bytes[3], offset, bytes + 4, bytes[0]);
    }

    // The colon and the hex pairs after it into bytes; their count and byte sum on success.
    bool decodeDigits(std::string_view line, std::size_t &byteCount, unsigned &sum)
    {
        if (line[0] != ':')
            return fail(error, ErrorCode::MissingColon, lineNumber,
                        "record does not start with ':' (found " +
                            printable(static_cast<unsigned char>(line[0])) + ")");

        const auto *digits = reinterpret_cast<const unsigned char *>(line.data() + 1);
        const std::size_t digitCount = line.size() - 1;
        byteCount = digitCount / 2;
        if (byteCount > MaxRecordBytes) {
            for (std::size_t i = 0; i < digitCount; ++i) {
                if (hexTable.value[digits[i]] & BadDigit)
                    return badDigit(digits, i);
            }
            return fail(
                error, ErrorCode::BadLength, lineNumber,
                format("record is %zu hex digits long, longer than any record can be", digitCount));
        }
        for (std::size_t i = 0; i < byteCount; ++i) {
            const std::uint16_t high = hexTable.value[digits[2 * i]];
            const std::uint16_t low = hexTable.value[digits[2 * i + 1]];
            if ((high | low) & BadDigit)
                return badDigit(digits, (high & BadDigit) ? 2 * i : 2 * i + 1);
            bytes[i] = std::uint8_t(high << 4 | low);
            sum += bytes[i];
        }
        if (digitCount % 2) {
            if (hexTable.value[digits[digitCount - 1]] & BadDigit)
                return badDigit(digits, digitCount - 1);
            return fail(error, ErrorCode::BadLength, lineNumber,
                        format("odd number of hex digits (%zu)", digitCount));
        }
        return true;
    }

    // The byte count against the record's length, then the checksum.
    bool checkFrame(std::size_t byteCount, unsigned sum)
    {
        if (byteCount < RecordOverhead)
            return fail(error, ErrorCode::BadLength, lineNumber,
                        format("record too short: %zu bytes, at least 5 needed", byteCount));
        const std::size_t dataLength = bytes[0];
        if (dataLength + RecordOverhead != byteCount)
            return fail(error, ErrorCode::BadLength, lineNumber,
                        format("byte count is %zu but the record holds %zu data bytes", dataLength,
                               byteCount - RecordOverhead));
        if (sum & 0xff) {
            const unsigned given = bytes[byteCount - 1];
            return fail(error, ErrorCode::BadChecksum, lineNumber,
                        format("checksum is %02X, should be %02X", given, (given - sum) & 0xff));
        }
        return true;
    }

    // What a well-formed record of the given type does to the addressing, the start or the sink.
    bool apply(std::uint8_t type, std::uint32_t offset, const std::uint8_t *data,
               std::size_t dataLength)
    {
        switch (type) {
        case Data:
            return dataRecord(offset, data, dataLength);
        case EndOfFile:
            if (dataLength != 0)
                return fail(error, ErrorCode::BadRecord, lineNumber,
                            format("end-of-file record must hold no data, but holds %zu bytes",
                                   dataLength));
            sawEnd = true;
            return true;
        case ExtendedSegment:
            if (!requireShape(offset, dataLength, 2, "extended segment address"))
                return false;
            segmentBase = word(data) << 4;
            segmentAddressing = true;
            return true;
        case StartSegment:
            if (!requireShape(offset, dataLength, 4, "start segment address"))
                return false;
            return setStart((word(data) << 4) + word(data + 2));
        case ExtendedLinear:
            if (!requireShape(offset, dataLength, 2, "extended linear address"))
                return false;
            linearBase = word(data) << 16;
            segmentAddressing = false;
            return true;
        case StartLinear:
            if (!requireShape(offset, dataLength, 4, "start linear address"))
                return false;
            return setStart(word(data) << 16 | word(data + 2));
        default:
            return fail(error, ErrorCode::UnknownRecordType, lineNumber,
                        format("unknown record type %02X", unsigned(type)));
        }
    }

    bool dataRecord(std::uint32_t offset, const std::uint8_t *data, std::size_t length)
    {
        if (length == 0)
            return true;
        if (linearBase && segmentBase)
            return fail(error, ErrorCode::BadRecord, lineNumber,
                        format("data while both a segment base (%05X) and a linear base "
                               "(%08X) are in effect",
                               unsigned(segmentBase), unsigned(linearBase)));
        if (segmentAddressing && offset + length > 0x10000)
            return fail(error, ErrorCode::AddressOverflow, lineNumber,
                        format("record at offset %04X runs past the end of its 64 KiB segment",
                               unsigned(offset)));
        const std::uint64_t address = std::uint64_t(linearBase) + segmentBase + offset;
        if (address + length > (std::uint64_t(1) << 32))
            return fail(error, ErrorCode::AddressOverflow, lineNumber,
                        format("record at %08llX runs past the 4 GiB address space",
                               static_cast<unsigned long long>(address)));
        return sink.data(lineNumber, std::uint32_t(address), data, length, error);
    }

    static std::uint32_t word(const std::uint8_t *data)
    {
        return std::uint32_t(data[0]) << 8 | data[1];
    }

    bool requireShape(std::uint32_t offset, std::size_t length, std::size_t wanted,
                      const char *name)
    {
        if (length != wanted)
            return fail(error, ErrorCode::BadRecord, lineNumber,
                        format("%s record must hold %zu bytes, not %zu", name, wanted, length));
        if (offset != 0)
            return fail(
                error, ErrorCode::BadRecord, lineNumber,
                format("%s record must have address 0000, not %04X", name, unsigned(offset)));
        return true;
    }

    bool setStart(std::uint32_t address)
    {
        if (start)
            return fail(
                error, ErrorCode::BadRecord, lineNumber,
                format("second start address record (the first is on line %zu)", startLine));
        start = address;
        startLine = lineNumber;
        return true;
    }

    Sink &sink;
    std::optional<std::uint32_t> &start;
    Error &error;
    std::size_t lineNumber = 0;
    std::size_t startLine = 0;
    std::size_t blankLine = 0;
    std::uint32_t linearBase = 0;
    std::uint32_t segmentBase = 0;
    bool segmentAddressing = false;
    bool sawRecord = false;
    bool sawEnd = false;
    std::uint8_t bytes[MaxRecordBytes];
};

// Hands every complete line of text to the scanner and returns the unfinished tail's length.
// The first `searched` bytes are known to hold no line end.
template<class Sink>
bool feedLines(std::string_view text, std::size_t searched, Scanner<Sink> &scanner,
               std::size_t &tail)
{
    const char *p = text.data();
    const char *const end = p + text.size();
    const char *from = p + searched;
    while (const char *eol =
               static_cast<const char *>(std::memchr(from, '\n', std::size_t(end - from)))) {
        if (!scanner.line(std::string_view(p, std::size_t(eol - p))))
            return false;
        p = from = eol + 1;
    }
    tail = std::size_t(end - p);
    return true;
}

template<class Sink>
bool scan(std::string_view text, Sink &sink, std::optional<std::uint32_t> &start, Error &error)
{
    Scanner<Sink> scanner(sink, start, error);
    std::size_t tail = 0;
    if (!feedLines(text, 0, scanner, tail))
        return false;
    if (tail && !scanner.line(text.substr(text.size() - tail)))
        return false;
    return scanner.finish();
}

// A stretch of consecutive bytes given by consecutive data records; its bytes sit in the pool.
struct Run
{
    std::uint32_t address;
    std::uint64_t length;
    std::size_t offset;
};

class ImageBuilder
{
public:
    explicit ImageBuilder(std::size_t textSize) { pool.reserve(textSize / 2); }

    bool data(std::size_t, std::uint32_t address, const std::uint8_t *bytes, std::size_t length,
              Error &)
    {
        if (!runs.empty()) {
            Run &last = runs.back();
            const std::uint64_t lastEnd = std::uint64_t(last.address) + last.length;
            if (address == lastEnd) {
                last.length += length;
                pool.insert(pool.end(), bytes, bytes + length);
                return true;
            }
            if (address < lastEnd)
                ascending = false;
        }
        runs.push_back(Run{address, length, pool.size()});
        pool.insert(pool.end(), bytes, bytes + length);
        return true;
    }

    bool ascending = true;
    std::vector<Run> runs;
    std::vector<std::uint8_t> pool;
};

// Replays the file to name the first record that gives a byte a second time.
class OverlapFinder
{
public:
    bool data(std::size_t line, std::uint32_t address, const std::uint8_t *, std::size_t length,
              Error &error)
    {
        std::uint64_t start = address;
        std::uint64_t end = start + length;
        auto after = given.upper_bound(start);
        if (after != given.end() && after->first < end)
            return overlap(error, line, std::uint32_t(after->first));
        if (after != given.begin()) {
            auto before = std::prev(after);
            if (before->second > start)
                return overlap(error, line, address);
            if (before->second == start) {
                start = before->first;
                given.erase(before);
            }
        }
        if (after != given.end() && after->first == end) {
            end = after->second;
            given.erase(after);
        }
        given.emplace(start, end);
        return true;
    }

private:
    static bool overlap(Error &error, std::size_t line, std::uint32_t address)
    {
        return fail(
            error, ErrorCode::Overlap, line,
            format("data at %08X was already given by an earlier record", unsigned(address)));
    }

    std::map<std::uint64_t, std::uint64_t> given; // start -> end of bytes seen so far
};

// Reads the file in pieces: the text never needs to be in memory as a whole.
template<class Sink>
bool scanFile(int fd, const std::string &path, Sink &sink, std::optional<std::uint32_t> &start,
              Error &error)
{
    Scanner<Sink> scanner(sink, start, error);
    std::vector<char> buffer(std::size_t(1) << 18);
    std::size_t kept = 0; // an unfinished line carried over from the last piece
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data() + kept, buffer.size() - kept);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return fail(error, ErrorCode::CannotRead, 0,
                        "cannot read " + path + ": " + std::strerror(errno));
        }
        if (got == 0)
            break;
        total += std::uint64_t(got);
        if (total > MaxFileSize)
            return fail(error, ErrorCode::FileTooLarge, 0,
                        "the file is larger than a firmware file can be");
        std::size_t tail = 0;
        const std::string_view piece(buffer.data(), kept + std::size_t(got));
        if (!feedLines(piece, kept, scanner, tail))
            return false;
        if (tail > MaxLineLength)
            return scanner.overlong(std::string_view(buffer.data() + piece.size() - tail, tail));
        std::memmove(buffer.data(), buffer.data() + piece.size() - tail, tail);
        kept = tail;
    }
    if (kept && !scanner.line(std::string_view(buffer.data(), kept)))
        return false;
    return scanner.finish();
}

// Runs the file once more to name the first record that gives a byte a second time.
template<class Replay>
bool reportOverlap(Replay replay, Error &error)
{
    OverlapFinder finder;
    std::optional<std::uint32_t> start;
    if (!replay(finder, start))
        return false;
    // Only a file that changed while it was read gets here.
    return fail(error, ErrorCode::Overlap, 0, "overlapping data records");
}

// Sorts the runs into the image's segments, or reports overlapping data.
template<class Replay>
bool assemble(ImageBuilder &builder, Image &result, Replay replay, Error &error)
{
    std::vector<Run> &runs = builder.runs;
    if (!builder.ascending) {
        std::sort(runs.begin(), runs.end(),
                  [](const Run &a, const Run &b) { return a.address < b.address; });
        std::uint64_t reached = 0;
        for (const Run &run : runs) {
            if (run.address < reached)
                return reportOverlap(replay, error);
            reached = std::uint64_t(run.address) + run.length;
        }
    }

    // One run is the usual firmware file: hand over the pool without copying.
    if (runs.size() == 1) {
        result.segments.push_back(Segment{runs.front().address, std::move(builder.pool)});
        return true;
    }
    for (std::size_t i = 0; i < runs.size();) {
        std::size_t j = i + 1;
        std::uint64_t end = std::uint64_t(runs[i].address) + runs[i].length;
        while (j < runs.size() && runs[j].address == end) {
            end += runs[j].length;
            ++j;
        }
        Segment segment;
        segment.address = runs[i].address;
        segment.bytes.reserve(std::size_t(end - runs[i].address));
        for (std::size_t k = i; k < j; ++k) {
            const auto first = builder.pool.begin() + std::ptrdiff_t(runs[k].offset);
            segment.bytes.insert(segment.bytes.end(), first,
                                 first + std::ptrdiff_t(runs[k].length));
        }
        result.segments.push_back(std::move(segment));
        i = j;
    }
    return true;
}

} // namespace

std::uint32_t Image::lowestAddress() const
{
    return segments.empty() ? 0 : segments.front().address;
}

std::uint64_t Image::endAddress() const
{
    if (segments.empty())
        return 0;
    return std::uint64_t(segments.back().address) + segments.back().bytes.size();
}

std::size_t Image::dataSize() const
{
    std::size_t size = 0;
    for (const Segment &segment : segments)
        size += segment.bytes.size();
    return size;
}

std::vector<std::uint8_t> Image::flatten(std::uint8_t fill) const
{
    if (segments.empty())
        return {};
    const std::uint32_t base = lowestAddress();
    std::vector<std::uint8_t> flat(std::size_t(endAddress() - base), fill);
    for (const Segment &segment : segments)
        std::copy(segment.bytes.begin(), segment.bytes.end(),
                  flat.begin() + std::ptrdiff_t(segment.address - base));
    return flat;
}

bool parse(std::string_view text, Image &image, Error &error)
{
    error = Error();
    ImageBuilder builder(text.size());
    Image result;
    if (!scan(text, builder, result.startAddress, error))
        return false;
    const auto replay = [&](OverlapFinder &finder, std::optional<std::uint32_t> &start) {
        return scan(text, finder, start, error);
    };
    if (!assemble(builder, result, replay, error))
        return false;
    image = std::move(result);
    return true;
}

bool parseFile(const std::string &path, Image &image, Error &error)
{
    error = Error();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fail(error, ErrorCode::CannotOpen, 0,
                    "cannot open " + path + ": " + std::strerror(errno));
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    struct stat info;
    if (::fstat(fd, &info) != 0)
        return fail(error, ErrorCode::CannotRead, 0,
                    "cannot read " + path + ": " + std::strerror(errno));
    if (S_ISDIR(info.st_mode))
        return fail(error, ErrorCode::CannotRead, 0, "cannot read " + path + ": is a folder");
    const bool regular = S_ISREG(info.st_mode);
    if (regular && std::uint64_t(info.st_size) > MaxFileSize)
        return fail(error, ErrorCode::FileTooLarge, 0,
                    format("the file is %llu bytes, more than a firmware file can be",
                           static_cast<unsigned long long>(info.st_size)));

    ImageBuilder builder(regular ? std::size_t(info.st_size) : 0);
    Image result;
    if (!scanFile(fd, path, builder, result.startAddress, error))
        return false;
    const auto replay = [&](OverlapFinder &finder, std::optional<std::uint32_t> &start) {
        if (::lseek(fd, 0, SEEK_SET) != 0)
            return fail(error, ErrorCode::Overlap, 0, "overlapping data records");
        return scanFile(fd, path, finder, start, error);
    };
    if (!assemble(builder, result, replay, error))
        return false;
    image = std::move(result);
    return true;
}

namespace {

class SinkAdapter
{
public:
    explicit SinkAdapter(RecordSink &sink) : sink(sink) {}
    bool data(std::size_t line, std::uint32_t address, const std::uint8_t *bytes,
              std::size_t length, Error &error)
    {
        return sink.data(line, address, bytes, length, error);
    }
    RecordSink &sink;
};

// Small enough to hand data on soon, large enough that a read costs little next to parsing.
constexpr std::size_t StreamPiece = 64 * 1024;

} // namespace

struct StreamReader::Private
{
    explicit Private(RecordSink &sink) : adapter(sink), scanner(adapter, start, scanError) {}
    ~Private()
    {
        if (fd >= 0)
            ::close(fd);
    }

    SinkAdapter adapter;
    std::optional<std::uint32_t> start;
    Error scanError;
    Scanner<SinkAdapter> scanner;
    int fd = -1;
    std::string path;
    std::vector<char> buffer;
    std::size_t kept = 0;
    std::uint64_t total = 0;
    bool finished = false;
};

StreamReader::StreamReader(RecordSink &sink) : d(new Private(sink)) {}

StreamReader::~StreamReader() = default;

bool StreamReader::open(const std::string &path, Error &error)
{
    error = Error();
    // Without O_NONBLOCK, opening a FIFO that no one writes waits for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return fail(error, ErrorCode::CannotOpen, 0,
                    "cannot open " + path + ": " + std::strerror(errno));
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int code = errno;
        ::close(fd);
        return fail(error, ErrorCode::CannotRead, 0,
                    "cannot read " + path + ": " +
                        (S_ISDIR(info.st_mode)   ? std::string("is a folder")
                         : S_ISREG(info.st_mode) ? std::strerror(code)
                                                 : std::string("not a regular file")));
    }
    if (std::uint64_t(info.st_size) > MaxFileSize) {
        ::close(fd);
        return fail(error, ErrorCode::FileTooLarge, 0,
                    format("the file is %llu bytes, more than a firmware file can be",
                           static_cast<unsigned long long>(info.st_size)));
    }
    d->fd = fd;
    d->path = path;
    d->buffer.resize(StreamPiece + MaxLineLength + 1);
    return true;
}

bool StreamReader::finished() const
{
    return d->finished;
}

bool StreamReader::next(Error &error)
{
    if (d->finished)
        return true;
    ssize_t got;
    do {
        got = ::read(d->fd, d->buffer.data() + d->kept, StreamPiece);
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        return fail(error, ErrorCode::CannotRead, 0,
                    "cannot read " + d->path + ": " + std::strerror(errno));
    Scanner<SinkAdapter> &scanner = d->scanner;
    if (got == 0) {
        d->finished = true;
        if (d->kept && !scanner.line(std::string_view(d->buffer.data(), d->kept)))
            return error = d->scanError, false;
        if (!scanner.finish())
            return error = d->scanError, false;
        return true;
    }
    d->total += std::uint64_t(got);
    if (d->total > MaxFileSize)
        return fail(error, ErrorCode::FileTooLarge, 0,
                    "the file is larger than a firmware file can be");
    std::size_t tail = 0;
    const std::string_view piece(d->buffer.data(), d->kept + std::size_t(got));
    if (!feedLines(piece, d->kept, scanner, tail))
        return error = d->scanError, false;
    if (tail > MaxLineLength) {
        scanner.overlong(piece.substr(piece.size() - tail));
        return error = d->scanError, false;
    }
    std::memmove(d->buffer.data(), d->buffer.data() + piece.size() - tail, tail);
    d->kept = tail;
    return true;
}

std::string describe(const Error &error)
{
    if (error.line == 0)
        return error.message;
    return "line " + std::to_string(error.line) + ": " + error.message;
}

const char *errorCodeName(ErrorCode code)
{
    switch (code) {
    case ErrorCode::None:
        return "None";
    case ErrorCode::CannotOpen:
        return "CannotOpen";
    case ErrorCode::CannotRead:
        return "CannotRead";
    case ErrorCode::Empty:
        return "Empty";
    case ErrorCode::MissingColon:
        return "MissingColon";
    case ErrorCode::BadHexDigit:
        return "BadHexDigit";
    case ErrorCode::BadLength:
        return "BadLength";
    case ErrorCode::BadChecksum:
        return "BadChecksum";
    case ErrorCode::UnknownRecordType:
        return "UnknownRecordType";
    case ErrorCode::BadRecord:
        return "BadRecord";
    case ErrorCode::MissingEndOfFile:
        return "MissingEndOfFile";
    case ErrorCode::DataAfterEndOfFile:
        return "DataAfterEndOfFile";
    case ErrorCode::Overlap:
        return "Overlap";
    case ErrorCode::AddressOverflow:
        return "AddressOverflow";
    case ErrorCode::FileTooLarge:
        return "FileTooLarge";
    }
    return "Unknown";
}

} // namespace ihex
