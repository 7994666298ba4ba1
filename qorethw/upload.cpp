#include "upload.h"

#include "congestion.h"
#include "fileimage.h"
#include "messages.h"
#include "qorethw.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <optional>
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
// Chunks sent at once before the first acknowledgements tell the path's rate: about 23 kB, which
// even a shaped port's token bucket of 32 KiB lets through, for each of several boards.
constexpr std::size_t kInitialWindow = 16;
// A paced sender that woke late may catch up by this much, no more: a burst the bottleneck's
// queue takes, and that keeps the link busy across this host's scheduling delays.
constexpr auto kPacingCatchUp = milliseconds(5);
// What falls due within this much goes at once: fewer wake-ups, each of which a busy host may
// serve late, for bursts the short queue kept at the bottleneck takes in its stride.
constexpr auto kPacingSlack = microseconds(1000);
// The most a least one-way delay is taken to be off by the queue it was measured behind.
constexpr auto kBaselineDoubt = milliseconds(20);
// The first probe, before the upload's own round trips, on a path whose round trip Connect
// measured: soon enough that a crowd whose queue dropped the begin costs little.
constexpr auto kFirstProbeFloor = milliseconds(20);
// A board that keeps answering without taking anything new is given this many bounds.
constexpr int kAnswerGrace = 4;

// How an attempt, or a step of one, ended: with an outcome (success: the attempt goes on), or
// with a verdict that is no result for the caller.
struct Attempt
{
    enum class Verdict : std::uint8_t {
        Result,    // the outcome says it
        FileFault, // the file is at fault (or too large): its verdict decides
        WholeFile, // records do not ascend: read it whole, then send
        Classic,   // the board knows no deferred upload
    };
    Attempt(Outcome result) : outcome(result) {}
    Attempt(Verdict ended) : verdict(ended) {}
    bool goesOn() const { return verdict == Verdict::Result && outcome.ok(); }

    Verdict verdict = Verdict::Result;
    Outcome outcome = Outcome::success();
};

// One attempt at the transfer: upload begin, the data, upload end, in one loop that reads the
// file on whenever the link leaves it time.
class Sender
{
public:
    Sender(Device &device, FileImage &file, std::uint64_t limit, std::uint16_t flags,
           const UploadProgress &progress)
        : m_device(device), m_file(file), m_progress(progress), m_chunk(device.chunkSize()),
          m_window(std::min<std::size_t>(device.window(), kMaxWindow)), m_limit(limit),
          m_flags(flags), m_cc(kInitialWindow, m_window, Companion::count())
    {
        // A train at this Connect shows the path as it is now; what the last upload measured
        // may be stale, or short of the rate if that upload ended before it found it.
        const double train =
            device.trainRate() / double(Device::wireBytes(m_chunk + kUploadDataHeader));
        PathMetrics path;
        if (!m_cc.startFromTrain(train, device.leastRoundTrip(), Clock::now()) &&
            recallPath(device.destination(), path))
            m_cc.resume(path.bytesPerSecond / double(m_chunk), path.minRtt, Clock::now());
    }

    Attempt run();

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

    bool deferred() const { return m_flags & kUploadDeferred; }
    std::size_t chunkCount() const { return (m_file.ready() + m_chunk - 1) / m_chunk; }
    std::size_t chunkLength(std::size_t index) const
    {
        return std::min(m_chunk, m_file.ready() - index * m_chunk);
    }
    bool newChunkReady() const
    {
        const std::size_t index = m_chunks.size();
        return m_file.complete() ? index < chunkCount() : (index + 1) * m_chunk <= m_file.ready();
    }
    std::size_t total() const { return m_file.complete() ? m_file.ready() : 0; }

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
        // well lose one; then they back off, as the board may be gone, yet never so far that
        // fewer than eight fit in the bound: a crowded queue may drop several in a row.
        auto base = m_rtt.probeTimeout();
        if (!m_rtt.valid() && m_device.leastRoundTrip() > Clock::duration::zero())
            base = std::max(m_device.leastRoundTrip() * 4, Clock::duration(kFirstProbeFloor));
        return std::max(base, std::min(base * (1 << std::clamp(m_probeBackoff - 2, 0, 6)),
                                       Clock::duration(milliseconds(callTimeoutMs())) / 8));
    }
    bool sendWhatMay(Clock::time_point now);

    Attempt drain();
    Attempt handle(const Packet &packet, Clock::time_point now);
    Outcome onDataAck(const Packet &packet, Clock::time_point now);
    Attempt onBeginReply(const Packet &packet, Clock::time_point now);
    Outcome onEndReply(const Packet &packet, Clock::time_point now);
    Outcome applyAck(const UploadAck &ack, const Tx &trigger, Clock::time_point now);
    void markLost(std::size_t index);
    void forgetFlight();
    void countOutcome(bool lost);
    void detectLosses();
    void progressed(Clock::time_point now);
    void answered(Clock::time_point now);
    bool timedOut(Clock::time_point now) const
    {
        return now >= m_progressDeadline && (now >= m_answerDeadline || now >= m_answerLimit);
    }
    void reportProgress();

    Device &m_device;
    FileImage &m_file;
    const UploadProgress &m_progress;
    const std::size_t m_chunk;
    const std::size_t m_window;
    const std::uint64_t m_limit;
    const std::uint16_t m_flags;
    RttEstimator m_rtt;
    RateController m_cc;

    std::vector<Chunk> m_chunks; // every chunk sent at least once
    std::vector<Tx> m_tx;
    std::uint32_t m_firstSequence = 0;
    std::deque<std::uint32_t> m_flight; // data transmissions in the order sent (some stale)
    std::set<std::size_t> m_lost;
    std::size_t m_inFlight = 0;
    std::size_t m_base = 0; // first chunk not yet acknowledged
    std::uint64_t m_delivered = 0;
    std::uint64_t m_ackedBytes = 0, m_reportedBytes = 0, m_reportedTotal = 0;
    Clock::time_point m_rackSent{}; // the latest send time of anything known to have arrived

    bool m_beginSent = false, m_beginConfirmed = false, m_endSent = false, m_done = false;
    bool m_beginResent = false;
    std::uint32_t m_beginSequence = 0, m_endSequence = 0;
    std::vector<std::uint8_t> m_beginPayload, m_endPayload;

    Clock::time_point m_nextSend{};
    Clock::duration m_pacedInterval{};
    Clock::time_point m_probeBase{};
    int m_probeBackoff = 0;
    Clock::time_point m_progressDeadline{};
    // A board that answers, but takes nothing new, keeps the upload going a while longer.
    Clock::time_point m_answerDeadline{}, m_answerLimit{};
    bool m_refused = false;
    double m_lossShare = 0;
    std::int64_t m_boardUs = 0;
    std::uint32_t m_lastArrivalUs = 0;
    bool m_haveArrival = false;
    bool m_haveOneWay = false;
    Clock::duration m_leastOneWay{};
    std::vector<std::uint8_t> m_buffer;
};

std::uint32_t Sender::newTx(Kind kind, std::uint32_t chunk, Clock::time_point now)
{
    const std::uint32_t sequence = m_device.nextSequence();
    if (m_tx.empty())
        m_firstSequence = sequence;
    Tx tx;
    tx.sent = now;
    tx.chunk = chunk;
    tx.kind = kind;
    tx.afterBegin = m_beginConfirmed;
    m_tx.push_back(tx);
    return sequence;
}

Sender::Tx *Sender::findTx(std::uint32_t sequence, std::size_t &index)
{
    index = std::size_t(std::uint32_t(sequence - m_firstSequence));
    return index < m_tx.size() ? &m_tx[index] : nullptr;
}

bool Sender::send(Command command, std::uint32_t sequence, const std::vector<std::uint8_t> &payload)
{
    // An unreachable port is a board restarting or gone: the datagram counts as lost.
    return m_device.sendPacket(command, sequence, payload).end != SocketResult::End::Failed;
}

bool Sender::sendBegin(Clock::time_point now)
{
    UploadBegin begin;
    begin.base = m_file.base();
    begin.chunkSize = std::uint16_t(m_chunk);
    begin.flags = m_flags;
    if (deferred()) {
        // An upper bound; the size and CRC-32 follow in the upload end.
        begin.size = std::uint32_t(std::min<std::uint64_t>(m_limit, 0x100000000ull - begin.base));
    } else {
        begin.size = std::uint32_t(m_file.ready());
        begin.crc = m_file.crc();
    }
    m_file.read(0, std::min(m_file.ready(), kImageHeadSize), begin.head.data());
    m_beginPayload = encodeUploadBegin(begin);
    m_beginSequence = newTx(Kind::Begin, 0, now);
    m_beginSent = true;
    m_probeBase = now;
    return send(Command::UploadBegin, m_beginSequence, m_beginPayload);
}

bool Sender::sendEnd(Clock::time_point now)
{
    m_endPayload.clear();
    if (deferred()) {
        UploadEnd end;
        end.size = std::uint32_t(m_file.ready());
        end.crc = m_file.crc();
        m_endPayload = encodeUploadEnd(end);
    }
    m_endSequence = newTx(Kind::End, 0, now);
    m_endSent = true;
    return send(Command::UploadEnd, m_endSequence, m_endPayload);
}

bool Sender::sendChunk(std::size_t index, Clock::time_point now)
{
    if (index == m_chunks.size())
        m_chunks.emplace_back();
    else if (m_chunks[index].state == State::Lost)
        m_lost.erase(index);
    Chunk &chunk = m_chunks[index];
    if (chunk.state != State::InFlight)
        ++m_inFlight;
    chunk.state = State::InFlight;
    const std::size_t size = chunkLength(index);
    m_buffer.resize(size);
    m_file.read(index * m_chunk, size, m_buffer.data());
    const std::uint32_t sequence = newTx(Kind::Data, std::uint32_t(index), now);
    chunk.lastTx = std::uint32_t(m_tx.size() - 1);
    m_flight.push_back(chunk.lastTx);
    return send(Command::UploadData, sequence,
                encodeUploadData(std::uint32_t(index * m_chunk), m_buffer.data(), size));
}

bool Sender::sendWhatMay(Clock::time_point now)
{
    // A rate that has just grown shortens the wait the old one set.
    const auto interval = m_cc.interval();
    if (interval < m_pacedInterval && m_nextSend > now && interval > Clock::duration::zero())
        m_nextSend =
            now + duration_cast<Clock::duration>(
                      (m_nextSend - now) * (double(interval.count()) / m_pacedInterval.count()));
    m_pacedInterval = interval;
    while (m_inFlight < m_cc.window()) {
        if (interval > Clock::duration::zero() && m_nextSend > now + kPacingSlack)
            break;
        std::size_t index;
        if (!m_lost.empty() && m_beginConfirmed)
            index = *m_lost.begin();
        else if (newChunkReady())
            index = m_chunks.size();
        else
            break;
        if (index >= m_base + m_window)
            break; // beyond what the board's receive buffer holds
        if (!sendChunk(index, now))
            return false;
        // Catching up is for a sender that woke late, not for the first chunk paced.
        if (interval > Clock::duration::zero())
            m_nextSend = (m_nextSend == Clock::time_point{}
                              ? now
                              : std::max(m_nextSend, now - Clock::duration(kPacingCatchUp))) +
                         interval;
    }
    return true;
}

bool Sender::probe(Clock::time_point now)
{
    // The silence may be a lost request or a lost tail: one datagram asks the board where it
    // stands, and the answer shows what to resend.
    // Sent again under the same number: the board answers a repeat as it did the first, and the
    // answer's news is as fresh as this copy.
    if (!m_beginConfirmed) {
        m_tx[m_beginSequence - m_firstSequence].sent = now;
        m_beginResent = true;
        return send(Command::UploadBegin, m_beginSequence, m_beginPayload);
    }
    if (m_endSent) {
        m_tx[m_endSequence - m_firstSequence].sent = now;
        return send(Command::UploadEnd, m_endSequence, m_endPayload);
    }
    if (newChunkReady() && m_chunks.size() < m_base + m_window)
        return sendChunk(m_chunks.size(), now);
    while (!m_flight.empty()) {
        const std::uint32_t last = m_flight.back();
        const std::size_t index = m_tx[last].chunk;
        if (m_chunks[index].state == State::InFlight && m_chunks[index].lastTx == last)
            return sendChunk(index, now);
        m_flight.pop_back();
    }
    return true;
}

void Sender::markLost(std::size_t index)
{
    Chunk &chunk = m_chunks[index];
    if (chunk.state != State::InFlight)
        return;
    chunk.state = State::Lost;
    --m_inFlight;
    m_lost.insert(index);
}

void Sender::forgetFlight()
{
    // Two probe time-outs without a word: what is in flight was lost with the probe (a full
    // queue drops whatever finds it full). It goes again, oldest first and paced; waiting on
    // single probes alone can outlast the bound while the queue keeps dropping them.
    for (std::size_t i = m_base; i < m_chunks.size(); ++i) {
        if (m_chunks[i].state == State::InFlight) {
            markLost(i);
            countOutcome(true);
        }
    }
    m_flight.clear();
    m_cc.onTimeout();
}

void Sender::countOutcome(bool lost)
{
    // The share of transmissions lost, over about the last hundred.
    m_lossShare += ((lost ? 1.0 : 0.0) - m_lossShare) / 64;
}

void Sender::detectLosses()
{
    // As RACK (RFC 8985): a chunk is lost once something sent after it, by more than a quarter
    // of the least round trip, has arrived.
    const auto reorderWindow = std::max(m_rtt.minRtt() / 4, Clock::duration(microseconds(100)));
    while (!m_flight.empty()) {
        const std::uint32_t index = m_flight.front();
        const Tx &tx = m_tx[index];
        Chunk &chunk = m_chunks[tx.chunk];
        if (chunk.state == State::InFlight && chunk.lastTx == index) {
            if (tx.sent + reorderWindow >= m_rackSent)
                break;
            markLost(tx.chunk);
            countOutcome(true);
        }
        m_flight.pop_front();
    }
}

void Sender::progressed(Clock::time_point now)
{
    m_progressDeadline = now + milliseconds(callTimeoutMs());
    m_answerLimit = now + milliseconds(callTimeoutMs()) * kAnswerGrace;
    m_probeBase = now;
    m_probeBackoff = 0;
}

void Sender::answered(Clock::time_point now)
{
    m_answerDeadline = now + milliseconds(callTimeoutMs());
}

void Sender::reportProgress()
{
    if (!m_progress || (m_ackedBytes == m_reportedBytes && total() == m_reportedTotal))
        return;
    m_reportedBytes = m_ackedBytes;
    m_reportedTotal = total();
    m_progress(m_ackedBytes, m_reportedTotal);
}

Outcome Sender::applyAck(const UploadAck &ack, const Tx &trigger, Clock::time_point now)
{
    if (ack.contiguous > m_chunks.size())
        return Outcome::fault(QEW_ERROR_READ_FAULT);
    std::size_t newly = 0;
    const auto take = [&](std::size_t i) {
        Chunk &chunk = m_chunks[i];
        if (chunk.state == State::InFlight)
            --m_inFlight;
        else
            m_lost.erase(i);
        chunk.state = State::Acked;
        m_rackSent = std::max(m_rackSent, m_tx[chunk.lastTx].sent);
        m_ackedBytes += chunkLength(i);
        ++newly;
        countOutcome(false);
    };
    const std::size_t end = std::min(m_chunks.size(), ack.highestCovered());
    for (std::size_t i = m_base; i < end; ++i) {
        if (m_chunks[i].state != State::Acked && ack.has(i))
            take(i);
    }
    // What was acknowledged has arrived, even beyond what the bitmap can say.
    if (trigger.kind == Kind::Data && m_chunks[trigger.chunk].state != State::Acked)
        take(trigger.chunk);
    m_rackSent = std::max(m_rackSent, trigger.sent);
    while (m_base < m_chunks.size() && m_chunks[m_base].state == State::Acked)
        ++m_base;
    Clock::time_point arrival = now;
    Clock::duration queue = m_rtt.srtt() - m_rtt.minRtt();
    if (ack.extended) {
        // The board's clock, unwrapped; only its differences count. The one-way delay above
        // its least is the queue on the way, whatever this host's wake-ups add to round trips.
        if (m_haveArrival)
            m_boardUs += std::int32_t(ack.arrivalUs - m_lastArrivalUs);
        m_haveArrival = true;
        m_lastArrivalUs = ack.arrivalUs;
        arrival = Clock::time_point(microseconds(m_boardUs));
        const auto oneWay = arrival.time_since_epoch() - trigger.sent.time_since_epoch();
        if (!m_haveOneWay || oneWay < m_leastOneWay)
            m_leastOneWay = oneWay;
        m_haveOneWay = true;
        queue = oneWay - m_leastOneWay;
    }
    // A least one-way delay taken while others' data queued ahead is too high by that queue:
    // the round trip Connect measured unloaded shows how much, up to a shaped port's queue (the
    // path may have changed since). Otherwise a latecomer presses a queue it takes for none.
    const auto unloaded = m_device.leastRoundTrip();
    if (unloaded > Clock::duration::zero())
        queue += std::clamp(m_rtt.minRtt() - unloaded, Clock::duration::zero(),
                            Clock::duration(kBaselineDoubt));
    m_cc.setPath(m_lossShare, queue);
    if (newly) {
        m_delivered += newly;
        // With nothing new to send, fewer chunks arrive than the path could carry: such a
        // measurement may raise the rate, never lower it.
        const bool appLimited =
            m_file.complete() ? m_chunks.size() == chunkCount() : !newChunkReady();
        m_cc.onDelivered(m_delivered, arrival, now, m_rtt.minRtt(), appLimited);
        progressed(now);
    }
    detectLosses();
    return Outcome::success();
}

Outcome Sender::onDataAck(const Packet &packet, Clock::time_point now)
{
    UploadAck ack;
    if (!decodeUploadAck(packet.payload, ack))
        return Outcome::fault(QEW_ERROR_READ_FAULT);
    std::size_t index;
    Tx *tx = findTx(packet.sequence, index);
    if (!tx || tx->kind != Kind::Data)
        return Outcome::success(); // a stray from an earlier attempt
    answered(now);
    if (!tx->answered) {
        tx->answered = true;
        m_rtt.sample(now - tx->sent);
    }
    if (ack.status == kBoardNoSession)
        return Outcome::fault(QEW_ERROR_NOT_CONNECTED);
    if (ack.status == kBoardNoUpload && !(m_beginConfirmed && tx->afterBegin)) {
        // It overtook the upload begin, or the begin was lost: the chunk goes again.
        if (m_chunks[tx->chunk].lastTx == index)
            markLost(tx->chunk);
        return Outcome::success();
    }
    if (ack.status != kBoardOk) {
        return Outcome::board(ack.status);
    }
    if (!m_beginConfirmed) {
        m_beginConfirmed = true; // the board took the data, so it took the begin
        progressed(now);
    }
    return applyAck(ack, *tx, now);
}

Attempt Sender::onBeginReply(const Packet &packet, Clock::time_point now)
{
    std::uint32_t status = 0;
    std::vector<std::uint8_t> body;
    if (!decodeReply(packet.payload, status, body))
        return Outcome::fault(QEW_ERROR_READ_FAULT);
    if (status == kBoardNoSession)
        return Outcome::fault(QEW_ERROR_NOT_CONNECTED);
    if (status == kBoardBadRequest && m_flags)
        return Attempt::Verdict::Classic; // a board that knows no deferred upload
    if (status != kBoardOk) {
        return Outcome::board(status);
    }
    Tx &begin = m_tx[m_beginSequence - m_firstSequence];
    if (!begin.answered && !m_beginResent) {
        // The first round trip, before any chunk's: a lost first window is probed for in
        // round trips, not in the 200 ms a path of unknown length gets.
        begin.answered = true;
        m_rtt.sample(now - begin.sent);
    }
    if (!m_beginConfirmed) {
        m_beginConfirmed = true;
        progressed(now);
    }
    return Outcome::success();
}

Outcome Sender::onEndReply(const Packet &packet, Clock::time_point now)
{
    std::uint32_t status = 0;
    std::vector<std::uint8_t> body;
    if (!decodeReply(packet.payload, status, body))
        return Outcome::fault(QEW_ERROR_READ_FAULT);
    std::size_t index;
    Tx *tx = findTx(packet.sequence, index);
    if (status == kBoardOk) {
        // Taken only from a board that confirmed every chunk, or that names the very image it
        // committed; a board that claims more than it showed is broken or lying.
        UploadEnd committed;
        const bool named = decodeUploadEnd(body, committed) && committed.size == m_file.ready() &&
                           committed.crc == m_file.crc();
        if (!named && m_base < chunkCount())
            return Outcome::fault(QEW_ERROR_READ_FAULT);
        m_done = true;
        m_ackedBytes = m_file.ready();
        return Outcome::success();
    }
    if (status == kBoardNoSession)
        return Outcome::fault(QEW_ERROR_NOT_CONNECTED);
    if (status == kBoardNoUpload && tx && !tx->afterBegin) {
        m_endSent = false; // it overtook the begin; sent again, under a new number
        return Outcome::success();
    }
    UploadAck ack;
    if (status == kBoardIncomplete && deferred() && tx && decodeUploadAck(packet.payload, ack)) {
        // Not every chunk is in yet; the board answers again once they are.
        return applyAck(ack, *tx, now);
    }
    return Outcome::board(status);
}

Attempt Sender::handle(const Packet &packet, Clock::time_point now)
{
    switch (packet.type & ~kReplyBit) {
    case std::uint8_t(Command::UploadData):
        return onDataAck(packet, now);
    case std::uint8_t(Command::UploadBegin):
        if (m_beginSent && packet.sequence == m_beginSequence) {
            answered(now);
            return onBeginReply(packet, now);
        }
        break;
    case std::uint8_t(Command::UploadEnd):
        if (m_endSent && packet.sequence == m_endSequence) {
            answered(now);
            return onEndReply(packet, now);
        }
        break;
    default:
        break;
    }
    return Outcome::success(); // a late duplicate of another reply
}

Attempt Sender::drain()
{
    Packet packet;
    for (;;) {
        const SocketResult got = m_device.receivePacket(packet, Clock::now());
        if (got.end == SocketResult::End::Silence)
            break;
        if (got.end == SocketResult::End::Failed)
            return Outcome::fault(QEW_ERROR_NOT_CONNECTED);
        if (got.end == SocketResult::End::Refused) {
            m_refused = true;
            break;
        }
        const Attempt step = handle(packet, Clock::now());
        if (!step.goesOn() || m_done)
            return step;
    }
    reportProgress();
    return Outcome::success();
}

Attempt Sender::run()
{
    progressed(Clock::now());
    if (!deferred())
        m_file.readAll(); // the begin carries size and CRC-32
    for (;;) {
        const Attempt step = drain();
        if (!step.goesOn())
            return step;
        if (m_done) {
            reportProgress();
            if (m_cc.bandwidth() > 0 && m_rtt.valid())
                rememberPath(m_device.destination(),
                             {m_cc.bandwidth() * double(m_chunk), m_rtt.minRtt()});
            return Outcome::success();
        }
        if (m_file.unordered())
            return Attempt::Verdict::WholeFile;
        if (m_file.stopped())
            return Attempt::Verdict::FileFault;
        auto now = Clock::now();
        if (!m_beginSent) {
            if (!m_file.headKnown()) {
                m_file.readPiece();
                continue;
            }
            if (!sendBegin(now))
                return Outcome::fault(QEW_ERROR_NOT_CONNECTED);
        }
        auto probeAt = m_probeBase + probeTimeout();
        if (now >= probeAt) {
            if (m_probeBackoff > 0 && m_beginConfirmed)
                forgetFlight();
            if (!probe(now))
                return Outcome::fault(QEW_ERROR_NOT_CONNECTED);
            m_probeBase = now;
            ++m_probeBackoff;
            probeAt = m_probeBase + probeTimeout();
        }
        if (!sendWhatMay(now))
            return Outcome::fault(QEW_ERROR_NOT_CONNECTED);
        if (!m_endSent && m_file.complete() &&
            (deferred() ? m_chunks.size() == chunkCount() : m_base == chunkCount())) {
            if (!sendEnd(now))
                return Outcome::fault(QEW_ERROR_NOT_CONNECTED);
        }
        if (timedOut(now)) {
            return Outcome::fault(QEW_ERROR_TIMEOUT);
        }
        if (!m_file.complete()) {
            m_file.readPiece(); // the link has no use for this moment
            continue;
        }
        auto wake = std::min(std::max(m_progressDeadline, m_answerDeadline), probeAt);
        const bool sendable = m_inFlight < m_cc.window() &&
                              ((!m_lost.empty() && m_beginConfirmed) || newChunkReady());
        if (sendable)
            wake = std::min(wake, m_nextSend - Clock::duration(kPacingSlack));
        if (m_refused) {
            m_refused = false;
            std::this_thread::sleep_for(std::min<Clock::duration>(kRefusedPause, wake - now));
            continue;
        }
        const auto wait = std::max(wake - now, Clock::duration::zero());
        const auto ns = duration_cast<nanoseconds>(wait).count();
        timespec ts{time_t(ns / 1000000000), long(ns % 1000000000)};
        pollfd pfd{m_device.socket(), POLLIN, 0};
        ::ppoll(&pfd, 1, &ts, nullptr);
    }
}

} // namespace

Outcome uploadFile(Device &device, const char *path, const UploadProgress &progress)
{
    std::optional<Companion> companion;
    if (!device.uploadSession())
        companion.emplace();
    const std::uint64_t limit = std::min<std::uint64_t>(device.flashSize(), kMaxImageSize);
    auto file = std::make_unique<FileImage>(limit);
    const Outcome opened = file->open(path);
    if (!opened.ok())
        return opened;
    // A small file is read and checked whole before the board hears of it: the second read
    // of one that fit in the first piece finds its end, and a missing end-of-file record.
    file->readPiece();
    file->readPiece();
    if (device.chunkSize() < kMinChunk || device.window() == 0) {
        file->readAll();
        return file->result().ok() ? Outcome::fault(QEW_ERROR_BAD_LENGTH) : file->result();
    }
    std::uint16_t flags = kUploadDeferred | kUploadExtendedAck;
    Attempt sent = Outcome::success();
    for (;;) {
        Sender sender(device, *file, limit, flags, progress);
        sent = sender.run();
        if (sent.verdict == Attempt::Verdict::WholeFile) {
            file->loadWhole(path);
            continue;
        }
        if (sent.verdict == Attempt::Verdict::Classic) {
            flags = 0;
            continue;
        }
        break;
    }
    // What is wrong with the file is what the caller hears, as when it was read first.
    file->readAll();
    if (!file->result().ok())
        return file->result();
    if (sent.verdict == Attempt::Verdict::FileFault)
        return Outcome::fault(QEW_ERROR_BAD_LENGTH);
    return sent.outcome;
}

} // namespace qorethw
