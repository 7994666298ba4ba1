// The windowed image transfer of QEW_UploadFirmwareFile.
#pragma once

#include "device.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace qorethw {

// An image as runs of bytes at offsets from its start, gaps reading as 0; read straight from
// the HEX reader's segments, so that a large image is never copied into one flat buffer.
class ImageView
{
public:
    void add(std::size_t offset, const std::uint8_t *data, std::size_t size); // in order
    void setSize(std::size_t size) { size_ = size; }
    std::size_t size() const { return size_; }
    void read(std::size_t offset, std::size_t count, std::uint8_t *out) const;
    std::uint32_t crc32() const;

private:
    struct Run
    {
        std::size_t offset;
        const std::uint8_t *data;
        std::size_t size;
    };
    std::vector<Run> runs_;
    std::size_t size_ = 0;
};

// Sends base/image to the board and has it commit it. Returns 0 or a QEW error (for
// QEW_ERROR_BAD_NET_RESP the board's code is in device.boardError()). progress (may be empty)
// hears the acknowledged bytes and the image's size as the acknowledged prefix grows.
std::uint32_t uploadImage(Device &device, std::uint32_t base, const ImageView &image,
                          const std::function<void(std::uint64_t, std::uint64_t)> &progress);

} // namespace qorethw
