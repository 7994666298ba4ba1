#include "device.h"

#include "messages.h"
#include "qorethw.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <bitset>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace qorethw {

using namespace qorproto;
using std::chrono::milliseconds;

namespace {

constexpr milliseconds kFirstResend{100};
constexpr milliseconds kMaxResend{800};
// The rate train beside an upload session's Hello: about 6 kB, which a 100 Mbit/s link carries
// in 0.5 ms and a 10 Mbit/s one in 5 ms (what it adds to a LAN's Connect and upload); three gaps
// of a full frame each measure 100 Mbit/s to within a percent on a microsecond clock.
constexpr std::size_t kTrainPackets = 4;
constexpr std::size_t kIpUdpOverhead = 28;
// Its answers trail the Hello's by its length at the bottleneck: on a long path they are waited
// for this long at most, and no longer than this after the last one (an older board's refusals come
// at once).
constexpr milliseconds kTrainWait{20};
constexpr milliseconds kTrainQuiet{3};
// One train at a time in the process: boards connected at once behind one port would otherwise
// throw their trains into its queue together, ahead of each other's Hellos.
std::atomic<bool> trainUnderway{false};

// An unreachable port is the board restarting or gone, not a fault of the socket.
SocketResult failed(int error)
{
    if (error == ECONNREFUSED)
        return {SocketResult::End::Refused};
    return {SocketResult::End::Failed, error};
}

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return int(std::clamp<long long>(left, 0, 600000));
}

} // namespace

Clock::time_point deadlineFromNow()
{
    return Clock::now() + milliseconds(callTimeoutMs());
}

Outcome Device::connect(const Destination &destination, std::uint8_t mode,
                        std::unique_ptr<Device> &device)
{
    std::unique_ptr<Device> fresh(new Device);
    fresh->m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fresh->m_fd < 0)
        return Outcome::system(errno);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(destination.port);
    std::copy(destination.address.begin(), destination.address.end(),
              reinterpret_cast<std::uint8_t *>(&to.sin_addr.s_addr));
    if (::connect(fresh->m_fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0)
        return Outcome::system(errno);
    // Start sequence numbers somewhere new so that a late reply to an earlier connection from
    // the same port is never taken for ours.
    fresh->m_sequence = std::random_device{}() & 0x7FFFFFFF;

    // A session opened for uploads learns the path's rate beside its Hello, at no round trip's
    // cost: on a long path the first chunks are due before the upload could measure it.
    const bool train = mode == QEW_MODE_UPLOAD && !trainUnderway.exchange(true);
    struct TrainTurn
    {
        bool held;
        ~TrainTurn()
        {
            if (held)
                trainUnderway = false;
        }
    } turn{train};
    const std::function<bool()> sendTrain = [&fresh] { return fresh->sendTrain(); };
    // A board whose port came back has just started: its resends begin at the first pace.
    Packet reply;
    const auto deadline = deadlineFromNow();
    const SocketResult trip =
        fresh->roundTrip(Command::Hello, encodeHelloRequest(mode), deadline,
                         /*restartPaceOnRefusal=*/true, reply, train ? sendTrain : nullptr);
    switch (trip.end) {
    case SocketResult::End::Done:
        break;
    case SocketResult::End::Silence:
        return Outcome::system(ETIMEDOUT);
    case SocketResult::End::Refused:
        return Outcome::system(ECONNREFUSED);
    case SocketResult::End::Failed:
        return Outcome::system(trip.error);
    }
    HelloReply hello;
    if (!decodeHelloReply(reply.payload, hello))
        return Outcome::system(EPROTO);
    if (hello.status != kBoardOk)
        return Outcome::system(ECONNREFUSED);
    fresh->m_session = hello.session;
    fresh->m_flashSize = hello.flashSize;
    fresh->m_chunkSize = hello.chunkSize;
    fresh->m_window = hello.window;
    if (mode == QEW_MODE_UPLOAD)
        fresh->m_uploader = std::make_unique<Companion>();
    // A short path's upload has no use for the train. A Hello answered only after a resend
    // leaves the round trip unknown (a path over 100 ms, or a lost copy): the train's answers,
    // each to a packet sent once, tell it.
    const auto helloRtt = fresh->m_leastRoundTrip;
    if (train && (helloRtt >= kLongPath || helloRtt == Clock::duration::zero()))
        fresh->awaitTrain(deadline);
    for (std::uint8_t octet : destination.address)
        fresh->m_destination = fresh->m_destination << 8 | octet;
    fresh->m_destination = fresh->m_destination << 16 | destination.port;
    device = std::move(fresh);
    return Outcome::success();
}

Device::~Device()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::size_t Device::wireBytes(std::size_t payload)
{
    return payload + kHeaderSize + kTrailerSize + kIpUdpOverhead;
}

double Device::trainRate() const
{
    return qorethw::trainRate(m_trainEchoes, wireBytes(kMaxPayload));
}

bool Device::sendTrain()
{
    TrainPacket packet;
    packet.count = kTrainPackets;
    packet.size = kMaxPayload;
    auto payload = encodeTrainPacket(packet);
    m_trainSent.clear();
    m_trainEchoes.clear();
    m_trainAnswered = 0;
    m_trainSequence = m_sequence + 1;
    for (std::size_t i = 0; i < kTrainPackets; ++i) {
        payload[0] = std::uint8_t(i);
        m_trainSent.push_back(Clock::now());
        // A lost packet costs its stamp alone; an unreachable port is the Hello's refusal.
        if (sendPacket(Command::Train, nextSequence(), payload).end == SocketResult::End::Refused)
            return false;
    }
    return true;
}

bool Device::noteTrainAnswer(const Packet &packet)
{
    const std::size_t index = std::uint32_t(packet.sequence - m_trainSequence);
    if (packet.command() != Command::Train || index >= m_trainSent.size())
        return false;
    TrainStamp stamp;
    if (!decodeTrainStamp(packet.payload, stamp))
        return false;
    if (m_trainAnswered & (1u << index))
        return true; // a duplicate
    m_trainAnswered |= 1u << index;
    const auto rtt = Clock::now() - m_trainSent[index];
    if (m_leastRoundTrip == Clock::duration::zero() || rtt < m_leastRoundTrip)
        m_leastRoundTrip = rtt;
    if (stamp.status == kBoardOk && stamp.index == index)
        m_trainEchoes.push_back({stamp.index, stamp.arrivalUs, m_trainSent[index]});
    return true;
}

void Device::awaitTrain(Clock::time_point deadline)
{
    const auto end = std::min(deadline, Clock::now() + kTrainWait);
    auto quietEnd = std::min(end, Clock::now() + kTrainQuiet);
    Packet packet;
    const auto answers = [this] { return std::bitset<32>(m_trainAnswered).count(); };
    while (answers() < m_trainSent.size() && Clock::now() < quietEnd) {
        const std::size_t before = answers();
        if (receivePacket(packet, quietEnd).end != SocketResult::End::Done)
            break;
        if (answers() > before)
            quietEnd = std::min(end, Clock::now() + kTrainQuiet);
    }
}

SocketResult Device::sendPacket(Command command, std::uint32_t sequence,
                                const std::vector<std::uint8_t> &payload)
{
    Packet packet;
    packet.type = std::uint8_t(command);
    packet.session = m_session;
    packet.sequence = sequence;
    packet.payload = payload;
    const auto bytes = encodePacket(packet);
    if (bytes.empty())
        return failed(EMSGSIZE);
    for (;;) {
        const ssize_t sent = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent == ssize_t(bytes.size()))
            return {};
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == ENOBUFS || errno == EAGAIN)) {
            // A full send queue is transient; the datagram counts as lost.
            return {};
        }
        // A datagram goes whole or not at all; a short count would be a fault of its own.
        return sent < 0 ? failed(errno) : failed(EMSGSIZE);
    }
}

SocketResult Device::receivePacket(Packet &packet, Clock::time_point deadline)
{
    // One byte more than the largest datagram, so that an oversized one is seen as such.
    std::uint8_t buffer[kMaxDatagram + 1];
    for (bool first = true;; first = false) {
        // Strays that keep arriving must not hold the call past its bound; the first look is
        // always taken, so a deadline of now still collects what is already waiting.
        if (!first && Clock::now() >= deadline)
            return {SocketResult::End::Silence};
        pollfd pfd{m_fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, remainingMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return failed(errno);
        if (ready == 0)
            return {SocketResult::End::Silence};
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return failed(errno);
        }
        // Anything that is not one of our replies (stray, truncated, corrupted) is dropped.
        if (!decodePacket(buffer, std::size_t(n), packet) || !packet.isReply())
            continue;
        if (packet.session == 0 && noteTrainAnswer(packet))
            return {};
        if (m_session != 0 && packet.session != m_session)
            continue;
        return {};
    }
}

SocketResult Device::roundTrip(Command command, const std::vector<std::uint8_t> &payload,
                               Clock::time_point deadline, bool restartPaceOnRefusal, Packet &reply,
                               const std::function<bool()> &afterFirst)
{
    const std::uint32_t sequence = nextSequence();
    bool refused = false;
    auto interval = kFirstResend;
    int copies = 0;
    bool followed = false;
    Clock::time_point sentAt;
    while (Clock::now() < deadline) {
        sentAt = Clock::now();
        ++copies;
        SocketResult sent = sendPacket(command, sequence, payload);
        if (sent.end == SocketResult::End::Failed)
            return sent;
        // Beside the first copy that left, not each resend. On loopback the port's refusal of
        // this copy is already waiting and would be taken by the follower's first send.
        if (sent.end == SocketResult::End::Done && afterFirst && !followed) {
            followed = afterFirst();
            if (!followed)
                sent.end = SocketResult::End::Refused;
        }
        if (sent.end == SocketResult::End::Refused) {
            refused = true;
            std::this_thread::sleep_for(
                std::min(kRefusedPause, milliseconds(remainingMs(deadline))));
            continue;
        }
        const auto resendAt = std::min(deadline, Clock::now() + interval);
        interval = std::min(interval * 2, kMaxResend);
        for (;;) {
            const SocketResult got = receivePacket(reply, resendAt);
            if (got.end == SocketResult::End::Silence)
                break;
            if (got.end == SocketResult::End::Failed)
                return got;
            if (got.end == SocketResult::End::Refused) {
                refused = true;
                if (restartPaceOnRefusal)
                    interval = kFirstResend;
                std::this_thread::sleep_for(
                    std::min(kRefusedPause, milliseconds(remainingMs(deadline))));
                break;
            }
            if (reply.type == (std::uint8_t(command) | kReplyBit) && reply.sequence == sequence) {
                const auto rtt = Clock::now() - sentAt;
                if (copies == 1 &&
                    (m_leastRoundTrip == Clock::duration{} || rtt < m_leastRoundTrip))
                    m_leastRoundTrip = rtt;
                return {};
            }
        }
    }
    return {refused ? SocketResult::End::Refused : SocketResult::End::Silence};
}

Outcome Device::exchange(Command command, const std::vector<std::uint8_t> &payload,
                         std::vector<std::uint8_t> &body, Clock::time_point deadline)
{
    Packet reply;
    switch (roundTrip(command, payload, deadline, /*restartPaceOnRefusal=*/false, reply).end) {
    case SocketResult::End::Done:
        break;
    case SocketResult::End::Silence:
    case SocketResult::End::Refused:
        return Outcome::fault(QEW_ERROR_TIMEOUT);
    case SocketResult::End::Failed:
        return Outcome::fault(QEW_ERROR_NOT_CONNECTED);
    }
    std::uint32_t status = 0;
    if (!decodeReply(reply.payload, status, body))
        return Outcome::fault(QEW_ERROR_READ_FAULT);
    if (status == kBoardNoSession)
        return Outcome::fault(QEW_ERROR_NOT_CONNECTED);
    if (status != kBoardOk)
        return Outcome::board(status);
    return Outcome::success();
}

void Device::sendBye()
{
    sendPacket(Command::Bye, nextSequence(), {});
}

} // namespace qorethw
