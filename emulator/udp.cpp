#include "udp.h"

#include "messages.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/socket.h>
#include <unistd.h>

namespace emulator {

using namespace std::chrono;

int openBoardSocket(const IPv4 &address, std::uint16_t port, std::string &error)
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

ssize_t receiveDatagram(int fd, std::uint8_t *buffer, std::size_t size, sockaddr_in &from,
                        nanoseconds &age)
{
    age = nanoseconds(0);
    iovec iov{buffer, size};
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
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS)
            continue;
        timespec stamp, real;
        std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
        ::clock_gettime(CLOCK_REALTIME, &real);
        const auto sinceStamp = nanoseconds((real.tv_sec - stamp.tv_sec) * 1000000000LL +
                                            (real.tv_nsec - stamp.tv_nsec));
        if (sinceStamp > nanoseconds(0) && sinceStamp < seconds(1))
            age = sinceStamp;
    }
    return n;
}

} // namespace emulator
