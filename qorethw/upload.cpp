#include "upload.h"

#include "crc32.h"
#include "messages.h"
#include "qorethw.h"

#include <algorithm>
#include <cerrno>
#include <thread>

namespace qorethw {

using namespace qorproto;
using std::chrono::duration_cast;
using std::chrono::microseconds;
using std::chrono::milliseconds;

namespace {

constexpr microseconds kMinRto{100000};
constexpr microseconds kMaxRto{1000000};
constexpr microseconds kFirstRto{200000};
// A hole counts as lost once this many later chunks have arrived (as TCP's three duplicates).
constexpr std::size_t kReorderThreshold = 3;

// Round-trip estimate as TCP keeps it (RFC 6298), fed only by chunks sent once.
class RttEstimator
{
public:
    void sample(microseconds rtt)
    {
        if (!valid_) {
            srtt_ = rtt;
            rttvar_ = rtt / 2;
            valid_ = true;
        } else {
            const microseconds delta = srtt_ > rtt ? srtt_ - rtt : rtt - srtt_;
            rttvar_ = (rttvar_ * 3 + delta) / 4;
            srtt_ = (srtt_ * 7 + rtt) / 8;
        }
        rto_ = std::clamp(srtt_ + rttvar_ * 4, kMinRto, kMaxRto);
    }
    void backOff() { rto_ = std::min(rto_ * 2, kMaxRto); }
    microseconds rto() const { return rto_; }
    microseconds srtt() const { return valid_ ? srtt_ : kFirstRto; }

private:
    bool valid_ = false;
    microseconds srtt_{0}, rttvar_{0}, rto_{kFirstRto};
};

class WindowedSender
{
public:
    WindowedSender(Device &device, const ImageView &image,
                   const std::function<void(std::uint64_t, std::uint64_t)> &progress)
        : device_(device), image_(image), progress_(progress), chunk_(device.chunkSize()),
          window_(std::min<std::size_t>(device.window(), kMaxWindow)),
          count_((image.size() + chunk_ - 1) / chunk_), acked_(count_, false), sends_(count_, 0),
          fastResent_(count_, false), sentAt_(count_)
    {
    }

    std::uint32_t run();

private:
    bool send(std::size_t index);
    std::uint32_t handleAck(const Packet &packet);
    void markAcked(std::size_t index, Clock::time_point now);

    Device &device_;
    const ImageView &image_;
    const std::function<void(std::uint64_t, std::uint64_t)> &progress_;
    std::vector<std::uint8_t> chunkBuffer_;
    const std::size_t chunk_;
    const std::size_t window_;
    const std::size_t count_;
    std::vector<bool> acked_;
    std::vector<std::uint8_t> sends_;
    std::vector<bool> fastResent_;
    std::vector<Clock::time_point> sentAt_;
    std::size_t base_ = 0; // first chunk not yet acknowledged
    std::size_t next_ = 0; // first chunk never sent
    bool progressed_ = false;
    RttEstimator rtt_;
};

bool WindowedSender::send(std::size_t index)
{
    const std::size_t offset = index * chunk_;
    const std::size_t size = std::min(chunk_, image_.size() - offset);
    chunkBuffer_.resize(size);
    image_.read(offset, size, chunkBuffer_.data());
    const auto payload = encodeUploadData(std::uint32_t(offset), chunkBuffer_.data(), size);
    sentAt_[index] = Clock::now();
    if (sends_[index] < 255)
        ++sends_[index];
    return device_.sendPacket(Command::UploadData, device_.nextSequence(), payload);
}

void WindowedSender::markAcked(std::size_t index, Clock::time_point now)
{
    if (acked_[index])
        return;
    acked_[index] = true;
    progressed_ = true;
    if (sends_[index] == 1)
        rtt_.sample(duration_cast<microseconds>(now - sentAt_[index]));
}

std::uint32_t WindowedSender::handleAck(const Packet &packet)
{
    if (packet.type != (std::uint8_t(Command::UploadData) | kReplyBit))
        return QEW_ERROR_SUCCESS; // a late duplicate of another reply
    UploadAck ack;
    if (!decodeUploadAck(packet.payload, ack) || ack.contiguous > count_)
        return QEW_ERROR_READ_FAULT;
    if (ack.status == kBoardNoSession)
        return QEW_ERROR_NOT_CONNECTED;
    if (ack.status != kBoardOk) {
        device_.setBoardError(ack.status);
        return QEW_ERROR_BAD_NET_RESP;
    }
    const auto now = Clock::now();
    for (std::size_t i = base_; i < ack.contiguous; ++i)
        markAcked(i, now);
    std::size_t highest = ack.contiguous;
    for (std::size_t bit = 0; bit < kAckBitmapChunks; ++bit) {
        const std::size_t index = std::size_t(ack.contiguous) + 1 + bit;
        if (index >= count_)
            break;
        if (ack.bitmap & (std::uint64_t(1) << bit)) {
            markAcked(index, now);
            highest = index;
        }
    }
    const std::size_t before = base_;
    while (base_ < count_ && acked_[base_])
        ++base_;
    if (progress_ && base_ != before)
        progress_(std::min<std::uint64_t>(base_ * chunk_, image_.size()), image_.size());
    // Holes well behind what has arrived are resent once at once, without waiting for their
    // timer; a repeated acknowledgement finds them already resent and sends nothing.
    std::size_t laterArrived = 0;
    for (std::size_t i = std::min(highest, next_ ? next_ - 1 : 0) + 1; i-- > base_;) {
        if (acked_[i]) {
            ++laterArrived;
        } else if (laterArrived >= kReorderThreshold && !fastResent_[i] &&
                   now - sentAt_[i] >= rtt_.srtt()) {
            fastResent_[i] = true;
            if (!send(i) && errno != ECONNREFUSED)
                return QEW_ERROR_NOT_CONNECTED;
        }
    }
    return QEW_ERROR_SUCCESS;
}

std::uint32_t WindowedSender::run()
{
    const milliseconds progressBound(callTimeoutMs());
    auto progressDeadline = Clock::now() + progressBound;
    while (base_ < count_) {
        auto now = Clock::now();
        while (next_ < count_ && next_ < base_ + window_) {
            if (!send(next_) && errno != ECONNREFUSED)
                return QEW_ERROR_NOT_CONNECTED;
            ++next_;
        }
        auto wake = progressDeadline;
        bool timedOut = false;
        for (std::size_t i = base_; i < next_; ++i) {
            if (acked_[i])
                continue;
            if (now - sentAt_[i] >= rtt_.rto()) {
                timedOut = true;
                fastResent_[i] = false;
                if (!send(i) && errno != ECONNREFUSED)
                    return QEW_ERROR_NOT_CONNECTED;
            }
            wake = std::min(wake, sentAt_[i] + rtt_.rto());
        }
        if (timedOut)
            rtt_.backOff();

        Packet packet;
        const int got = device_.receivePacket(packet, wake);
        if (got < 0) {
            if (errno != ECONNREFUSED)
                return QEW_ERROR_NOT_CONNECTED;
            // The board is gone or restarting: keep trying until the progress bound.
            std::this_thread::sleep_for(milliseconds(20));
        } else if (got > 0) {
            // Take every acknowledgement already waiting before refilling the window.
            do {
                const std::uint32_t result = handleAck(packet);
                if (result != QEW_ERROR_SUCCESS)
                    return result;
            } while (device_.receivePacket(packet, Clock::now()) > 0);
        }
        if (progressed_) {
            progressed_ = false;
            progressDeadline = Clock::now() + progressBound;
        } else if (Clock::now() >= progressDeadline) {
            return QEW_ERROR_TIMEOUT;
        }
    }
    return QEW_ERROR_SUCCESS;
}

} // namespace

void ImageView::add(std::size_t offset, const std::uint8_t *data, std::size_t size)
{
    if (size)
        runs_.push_back({offset, data, size});
}

void ImageView::read(std::size_t offset, std::size_t count, std::uint8_t *out) const
{
    std::fill_n(out, count, std::uint8_t(0));
    const std::size_t end = offset + count;
    // The first run that ends after offset.
    auto it = std::upper_bound(runs_.begin(), runs_.end(), offset,
                               [](std::size_t o, const Run &r) { return o < r.offset + r.size; });
    for (; it != runs_.end() && it->offset < end; ++it) {
        const std::size_t from = std::max(offset, it->offset);
        const std::size_t to = std::min(end, it->offset + it->size);
        std::copy(it->data + (from - it->offset), it->data + (to - it->offset),
                  out + (from - offset));
    }
}

std::uint32_t ImageView::crc32() const
{
    static const std::uint8_t zeros[4096] = {};
    std::uint32_t crc = 0;
    std::size_t at = 0;
    auto zeroFill = [&](std::size_t until) {
        while (at < until) {
            const std::size_t n = std::min(sizeof zeros, until - at);
            crc = qorproto::crc32(zeros, n, crc);
            at += n;
        }
    };
    for (const Run &run : runs_) {
        zeroFill(run.offset);
        crc = qorproto::crc32(run.data, run.size, crc);
        at = run.offset + run.size;
    }
    zeroFill(size_);
    return crc;
}

std::uint32_t uploadImage(Device &device, std::uint32_t base, const ImageView &image,
                          const std::function<void(std::uint64_t, std::uint64_t)> &progress)
{
    if (image.size() == 0 || device.chunkSize() < kMinChunk || device.window() == 0)
        return QEW_ERROR_BAD_LENGTH;
    UploadBegin begin;
    begin.base = base;
    begin.size = std::uint32_t(image.size());
    begin.crc = image.crc32();
    begin.chunkSize = device.chunkSize();
    image.read(0, std::min(image.size(), kImageHeadSize), begin.head.data());
    std::vector<std::uint8_t> body;
    std::uint32_t result =
        device.exchange(Command::UploadBegin, encodeUploadBegin(begin), body, deadlineFromNow());
    if (result != QEW_ERROR_SUCCESS)
        return result;
    WindowedSender sender(device, image, progress);
    result = sender.run();
    if (result != QEW_ERROR_SUCCESS)
        return result;
    return device.exchange(Command::UploadEnd, {}, body, deadlineFromNow());
}

} // namespace qorethw
