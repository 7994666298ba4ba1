#include "upload.h"

#include "congestion.h"
#include "fileimage.h"
#include "messages.h"
#include "qorethw.h"

#include <algorithm>
#include <cerrno>
#include <deque>
#include <memory>
#include <new>
#include <poll.h>
#include <set>
#include <thread>

namespace qorethw {

using namespace qorproto;
using std::chrono::duration_cast;
using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

namespace {

constexpr std::uint64_t kMaxImageSize = 256ull * 1024 * 1024;
// Chunks sent at once before the first acknowledgements tell the path's rate: about 90 kB, which
// a switch's buffer takes.
constexpr std::size_t kInitialWindow = 64;
// A paced sender that woke late may catch up by this much, no more: a burst the bottleneck's
// queue takes, and that keeps the link busy across this host's scheduling delays.
constexpr auto kPacingCatchUp = milliseconds(5);
// What falls due within this much goes at once: fewer wake-ups, each of which a busy host may
// serve late, for bursts the short queue kept at the bottleneck takes in its stride.
constexpr auto kPacingSlack = microseconds(1000);
// While the board's port is unreachable (restarting or gone), retries are paced.
constexpr auto kRefusedPause = milliseconds(20);

// The sender's verdicts that are no result for the caller.
enum : std::uint32_t {
    kStopForFile = 0xFFFF0001,    // the file is at fault (or too large): its verdict decides
    kRetryWholeFile = 0xFFFF0002, // records do not ascend: read it whole, then send
    kRetryClassic = 0xFFFF0003,   // the board knows no deferred upload
};

// One attempt at the transfer: upload begin, the data, upload end, in one loop that reads the
// file on whenever the link leaves it time.
class Sender
{
public:
    Sender(Device &device, FileImage &file, std::uint64_t limit, std::uint16_t flags,
           const UploadProgress &progress)
        : device_(device), file_(file), progress_(progress), chunk_(device.chunkSize()),
          window_(std::min<std::size_t>(device.window(), kMaxWindow)), limit_(limit), flags_(flags),
          cc_(kInitialWindow, window_)
    {
    }

    std::uint32_t run();

private:
    enum class State : std::uint8_t { Unsent, InFlight, Lost, Acked };
    enum class Kind : std::uint8_t { Begin, Data, End };
    struct Chunk
    {
        State state = State::Unsent;
        std::uint32_t lastTx = 0;
    };
    // One datagram sent; its sequence number is its index from the first.
    struct Tx
    {
        Clock::time_point sent;
        std::uint32_t chunk = 0;
        Kind kind = Kind::Data;
        bool answered = false;
        bool afterBegin = false; // sent once the board had confirmed the upload begin
    };

    bool deferred() const { return flags_ & kUploadDeferred; }
    std::size_t chunkCount() const { return (file_.ready() + chunk_ - 1) / chunk_; }
    std::size_t chunkLength(std::size_t index) const
    {
        return std::min(chunk_, file_.ready() - index * chunk_);
    }
    bool newChunkReady() const
    {
        const std::size_t index = chunks_.size();
        return file_.complete() ? index < chunkCount() : (index + 1) * chunk_ <= file_.ready();
    }
    std::size_t total() const { return file_.complete() ? file_.ready() : 0; }

    std::uint32_t newTx(Kind kind, std::uint32_t chunk, Clock::time_point now);
    Tx *findTx(std::uint32_t sequence, std::size_t &index);
    bool send(Command command, std::uint32_t sequence, const std::vector<std::uint8_t> &payload);
    bool sendBegin(Clock::time_point now);
    bool sendEnd(Clock::time_point now);
    bool sendChunk(std::size_t index, Clock::time_point now);
    bool probe(Clock::time_point now);
    Clock::duration probeTimeout() const
    {
        // A probe is one small datagram: the first few go at the same pace, as a lossy link may
        // well lose one; then they back off, as the board may be gone.
        return rtt_.probeTimeout() * (1 << std::clamp(probeBackoff_ - 2, 0, 6));
    }
    bool sendWhatMay(Clock::time_point now);

    std::uint32_t drain();
    std::uint32_t handle(const Packet &packet, Clock::time_point now);
    std::uint32_t onDataAck(const Packet &packet, Clock::time_point now);
    std::uint32_t onBeginReply(const Packet &packet, Clock::time_point now);
    std::uint32_t onEndReply(const Packet &packet, Clock::time_point now);
    std::uint32_t applyAck(const UploadAck &ack, const Tx &trigger, Clock::time_point now);
    void markLost(std::size_t index);
    void countOutcome(bool lost);
    void detectLosses();
    void progressed(Clock::time_point now);
    void reportProgress();

    Device &device_;
    FileImage &file_;
    const UploadProgress &progress_;
    const std::size_t chunk_;
    const std::size_t window_;
    const std::uint64_t limit_;
    const std::uint16_t flags_;
    RttEstimator rtt_;
    RateController cc_;

    std::vector<Chunk> chunks_; // every chunk sent at least once
    std::vector<Tx> tx_;
    std::uint32_t firstSequence_ = 0;
    std::deque<std::uint32_t> flight_; // data transmissions in the order sent (some stale)
    std::set<std::size_t> lost_;
    std::size_t inFlight_ = 0;
    std::size_t base_ = 0; // first chunk not yet acknowledged
    std::uint64_t delivered_ = 0;
    std::uint64_t ackedBytes_ = 0, reportedBytes_ = 0, reportedTotal_ = 0;
    Clock::time_point rackSent_{}; // the latest send time of anything known to have arrived

    bool beginSent_ = false, beginConfirmed_ = false, endSent_ = false, done_ = false;
    bool beginResent_ = false;
    std::uint32_t beginSequence_ = 0, endSequence_ = 0;
    std::vector<std::uint8_t> beginPayload_, endPayload_;

    Clock::time_point nextSend_{};
    Clock::duration pacedInterval_{};
    Clock::time_point probeBase_{};
    int probeBackoff_ = 0;
    Clock::time_point progressDeadline_{};
    bool refused_ = false;
    double lossShare_ = 0;
    std::int64_t boardUs_ = 0;
    std::uint32_t lastArrivalUs_ = 0;
    bool haveArrival_ = false;
    bool haveOneWay_ = false;
    Clock::duration leastOneWay_{};
    std::vector<std::uint8_t> buffer_;
};

std::uint32_t Sender::newTx(Kind kind, std::uint32_t chunk, Clock::time_point now)
{
    const std::uint32_t sequence = device_.nextSequence();
    if (tx_.empty())
        firstSequence_ = sequence;
    Tx tx;
    tx.sent = now;
    tx.chunk = chunk;
    tx.kind = kind;
    tx.afterBegin = beginConfirmed_;
    tx_.push_back(tx);
    return sequence;
}

Sender::Tx *Sender::findTx(std::uint32_t sequence, std::size_t &index)
{
    index = std::size_t(std::uint32_t(sequence - firstSequence_));
    return index < tx_.size() ? &tx_[index] : nullptr;
}

bool Sender::send(Command command, std::uint32_t sequence, const std::vector<std::uint8_t> &payload)
{
    if (device_.sendPacket(command, sequence, payload))
        return true;
    // An unreachable port is a board restarting or gone: the datagram counts as lost.
    return errno == ECONNREFUSED;
}

bool Sender::sendBegin(Clock::time_point now)
{
    UploadBegin begin;
    begin.base = file_.base();
    begin.chunkSize = std::uint16_t(chunk_);
    begin.flags = flags_;
    if (deferred()) {
        // An upper bound; the size and CRC-32 follow in the upload end.
        begin.size = std::uint32_t(std::min<std::uint64_t>(limit_, 0x100000000ull - begin.base));
    } else {
        begin.size = std::uint32_t(file_.ready());
        begin.crc = file_.crc();
    }
    file_.read(0, std::min(file_.ready(), kImageHeadSize), begin.head.data());
    beginPayload_ = encodeUploadBegin(begin);
    beginSequence_ = newTx(Kind::Begin, 0, now);
    beginSent_ = true;
    probeBase_ = now;
    return send(Command::UploadBegin, beginSequence_, beginPayload_);
}

bool Sender::sendEnd(Clock::time_point now)
{
    endPayload_.clear();
    if (deferred()) {
        UploadEnd end;
        end.size = std::uint32_t(file_.ready());
        end.crc = file_.crc();
        endPayload_ = encodeUploadEnd(end);
    }
    endSequence_ = newTx(Kind::End, 0, now);
    endSent_ = true;
    return send(Command::UploadEnd, endSequence_, endPayload_);
}

bool Sender::sendChunk(std::size_t index, Clock::time_point now)
{
    if (index == chunks_.size())
        chunks_.emplace_back();
    else if (chunks_[index].state == State::Lost)
        lost_.erase(index);
    Chunk &chunk = chunks_[index];
    if (chunk.state != State::InFlight)
        ++inFlight_;
    chunk.state = State::InFlight;
    const std::size_t size = chunkLength(index);
    buffer_.resize(size);
    file_.read(index * chunk_, size, buffer_.data());
    const std::uint32_t sequence = newTx(Kind::Data, std::uint32_t(index), now);
    chunk.lastTx = std::uint32_t(tx_.size() - 1);
    flight_.push_back(chunk.lastTx);
    return send(Command::UploadData, sequence,
                encodeUploadData(std::uint32_t(index * chunk_), buffer_.data(), size));
}

bool Sender::sendWhatMay(Clock::time_point now)
{
    // A rate that has just grown shortens the wait the old one set.
    const auto interval = cc_.interval();
    if (interval < pacedInterval_ && nextSend_ > now && interval > Clock::duration::zero())
        nextSend_ =
            now + duration_cast<Clock::duration>(
                      (nextSend_ - now) * (double(interval.count()) / pacedInterval_.count()));
    pacedInterval_ = interval;
    while (inFlight_ < cc_.window()) {
        if (interval > Clock::duration::zero() && nextSend_ > now + kPacingSlack)
            break;
        std::size_t index;
        if (!lost_.empty() && beginConfirmed_)
            index = *lost_.begin();
        else if (newChunkReady())
            index = chunks_.size();
        else
            break;
        if (index >= base_ + window_)
            break; // beyond what the board's receive buffer holds
        if (!sendChunk(index, now))
            return false;
        if (interval > Clock::duration::zero())
            nextSend_ = std::max(nextSend_, now - Clock::duration(kPacingCatchUp)) + interval;
    }
    return true;
}

bool Sender::probe(Clock::time_point now)
{
    // The silence may be a lost request or a lost tail: one datagram asks the board where it
    // stands, and the answer shows what to resend.
    // Sent again under the same number: the board answers a repeat as it did the first, and the
    // answer's news is as fresh as this copy.
    if (!beginConfirmed_) {
        tx_[beginSequence_ - firstSequence_].sent = now;
        beginResent_ = true;
        return send(Command::UploadBegin, beginSequence_, beginPayload_);
    }
    if (endSent_) {
        tx_[endSequence_ - firstSequence_].sent = now;
        return send(Command::UploadEnd, endSequence_, endPayload_);
    }
    if (newChunkReady() && chunks_.size() < base_ + window_)
        return sendChunk(chunks_.size(), now);
    while (!flight_.empty()) {
        const std::uint32_t last = flight_.back();
        const std::size_t index = tx_[last].chunk;
        if (chunks_[index].state == State::InFlight && chunks_[index].lastTx == last)
            return sendChunk(index, now);
        flight_.pop_back();
    }
    return true;
}

void Sender::markLost(std::size_t index)
{
    Chunk &chunk = chunks_[index];
    if (chunk.state != State::InFlight)
        return;
    chunk.state = State::Lost;
    --inFlight_;
    lost_.insert(index);
}

void Sender::countOutcome(bool lost)
{
    // The share of transmissions lost, over about the last hundred.
    lossShare_ += ((lost ? 1.0 : 0.0) - lossShare_) / 64;
}

void Sender::detectLosses()
{
    // As RACK (RFC 8985): a chunk is lost once something sent after it, by more than a quarter
    // of the least round trip, has arrived.
    const auto reorderWindow = std::max(rtt_.minRtt() / 4, Clock::duration(microseconds(100)));
    while (!flight_.empty()) {
        const std::uint32_t index = flight_.front();
        const Tx &tx = tx_[index];
        Chunk &chunk = chunks_[tx.chunk];
        if (chunk.state == State::InFlight && chunk.lastTx == index) {
            if (tx.sent + reorderWindow >= rackSent_)
                break;
            markLost(tx.chunk);
            countOutcome(true);
        }
        flight_.pop_front();
    }
}

void Sender::progressed(Clock::time_point now)
{
    progressDeadline_ = now + milliseconds(callTimeoutMs());
    probeBase_ = now;
    probeBackoff_ = 0;
}

void Sender::reportProgress()
{
    if (!progress_ || (ackedBytes_ == reportedBytes_ && total() == reportedTotal_))
        return;
    reportedBytes_ = ackedBytes_;
    reportedTotal_ = total();
    progress_(ackedBytes_, reportedTotal_);
}

std::uint32_t Sender::applyAck(const UploadAck &ack, const Tx &trigger, Clock::time_point now)
{
    if (ack.contiguous > chunks_.size())
        return QEW_ERROR_READ_FAULT;
    std::size_t newly = 0;
    const auto take = [&](std::size_t i) {
        Chunk &chunk = chunks_[i];
        if (chunk.state == State::InFlight)
            --inFlight_;
        else
            lost_.erase(i);
        chunk.state = State::Acked;
        rackSent_ = std::max(rackSent_, tx_[chunk.lastTx].sent);
        ackedBytes_ += chunkLength(i);
        ++newly;
        countOutcome(false);
    };
    const std::size_t end = std::min(chunks_.size(), ack.highestCovered());
    for (std::size_t i = base_; i < end; ++i) {
        if (chunks_[i].state != State::Acked && ack.has(i))
            take(i);
    }
    // What was acknowledged has arrived, even beyond what the bitmap can say.
    if (trigger.kind == Kind::Data && chunks_[trigger.chunk].state != State::Acked)
        take(trigger.chunk);
    rackSent_ = std::max(rackSent_, trigger.sent);
    while (base_ < chunks_.size() && chunks_[base_].state == State::Acked)
        ++base_;
    Clock::time_point arrival = now;
    Clock::duration queue = rtt_.srtt() - rtt_.minRtt();
    if (ack.extended) {
        // The board's clock, unwrapped; only its differences count. The one-way delay above
        // its least is the queue on the way, whatever this host's wake-ups add to round trips.
        if (haveArrival_)
            boardUs_ += std::int32_t(ack.arrivalUs - lastArrivalUs_);
        haveArrival_ = true;
        lastArrivalUs_ = ack.arrivalUs;
        arrival = Clock::time_point(microseconds(boardUs_));
        const auto oneWay = arrival.time_since_epoch() - trigger.sent.time_since_epoch();
        if (!haveOneWay_ || oneWay < leastOneWay_)
            leastOneWay_ = oneWay;
        haveOneWay_ = true;
        queue = oneWay - leastOneWay_;
    }
    cc_.setPath(lossShare_, queue);
    if (newly) {
        delivered_ += newly;
        // With nothing new to send, fewer chunks arrive than the path could carry: such a
        // measurement may raise the rate, never lower it.
        const bool appLimited =
            file_.complete() ? chunks_.size() == chunkCount() : !newChunkReady();
        cc_.onDelivered(delivered_, arrival, now, rtt_.minRtt(), appLimited);
        progressed(now);
    }
    detectLosses();
    return QEW_ERROR_SUCCESS;
}

std::uint32_t Sender::onDataAck(const Packet &packet, Clock::time_point now)
{
    UploadAck ack;
    if (!decodeUploadAck(packet.payload, ack))
        return QEW_ERROR_READ_FAULT;
    std::size_t index;
    Tx *tx = findTx(packet.sequence, index);
    if (!tx || tx->kind != Kind::Data)
        return QEW_ERROR_SUCCESS; // a stray from an earlier attempt
    if (!tx->answered) {
        tx->answered = true;
        rtt_.sample(now - tx->sent);
    }
    if (ack.status == kBoardNoSession)
        return QEW_ERROR_NOT_CONNECTED;
    if (ack.status == kBoardNoUpload && !(beginConfirmed_ && tx->afterBegin)) {
        // It overtook the upload begin, or the begin was lost: the chunk goes again.
        if (chunks_[tx->chunk].lastTx == index)
            markLost(tx->chunk);
        return QEW_ERROR_SUCCESS;
    }
    if (ack.status != kBoardOk) {
        device_.setBoardError(ack.status);
        return QEW_ERROR_BAD_NET_RESP;
    }
    if (!beginConfirmed_) {
        beginConfirmed_ = true; // the board took the data, so it took the begin
        progressed(now);
    }
    return applyAck(ack, *tx, now);
}

std::uint32_t Sender::onBeginReply(const Packet &packet, Clock::time_point now)
{
    std::uint32_t status = 0;
    std::vector<std::uint8_t> body;
    if (!decodeReply(packet.payload, status, body))
        return QEW_ERROR_READ_FAULT;
    if (status == kBoardNoSession)
        return QEW_ERROR_NOT_CONNECTED;
    if (status == kBoardBadRequest && flags_)
        return kRetryClassic; // a board that knows no deferred upload
    if (status != kBoardOk) {
        device_.setBoardError(status);
        return QEW_ERROR_BAD_NET_RESP;
    }
    Tx &begin = tx_[beginSequence_ - firstSequence_];
    if (!begin.answered && !beginResent_) {
        // The first round trip, before any chunk's: a lost first window is probed for in
        // round trips, not in the 200 ms a path of unknown length gets.
        begin.answered = true;
        rtt_.sample(now - begin.sent);
    }
    if (!beginConfirmed_) {
        beginConfirmed_ = true;
        progressed(now);
    }
    return QEW_ERROR_SUCCESS;
}

std::uint32_t Sender::onEndReply(const Packet &packet, Clock::time_point now)
{
    std::uint32_t status = 0;
    std::vector<std::uint8_t> body;
    if (!decodeReply(packet.payload, status, body))
        return QEW_ERROR_READ_FAULT;
    std::size_t index;
    Tx *tx = findTx(packet.sequence, index);
    if (status == kBoardOk) {
        done_ = true;
        ackedBytes_ = file_.ready();
        return QEW_ERROR_SUCCESS;
    }
    if (status == kBoardNoSession)
        return QEW_ERROR_NOT_CONNECTED;
    if (status == kBoardNoUpload && tx && !tx->afterBegin) {
        endSent_ = false; // it overtook the begin; sent again, under a new number
        return QEW_ERROR_SUCCESS;
    }
    UploadAck ack;
    if (status == kBoardIncomplete && deferred() && tx && decodeUploadAck(packet.payload, ack)) {
        // Not every chunk is in yet; the board answers again once they are.
        return applyAck(ack, *tx, now);
    }
    device_.setBoardError(status);
    return QEW_ERROR_BAD_NET_RESP;
}

std::uint32_t Sender::handle(const Packet &packet, Clock::time_point now)
{
    switch (packet.type & ~kReplyBit) {
    case std::uint8_t(Command::UploadData):
        return onDataAck(packet, now);
    case std::uint8_t(Command::UploadBegin):
        if (beginSent_ && packet.sequence == beginSequence_)
            return onBeginReply(packet, now);
        break;
    case std::uint8_t(Command::UploadEnd):
        if (endSent_ && packet.sequence == endSequence_)
            return onEndReply(packet, now);
        break;
    default:
        break;
    }
    return QEW_ERROR_SUCCESS; // a late duplicate of another reply
}

std::uint32_t Sender::drain()
{
    Packet packet;
    for (;;) {
        const int got = device_.receivePacket(packet, Clock::now());
        if (got == 0)
            break;
        if (got < 0) {
            if (errno != ECONNREFUSED)
                return QEW_ERROR_NOT_CONNECTED;
            refused_ = true;
            break;
        }
        const std::uint32_t result = handle(packet, Clock::now());
        if (result != QEW_ERROR_SUCCESS || done_)
            return result;
    }
    reportProgress();
    return QEW_ERROR_SUCCESS;
}

std::uint32_t Sender::run()
{
    progressDeadline_ = Clock::now() + milliseconds(callTimeoutMs());
    if (!deferred())
        file_.readAll(); // the begin carries size and CRC-32
    for (;;) {
        const std::uint32_t result = drain();
        if (result != QEW_ERROR_SUCCESS)
            return result;
        if (done_) {
            reportProgress();
            return QEW_ERROR_SUCCESS;
        }
        if (file_.unordered())
            return kRetryWholeFile;
        if (file_.stopped())
            return kStopForFile;
        auto now = Clock::now();
        if (!beginSent_) {
            if (!file_.headKnown()) {
                file_.readPiece();
                continue;
            }
            if (!sendBegin(now))
                return QEW_ERROR_NOT_CONNECTED;
        }
        auto probeAt = probeBase_ + probeTimeout();
        if (now >= probeAt) {
            if (!probe(now))
                return QEW_ERROR_NOT_CONNECTED;
            probeBase_ = now;
            ++probeBackoff_;
            probeAt = probeBase_ + probeTimeout();
        }
        if (!sendWhatMay(now))
            return QEW_ERROR_NOT_CONNECTED;
        if (!endSent_ && file_.complete() &&
            (deferred() ? chunks_.size() == chunkCount() : base_ == chunkCount())) {
            if (!sendEnd(now))
                return QEW_ERROR_NOT_CONNECTED;
        }
        if (now >= progressDeadline_)
            return QEW_ERROR_TIMEOUT;
        if (!file_.complete()) {
            file_.readPiece(); // the link has no use for this moment
            continue;
        }
        auto wake = std::min(progressDeadline_, probeAt);
        const bool sendable =
            inFlight_ < cc_.window() && ((!lost_.empty() && beginConfirmed_) || newChunkReady());
        if (sendable)
            wake = std::min(wake, nextSend_ - Clock::duration(kPacingSlack));
        if (refused_) {
            refused_ = false;
            std::this_thread::sleep_for(std::min<Clock::duration>(kRefusedPause, wake - now));
            continue;
        }
        const auto wait = std::max(wake - now, Clock::duration::zero());
        const auto ns = duration_cast<nanoseconds>(wait).count();
        timespec ts{time_t(ns / 1000000000), long(ns % 1000000000)};
        pollfd pfd{device_.socket(), POLLIN, 0};
        ::ppoll(&pfd, 1, &ts, nullptr);
    }
}

} // namespace

std::uint32_t uploadFile(Device &device, const char *path, const UploadProgress &progress)
{
    try {
        const std::uint64_t limit = std::min<std::uint64_t>(device.flashSize(), kMaxImageSize);
        auto file = std::make_unique<FileImage>(limit);
        std::uint32_t result = file->open(path);
        if (result != QEW_ERROR_SUCCESS)
            return result;
        // A small file is read and checked whole before the board hears of it.
        file->readPiece();
        if (device.chunkSize() < kMinChunk || device.window() == 0) {
            file->readAll();
            return file->result() ? file->result() : QEW_ERROR_BAD_LENGTH;
        }
        std::uint16_t flags = kUploadDeferred | kUploadExtendedAck;
        for (;;) {
            Sender sender(device, *file, limit, flags, progress);
            result = sender.run();
            if (result == kRetryWholeFile) {
                file->loadWhole(path);
                continue;
            }
            if (result == kRetryClassic) {
                flags = 0;
                continue;
            }
            break;
        }
        // What is wrong with the file is what the caller hears, as when it was read first.
        file->readAll();
        if (file->result() != QEW_ERROR_SUCCESS)
            return file->result();
        return result == kStopForFile ? QEW_ERROR_BAD_LENGTH : result;
    } catch (const std::bad_alloc &) {
        return QEW_ERROR_BAD_LENGTH;
    }
}

} // namespace qorethw
