// What the board keeps in flash across restarts.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace emulator {

using IPv4 = std::array<std::uint8_t, 4>;

struct BoardState
{
    IPv4 ip{127, 0, 0, 1};           // the address it listens on (loopback unless it owns an
                                     // interface)
    std::optional<IPv4> requestedIp; // a non-loopback IP it was given and only records
    IPv4 subnet{255, 0, 0, 0};
    IPv4 gateway{127, 0, 0, 1};
    std::array<std::uint8_t, 6> mac{};
    std::uint16_t revision = 0;
    bool bootstrapped = false;
    bool hasImage = false;
    std::uint32_t imageBase = 0;
    std::vector<std::uint8_t> image;
};

std::string formatIPv4(const IPv4 &address);
std::string formatMac(const std::array<std::uint8_t, 6> &mac);

// The state file is "key=value" text; the image sits beside it in FILE.image.
// load: false with a message when the file is there but unusable; a missing file is no error.
// Whether its ip may be used here is the caller's to check.
bool loadState(const std::string &path, BoardState &state, bool &found, std::string &error);
bool saveState(const std::string &path, const BoardState &state, std::string &error);
bool writeFile(const std::string &path, const std::vector<std::uint8_t> &bytes, std::string &error);

} // namespace emulator
