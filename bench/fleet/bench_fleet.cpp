// Uploads a 256 KiB image to 20 emulated boards at once over one simulated 100 Mbit/s link with
// a 1 ms round trip, the boards' shared wire to the host, and to one board alone over the same
// link; prints the aggregate goodput of each as a share of the link rate, side by side.
//
// The boards are the emulator's own (its Board and its link model), played by one thread of this
// process on loopback addresses, so that all of them share one link as boards on one switch
// port do. The uploads run through the device library, one thread per board.
#include "board.h"
#include "boardstate.h"
#include "linksim.h"
#include "options.h"
#include "qorethw.h"
#include "udp.h"

#include "ihexwriter.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace emulator;
using namespace std::chrono;

namespace {

constexpr int BoardCount = 20;
constexpr double LinkMbit = 100;
constexpr double LatencyMs = 1;
constexpr std::size_t ImageSize = 256 * 1024;
constexpr int Runs = 3;
constexpr std::uint16_t Port = 20871;

struct Slot
{
    IPv4 address{};
    BoardState state;
    std::unique_ptr<Board> board;
    int fd = -1;
};

// All boards, one link, one thread.
class Fleet
{
public:
    explicit Fleet(int count)
    {
        m_options.linkMbit = LinkMbit;
        m_options.linkLatencyMs = LatencyMs;
        m_options.revision = 0x0200;
        m_options.port = Port;
        m_link = std::make_unique<LinkSimulator>(m_options);
        for (int k = 0; k < count; ++k) {
            auto slot = std::make_unique<Slot>();
            slot->address = {127, 0, 31, std::uint8_t(10 + k)};
            slot->state.ip = slot->address;
            slot->state.revision = m_options.revision;
            slot->state.mac = {0x02, 0, 0, 0, 0x31, std::uint8_t(k)};
            slot->board =
                std::make_unique<Board>(m_options, slot->state, [](const std::string &) {});
            slot->board->setListening(slot->address);
            slot->fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(Port);
            std::memcpy(&a.sin_addr.s_addr, slot->address.data(), 4);
            const int size = 4 * 1024 * 1024;
            ::setsockopt(slot->fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
            const int on = 1;
            ::setsockopt(slot->fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
            if (::bind(slot->fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
                std::fprintf(stderr, "cannot listen on 127.0.31.%d: %s\n", 10 + k,
                             std::strerror(errno));
                m_ok = false;
            }
            m_slots.push_back(std::move(slot));
        }
        if (m_ok)
            m_thread = std::thread([this] { run(); });
    }
    ~Fleet()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        for (auto &slot : m_slots)
            ::close(slot->fd);
    }
    bool ok() const { return m_ok; }
    std::string host(int k) const
    {
        return formatIPv4(m_slots[std::size_t(k)]->address) + ":" + std::to_string(Port);
    }
    // The image the board last committed (read after its upload has returned).
    const std::vector<std::uint8_t> &image(int k) const
    {
        return m_slots[std::size_t(k)]->state.image;
    }

private:
    void receive(int k, Clock::time_point now)
    {
        std::uint8_t buffer[2048];
        for (;;) {
            sockaddr_in from{};
            nanoseconds age;
            const ssize_t n =
                receiveDatagram(m_slots[std::size_t(k)]->fd, buffer, sizeof buffer, from, age);
            if (n < 0)
                return;
            // The kernel's arrival time, so a late-scheduled thread does not slow the link.
            const Clock::time_point arrived = age > nanoseconds(0) ? now - age : now;
            Datagram d;
            d.bytes.assign(buffer, buffer + n);
            d.peer = Endpoint{from.sin_addr.s_addr, ntohs(from.sin_port)};
            d.board = k;
            m_link->push(LinkSimulator::Inbound, std::move(d), arrived);
        }
    }

    void run()
    {
        std::vector<pollfd> fds;
        for (auto &slot : m_slots)
            fds.push_back({slot->fd, POLLIN, 0});
        std::vector<Datagram> replies;
        std::vector<std::pair<Datagram, Clock::time_point>> pending;
        while (!m_stop) {
            auto now = Clock::now();
            auto wake = now + milliseconds(20);
            if (const auto due = m_link->nextDue())
                wake = std::min(wake, *due);
            const auto wait = duration_cast<nanoseconds>(std::max(wake - now, Clock::duration(0)));
            timespec ts{time_t(wait.count() / 1000000000), long(wait.count() % 1000000000)};
            const int ready = ::ppoll(fds.data(), fds.size(), &ts, nullptr);
            now = Clock::now();
            if (ready > 0)
                for (std::size_t k = 0; k < fds.size(); ++k)
                    if (fds[k].revents & POLLIN)
                        receive(int(k), now);
            LinkSimulator::Direction direction;
            Datagram datagram;
            Clock::time_point due;
            pending.clear();
            while (m_link->takeDue(Clock::now(), direction, datagram, due)) {
                Slot &slot = *m_slots[std::size_t(datagram.board)];
                if (direction == LinkSimulator::Outbound) {
                    sockaddr_in to{};
                    to.sin_family = AF_INET;
                    to.sin_addr.s_addr = datagram.peer.address;
                    to.sin_port = htons(datagram.peer.port);
                    ::sendto(slot.fd, datagram.bytes.data(), datagram.bytes.size(), 0,
                             reinterpret_cast<sockaddr *>(&to), sizeof to);
                    continue;
                }
                qorproto::Packet packet;
                if (!qorproto::decodePacket(datagram.bytes.data(), datagram.bytes.size(), packet))
                    continue;
                replies.clear();
                slot.board->handle(packet, datagram.peer, replies);
                // As the emulator does: of a batch's acknowledgements only the last leaves.
                for (auto &r : replies) {
                    r.board = datagram.board;
                    const bool ack = r.bytes.size() > 8 &&
                                     r.bytes[3] == (std::uint8_t(qorproto::Command::UploadData) |
                                                    qorproto::kReplyBit);
                    if (ack && !pending.empty() && pending.back().first.board == r.board &&
                        pending.back().first.bytes[3] == r.bytes[3] &&
                        pending.back().first.peer.port == r.peer.port)
                        pending.back() = {std::move(r), due};
                    else
                        pending.emplace_back(std::move(r), due);
                }
                IPv4 unused{};
                // A committed image restarts the board: its sessions go, the image stays.
                if (slot.board->takeAction(unused) == Board::Action::Restart)
                    slot.board->restart();
            }
            for (auto &[reply, at] : pending)
                m_link->push(LinkSimulator::Outbound, std::move(reply), at);
        }
    }

    Options m_options;
    std::unique_ptr<LinkSimulator> m_link;
    std::vector<std::unique_ptr<Slot>> m_slots;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    bool m_ok = true;
};

std::vector<std::uint8_t> pattern(std::size_t size, std::uint32_t seed)
{
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t x = seed;
    for (auto &b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = std::uint8_t(x);
    }
    // Firmware the board takes without a bootstrap: "QORF" and a revision first.
    std::memcpy(bytes.data(), "QORF\x02\x05", 6);
    return bytes;
}

// Seconds from the first upload's start to the last one's end; false when any failed or any
// board's committed image differs from the file.
bool uploadAtOnce(Fleet &fleet, int count, const QString &path,
                  const std::vector<std::uint8_t> &image, double &seconds)
{
    std::vector<QEW_HANDLE> handles(std::size_t(count), nullptr);
    for (int k = 0; k < count; ++k) {
        handles[std::size_t(k)] = QEW_Connect(fleet.host(k).c_str(), QEW_MODE_UPLOAD);
        if (!handles[std::size_t(k)]) {
            std::fprintf(stderr, "cannot connect to %s: errno %d\n", fleet.host(k).c_str(), errno);
            return false;
        }
    }
    const QByteArray file = path.toLocal8Bit();
    std::vector<uint32_t> results(std::size_t(count), 1);
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int k = 0; k < count; ++k)
        threads.emplace_back([&, k] {
            while (!go)
                std::this_thread::yield();
            results[std::size_t(k)] =
                QEW_UploadFirmwareFile(handles[std::size_t(k)], file.constData());
        });
    const auto start = Clock::now();
    go = true;
    for (auto &t : threads)
        t.join();
    seconds = duration<double>(Clock::now() - start).count();
    bool ok = true;
    for (int k = 0; k < count; ++k) {
        QEW_Disconnect(handles[std::size_t(k)]);
        if (results[std::size_t(k)] != 0) {
            std::fprintf(stderr, "upload to %s failed: %u\n", fleet.host(k).c_str(),
                         results[std::size_t(k)]);
            ok = false;
        } else if (fleet.image(k) != image) {
            std::fprintf(stderr, "%s committed another image\n", fleet.host(k).c_str());
            ok = false;
        }
    }
    return ok;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qputenv("QORETHW_LOOPBACK_ONLY", "1");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fleet.hex"));
    const auto image = pattern(ImageSize, 2463534242u);
    {
        ihex::Image hex;
        hex.segments.push_back({0x08000000, image});
        const std::string text = ihex::write(hex);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(text.data(), qint64(text.size())) != qint64(text.size()))
            return 1;
    }
    Fleet fleet(BoardCount);
    if (!fleet.ok())
        return 1;
    std::vector<double> alone, together;
    for (int run = 0; run < Runs; ++run) {
        double s = 0;
        if (!uploadAtOnce(fleet, 1, path, image, s))
            return 1;
        alone.push_back(s);
        if (!uploadAtOnce(fleet, BoardCount, path, image, s))
            return 1;
        together.push_back(s);
    }
    const double bits = double(ImageSize) * 8, rate = LinkMbit * 1e6;
    const double one = median(alone), all = median(together);
    std::printf("upload of 256 KiB over one shared %.0f Mbit/s link, %.0f ms round trip "
                "(median of %d runs, every image checked):\n",
                LinkMbit, LatencyMs, Runs);
    std::printf("  1 board alone      %7.1f ms  %6.2f Mbit/s  %.3f of the link rate\n", one * 1e3,
                bits / one / 1e6, bits / one / rate);
    std::printf("  %d boards at once  %7.1f ms  %6.2f Mbit/s  %.3f of the link rate "
                "(aggregate; %.3f per board)\n",
                BoardCount, all * 1e3, BoardCount * bits / all / 1e6,
                BoardCount * bits / all / rate, bits / all / rate);
    std::printf("  aggregate goodput of %d at once / one alone: %.2f\n", BoardCount,
                (BoardCount * bits / all) / (bits / one));
    return 0;
}
