// board-emulator: the board on a loopback address, for tests, benchmarks and the demo.
#include "board.h"
#include "boardstate.h"
#include "linksim.h"
#include "netif.h"
#include "options.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace emulator;
using namespace std::chrono;

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int)
{
    stopRequested = 1;
}

void logLine(const std::string &text)
{
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

int openSocket(const IPv4 &address, std::uint16_t port, std::string &error)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    // A discovery answer may go to the broadcast address; off loopback the same port is also
    // bound to no address, for the broadcasts (see openBroadcastSocket).
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &yes, sizeof yes);
    if (!qorproto::isLoopback(address))
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    std::memcpy(&a.sin_addr.s_addr, address.data(), 4);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    // Room for a whole window of chunks arriving while the board is busy.
    const int size = 4 * 1024 * 1024;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    // Kernel arrival times let the link model ignore how late this process reads a datagram.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    return fd;
}

// Broadcasts reach only a socket bound to no address. Loopback carries none, so a board there
// has no such socket; in a test network the board's namespace is its own.
int openBroadcastSocket(const IPv4 &address, std::uint16_t port)
{
    if (qorproto::isLoopback(address))
        return -1;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// recvfrom with the kernel's arrival time, turned into steady-clock time.
ssize_t receive(int fd, std::vector<std::uint8_t> &buffer, sockaddr_in &from,
                Clock::time_point &arrived)
{
    iovec iov{buffer.data(), buffer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(fd, &msg, 0);
    if (n < 0)
        return n;
    for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec stamp;
            std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
            timespec real;
            ::clock_gettime(CLOCK_REALTIME, &real);
            const auto age = nanoseconds((real.tv_sec - stamp.tv_sec) * 1000000000LL +
                                         (real.tv_nsec - stamp.tv_nsec));
            if (age > nanoseconds(0) && age < seconds(1))
                arrived = Clock::now() - age;
        }
    }
    return n;
}

bool isAck(const Datagram &d)
{
    return d.bytes.size() > 8 &&
           d.bytes[3] == (std::uint8_t(qorproto::Command::UploadData) | qorproto::kReplyBit);
}

bool sameSessionAndPeer(const Datagram &a, const Datagram &b)
{
    return a.peer.address == b.peer.address && a.peer.port == b.peer.port &&
           std::equal(a.bytes.begin() + 4, a.bytes.begin() + 8, b.bytes.begin() + 4);
}

std::string endpointText(const IPv4 &address, std::uint16_t port)
{
    return formatIPv4(address) + ":" + std::to_string(port);
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    std::string error;
    bool help = false;
    if (!parseOptions(argc, argv, options, error, help)) {
        std::fprintf(stderr, "board-emulator: %s\n%s", error.c_str(), usageText());
        return 2;
    }
    if (help) {
        std::fputs(usageText(), stdout);
        return 0;
    }

    BoardState state;
    state.ip = options.address;
    state.subnet = options.subnet;
    state.gateway = options.gateway;
    state.mac = options.mac;
    state.revision = options.revision;
    if (!options.stateFile.empty()) {
        bool found = false;
        if (!loadState(options.stateFile, state, found, error)) {
            std::fprintf(stderr, "board-emulator: %s\n", error.c_str());
            return 1;
        }
        if (!found && !saveState(options.stateFile, state, error)) {
            std::fprintf(stderr, "board-emulator: %s\n", error.c_str());
            return 1;
        }
    }
    if (!options.firmwareOut.empty()) {
        if (state.hasImage && !writeFile(options.firmwareOut, state.image, error)) {
            std::fprintf(stderr, "board-emulator: %s\n", error.c_str());
            return 1;
        }
        if (!state.hasImage)
            std::remove(options.firmwareOut.c_str());
    }

    // The link model schedules datagrams microseconds apart.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);

    int fd = openSocket(state.ip, options.port, error);
    if (fd < 0) {
        std::fprintf(stderr, "board-emulator: cannot listen on %s: %s\n",
                     endpointText(state.ip, options.port).c_str(), error.c_str());
        return 1;
    }
    char revision[8];
    std::snprintf(revision, sizeof revision, "0x%04X", state.revision);
    logLine("revision " + std::string(revision) + ", MAC " + formatMac(state.mac) + ", flash " +
            std::to_string(options.flashSize) + " bytes" +
            (state.bootstrapped ? ", bootstrapped" : ""));
    int broadcastFd = openBroadcastSocket(state.ip, options.port);
    logLine("listening on " + endpointText(state.ip, options.port));

    Board board(options, state, logLine);
    board.setListening(state.ip);
    LinkSimulator link(options);

    // A restart or a move: drain what is on its way out, go quiet for a moment, come back.
    bool draining = false;
    bool down = false;
    Clock::time_point upAt{};
    IPv4 upAddress = state.ip;

    std::vector<std::uint8_t> buffer(65536);
    std::vector<Datagram> replies;
    std::vector<std::pair<Datagram, Clock::time_point>> pending;
    // Discovery answers waiting out their random delay.
    std::vector<std::pair<Datagram, Clock::time_point>> delayed;
    while (!stopRequested) {
        auto now = Clock::now();
        auto wake = now + seconds(1);
        if (const auto due = link.nextDue())
            wake = std::min(wake, *due);
        if (down)
            wake = std::min(wake, upAt);
        for (const auto &d : delayed)
            wake = std::min(wake, d.second);
        const auto waitFor = duration_cast<nanoseconds>(std::max(wake - now, Clock::duration(0)));
        timespec ts{time_t(waitFor.count() / 1000000000), long(waitFor.count() % 1000000000)};
        pollfd pfds[2] = {{fd, POLLIN, 0}, {broadcastFd, POLLIN, 0}};
        const int ready = ::ppoll(pfds, fd >= 0 ? (broadcastFd >= 0 ? 2 : 1) : 0, &ts, nullptr);
        if (ready < 0 && errno != EINTR) {
            std::perror("board-emulator: poll");
            return 1;
        }
        now = Clock::now();
        if (ready > 0 && fd >= 0 && broadcastFd >= 0 && (pfds[1].revents & POLLIN)) {
            for (;;) {
                sockaddr_in from{};
                Clock::time_point arrived = now;
                const ssize_t n = receive(broadcastFd, buffer, from, arrived);
                if (n < 0)
                    break;
                qorproto::Packet packet;
                if (options.silent || down || draining ||
                    !qorproto::decodePacket(buffer.data(), std::size_t(n), packet))
                    continue;
                replies.clear();
                board.handleBroadcast(packet, Endpoint{from.sin_addr.s_addr, ntohs(from.sin_port)},
                                      replies);
                for (auto &r : replies)
                    delayed.emplace_back(std::move(r), now + milliseconds(r.delayMs));
            }
        }
        for (auto it = delayed.begin(); it != delayed.end();) {
            if (it->second <= now && !down && !draining) {
                link.push(LinkSimulator::Outbound, std::move(it->first), now);
                it = delayed.erase(it);
            } else {
                ++it;
            }
        }
        if (ready > 0 && fd >= 0) {
            for (;;) {
                sockaddr_in from{};
                Clock::time_point arrived = now;
                const ssize_t n = receive(fd, buffer, from, arrived);
                if (n < 0)
                    break;
                if (options.silent)
                    continue;
                Datagram d;
                d.bytes.assign(buffer.begin(), buffer.begin() + n);
                d.peer = Endpoint{from.sin_addr.s_addr, ntohs(from.sin_port)};
                link.push(LinkSimulator::Inbound, std::move(d), arrived);
            }
        }

        LinkSimulator::Direction direction;
        Datagram datagram;
        Clock::time_point due;
        pending.clear();
        while (link.takeDue(Clock::now(), direction, datagram, due)) {
            if (direction == LinkSimulator::Outbound) {
                if (fd < 0)
                    continue;
                sockaddr_in to{};
                to.sin_family = AF_INET;
                to.sin_addr.s_addr = datagram.peer.address;
                to.sin_port = htons(datagram.peer.port);
                ::sendto(fd, datagram.bytes.data(), datagram.bytes.size(), 0,
                         reinterpret_cast<sockaddr *>(&to), sizeof to);
                continue;
            }
            if (down || draining)
                continue;
            qorproto::Packet packet;
            if (!qorproto::decodePacket(datagram.bytes.data(), datagram.bytes.size(), packet))
                continue;
            replies.clear();
            board.setArrival(due);
            board.handle(packet, datagram.peer, replies);
            // The board answers at once: its replies leave when the request was due. Of the
            // acknowledgements a batch of chunks earns, only the last goes: it says it all.
            for (auto &r : replies) {
                if (r.delayMs > 0) {
                    delayed.emplace_back(std::move(r), due + milliseconds(r.delayMs));
                    continue;
                }
                if (!pending.empty() && isAck(r) && isAck(pending.back().first) &&
                    sameSessionAndPeer(r, pending.back().first))
                    pending.back() = {std::move(r), due};
                else
                    pending.emplace_back(std::move(r), due);
            }
            IPv4 moveTo{};
            switch (board.takeAction(moveTo)) {
            case Board::Action::Die:
                std::fflush(stdout);
                ::_exit(3);
            case Board::Action::Restart:
                draining = true;
                upAddress = state.ip;
                break;
            case Board::Action::Move:
                draining = true;
                upAddress = moveTo;
                break;
            case Board::Action::None:
                break;
            }
        }

        for (auto &[reply, at] : pending)
            link.push(LinkSimulator::Outbound, std::move(reply), at);

        now = Clock::now();
        if (draining && !link.hasOutbound()) {
            draining = false;
            down = true;
            upAt = now + milliseconds(options.restartMs);
            ::close(fd);
            fd = -1;
            if (broadcastFd >= 0)
                ::close(broadcastFd);
            broadcastFd = -1;
            delayed.clear();
            link.clear();
            board.restart();
            if (!options.interfaceName.empty() &&
                !setInterfaceAddress(options.interfaceName, upAddress, state.subnet, error)) {
                logLine("cannot re-address " + options.interfaceName + ": " + error);
                upAddress = state.ip;
                setInterfaceAddress(options.interfaceName, state.ip, state.subnet, error);
            }
        }
        if (down && now >= upAt) {
            down = false;
            fd = openSocket(upAddress, options.port, error);
            if (fd < 0) {
                logLine("cannot move to " + endpointText(upAddress, options.port) + ": " + error +
                        "; staying on " + formatIPv4(state.ip));
                fd = openSocket(state.ip, options.port, error);
                if (fd < 0) {
                    std::fprintf(stderr, "board-emulator: cannot listen again: %s\n",
                                 error.c_str());
                    return 1;
                }
            } else if (upAddress != state.ip) {
                state.ip = upAddress;
                if (!options.stateFile.empty() && !saveState(options.stateFile, state, error))
                    logLine("error: " + error);
            }
            board.setListening(state.ip);
            broadcastFd = openBroadcastSocket(state.ip, options.port);
            logLine("restarted; listening on " + endpointText(state.ip, options.port));
        }
    }
    if (fd >= 0)
        ::close(fd);
    if (broadcastFd >= 0)
        ::close(broadcastFd);
    return 0;
}
