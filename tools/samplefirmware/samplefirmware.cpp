// samplefirmware FILE [REVISION] [KIB]: a firmware image the emulated board accepts, "QORF" and
// the revision word first, then KIB KiB of filler, written as Intel HEX.
#include "ihexwriter.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: %s FILE [REVISION, default 0x0200] [KIB, default 64]\n",
                     argv[0]);
        return 2;
    }
    char *end = nullptr;
    const unsigned long revision = argc > 2 ? std::strtoul(argv[2], &end, 0) : 0x0200;
    if (argc > 2 && (*end || revision > 0xFFFF)) {
        std::fprintf(stderr, "revision must be a 16-bit number, such as 0x0200 for 2.0\n");
        return 2;
    }
    const unsigned long kib = argc > 3 ? std::strtoul(argv[3], &end, 0) : 64;
    if (argc > 3 && (*end || kib == 0 || kib > 1024)) {
        std::fprintf(stderr, "size must be 1 to 1024 KiB\n");
        return 2;
    }

    ihex::Segment segment;
    segment.bytes = {'Q', 'O', 'R', 'F', std::uint8_t(revision >> 8), std::uint8_t(revision)};
    segment.bytes.resize(kib * 1024);
    for (std::size_t i = 6; i < segment.bytes.size(); ++i)
        segment.bytes[i] = std::uint8_t(i * 131 + (i >> 8));
    ihex::Image image;
    image.segments.push_back(std::move(segment));

    try {
        const std::string text = ihex::write(image, {16, ihex::Addressing::Linear, true});
        std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", argv[1]);
            return 1;
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
