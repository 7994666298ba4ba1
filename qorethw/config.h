// What the environment says about timing, ports and allowed destinations.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qorethw {

constexpr int kDefaultTimeoutMs = 3000;

int callTimeoutMs();         // QORETHW_TIMEOUT_MS
std::uint16_t defaultPort(); // QORETHW_PORT
bool loopbackOnly();         // QORETHW_LOOPBACK_ONLY

// A subnet a.b.c.d/prefix.
struct Subnet
{
    std::array<std::uint8_t, 4> network{};
    int prefix = 32;
    bool contains(const std::array<std::uint8_t, 4> &address) const;
};
bool parseSubnet(const char *text, Subnet &subnet);

// Whether the library may send to address: always, unless QORETHW_LOOPBACK_ONLY is set; then
// loopback, and the private subnets listed in QORETHW_ALLOW_SUBNETS (comma-separated
// a.b.c.d/prefix), which is how a test network of its own is let through.
bool destinationAllowed(const std::array<std::uint8_t, 4> &address);

struct Destination
{
    std::array<std::uint8_t, 4> address{};
    std::uint16_t port = 0;
};

// "a.b.c.d", "a.b.c.d:port" or "localhost[:port]". Names are never resolved: a lookup could
// reach a name server, and a board is always addressed by its IP.
bool parseHost(const char *text, Destination &destination);

} // namespace qorethw
