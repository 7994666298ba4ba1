// Uploads a 256 KiB image to many emulated boards at once over one simulated 100 Mbit/s link with
// a 1 ms round trip, the boards' shared wire to the host, and to one board alone over the same
// link: a deep queue, and a token bucket as a shaped switch port (32 KiB burst, 20 ms queue).
// Prints per cell the aggregate goodput as a share of the link rate and of the bound, the chunks
// resent, the uploads that failed, Jain's fairness index and the slowest board against the
// median, side by side. The first argument sets the runs per cell (default 5), a second runs only
// the cells whose names contain it.
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
#include <cstdlib>
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

constexpr double LinkMbit = 100;
constexpr double LatencyMs = 1;
constexpr std::size_t ImageSize = 256 * 1024;
constexpr std::uint16_t Port = 20871;
// 1448 bytes of image in each 1500-byte frame.
constexpr double Ceiling = 1448.0 / 1500.0;

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
    // `subnet`: the boards' addresses are 127.0.subnet.10 on, so that each cell's first run
    // meets paths the library has not seen.
    Fleet(int count, std::uint32_t burstKib, std::uint8_t subnet)
    {
        m_options.linkBurstBytes = burstKib * 1024;
        m_options.linkMbit = LinkMbit;
        m_options.linkLatencyMs = LatencyMs;
        m_options.revision = 0x0200;
        m_options.port = Port;
        m_link = std::make_unique<LinkSimulator>(m_options);
        for (int k = 0; k < count; ++k) {
            auto slot = std::make_unique<Slot>();
            slot->address = {127, 0, subnet, std::uint8_t(10 + k)};
            slot->state.ip = slot->address;
            slot->state.revision = m_options.revision;
            slot->state.mac = {0x02, 0, 0, 0, 0x31, std::uint8_t(k)};
            slot->board = std::make_unique<Board>(
                m_options, slot->state, [this](const std::string &line) { countRepeats(line); });
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
                std::fprintf(stderr, "cannot listen on %s: %s\n", formatIPv4(slot->address).c_str(),
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
    // Chunks the boards received twice since the last call.
    long takeRepeats() { return m_repeats.exchange(0); }

private:
    void countRepeats(const std::string &line)
    {
        const auto at = line.find(" repeated)");
        if (at == std::string::npos)
            return;
        const auto from = line.rfind(", ", at);
        m_repeats += std::atol(line.c_str() + from + 2);
    }
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
                // The board's clock in its acknowledgements: when the datagram left the link.
                slot.board->setArrival(due);
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
    std::atomic<long> m_repeats{0};
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

struct Round
{
    double seconds = 0;         // first start to last end
    std::vector<double> boards; // each board's own upload time, of those that succeeded
    int failed = 0;
};

// All uploads at once; a failed upload or a committed image that differs from the file counts
// as a failure. False when the boards cannot even be reached.
bool uploadAtOnce(Fleet &fleet, int count, const QString &path,
                  const std::vector<std::uint8_t> &image, Round &round)
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
    std::vector<double> took(std::size_t(count), 0);
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int k = 0; k < count; ++k)
        threads.emplace_back([&, k] {
            while (!go)
                std::this_thread::yield();
            const auto start = Clock::now();
            results[std::size_t(k)] =
                QEW_UploadFirmwareFile(handles[std::size_t(k)], file.constData());
            took[std::size_t(k)] = duration<double>(Clock::now() - start).count();
        });
    const auto start = Clock::now();
    go = true;
    for (auto &t : threads)
        t.join();
    round.seconds = duration<double>(Clock::now() - start).count();
    for (int k = 0; k < count; ++k) {
        QEW_Disconnect(handles[std::size_t(k)]);
        if (results[std::size_t(k)] != 0 || fleet.image(k) != image) {
            std::fprintf(stderr, "upload to %s failed: %u\n", fleet.host(k).c_str(),
                         results[std::size_t(k)]);
            ++round.failed;
        } else {
            round.boards.push_back(took[std::size_t(k)]);
        }
    }
    return true;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Jain's fairness index of the boards' throughputs: 1 when all got the same.
double jain(const std::vector<double> &seconds)
{
    double sum = 0, squares = 0;
    for (double t : seconds) {
        sum += 1 / t;
        squares += 1 / (t * t);
    }
    return seconds.empty() ? 0 : sum * sum / (double(seconds.size()) * squares);
}

struct Cell
{
    const char *name;
    int boards;
    std::uint32_t burstKib; // 0: the deep queue
    const char *goal;
};

const Cell kCells[] = {
    {"1 board, deep queue", 1, 0, "-"},
    {"20 boards, deep queue", 20, 0, "-"},
    {"1 board, token bucket", 1, 32, ">= 0.92 of the link"},
    {"20 boards, token bucket", 20, 32, ">= 0.92, 0 failed, J >= 0.95, slow <= 1.5"},
    {"50 boards, token bucket", 50, 32, "0 failed"},
};

bool runCell(const Cell &cell, int runs, const QString &path,
             const std::vector<std::uint8_t> &image)
{
    Fleet fleet(cell.boards, cell.burstKib, std::uint8_t(31 + (&cell - kCells)));
    if (!fleet.ok())
        return false;
    std::vector<double> link, fairness, slowest;
    int failed = 0;
    fleet.takeRepeats();
    for (int run = 0; run < runs; ++run) {
        Round round;
        if (!uploadAtOnce(fleet, cell.boards, path, image, round))
            return false;
        failed += round.failed;
        const double done = double(round.boards.size());
        link.push_back(done * ImageSize * 8 / round.seconds / (LinkMbit * 1e6));
        if (!round.boards.empty()) {
            fairness.push_back(jain(round.boards));
            slowest.push_back(*std::max_element(round.boards.begin(), round.boards.end()) /
                              median(round.boards));
        }
    }
    const double lineS = cell.boards * double(ImageSize) * 8 / (LinkMbit * 1e6);
    const double bound = lineS / (lineS / Ceiling + LatencyMs / 1e3);
    const auto [lo, hi] = std::minmax_element(link.begin(), link.end());
    std::printf("%-26s %6.3f %6.3f-%5.3f %6.3f %6.3f %6ld %6d %6.3f %6.2f  %s\n", cell.name,
                median(link), *lo, *hi, median(link) / bound, link.front(), fleet.takeRepeats(),
                failed, fairness.empty() ? 0 : median(fairness),
                slowest.empty() ? 0 : median(slowest), cell.goal);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qputenv("QORETHW_LOOPBACK_ONLY", "1");
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
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
    std::printf("upload of 256 KiB to each board at once over one shared %.0f Mbit/s link, %.0f ms "
                "round trip\n(median of %d runs and range; 'link' and 'bound': aggregate goodput "
                "as a share of the link\nrate and of the framing ceiling with one round trip; "
                "'first': the link share of the first\nrun, before the library knows the boards' "
                "paths, as each new qorethw process meets them;\n'resent': chunks that reached a "
                "board\ntwice, all runs; 'failed': uploads that "
                "failed or committed another image, all runs;\n'J': Jain's fairness index of the "
                "boards' throughputs; 'slow': slowest board's time / median)\n\n",
                LinkMbit, LatencyMs, runs);
    std::printf("%-26s %6s %11s %6s %6s %6s %6s %6s %6s  %s\n", "cell", "link", "range", "bound",
                "first", "resent", "failed", "J", "slow", "goal");
    for (const Cell &cell : kCells) {
        if (!only.isEmpty() && !QString::fromLatin1(cell.name).contains(only))
            continue;
        if (!runCell(cell, runs, path, image))
            return 1;
    }
    return 0;
}
