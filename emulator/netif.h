// A board in a test network owns its interface: moving or changing its MAC reconfigures it.
#pragma once

#include "boardstate.h"

#include <array>
#include <cstdint>
#include <string>

namespace emulator {

// Both run "ip" without a shell and wait for it at most two seconds; false with a message.
bool setInterfaceAddress(const std::string &name, const IPv4 &ip, const IPv4 &subnet,
                         std::string &error);
bool setInterfaceMac(const std::string &name, const std::array<std::uint8_t, 6> &mac,
                     std::string &error);

int prefixLength(const IPv4 &subnet);

} // namespace emulator
