#include "netif.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char **environ;

namespace emulator {

namespace {

bool runIp(std::vector<std::string> args, std::string &error)
{
    args.insert(args.begin(), "ip");
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int started = ::posix_spawnp(&pid, "ip", nullptr, nullptr, argv.data(), environ);
    if (started != 0) {
        error = std::string("cannot run ip: ") + std::strerror(started);
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR) {
            error = std::string("waiting for ip: ") + std::strerror(errno);
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            error = "ip did not finish within two seconds";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = "ip " + args[1] + " failed";
        return false;
    }
    return true;
}

} // namespace

int prefixLength(const IPv4 &subnet)
{
    int bits = 0;
    for (const std::uint8_t b : subnet)
        for (int i = 7; i >= 0 && (b >> i & 1); --i)
            ++bits;
    return bits;
}

bool setInterfaceAddress(const std::string &name, const IPv4 &ip, const IPv4 &subnet,
                         std::string &error)
{
    return runIp({"-4", "address", "flush", "dev", name}, error) &&
           runIp({"address", "add", formatIPv4(ip) + "/" + std::to_string(prefixLength(subnet)),
                  "broadcast", "+", "dev", name},
                 error);
}

bool setInterfaceMac(const std::string &name, const std::array<std::uint8_t, 6> &mac,
                     std::string &error)
{
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return runIp({"link", "set", "dev", name, "address", text}, error);
}

} // namespace emulator
