#include "boardstate.h"

#include "crc32.h"
#include "messages.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace emulator {

namespace {

bool readFile(const std::string &path, std::vector<std::uint8_t> &bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool parseNumber(const std::string &text, std::uint64_t max, std::uint64_t &value)
{
    if (text.empty() || text[0] == '-')
        return false;
    char *end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno || *end || v > max)
        return false;
    value = v;
    return true;
}

bool parseMacText(const std::string &text, std::array<std::uint8_t, 6> &mac)
{
    unsigned b[6];
    char tail;
    if (std::sscanf(text.c_str(), "%2x-%2x-%2x-%2x-%2x-%2x%c", &b[0], &b[1], &b[2], &b[3], &b[4],
                    &b[5], &tail) != 6)
        return false;
    for (int i = 0; i < 6; ++i)
        mac[i] = std::uint8_t(b[i]);
    return true;
}

} // namespace

std::string formatIPv4(const IPv4 &a)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
    return text;
}

std::string formatMac(const std::array<std::uint8_t, 6> &m)
{
    char text[18];
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", m[0], m[1], m[2], m[3], m[4],
                  m[5]);
    return text;
}

bool writeFile(const std::string &path, const std::vector<std::uint8_t> &bytes, std::string &error)
{
    // Written beside and renamed, so that a crash never leaves half a file.
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
        out.close();
        if (!out) {
            error = "cannot write " + temp;
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        error = "cannot rename " + temp + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool loadState(const std::string &path, BoardState &state, bool &found, std::string &error)
{
    found = false;
    std::vector<std::uint8_t> bytes;
    if (!readFile(path, bytes))
        return true;
    found = true;
    std::map<std::string, std::string> values;
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            error = path + ": not key=value: " + line;
            return false;
        }
        values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    BoardState s = state;
    std::uint64_t n = 0;
    auto address = [&](const char *key, IPv4 &out) {
        const auto it = values.find(key);
        return it != values.end() && qorproto::parseDottedIPv4(it->second.c_str(), out);
    };
    if (!address("ip", s.ip) || !address("subnet", s.subnet) || !address("gateway", s.gateway) ||
        !parseMacText(values["mac"], s.mac) || !parseNumber(values["revision"], 0xFFFF, n)) {
        error = path + ": missing or bad ip, subnet, gateway, mac or revision";
        return false;
    }
    s.revision = std::uint16_t(n);
    s.bootstrapped = values["bootstrapped"] == "1";
    if (values.count("requested-ip")) {
        IPv4 requested{};
        if (!address("requested-ip", requested)) {
            error = path + ": bad requested-ip";
            return false;
        }
        s.requestedIp = requested;
    }
    s.hasImage = values["image"] == "1";
    s.image.clear();
    if (s.hasImage) {
        std::uint64_t base = 0, size = 0, crc = 0;
        if (!parseNumber(values["image-base"], 0xFFFFFFFFu, base) ||
            !parseNumber(values["image-size"], 0xFFFFFFFFu, size) ||
            !parseNumber(values["image-crc"], 0xFFFFFFFFu, crc) ||
            !readFile(path + ".image", s.image) || s.image.size() != size ||
            qorproto::crc32(s.image.data(), s.image.size()) != crc) {
            error = path + ": the stored image is missing or damaged";
            return false;
        }
        s.imageBase = std::uint32_t(base);
    }
    state = s;
    return true;
}

bool saveState(const std::string &path, const BoardState &s, std::string &error)
{
    if (s.hasImage && !writeFile(path + ".image", s.image, error))
        return false;
    std::ostringstream out;
    out << "ip=" << formatIPv4(s.ip) << "\n";
    if (s.requestedIp)
        out << "requested-ip=" << formatIPv4(*s.requestedIp) << "\n";
    out << "subnet=" << formatIPv4(s.subnet) << "\n"
        << "gateway=" << formatIPv4(s.gateway) << "\n"
        << "mac=" << formatMac(s.mac) << "\n"
        << "revision=0x" << std::hex << s.revision << std::dec << "\n"
        << "bootstrapped=" << (s.bootstrapped ? 1 : 0) << "\n"
        << "image=" << (s.hasImage ? 1 : 0) << "\n";
    if (s.hasImage) {
        out << "image-base=" << s.imageBase << "\n"
            << "image-size=" << s.image.size() << "\n"
            << "image-crc=" << qorproto::crc32(s.image.data(), s.image.size()) << "\n";
    }
    const std::string text = out.str();
    return writeFile(path, std::vector<std::uint8_t>(text.begin(), text.end()), error);
}

} // namespace emulator
