#include "config.h"

#include "messages.h"
#include "packet.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qorethw {

namespace {

bool parseNumber(const char *text, long min, long max, long &value)
{
    if (!text || !*text)
        return false;
    // A successful call leaves errno as it was: strtol's own report is read and put back.
    const int saved = errno;
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    const bool overflow = errno != 0;
    errno = saved;
    if (overflow || *end || v < min || v > max || text[0] == '-' || text[0] == '+' ||
        text[0] == ' ')
        return false;
    value = v;
    return true;
}

} // namespace

int callTimeoutMs()
{
    long v = 0;
    if (parseNumber(std::getenv("QORETHW_TIMEOUT_MS"), 1, 600000, v))
        return int(v);
    return kDefaultTimeoutMs;
}

std::uint16_t defaultPort()
{
    long v = 0;
    if (parseNumber(std::getenv("QORETHW_PORT"), 1, 65535, v))
        return std::uint16_t(v);
    return qorproto::kDefaultPort;
}

bool loopbackOnly()
{
    const char *v = std::getenv("QORETHW_LOOPBACK_ONLY");
    return v && *v && std::strcmp(v, "0") != 0;
}

bool Subnet::contains(const std::array<std::uint8_t, 4> &address) const
{
    const std::uint32_t mask = prefix == 0 ? 0 : ~std::uint32_t(0) << (32 - prefix);
    return (qorproto::getU32(address.data()) & mask) == (qorproto::getU32(network.data()) & mask);
}

bool parseSubnet(const char *text, Subnet &subnet)
{
    if (!text)
        return false;
    const std::string s(text);
    const auto slash = s.find('/');
    long prefix = 32;
    if (slash != std::string::npos && !parseNumber(s.c_str() + slash + 1, 0, 32, prefix))
        return false;
    Subnet result;
    if (!qorproto::parseDottedIPv4(s.substr(0, slash).c_str(), result.network))
        return false;
    result.prefix = int(prefix);
    subnet = result;
    return true;
}

namespace {

// Only private ranges can be allowed: a switch meant for a test network of one's own must not
// open the way to the rest of the world.
bool isPrivate(const Subnet &subnet)
{
    static const Subnet ranges[] = {
        {{10, 0, 0, 0}, 8}, {{172, 16, 0, 0}, 12}, {{192, 168, 0, 0}, 16}};
    for (const Subnet &range : ranges)
        if (subnet.prefix >= range.prefix && range.contains(subnet.network))
            return true;
    return false;
}

} // namespace

bool destinationAllowed(const std::array<std::uint8_t, 4> &address)
{
    if (!loopbackOnly() || qorproto::isLoopback(address))
        return true;
    const char *list = std::getenv("QORETHW_ALLOW_SUBNETS");
    if (!list)
        return false;
    std::string rest(list);
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        const std::string item = rest.substr(0, comma);
        rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
        Subnet subnet;
        if (parseSubnet(item.c_str(), subnet) && isPrivate(subnet) && subnet.contains(address))
            return true;
    }
    return false;
}

bool parseHost(const char *text, Destination &destination)
{
    if (!text)
        return false;
    std::string host(text);
    Destination d;
    d.port = defaultPort();
    const auto colon = host.find(':');
    if (colon != std::string::npos) {
        long port = 0;
        if (!parseNumber(host.c_str() + colon + 1, 1, 65535, port))
            return false;
        d.port = std::uint16_t(port);
        host.resize(colon);
    }
    if (host == "localhost") {
        d.address = {127, 0, 0, 1};
    } else if (!qorproto::parseDottedIPv4(host.c_str(), d.address)) {
        return false;
    }
    destination = d;
    return true;
}

} // namespace qorethw
