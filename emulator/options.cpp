#include "options.h"

#include "messages.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace emulator {

namespace {

bool parseUnsigned(const char *text, std::uint64_t max, std::uint64_t &value)
{
    if (!text || !*text || *text == '-' || *text == '+' || *text == ' ')
        return false;
    char *end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 0); // 0x.. accepted
    if (errno || *end || v > max)
        return false;
    value = v;
    return true;
}

bool parseDouble(const char *text, double min, double max, double &value)
{
    if (!text || !*text)
        return false;
    char *end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (errno || *end || !(v >= min && v <= max))
        return false;
    value = v;
    return true;
}

bool parseMac(const char *text, std::array<std::uint8_t, 6> &mac)
{
    std::array<std::uint8_t, 6> m{};
    const char *p = text;
    for (int i = 0; i < 6; ++i) {
        if (i && (*p == '-' || *p == ':'))
            ++p;
        else if (i)
            return false;
        unsigned value = 0;
        for (int k = 0; k < 2; ++k, ++p) {
            const char c = *p;
            unsigned digit;
            if (c >= '0' && c <= '9')
                digit = unsigned(c - '0');
            else if (c >= 'a' && c <= 'f')
                digit = unsigned(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                digit = unsigned(c - 'A' + 10);
            else
                return false;
            value = value * 16 + digit;
        }
        m[i] = std::uint8_t(value);
    }
    if (*p)
        return false;
    mac = m;
    return true;
}

} // namespace

const char *usageText()
{
    return "usage: board-emulator [options]\n"
           "  --address A          address to listen on (default 127.0.0.1; loopback unless\n"
           "                       --interface is given)\n"
           "  --port P             UDP port (default 20805, or QORETHW_PORT)\n"
           "  --state FILE         keep network settings, MAC, revision and image in FILE\n"
           "  --revision WORD      firmware revision, e.g. 0x0100 (default)\n"
           "  --mac M              MAC address, e.g. 02-00-00-00-00-01 (default)\n"
           "  --subnet S           subnet mask (default 255.0.0.0)\n"
           "  --gateway G          gateway (default 127.0.0.1)\n"
           "  --report-ip A        IP the status reports (default: the address listened on)\n"
           "  --flash-size BYTES   flash size (default 2097152)\n"
           "  --restart-ms N       time a restart takes (default 300)\n"
           "  --firmware-out FILE  write the committed image there as raw binary\n"
           "  --session-idle-ms N  idle time after which a full table may take a session back\n"
           "                       (default 60000)\n"
           "  --interface IFACE    test network: the board owns IFACE in a namespace of its own;\n"
           "                       --address may then be any address, and a move re-addresses\n"
           "                       IFACE (a MAC change sets its MAC)\n"
           "faults:\n"
           "  --drop PCT --duplicate PCT --reorder PCT   per datagram, both directions\n"
           "  --delay-ms N         delay every reply\n"
           "  --silent             answer nothing\n"
           "  --refuse-upload CODE refuse every upload with board error CODE\n"
           "  --refuse-mac CODE    refuse every MAC change with CODE\n"
           "  --die-after-bytes N  exit in the middle of an upload after N image bytes\n"
           "  --seed N             seed of the fault dice\n"
           "uploads:\n"
           "  --window N           chunks the receive buffer holds (1-1024, default 1024)\n"
           "  --classic-upload     refuse deferred uploads and extended acknowledgements\n"
           "link:\n"
           "  --link-mbit R        simulated link rate in Mbit/s\n"
           "  --link-latency-ms L  simulated round-trip time\n"
           "  --link-queue-kib Q   bottleneck queue per direction, dropping at its tail\n"
           "                       (default 512)\n";
}

bool parseOptions(int argc, char **argv, Options &o, std::string &error, bool &help)
{
    help = false;
    if (const char *port = std::getenv("QORETHW_PORT")) {
        std::uint64_t v = 0;
        if (parseUnsigned(port, 65535, v) && v > 0)
            o.port = std::uint16_t(v);
    }
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            help = true;
            return true;
        }
        if (name == "--silent") {
            o.silent = true;
            continue;
        }
        if (name == "--classic-upload") {
            o.classicUpload = true;
            continue;
        }
        if (i + 1 >= argc) {
            error = name + " needs a value (or is unknown)";
            return false;
        }
        const char *value = argv[++i];
        std::uint64_t u = 0;
        bool ok = true;
        if (name == "--address") {
            ok = qorproto::parseDottedIPv4(value, o.address);
        } else if (name == "--report-ip") {
            std::array<std::uint8_t, 4> a{};
            ok = qorproto::parseDottedIPv4(value, a);
            o.reportIp = a;
        } else if (name == "--subnet") {
            ok = qorproto::parseDottedIPv4(value, o.subnet);
        } else if (name == "--gateway") {
            ok = qorproto::parseDottedIPv4(value, o.gateway);
        } else if (name == "--mac") {
            ok = parseMac(value, o.mac);
        } else if (name == "--port") {
            ok = parseUnsigned(value, 65535, u) && u > 0;
            o.port = std::uint16_t(u);
        } else if (name == "--revision") {
            ok = parseUnsigned(value, 0xFFFF, u);
            o.revision = std::uint16_t(u);
        } else if (name == "--flash-size") {
            ok = parseUnsigned(value, 0xFFFFFFFFu, u);
            o.flashSize = std::uint32_t(u);
        } else if (name == "--restart-ms") {
            ok = parseUnsigned(value, 60000, u);
            o.restartMs = int(u);
        } else if (name == "--delay-ms") {
            ok = parseUnsigned(value, 60000, u);
            o.delayMs = int(u);
        } else if (name == "--state") {
            o.stateFile = value;
        } else if (name == "--firmware-out") {
            o.firmwareOut = value;
        } else if (name == "--drop") {
            ok = parseDouble(value, 0, 100, o.dropPct);
        } else if (name == "--duplicate") {
            ok = parseDouble(value, 0, 100, o.duplicatePct);
        } else if (name == "--reorder") {
            ok = parseDouble(value, 0, 100, o.reorderPct);
        } else if (name == "--refuse-upload") {
            ok = parseUnsigned(value, 0xFFFFFFFFu, u) && u > 0;
            o.refuseUpload = std::uint32_t(u);
        } else if (name == "--refuse-mac") {
            ok = parseUnsigned(value, 0xFFFFFFFFu, u) && u > 0;
            o.refuseMac = std::uint32_t(u);
        } else if (name == "--die-after-bytes") {
            ok = parseUnsigned(value, ~std::uint64_t(0), u) && u > 0;
            o.dieAfterBytes = u;
        } else if (name == "--seed") {
            ok = parseUnsigned(value, 0xFFFFFFFFu, u);
            o.seed = std::uint32_t(u);
        } else if (name == "--session-idle-ms") {
            ok = parseUnsigned(value, 3600000, u);
            o.sessionIdleMs = int(u);
        } else if (name == "--interface") {
            ok = *value && std::strlen(value) < 16;
            o.interfaceName = value;
        } else if (name == "--window") {
            ok = parseUnsigned(value, 1024, u) && u > 0;
            o.window = std::uint16_t(u);
        } else if (name == "--link-queue-kib") {
            ok = parseUnsigned(value, 1024 * 1024, u) && u > 0;
            o.linkQueueBytes = std::uint32_t(u * 1024);
        } else if (name == "--link-mbit") {
            ok = parseDouble(value, 0.001, 100000, o.linkMbit);
        } else if (name == "--link-latency-ms") {
            ok = parseDouble(value, 0, 10000, o.linkLatencyMs);
        } else {
            error = "unknown option " + name;
            return false;
        }
        if (!ok) {
            error = "bad value for " + name + ": " + value;
            return false;
        }
    }
    if (!qorproto::isLoopback(o.address) && o.interfaceName.empty()) {
        error = "--address must be a loopback address unless --interface names the board's own "
                "interface";
        return false;
    }
    return true;
}

} // namespace emulator
