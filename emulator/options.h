// Command-line options of board-emulator.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace emulator {

struct Options
{
    // Factory settings, used while no state file holds others.
    std::array<std::uint8_t, 4> address{127, 0, 0, 1};
    std::uint16_t port = 20805;
    std::uint16_t revision = 0x0100;
    std::array<std::uint8_t, 6> mac{0x02, 0, 0, 0, 0, 0x01};
    std::array<std::uint8_t, 4> subnet{255, 0, 0, 0};
    std::array<std::uint8_t, 4> gateway{127, 0, 0, 1};
    std::optional<std::array<std::uint8_t, 4>> reportIp;
    std::uint32_t flashSize = 2 * 1024 * 1024;
    int restartMs = 300;
    std::string stateFile;
    std::string firmwareOut;

    // Faults.
    double dropPct = 0, duplicatePct = 0, reorderPct = 0;
    int delayMs = 0;
    bool silent = false;
    std::uint32_t refuseUpload = 0;
    std::uint32_t refuseMac = 0;
    std::uint64_t dieAfterBytes = 0;
    std::uint32_t seed = 0;

    // Sessions: one idle this long may be taken back when the table is full.
    int sessionIdleMs = 60000;
    // Test network: the board owns this interface (in a namespace of its own), so it may listen
    // on a non-loopback address and moves by re-addressing the interface.
    std::string interfaceName;
    // Uploads: chunks the receive buffer holds beyond the last one in order (the window the
    // board grants in its Hello).
    std::uint16_t window = 1024;
    bool classicUpload = false; // as boards before deferred uploads: refuses upload begin flags

    // Simulated link; 0 Mbit/s = no link model.
    double linkMbit = 0;
    double linkLatencyMs = 0;
    std::uint32_t linkQueueBytes = 512 * 1024; // bottleneck queue per direction, tail drop
    // A token bucket instead (as a shaped switch port): a burst of this many bytes passes at
    // once, then the rate holds; what would wait longer than linkQueueMs is dropped.
    std::uint32_t linkBurstBytes = 0;
    double linkQueueMs = 20;
};

// Returns false (with a message) for bad options; help is set for --help.
bool parseOptions(int argc, char **argv, Options &options, std::string &error, bool &help);
const char *usageText();

} // namespace emulator
