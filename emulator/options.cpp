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

// An unsigned number up to max into field, multiplied by scale; zero refused where nonZero.
template<typename T>
bool setUnsigned(const char *value, std::uint64_t max, bool nonZero, T &field,
                 std::uint64_t scale = 1)
{
    std::uint64_t u = 0;
    const bool ok = parseUnsigned(value, max, u) && (!nonZero || u > 0);
    field = T(u * scale);
    return ok;
}

bool setText(const char *value, std::string &field)
{
    field = value;
    return true;
}

constexpr bool NonZero = true;
constexpr bool ZeroAllowed = false;
constexpr std::uint64_t Max32 = 0xFFFFFFFFu;

// An option that takes a value: false when the value is bad.
struct ValueOption
{
    const char *name;
    bool (*set)(const char *value, Options &o);
};

const ValueOption ValueOptions[] = {
    {"--address",
     [](const char *v, Options &o) { return qorproto::parseDottedIPv4(v, o.address); }},
    {"--report-ip",
     [](const char *v, Options &o) {
         std::array<std::uint8_t, 4> a{};
         const bool ok = qorproto::parseDottedIPv4(v, a);
         o.reportIp = a;
         return ok;
     }},
    {"--subnet", [](const char *v, Options &o) { return qorproto::parseDottedIPv4(v, o.subnet); }},
    {"--gateway",
     [](const char *v, Options &o) { return qorproto::parseDottedIPv4(v, o.gateway); }},
    {"--mac", [](const char *v, Options &o) { return parseMac(v, o.mac); }},
    {"--port", [](const char *v, Options &o) { return setUnsigned(v, 65535, NonZero, o.port); }},
    {"--revision",
     [](const char *v, Options &o) { return setUnsigned(v, 0xFFFF, ZeroAllowed, o.revision); }},
    {"--flash-size",
     [](const char *v, Options &o) { return setUnsigned(v, Max32, ZeroAllowed, o.flashSize); }},
    {"--restart-ms",
     [](const char *v, Options &o) { return setUnsigned(v, 60000, ZeroAllowed, o.restartMs); }},
    {"--delay-ms",
     [](const char *v, Options &o) { return setUnsigned(v, 60000, ZeroAllowed, o.delayMs); }},
    {"--state", [](const char *v, Options &o) { return setText(v, o.stateFile); }},
    {"--firmware-out", [](const char *v, Options &o) { return setText(v, o.firmwareOut); }},
    {"--drop", [](const char *v, Options &o) { return parseDouble(v, 0, 100, o.dropPct); }},
    {"--duplicate",
     [](const char *v, Options &o) { return parseDouble(v, 0, 100, o.duplicatePct); }},
    {"--reorder", [](const char *v, Options &o) { return parseDouble(v, 0, 100, o.reorderPct); }},
    {"--refuse-upload",
     [](const char *v, Options &o) { return setUnsigned(v, Max32, NonZero, o.refuseUpload); }},
    {"--refuse-mac",
     [](const char *v, Options &o) { return setUnsigned(v, Max32, NonZero, o.refuseMac); }},
    {"--die-after-bytes",
     [](const char *v, Options &o) {
         return setUnsigned(v, ~std::uint64_t(0), NonZero, o.dieAfterBytes);
     }},
    {"--seed",
     [](const char *v, Options &o) { return setUnsigned(v, Max32, ZeroAllowed, o.seed); }},
    {"--session-idle-ms",
     [](const char *v, Options &o) {
         return setUnsigned(v, 3600000, ZeroAllowed, o.sessionIdleMs);
     }},
    {"--interface",
     [](const char *v, Options &o) {
         o.interfaceName = v;
         return *v && std::strlen(v) < 16; // the kernel's limit on interface names
     }},
    {"--window", [](const char *v, Options &o) { return setUnsigned(v, 1024, NonZero, o.window); }},
    {"--link-queue-kib",
     [](const char *v, Options &o) {
         return setUnsigned(v, 1024 * 1024, NonZero, o.linkQueueBytes, 1024);
     }},
    {"--link-mbit",
     [](const char *v, Options &o) { return parseDouble(v, 0.001, 100000, o.linkMbit); }},
    {"--link-latency-ms",
     [](const char *v, Options &o) { return parseDouble(v, 0, 10000, o.linkLatencyMs); }},
    {"--link-burst-kib",
     [](const char *v, Options &o) {
         return setUnsigned(v, 1024 * 1024, NonZero, o.linkBurstBytes, 1024);
     }},
    {"--link-queue-ms",
     [](const char *v, Options &o) { return parseDouble(v, 0, 10000, o.linkQueueMs); }},
};

const ValueOption *findValueOption(const std::string &name)
{
    for (const ValueOption &option : ValueOptions)
        if (name == option.name)
            return &option;
    return nullptr;
}

// The options that take no value; false for any other name.
bool setFlag(const std::string &name, Options &o)
{
    if (name == "--silent")
        o.silent = true;
    else if (name == "--classic-upload")
        o.classicUpload = true;
    else
        return false;
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
           "  --classic-upload     refuse deferred uploads and extended acknowledgements, and\n"
           "                       know no rate train (as older boards)\n"
           "link:\n"
           "  --link-mbit R        simulated link rate in Mbit/s\n"
           "  --link-latency-ms L  simulated round-trip time\n"
           "  --link-queue-kib Q   bottleneck queue per direction, dropping at its tail\n"
           "  --link-burst-kib B   a token bucket instead: B KiB pass at once, then the rate;\n"
           "  --link-queue-ms T    what would wait longer than T ms (default 20) is dropped\n"
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
        if (setFlag(name, o))
            continue;
        if (i + 1 >= argc) {
            error = name + " needs a value (or is unknown)";
            return false;
        }
        const char *value = argv[++i];
        const ValueOption *option = findValueOption(name);
        if (!option) {
            error = "unknown option " + name;
            return false;
        }
        if (!option->set(value, o)) {
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
