#include "fileimage.h"

#include "crc32.h"
#include "messages.h"
#include "qorethw.h"

#include <cstring>

namespace qorethw {

namespace {

// Where the reader's faults become the library's.
Outcome fileError(const ihex::Error &error)
{
    switch (error.code) {
    case ihex::ErrorCode::None:
        return Outcome::success();
    case ihex::ErrorCode::CannotOpen:
        return Outcome::fault(QEW_ERROR_FILE_NOT_FOUND);
    case ihex::ErrorCode::CannotRead:
        return Outcome::fault(QEW_ERROR_READ_FAULT);
    case ihex::ErrorCode::Empty:
        return Outcome::fault(QEW_ERROR_BAD_LENGTH);
    default:
        return Outcome::fault(QEW_ERROR_INVALID_DATA);
    }
}

} // namespace

Outcome FileImage::open(const char *path)
{
    ihex::Error error;
    return m_reader.open(path, error) ? Outcome::success() : fileError(error);
}

void FileImage::readPiece()
{
    if (m_complete || !m_error.ok())
        return;
    ihex::Error error;
    if (!m_reader.next(error)) {
        m_error = fileError(error);
        return;
    }
    m_complete = m_reader.finished();
    if (m_ready > m_crcDone) {
        m_crc = qorproto::crc32(m_bytes.data() + m_crcDone, m_ready - m_crcDone, m_crc);
        m_crcDone = m_ready;
    }
}

void FileImage::readAll()
{
    while (!m_complete && m_error.ok())
        readPiece();
}

void FileImage::loadWhole(const char *path)
{
    ihex::Image image;
    ihex::Error error;
    if (!ihex::parseFile(path, image, error)) {
        m_error = fileError(error);
        return;
    }
    m_unordered = false;
    m_complete = true;
    m_started = !image.empty();
    if (image.endAddress() - image.lowestAddress() > m_limit) {
        m_tooLarge = true;
        return;
    }
    m_base = image.lowestAddress();
    m_bytes = image.flatten(0);
    m_ready = m_bytes.size();
    m_crc = qorproto::crc32(m_bytes.data(), m_bytes.size());
    m_crcDone = m_ready;
}

Outcome FileImage::result() const
{
    if (!m_error.ok())
        return m_error;
    return m_tooLarge || !m_started ? Outcome::fault(QEW_ERROR_BAD_LENGTH) : Outcome::success();
}

bool FileImage::headKnown() const
{
    return m_complete || m_ready >= qorproto::kImageHeadSize || stopped();
}

void FileImage::read(std::size_t offset, std::size_t count, std::uint8_t *out) const
{
    std::memcpy(out, m_bytes.data() + offset, count);
}

bool FileImage::data(std::size_t, std::uint32_t address, const std::uint8_t *bytes,
                     std::size_t length, ihex::Error &)
{
    if (m_unordered || m_tooLarge)
        return true; // the rest is only checked
    if (!m_started) {
        m_started = true;
        m_base = address;
    }
    if (address < m_base || address - m_base < m_ready) {
        m_unordered = true;
        return true;
    }
    const std::uint64_t end = std::uint64_t(address - m_base) + length;
    if (end > m_limit) {
        m_tooLarge = true;
        return true;
    }
    m_bytes.resize(std::size_t(end)); // a gap reads as 0
    std::memcpy(m_bytes.data() + (address - m_base), bytes, length);
    m_ready = std::size_t(end);
    return true;
}

} // namespace qorethw
