#include "fileimage.h"

#include "crc32.h"
#include "messages.h"
#include "qorethw.h"

#include <cstring>

namespace qorethw {

namespace {

std::uint32_t fileError(const ihex::Error &error)
{
    switch (error.code) {
    case ihex::ErrorCode::None:
        return QEW_ERROR_SUCCESS;
    case ihex::ErrorCode::CannotOpen:
        return QEW_ERROR_FILE_NOT_FOUND;
    case ihex::ErrorCode::CannotRead:
        return QEW_ERROR_READ_FAULT;
    case ihex::ErrorCode::Empty:
        return QEW_ERROR_BAD_LENGTH;
    default:
        return QEW_ERROR_INVALID_DATA;
    }
}

} // namespace

std::uint32_t FileImage::open(const char *path)
{
    ihex::Error error;
    return reader_.open(path, error) ? QEW_ERROR_SUCCESS : fileError(error);
}

void FileImage::readPiece()
{
    if (complete_ || error_)
        return;
    ihex::Error error;
    if (!reader_.next(error)) {
        error_ = fileError(error);
        return;
    }
    complete_ = reader_.finished();
    if (ready_ > crcDone_) {
        crc_ = qorproto::crc32(bytes_.data() + crcDone_, ready_ - crcDone_, crc_);
        crcDone_ = ready_;
    }
}

void FileImage::readAll()
{
    while (!complete_ && !error_)
        readPiece();
}

void FileImage::loadWhole(const char *path)
{
    ihex::Image image;
    ihex::Error error;
    if (!ihex::parseFile(path, image, error)) {
        error_ = fileError(error);
        return;
    }
    unordered_ = false;
    complete_ = true;
    started_ = !image.empty();
    if (image.endAddress() - image.lowestAddress() > limit_) {
        tooLarge_ = true;
        return;
    }
    base_ = image.lowestAddress();
    bytes_ = image.flatten(0);
    ready_ = bytes_.size();
    crc_ = qorproto::crc32(bytes_.data(), bytes_.size());
    crcDone_ = ready_;
}

std::uint32_t FileImage::result() const
{
    if (error_)
        return error_;
    return tooLarge_ || !started_ ? QEW_ERROR_BAD_LENGTH : QEW_ERROR_SUCCESS;
}

bool FileImage::headKnown() const
{
    return complete_ || ready_ >= qorproto::kImageHeadSize || stopped();
}

void FileImage::read(std::size_t offset, std::size_t count, std::uint8_t *out) const
{
    std::memcpy(out, bytes_.data() + offset, count);
}

bool FileImage::data(std::size_t, std::uint32_t address, const std::uint8_t *bytes,
                     std::size_t length, ihex::Error &)
{
    if (unordered_ || tooLarge_)
        return true; // the rest is only checked
    if (!started_) {
        started_ = true;
        base_ = address;
    }
    if (address < base_ || address - base_ < ready_) {
        unordered_ = true;
        return true;
    }
    const std::uint64_t end = std::uint64_t(address - base_) + length;
    if (end > limit_) {
        tooLarge_ = true;
        return true;
    }
    bytes_.resize(std::size_t(end)); // a gap reads as 0
    std::memcpy(bytes_.data() + (address - base_), bytes, length);
    ready_ = std::size_t(end);
    return true;
}

} // namespace qorethw
