// Intel HEX writer: the text form of a memory image, readable by ihex::parse and by objcopy.
#pragma once

#include "ihexreader.h"

#include <string>

namespace ihex {

enum class Addressing {
    Linear,  // type 04 records: any address below 4 GiB
    Segment, // type 02 records: addresses below 1 MiB, as 16-bit tools need them
};

struct WriteOptions
{
    int bytesPerRecord = 16; // 1 to 255
    Addressing addressing = Addressing::Linear;
    bool crlf = false; // CRLF line ends instead of LF
};

// Records never cross a 64 KiB boundary, so every reader agrees on the addresses. A start
// address becomes a type 05 record (linear) or 03 (segment), just before the end record.
// Throws std::invalid_argument for options out of range or an image the chosen addressing
// cannot hold (segments unsorted or overlapping, data or start address out of reach).
std::string write(const Image &image, const WriteOptions &options = {});

} // namespace ihex
