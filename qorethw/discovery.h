// Finding boards: one request to broadcast addresses (or given ones), answers collected for a
// bounded time and told apart by MAC.
#pragma once

#include "messages.h"
#include "outcome.h"

#include <array>
#include <cstdint>
#include <netinet/in.h>
#include <vector>

namespace qorethw {

struct FoundBoard
{
    qorproto::BoardStatus status;
    std::uint8_t family = 0;
    std::array<std::uint8_t, 4> source{}; // where the answer came from
};

struct DiscoveryTarget
{
    std::array<std::uint8_t, 4> address{};
    bool viaInterface = false; // the limited broadcast out of interface ifIndex
    unsigned ifIndex = 0;
};

// Null or "": the limited broadcast out of every IPv4 interface that may be used; "a.b.c.d":
// that address; "a.b.c.d/prefix": that subnet's broadcast address. Fails with
// QEW_ERROR_INVALID_PARAMETER for a malformed text, QEW_ERROR_NOACCESS when no destination may
// be used (QORETHW_LOOPBACK_ONLY).
Outcome discoveryTargets(const char *text, std::vector<DiscoveryTarget> &targets);

// What one call heard: each distinct answer (MAC, IP, where it came from) once, in the order
// heard, at most kMaxFoundBoards; dropped counts every datagram that was not exactly a board's
// answer to this request, and answers beyond that limit.
struct Discovery
{
    std::vector<FoundBoard> boards;
    std::uint32_t dropped = 0;
};
constexpr std::size_t kMaxFoundBoards = 65536;

// Exactly the answer the protocol defines, from a place a board can be: false for anything else.
bool isBoardAnswer(const qorproto::Packet &reply, std::uint32_t sequence, const sockaddr_in &from,
                   FoundBoard &board);

// Sends the request to every target and listens for waitMs; fails with QEW_ERROR_NOT_CONNECTED
// when the socket fails.
Outcome discover(const std::vector<DiscoveryTarget> &targets, int waitMs, Discovery &result);

} // namespace qorethw
