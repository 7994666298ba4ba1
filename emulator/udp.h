// The board's UDP sockets, and reading a datagram with the time the kernel received it.
#pragma once

#include "boardstate.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <string>
#include <sys/types.h>

namespace emulator {

// The board's own socket on address:port, non-blocking, with kernel arrival times; -1 with a
// message on failure.
int openBoardSocket(const IPv4 &address, std::uint16_t port, std::string &error);

// The socket for broadcasts to port, or -1 where the board gets none (loopback).
int openBroadcastSocket(const IPv4 &address, std::uint16_t port);

// recvmsg into buffer; age is how long ago the kernel received the datagram, zero when that is
// unknown or implausible. Returns the datagram's size, or -1 as recvmsg does.
ssize_t receiveDatagram(int fd, std::uint8_t *buffer, std::size_t size, sockaddr_in &from,
                        std::chrono::nanoseconds &age);

} // namespace emulator
