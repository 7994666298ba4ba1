// samplefirmware [--] FILE [REVISION] [KIB]: a firmware image the emulated board accepts, "QORF"
// and the revision word first, then KIB KiB of filler, written as Intel HEX.
#include "ihexwriter.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: samplefirmware [--] FILE [REVISION] [KIB]\n"
    "Writes a firmware image the emulated board accepts to FILE, as Intel HEX: \"QORF\", the\n"
    "revision word, then filler.\n"
    "  REVISION  16-bit revision word, e.g. 0x0200 for 2.0 (default 0x0200)\n"
    "  KIB       image size in KiB, 1 to 1024 (default 64)\n"
    "  -h, --help  show this help\n";

int usageError(const char *message)
{
    std::fprintf(stderr, "samplefirmware: %s\n%s", message, kUsage);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<const char *> operands;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (!optionsEnded && (a == "-h" || a == "--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
            continue;
        }
        // A file name that looks like an option is almost always a mistyped option.
        if (!optionsEnded && a.size() > 1 && a[0] == '-')
            return usageError(("unknown option " + a).c_str());
        operands.push_back(argv[i]);
    }
    if (operands.empty() || operands.size() > 3)
        return usageError(operands.empty() ? "no FILE given" : "too many arguments");
    if (!*operands[0])
        return usageError("FILE is empty");
    char *end = nullptr;
    const unsigned long revision =
        operands.size() > 1 ? std::strtoul(operands[1], &end, 0) : 0x0200;
    if (operands.size() > 1 && (!*operands[1] || *end || revision > 0xFFFF))
        return usageError("revision must be a 16-bit number, such as 0x0200 for 2.0");
    const unsigned long kib = operands.size() > 2 ? std::strtoul(operands[2], &end, 0) : 64;
    if (operands.size() > 2 && (!*operands[2] || *end || kib == 0 || kib > 1024))
        return usageError("size must be 1 to 1024 KiB");

    ihex::Segment segment;
    segment.bytes = {'Q', 'O', 'R', 'F', std::uint8_t(revision >> 8), std::uint8_t(revision)};
    segment.bytes.resize(kib * 1024);
    for (std::size_t i = 6; i < segment.bytes.size(); ++i)
        segment.bytes[i] = std::uint8_t(i * 131 + (i >> 8));
    ihex::Image image;
    image.segments.push_back(std::move(segment));

    try {
        const std::string text = ihex::write(image, {16, ihex::Addressing::Linear, true});
        std::ofstream out(operands[0], std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::fprintf(stderr, "samplefirmware: cannot write %s\n", operands[0]);
            return 1;
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
