// One connection to a board: its socket, its session and the request/reply exchange.
#pragma once

#include "config.h"
#include "packet.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace qorethw {

using Clock = std::chrono::steady_clock;

class Device
{
public:
    // Null on failure, with the errno value in error.
    static std::unique_ptr<Device> connect(const Destination &destination, std::uint8_t mode,
                                           int &error);
    ~Device();
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    // Sends one request until its reply arrives or the deadline passes. Returns 0 or a QEW error;
    // for QEW_ERROR_BAD_NET_RESP the board's code is in boardError().
    std::uint32_t exchange(qorproto::Command command, const std::vector<std::uint8_t> &payload,
                           std::vector<std::uint8_t> &body, Clock::time_point deadline);
    void sendBye();

    // Low-level access for the windowed upload.
    bool sendPacket(qorproto::Command command, std::uint32_t sequence,
                    const std::vector<std::uint8_t> &payload);
    // 1: a packet of this session, 0: nothing before the deadline, -1: socket failure.
    int receivePacket(qorproto::Packet &packet, Clock::time_point deadline);
    std::uint32_t nextSequence() { return ++sequence_; }
    int socket() const { return fd_; } // for waiting on replies and a send time at once

    std::uint32_t boardError() const { return boardError_; }
    void setBoardError(std::uint32_t code) { boardError_ = code; }
    std::uint32_t flashSize() const { return flashSize_; }
    std::uint16_t chunkSize() const { return chunkSize_; }
    std::uint16_t window() const { return window_; }

    std::mutex mutex; // one call at a time per handle

private:
    Device() = default;
    int fd_ = -1;
    std::uint32_t session_ = 0;
    std::uint32_t sequence_ = 0;
    std::uint32_t flashSize_ = 0;
    std::uint16_t chunkSize_ = 0;
    std::uint16_t window_ = 0;
    std::uint32_t boardError_ = 0;
};

Clock::time_point deadlineFromNow();

} // namespace qorethw
