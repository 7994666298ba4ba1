#include "discovery.h"

#include "config.h"
#include "device.h"
#include "packet.h"
#include "qorethw.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

namespace qorethw {

using namespace qorproto;
using std::chrono::milliseconds;

namespace {

// A second request a little later covers one that was lost; answers are told apart by MAC.
constexpr milliseconds kRepeatAfter{250};

std::array<std::uint8_t, 4> bytesOf(const sockaddr *address)
{
    std::array<std::uint8_t, 4> out{};
    std::memcpy(out.data(), &reinterpret_cast<const sockaddr_in *>(address)->sin_addr, 4);
    return out;
}

class Socket
{
public:
    Socket() : fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
    ~Socket()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    const int fd;
};

bool sendTo(int fd, const DiscoveryTarget &target, const std::vector<std::uint8_t> &bytes)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(defaultPort());
    std::memcpy(&to.sin_addr, target.address.data(), 4);
    iovec iov{const_cast<std::uint8_t *>(bytes.data()), bytes.size()};
    msghdr msg{};
    msg.msg_name = &to;
    msg.msg_namelen = sizeof to;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    // The limited broadcast has no route of its own; the interface is named per datagram.
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    if (target.viaInterface) {
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr *c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = int(target.ifIndex);
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
    for (;;) {
        if (::sendmsg(fd, &msg, MSG_NOSIGNAL) >= 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

// Addresses no board can have on a network: this network, multicast and above (broadcast
// included), and loopback unless the answer came from this host's own loopback (an emulated
// board).
bool isBoardAddress(const std::array<std::uint8_t, 4> &ip, const std::array<std::uint8_t, 4> &from)
{
    if (ip[0] == 0 || ip[0] >= 224)
        return false;
    return !isLoopback(ip) || isLoopback(from);
}

bool isBoardMac(const std::array<std::uint8_t, 6> &mac)
{
    // The group bit marks multicast and broadcast.
    return (mac[0] & 1) == 0 &&
           std::any_of(mac.begin(), mac.end(), [](std::uint8_t b) { return b != 0; });
}

using AnswerKey = std::array<std::uint8_t, 14>;

AnswerKey keyOf(const FoundBoard &board)
{
    AnswerKey key{};
    std::copy(board.status.mac.begin(), board.status.mac.end(), key.begin());
    std::copy(board.status.network.ip.begin(), board.status.network.ip.end(), key.begin() + 6);
    std::copy(board.source.begin(), board.source.end(), key.begin() + 10);
    return key;
}

// Counts an answer once per MAC, IP and source; false when it was dropped.
bool addAnswer(const FoundBoard &board, std::set<AnswerKey> &seen, Discovery &result)
{
    if (seen.count(keyOf(board)))
        return true;
    if (result.boards.size() >= kMaxFoundBoards)
        return false;
    seen.insert(keyOf(board));
    result.boards.push_back(board);
    return true;
}

} // namespace

bool isBoardAnswer(const Packet &reply, std::uint32_t sequence, const sockaddr_in &from,
                   FoundBoard &board)
{
    std::uint32_t status = 0;
    std::vector<std::uint8_t> body;
    if (reply.type != (std::uint8_t(Command::Discover) | kReplyBit) || reply.sequence != sequence ||
        reply.session != 0 || ntohs(from.sin_port) != defaultPort() ||
        !decodeReply(reply.payload, status, body) || status != kBoardOk ||
        body.size() != kStatusBlockSize || body[0] != 'Q' || body[1] != kVersion)
        return false;
    FoundBoard b;
    if (!decodeStatusBlock(body.data(), body.size(), b.status))
        return false;
    b.family = body[0];
    b.source = bytesOf(reinterpret_cast<const sockaddr *>(&from));
    if (!isBoardMac(b.status.mac) || !isBoardAddress(b.status.network.ip, b.source))
        return false;
    board = b;
    return true;
}

Outcome discoveryTargets(const char *text, std::vector<DiscoveryTarget> &targets)
{
    targets.clear();
    if (text && *text) {
        Subnet subnet;
        if (!parseSubnet(text, subnet))
            return Outcome::fault(QEW_ERROR_INVALID_PARAMETER);
        DiscoveryTarget t;
        const std::uint32_t hostBits = subnet.prefix == 0 ? ~0u : ~(~0u << (32 - subnet.prefix));
        const std::uint32_t address = getU32(subnet.network.data()) | hostBits;
        for (int i = 0; i < 4; ++i)
            t.address[i] = std::uint8_t(address >> (24 - 8 * i));
        if (!destinationAllowed(t.address) || !destinationAllowed(subnet.network))
            return Outcome::fault(QEW_ERROR_NOACCESS);
        targets.push_back(t);
        return Outcome::success();
    }
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0)
        return Outcome::fault(QEW_ERROR_NOT_CONNECTED);
    for (const ifaddrs *i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP) ||
            !(i->ifa_flags & IFF_BROADCAST) || (i->ifa_flags & IFF_LOOPBACK))
            continue;
        // An interface whose own address may not be used must not carry our broadcast either.
        if (!destinationAllowed(bytesOf(i->ifa_addr)))
            continue;
        DiscoveryTarget t;
        t.address = {255, 255, 255, 255};
        t.viaInterface = true;
        t.ifIndex = ::if_nametoindex(i->ifa_name);
        if (t.ifIndex && std::none_of(targets.begin(), targets.end(),
                                      [&](const auto &o) { return o.ifIndex == t.ifIndex; }))
            targets.push_back(t);
    }
    ::freeifaddrs(list);
    if (targets.empty())
        return Outcome::fault(loopbackOnly() ? QEW_ERROR_NOACCESS : QEW_ERROR_NOT_CONNECTED);
    return Outcome::success();
}

Outcome discover(const std::vector<DiscoveryTarget> &targets, int waitMs, Discovery &result)
{
    result = Discovery();
    Socket socket;
    const int on = 1;
    if (socket.fd < 0 || ::setsockopt(socket.fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0)
        return Outcome::fault(QEW_ERROR_NOT_CONNECTED);
    // Bound to no address: a board on another subnet answers to the broadcast address.
    sockaddr_in any{};
    any.sin_family = AF_INET;
    if (::bind(socket.fd, reinterpret_cast<sockaddr *>(&any), sizeof any) != 0)
        return Outcome::fault(QEW_ERROR_NOT_CONNECTED);

    Packet request;
    request.type = std::uint8_t(Command::Discover);
    request.sequence = std::random_device{}() & 0x7FFFFFFF;
    // Boards spread their answers over a third of the listening time.
    request.payload =
        encodeDiscoverRequest(std::uint16_t(std::min<int>(waitMs / 3, kMaxDiscoverySpreadMs)));
    const auto bytes = encodePacket(request);

    const auto start = Clock::now();
    const auto deadline = start + milliseconds(waitMs);
    bool repeated = false;
    bool sentAny = false;
    for (const auto &target : targets) {
        if (sendTo(socket.fd, target, bytes))
            sentAny = true;
    }
    if (!sentAny)
        return Outcome::fault(QEW_ERROR_NOT_CONNECTED);
    std::uint8_t buffer[kMaxDatagram + 1];
    std::set<AnswerKey> seen;
    for (;;) {
        const auto now = Clock::now();
        if (now >= deadline)
            break;
        if (!repeated && now >= start + kRepeatAfter && start + kRepeatAfter * 2 < deadline) {
            repeated = true;
            for (const auto &target : targets)
                sendTo(socket.fd, target, bytes);
        }
        auto wake = repeated ? deadline : std::min(deadline, start + kRepeatAfter);
        const auto left = std::chrono::duration_cast<milliseconds>(wake - now).count() + 1;
        pollfd pfd{socket.fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, int(std::clamp<long long>(left, 0, 60000)));
        if (ready < 0 && errno != EINTR)
            return Outcome::fault(QEW_ERROR_NOT_CONNECTED);
        if (ready <= 0)
            continue;
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n = ::recvfrom(socket.fd, buffer, sizeof buffer, MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr *>(&from), &length);
        if (n < 0)
            continue; // an "unreachable" from a unicast target, or a signal
        Packet reply;
        FoundBoard board;
        if (!decodePacket(buffer, std::size_t(n), reply) ||
            !isBoardAnswer(reply, request.sequence, from, board) || !addAnswer(board, seen, result))
            ++result.dropped;
    }
    return Outcome::success();
}

} // namespace qorethw
