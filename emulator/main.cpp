// board-emulator: the board on a loopback address, for tests, benchmarks and the demo.
#include "board.h"
#include "boardstate.h"
#include "linksim.h"
#include "netif.h"
#include "options.h"
#include "udp.h"

#include "messages.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
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

// Always false, so a failing step can return it.
bool fail(const std::string &message)
{
    std::fprintf(stderr, "board-emulator: %s\n", message.c_str());
    return false;
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

Endpoint endpointOf(const sockaddr_in &address)
{
    return Endpoint{address.sin_addr.s_addr, ntohs(address.sin_port)};
}

void closeSocket(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// The factory settings of the options, or what the state file holds; the firmware file then
// shows the committed image.
bool prepareState(const Options &options, BoardState &state)
{
    state.ip = options.address;
    state.subnet = options.subnet;
    state.gateway = options.gateway;
    state.mac = options.mac;
    state.revision = options.revision;
    std::string error;
    if (!options.stateFile.empty()) {
        bool found = false;
        if (!loadState(options.stateFile, state, found, error))
            return fail(error);
        if (!found && !saveState(options.stateFile, state, error))
            return fail(error);
        // A board that owns its interface may be anywhere; on loopback it may not leave it.
        if (options.interfaceName.empty() && !qorproto::isLoopback(state.ip))
            return fail(options.stateFile + ": ip " + formatIPv4(state.ip) +
                        " is not a loopback address (--interface names a board's own)");
    }
    // Restarted on its own state (after a crash, say): the interface gets what the state holds.
    if (!options.interfaceName.empty() &&
        (!setInterfaceAddress(options.interfaceName, state.ip, state.subnet, error) ||
         !setInterfaceMac(options.interfaceName, state.mac, error)))
        return fail("cannot configure " + options.interfaceName + ": " + error);
    if (!options.firmwareOut.empty()) {
        if (state.hasImage && !writeFile(options.firmwareOut, state.image, error))
            return fail(error);
        if (!state.hasImage)
            std::remove(options.firmwareOut.c_str());
    }
    return true;
}

using Schedule = std::vector<std::pair<Datagram, Clock::time_point>>;

// The running board: its sockets, the link between them and the board, and the restarts and
// moves the board asks for.
class BoardServer
{
public:
    BoardServer(const Options &options, BoardState &state)
        : m_options(options), m_state(state), m_board(options, state, logLine), m_link(options),
          m_upAddress(state.ip)
    {
    }
    ~BoardServer()
    {
        closeSocket(m_fd);
        closeSocket(m_broadcastFd);
    }
    BoardServer(const BoardServer &) = delete;
    BoardServer &operator=(const BoardServer &) = delete;

    bool listen();
    // Serves until a signal asks to stop; the program's exit status.
    int serve();

private:
    // ppoll until a socket is readable or the next timed event; -1 on an error, 0 on a signal.
    int waitForTraffic(pollfd (&pfds)[2]);
    void readBroadcasts(Clock::time_point now);
    void releaseDelayed(Clock::time_point now);
    void readRequests(Clock::time_point now);
    void runDueDatagrams();
    void handleRequest(const Datagram &datagram, Clock::time_point due);
    void takeBoardAction();
    void goDownWhenDrained(Clock::time_point now);
    bool comeBackUp();

    const Options &m_options;
    BoardState &m_state;
    Board m_board;
    LinkSimulator m_link;
    int m_fd = -1;
    int m_broadcastFd = -1;

    // A restart or a move: drain what is on its way out, go quiet for a moment, come back.
    bool m_draining = false;
    bool m_down = false;
    Clock::time_point m_upAt{};
    IPv4 m_upAddress;

    std::vector<std::uint8_t> m_buffer = std::vector<std::uint8_t>(65536);
    std::vector<Datagram> m_replies;
    Schedule m_pending;
    // Discovery answers waiting out their random delay.
    Schedule m_delayed;
};

bool BoardServer::listen()
{
    std::string error;
    m_fd = openBoardSocket(m_state.ip, m_options.port, error);
    if (m_fd < 0)
        return fail("cannot listen on " + endpointText(m_state.ip, m_options.port) + ": " + error);
    char revision[8];
    std::snprintf(revision, sizeof revision, "0x%04X", m_state.revision);
    logLine("revision " + std::string(revision) + ", MAC " + formatMac(m_state.mac) + ", flash " +
            std::to_string(m_options.flashSize) + " bytes" +
            (m_state.bootstrapped ? ", bootstrapped" : ""));
    m_broadcastFd = openBroadcastSocket(m_state.ip, m_options.port);
    logLine("listening on " + endpointText(m_state.ip, m_options.port));
    m_board.setListening(m_state.ip);
    return true;
}

int BoardServer::serve()
{
    while (!stopRequested) {
        pollfd pfds[2] = {{m_fd, POLLIN, 0}, {m_broadcastFd, POLLIN, 0}};
        const int ready = waitForTraffic(pfds);
        if (ready < 0) {
            std::perror("board-emulator: poll");
            return 1;
        }
        auto now = Clock::now();
        if (ready > 0 && m_fd >= 0 && m_broadcastFd >= 0 && (pfds[1].revents & POLLIN))
            readBroadcasts(now);
        releaseDelayed(now);
        if (ready > 0 && m_fd >= 0)
            readRequests(now);
        runDueDatagrams();
        now = Clock::now();
        goDownWhenDrained(now);
        if (m_down && now >= m_upAt && !comeBackUp())
            return 1;
    }
    return 0;
}

int BoardServer::waitForTraffic(pollfd (&pfds)[2])
{
    const auto now = Clock::now();
    auto wake = now + seconds(1);
    if (const auto due = m_link.nextDue())
        wake = std::min(wake, *due);
    if (m_down)
        wake = std::min(wake, m_upAt);
    for (const auto &d : m_delayed)
        wake = std::min(wake, d.second);
    const auto waitFor = duration_cast<nanoseconds>(std::max(wake - now, Clock::duration(0)));
    timespec ts{time_t(waitFor.count() / 1000000000), long(waitFor.count() % 1000000000)};
    const nfds_t count = m_fd >= 0 ? (m_broadcastFd >= 0 ? 2 : 1) : 0;
    const int ready = ::ppoll(pfds, count, &ts, nullptr);
    if (ready < 0)
        return errno == EINTR ? 0 : -1;
    return ready;
}

void BoardServer::readBroadcasts(Clock::time_point now)
{
    for (;;) {
        sockaddr_in from{};
        nanoseconds age;
        const ssize_t n =
            receiveDatagram(m_broadcastFd, m_buffer.data(), m_buffer.size(), from, age);
        if (n < 0)
            break;
        qorproto::Packet packet;
        if (m_options.silent || m_down || m_draining ||
            !qorproto::decodePacket(m_buffer.data(), std::size_t(n), packet))
            continue;
        m_replies.clear();
        m_board.handleBroadcast(packet, endpointOf(from), m_replies);
        for (auto &r : m_replies)
            m_delayed.emplace_back(std::move(r), now + milliseconds(r.delayMs));
    }
}

void BoardServer::releaseDelayed(Clock::time_point now)
{
    for (auto it = m_delayed.begin(); it != m_delayed.end();) {
        if (it->second <= now && !m_down && !m_draining) {
            m_link.push(LinkSimulator::Outbound, std::move(it->first), now);
            it = m_delayed.erase(it);
        } else {
            ++it;
        }
    }
}

void BoardServer::readRequests(Clock::time_point now)
{
    for (;;) {
        sockaddr_in from{};
        nanoseconds age;
        const ssize_t n = receiveDatagram(m_fd, m_buffer.data(), m_buffer.size(), from, age);
        if (n < 0)
            break;
        if (m_options.silent)
            continue;
        Datagram d;
        d.bytes.assign(m_buffer.begin(), m_buffer.begin() + n);
        d.peer = endpointOf(from);
        m_link.push(LinkSimulator::Inbound, std::move(d),
                    age > nanoseconds(0) ? Clock::now() - age : now);
    }
}

// Sends what the link lets out and hands the board what the link lets in.
void BoardServer::runDueDatagrams()
{
    LinkSimulator::Direction direction;
    Datagram datagram;
    Clock::time_point due;
    m_pending.clear();
    while (m_link.takeDue(Clock::now(), direction, datagram, due)) {
        if (direction == LinkSimulator::Outbound) {
            if (m_fd < 0)
                continue;
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_addr.s_addr = datagram.peer.address;
            to.sin_port = htons(datagram.peer.port);
            ::sendto(m_fd, datagram.bytes.data(), datagram.bytes.size(), 0,
                     reinterpret_cast<sockaddr *>(&to), sizeof to);
            continue;
        }
        if (!m_down && !m_draining)
            handleRequest(datagram, due);
    }
    for (auto &[reply, at] : m_pending)
        m_link.push(LinkSimulator::Outbound, std::move(reply), at);
}

void BoardServer::handleRequest(const Datagram &datagram, Clock::time_point due)
{
    qorproto::Packet packet;
    if (!qorproto::decodePacket(datagram.bytes.data(), datagram.bytes.size(), packet))
        return;
    m_replies.clear();
    m_board.setArrival(due);
    m_board.handle(packet, datagram.peer, m_replies);
    // The board answers at once: its replies leave when the request was due. Of the
    // acknowledgements a batch of chunks earns, only the last goes: it says it all.
    for (auto &r : m_replies) {
        if (r.delayMs > 0) {
            m_delayed.emplace_back(std::move(r), due + milliseconds(r.delayMs));
            continue;
        }
        if (!m_pending.empty() && isAck(r) && isAck(m_pending.back().first) &&
            sameSessionAndPeer(r, m_pending.back().first))
            m_pending.back() = {std::move(r), due};
        else
            m_pending.emplace_back(std::move(r), due);
    }
    takeBoardAction();
}

void BoardServer::takeBoardAction()
{
    IPv4 moveTo{};
    switch (m_board.takeAction(moveTo)) {
    case Board::Action::Die:
        std::fflush(stdout);
        ::_exit(3);
    case Board::Action::Restart:
        m_draining = true;
        m_upAddress = m_state.ip;
        break;
    case Board::Action::Move:
        m_draining = true;
        m_upAddress = moveTo;
        break;
    case Board::Action::None:
        break;
    }
}

void BoardServer::goDownWhenDrained(Clock::time_point now)
{
    if (!m_draining || m_link.hasOutbound())
        return;
    m_draining = false;
    m_down = true;
    m_upAt = now + milliseconds(m_options.restartMs);
    closeSocket(m_fd);
    closeSocket(m_broadcastFd);
    m_delayed.clear();
    m_link.clear();
    m_board.restart();
    std::string error;
    if (!m_options.interfaceName.empty() &&
        !setInterfaceAddress(m_options.interfaceName, m_upAddress, m_state.subnet, error)) {
        logLine("cannot re-address " + m_options.interfaceName + ": " + error);
        m_upAddress = m_state.ip;
        setInterfaceAddress(m_options.interfaceName, m_state.ip, m_state.subnet, error);
    }
}

// Listens again, on the new address after a move; false when not even the old one is possible.
bool BoardServer::comeBackUp()
{
    m_down = false;
    std::string error;
    m_fd = openBoardSocket(m_upAddress, m_options.port, error);
    if (m_fd < 0) {
        logLine("cannot move to " + endpointText(m_upAddress, m_options.port) + ": " + error +
                "; staying on " + formatIPv4(m_state.ip));
        m_fd = openBoardSocket(m_state.ip, m_options.port, error);
        if (m_fd < 0)
            return fail("cannot listen again: " + error);
    } else if (m_upAddress != m_state.ip) {
        m_state.ip = m_upAddress;
        if (!m_options.stateFile.empty() && !saveState(m_options.stateFile, m_state, error))
            logLine("error: " + error);
    }
    m_board.setListening(m_state.ip);
    m_broadcastFd = openBroadcastSocket(m_state.ip, m_options.port);
    logLine("restarted; listening on " + endpointText(m_state.ip, m_options.port));
    return true;
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
    if (!prepareState(options, state))
        return 1;

    // The link model schedules datagrams microseconds apart.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);

    BoardServer server(options, state);
    if (!server.listen())
        return 1;
    return server.serve();
}
