#include "device.h"

#include "messages.h"
#include "qorethw.h"

#include <algorithm>
#include <arpa/inet.h>
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
// While the board is restarting its port answers "unreachable" at once; pace the retries.
constexpr milliseconds kRefusedPause{20};

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

    // A board whose port came back has just started: its resends begin at the first pace.
    Packet reply;
    switch (fresh->roundTrip(Command::Hello, encodeHelloRequest(mode), deadlineFromNow(),
                             /*restartPaceOnRefusal=*/true, reply)) {
    case TripEnd::Reply:
        break;
    case TripEnd::Silence:
        return Outcome::system(ETIMEDOUT);
    case TripEnd::Refused:
        return Outcome::system(ECONNREFUSED);
    case TripEnd::Failed:
        return Outcome::system(errno);
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

bool Device::sendPacket(Command command, std::uint32_t sequence,
                        const std::vector<std::uint8_t> &payload)
{
    Packet packet;
    packet.type = std::uint8_t(command);
    packet.session = m_session;
    packet.sequence = sequence;
    packet.payload = payload;
    const auto bytes = encodePacket(packet);
    if (bytes.empty()) {
        errno = EMSGSIZE;
        return false;
    }
    for (;;) {
        const ssize_t sent = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent == ssize_t(bytes.size()))
            return true;
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == ENOBUFS || errno == EAGAIN)) {
            // A full send queue is transient; the datagram counts as lost.
            return true;
        }
        return false;
    }
}

int Device::receivePacket(Packet &packet, Clock::time_point deadline)
{
    // One byte more than the largest datagram, so that an oversized one is seen as such.
    std::uint8_t buffer[kMaxDatagram + 1];
    for (bool first = true;; first = false) {
        // Strays that keep arriving must not hold the call past its bound; the first look is
        // always taken, so a deadline of now still collects what is already waiting.
        if (!first && Clock::now() >= deadline)
            return 0;
        pollfd pfd{m_fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, remainingMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return -1;
        if (ready == 0)
            return 0;
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return -1;
        }
        // Anything that is not one of our replies (stray, truncated, corrupted) is dropped.
        if (!decodePacket(buffer, std::size_t(n), packet) || !packet.isReply())
            continue;
        if (m_session != 0 && packet.session != m_session)
            continue;
        return 1;
    }
}

Device::TripEnd Device::roundTrip(Command command, const std::vector<std::uint8_t> &payload,
                                  Clock::time_point deadline, bool restartPaceOnRefusal,
                                  Packet &reply)
{
    const std::uint32_t sequence = nextSequence();
    bool refused = false;
    auto interval = kFirstResend;
    while (Clock::now() < deadline) {
        if (!sendPacket(command, sequence, payload)) {
            if (errno != ECONNREFUSED)
                return TripEnd::Failed;
            refused = true;
            std::this_thread::sleep_for(
                std::min(kRefusedPause, milliseconds(remainingMs(deadline))));
            continue;
        }
        const auto resendAt = std::min(deadline, Clock::now() + interval);
        interval = std::min(interval * 2, kMaxResend);
        for (;;) {
            const int got = receivePacket(reply, resendAt);
            if (got == 0)
                break;
            if (got < 0) {
                if (errno != ECONNREFUSED)
                    return TripEnd::Failed;
                refused = true;
                if (restartPaceOnRefusal)
                    interval = kFirstResend;
                std::this_thread::sleep_for(
                    std::min(kRefusedPause, milliseconds(remainingMs(deadline))));
                break;
            }
            if (reply.type == (std::uint8_t(command) | kReplyBit) && reply.sequence == sequence)
                return TripEnd::Reply;
        }
    }
    return refused ? TripEnd::Refused : TripEnd::Silence;
}

Outcome Device::exchange(Command command, const std::vector<std::uint8_t> &payload,
                         std::vector<std::uint8_t> &body, Clock::time_point deadline)
{
    Packet reply;
    switch (roundTrip(command, payload, deadline, /*restartPaceOnRefusal=*/false, reply)) {
    case TripEnd::Reply:
        break;
    case TripEnd::Silence:
    case TripEnd::Refused:
        return Outcome::fault(QEW_ERROR_TIMEOUT);
    case TripEnd::Failed:
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
