#include "ihexwriter.h"

#include <algorithm>
#include <stdexcept>

namespace ihex {

namespace {

class RecordWriter
{
public:
    RecordWriter(std::string &out, bool crlf) : out(out), crlf(crlf) {}

    void record(std::uint8_t type, std::uint16_t offset, const std::uint8_t *data,
                std::size_t length)
    {
        out.push_back(':');
        unsigned sum = unsigned(length) + (offset >> 8) + (offset & 0xff) + type;
        byte(std::uint8_t(length));
        byte(std::uint8_t(offset >> 8));
        byte(std::uint8_t(offset));
        byte(type);
        for (std::size_t i = 0; i < length; ++i) {
            sum += data[i];
            byte(data[i]);
        }
        byte(std::uint8_t(-sum));
        if (crlf)
            out.push_back('\r');
        out.push_back('\n');
    }

    void word(std::uint8_t type, std::uint16_t value)
    {
        const std::uint8_t data[2] = {std::uint8_t(value >> 8), std::uint8_t(value)};
        record(type, 0, data, 2);
    }

    void words(std::uint8_t type, std::uint16_t high, std::uint16_t low)
    {
        const std::uint8_t data[4] = {std::uint8_t(high >> 8), std::uint8_t(high),
                                      std::uint8_t(low >> 8), std::uint8_t(low)};
        record(type, 0, data, 4);
    }

private:
    void byte(std::uint8_t value)
    {
        static const char digits[] = "0123456789ABCDEF";
        out.push_back(digits[value >> 4]);
        out.push_back(digits[value & 0xf]);
    }

    std::string &out;
    bool crlf;
};

void check(const Image &image, const WriteOptions &options)
{
    if (options.bytesPerRecord < 1 || options.bytesPerRecord > 255)
        throw std::invalid_argument("ihex::write: bytes per record must be 1 to 255");
    const std::uint64_t limit =
        options.addressing == Addressing::Segment ? std::uint64_t(1) << 20 : std::uint64_t(1) << 32;
    std::uint64_t reached = 0;
    for (const Segment &segment : image.segments) {
        if (segment.address < reached)
            throw std::invalid_argument("ihex::write: segments unsorted or overlapping");
        reached = std::uint64_t(segment.address) + segment.bytes.size();
        if (reached > limit)
            throw std::invalid_argument("ihex::write: data beyond what the addressing can reach");
    }
    if (image.startAddress && *image.startAddress >= limit)
        throw std::invalid_argument("ihex::write: start address beyond the addressing's reach");
}

} // namespace

std::string write(const Image &image, const WriteOptions &options)
{
    check(image, options);
    const bool segmented = options.addressing == Addressing::Segment;
    const std::size_t perRecord = std::size_t(options.bytesPerRecord);
    const std::size_t lineEnd = options.crlf ? 2 : 1;

    std::string out;
    const std::size_t records = image.dataSize() / perRecord + 2 * image.segments.size() + 2;
    out.reserve(image.dataSize() * 2 + records * (11 + lineEnd) + 64);
    RecordWriter writer(out, options.crlf);

    std::uint32_t base = 0; // the upper 16 address bits the last 02 or 04 record set
    for (const Segment &segment : image.segments) {
        std::uint64_t address = segment.address;
        const std::uint8_t *data = segment.bytes.data();
        std::size_t left = segment.bytes.size();
        while (left > 0) {
            const std::uint32_t upper = std::uint32_t(address >> 16);
            if (upper != base) {
                if (segmented)
                    writer.word(2, std::uint16_t(upper << 12));
                else
                    writer.word(4, std::uint16_t(upper));
                base = upper;
            }
            const std::size_t toBoundary = 0x10000 - std::size_t(address & 0xffff);
            const std::size_t length = std::min({left, perRecord, toBoundary});
            writer.record(0, std::uint16_t(address), data, length);
            address += length;
            data += length;
            left -= length;
        }
    }
    if (image.startAddress) {
        const std::uint32_t start = *image.startAddress;
        if (segmented)
            writer.words(3, std::uint16_t((start >> 16) << 12), std::uint16_t(start));
        else
            writer.words(5, std::uint16_t(start >> 16), std::uint16_t(start));
    }
    writer.record(1, 0, nullptr, 0);
    return out;
}

} // namespace ihex
