// Feeds arbitrary text to the reader; whatever it accepts must be a sound image that survives
// a write and a second read unchanged.
#include "ihexreader.h"
#include "ihexwriter.h"

#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

bool sameImage(const ihex::Image &a, const ihex::Image &b)
{
    if (a.segments.size() != b.segments.size() || a.startAddress != b.startAddress)
        return false;
    for (std::size_t i = 0; i < a.segments.size(); ++i) {
        if (a.segments[i].address != b.segments[i].address ||
            a.segments[i].bytes != b.segments[i].bytes)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    ihex::Image image;
    ihex::Error error;
    if (!ihex::parse(text, image, error)) {
        require(error.code != ihex::ErrorCode::None && !error.message.empty());
        require(image.empty());
        return 0;
    }
    require(error.code == ihex::ErrorCode::None);

    std::uint64_t reached = 0;
    std::size_t total = 0;
    for (std::size_t i = 0; i < image.segments.size(); ++i) {
        const ihex::Segment &segment = image.segments[i];
        require(!segment.bytes.empty());
        require(i == 0 || segment.address > reached); // sorted, apart, merged
        reached = std::uint64_t(segment.address) + segment.bytes.size();
        require(reached <= (std::uint64_t(1) << 32));
        total += segment.bytes.size();
    }
    require(total == image.dataSize());
    if (!image.empty() && image.endAddress() - image.lowestAddress() <= (1u << 20))
        require(image.flatten().size() == image.endAddress() - image.lowestAddress());

    ihex::WriteOptions options;
    options.bytesPerRecord = 1 + int(size % 255);
    ihex::Image again;
    require(ihex::parse(ihex::write(image, options), again, error));
    require(sameImage(image, again));
    return 0;
}
