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

std::unique_ptr<Device> Device::connect(const Destination &destination, std::uint8_t mode,
                                        int &error)
{
    std::unique_ptr<Device> device(new Device);
    device->fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (device->fd_ < 0) {
        error = errno;
        return nullptr;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(destination.port);
    std::copy(destination.address.begin(), destination.address.end(),
              reinterpret_cast<std::uint8_t *>(&to.sin_addr.s_addr));
    if (::connect(device->fd_, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
        error = errno;
        return nullptr;
    }
    // Start sequence numbers somewhere new so that a late reply to an earlier connection from
    // the same port is never taken for ours.
    device->sequence_ = std::random_device{}() & 0x7FFFFFFF;

    const auto deadline = deadlineFromNow();
    const std::uint32_t sequence = device->nextSequence();
    const auto hello = encodeHelloRequest(mode);
    int lastError = ETIMEDOUT;
    auto interval = kFirstResend;
    while (Clock::now() < deadline) {
        if (!device->sendPacket(Command::Hello, sequence, hello)) {
            if (errno != ECONNREFUSED) {
                error = errno;
                return nullptr;
            }
            lastError = ECONNREFUSED;
            std::this_thread::sleep_for(
                std::min(kRefusedPause, milliseconds(remainingMs(deadline))));
            continue;
        }
        const auto resendAt = std::min(deadline, Clock::now() + interval);
        interval = std::min(interval * 2, kMaxResend);
        Packet reply;
        for (;;) {
            const int got = device->receivePacket(reply, resendAt);
            if (got == 0)
                break;
            if (got < 0) {
                if (errno != ECONNREFUSED) {
                    error = errno;
                    return nullptr;
                }
                lastError = ECONNREFUSED;
                interval = kFirstResend;
                std::this_thread::sleep_for(
                    std::min(kRefusedPause, milliseconds(remainingMs(deadline))));
                break;
            }
            if (reply.type != (std::uint8_t(Command::Hello) | kReplyBit) ||
                reply.sequence != sequence)
                continue;
            HelloReply hr;
            if (!decodeHelloReply(reply.payload, hr)) {
                error = EPROTO;
                return nullptr;
            }
            if (hr.status != kBoardOk) {
                error = ECONNREFUSED;
                return nullptr;
            }
            device->session_ = hr.session;
            device->flashSize_ = hr.flashSize;
            device->chunkSize_ = hr.chunkSize;
            device->window_ = hr.window;
            return device;
        }
    }
    error = lastError;
    return nullptr;
}

Device::~Device()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool Device::sendPacket(Command command, std::uint32_t sequence,
                        const std::vector<std::uint8_t> &payload)
{
    Packet packet;
    packet.type = std::uint8_t(command);
    packet.session = session_;
    packet.sequence = sequence;
    packet.payload = payload;
    const auto bytes = encodePacket(packet);
    if (bytes.empty()) {
        errno = EMSGSIZE;
        return false;
    }
    for (;;) {
        const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
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
        pollfd pfd{fd_, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, remainingMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return -1;
        if (ready == 0)
            return 0;
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return -1;
        }
        // Anything that is not one of our replies (stray, truncated, corrupted) is dropped.
        if (!decodePacket(buffer, std::size_t(n), packet) || !packet.isReply())
            continue;
        if (session_ != 0 && packet.session != session_)
            continue;
        return 1;
    }
}

std::uint32_t Device::exchange(Command command, const std::vector<std::uint8_t> &payload,
                               std::vector<std::uint8_t> &body, Clock::time_point deadline)
{
    const std::uint32_t sequence = nextSequence();
    auto interval = kFirstResend;
    while (Clock::now() < deadline) {
        if (!sendPacket(command, sequence, payload)) {
            if (errno != ECONNREFUSED)
                return QEW_ERROR_NOT_CONNECTED;
            std::this_thread::sleep_for(
                std::min(kRefusedPause, milliseconds(remainingMs(deadline))));
            continue;
        }
        const auto resendAt = std::min(deadline, Clock::now() + interval);
        interval = std::min(interval * 2, kMaxResend);
        Packet reply;
        for (;;) {
            const int got = receivePacket(reply, resendAt);
            if (got == 0)
                break;
            if (got < 0) {
                if (errno != ECONNREFUSED)
                    return QEW_ERROR_NOT_CONNECTED;
                std::this_thread::sleep_for(
                    std::min(kRefusedPause, milliseconds(remainingMs(deadline))));
                break;
            }
            if (reply.type != (std::uint8_t(command) | kReplyBit) || reply.sequence != sequence)
                continue;
            std::uint32_t status = 0;
            if (!decodeReply(reply.payload, status, body))
                return QEW_ERROR_READ_FAULT;
            if (status == kBoardNoSession)
                return QEW_ERROR_NOT_CONNECTED;
            if (status != kBoardOk) {
                boardError_ = status;
                return QEW_ERROR_BAD_NET_RESP;
            }
            return QEW_ERROR_SUCCESS;
        }
    }
    return QEW_ERROR_TIMEOUT;
}

void Device::sendBye()
{
    sendPacket(Command::Bye, nextSequence(), {});
}

} // namespace qorethw
