#include "config.h"

#include "messages.h"
#include "packet.h"

#include <cstdlib>
#include <cstring>

namespace qorethw {

namespace {

bool parseNumber(const char *text, long min, long max, long &value)
{
    if (!text || !*text)
        return false;
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno || *end || v < min || v > max || text[0] == '-' || text[0] == '+' || text[0] == ' ')
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
