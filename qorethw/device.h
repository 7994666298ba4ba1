// One connection to a board: its socket, its session and the request/reply exchange.
#pragma once

#include "config.h"
#include "congestion.h"
#include "outcome.h"
#include "packet.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace qorethw {

using Clock = std::chrono::steady_clock;

// While the board's port is unreachable (restarting or gone), retries are paced.
constexpr std::chrono::milliseconds kRefusedPause{20};

// How sending, receiving or a whole round trip on the board's socket ended.
struct SocketResult
{
    enum class End : std::uint8_t {
        Done,    // sent (or counted as lost in a full queue); a packet or the reply received
        Silence, // nothing came before the deadline
        Refused, // the board's port was unreachable (for a round trip: meanwhile, to the end)
        Failed,  // the socket failed; error says how
    };
    End end = End::Done;
    int error = 0; // the system's error number when Failed
};

class Device
{
public:
    // Greets the board; on success device holds the connection. A failure's reason is a system
    // error: ECONNREFUSED, ETIMEDOUT, EPROTO or the socket's own.
    static Outcome connect(const Destination &destination, std::uint8_t mode,
                           std::unique_ptr<Device> &device);
    ~Device();
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    // Sends one request until its reply arrives or the deadline passes; a refusal carries the
    // board's code.
    Outcome exchange(qorproto::Command command, const std::vector<std::uint8_t> &payload,
                     std::vector<std::uint8_t> &body, Clock::time_point deadline);
    void sendBye();

    // Low-level access for the windowed upload. Sending ends Done, Refused or Failed.
    SocketResult sendPacket(qorproto::Command command, std::uint32_t sequence,
                            const std::vector<std::uint8_t> &payload);
    // Done: a packet of this session, or an answer to the rate train (taken note of).
    SocketResult receivePacket(qorproto::Packet &packet, Clock::time_point deadline);
    std::uint32_t nextSequence() { return ++m_sequence; }
    int socket() const { return m_fd; } // for waiting on replies and a send time at once

    std::uint32_t flashSize() const { return m_flashSize; }
    std::uint16_t chunkSize() const { return m_chunkSize; }
    std::uint16_t window() const { return m_window; }
    // The board's address and port, as one number.
    std::uint64_t destination() const { return m_destination; }
    // The least round trip of the requests answered to their first copy (Connect's and its rate
    // train's among them), while no upload loads the path; zero while there is none.
    Clock::duration leastRoundTrip() const { return m_leastRoundTrip; }
    // A session opened for uploads counts among the uploads that will share this host's port
    // from the moment it is open: a fleet's first upload then already knows of the others.
    bool uploadSession() const { return m_uploader != nullptr; }
    // Bytes per second (as the link carries them) the rate train sent beside an upload session's
    // Hello crossed the path at; 0 when none was sent or its answers showed nothing.
    double trainRate() const;
    // How many bytes of the link one datagram of `payload` bytes takes.
    static std::size_t wireBytes(std::size_t payload);

    std::mutex mutex; // one call at a time per handle

private:
    // Sends the request, again at a doubling interval, and pauses while the port is
    // unreachable, until its reply arrives (Done) or the deadline passes. `afterFirst` follows
    // the first copy that leaves; false from it counts as the port's refusal of that copy.
    SocketResult roundTrip(qorproto::Command command, const std::vector<std::uint8_t> &payload,
                           Clock::time_point deadline, bool restartPaceOnRefusal,
                           qorproto::Packet &reply, const std::function<bool()> &afterFirst = {});
    // False when the port proved unreachable (the train stops there).
    bool sendTrain();
    // Collects the train's answers a short while after the Hello's, bounded by the deadline.
    void awaitTrain(Clock::time_point deadline);
    bool noteTrainAnswer(const qorproto::Packet &packet);

    Device() = default;
    int m_fd = -1;
    std::uint32_t m_session = 0;
    std::uint32_t m_sequence = 0;
    std::uint32_t m_flashSize = 0;
    std::uint16_t m_chunkSize = 0;
    std::uint16_t m_window = 0;
    std::uint64_t m_destination = 0;
    Clock::duration m_leastRoundTrip{};
    std::unique_ptr<Companion> m_uploader;
    std::uint32_t m_trainSequence = 0; // the train's first packet's
    std::vector<Clock::time_point> m_trainSent;
    std::vector<TrainEcho> m_trainEchoes;
    std::uint32_t m_trainAnswered = 0; // bit i: packet i answered
};

Clock::time_point deadlineFromNow();

} // namespace qorethw
