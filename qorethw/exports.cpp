// The exported entry points: argument checks, handle bookkeeping and errno.
#include "qorethw.h"

#include "config.h"
#include "device.h"
#include "discovery.h"
#include "messages.h"
#include "outcome.h"
#include "upload.h"

#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <new>

using namespace qorethw;
using namespace qorproto;

namespace {

// Handles are numbers, never addresses, so a dead handle stays dead even if memory is reused.
std::mutex registryMutex;
std::map<std::uintptr_t, std::shared_ptr<Device>> registry;
std::uintptr_t lastHandle = 0;

std::shared_ptr<Device> lookup(QEW_HANDLE handle)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    const auto it = registry.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == registry.end() ? nullptr : it->second;
}

// The one place errno is set: as an entry point returns, and only when it fails; a success
// leaves it as the caller had it, whatever the system calls on the way left there. Memory that
// runs out anywhere in a call fails it the one way.
template<typename Call>
std::uint32_t withErrno(const Call &call)
{
    const int callersErrno = errno;
    Outcome outcome = Outcome::success();
    try {
        outcome = call();
    } catch (const std::bad_alloc &) {
        outcome = Outcome::outOfMemory();
    }
    errno = outcome.ok() ? callersErrno : outcome.errnoValue();
    return outcome.code();
}

Outcome openConnection(const char *host, uint32_t mode, QEW_HANDLE &handle)
{
    Destination destination;
    if (!parseHost(host, destination) || mode > QEW_MODE_UPLOAD)
        return Outcome::system(EINVAL);
    if (!destinationAllowed(destination.address))
        return Outcome::system(EACCES);
    std::unique_ptr<Device> device;
    const Outcome outcome = Device::connect(destination, std::uint8_t(mode), device);
    if (!outcome.ok())
        return outcome;
    std::lock_guard<std::mutex> lock(registryMutex);
    const std::uintptr_t id = ++lastHandle;
    registry.emplace(id, std::move(device));
    handle = reinterpret_cast<QEW_HANDLE>(id);
    return outcome;
}

} // namespace

extern "C" {

QEW_HANDLE QEW_CALL QEW_Connect(const char *host, uint32_t mode)
{
    QEW_HANDLE handle = nullptr;
    withErrno([&] { return openConnection(host, mode, handle); });
    return handle;
}

static Outcome disconnect(QEW_HANDLE handle)
{
    std::shared_ptr<Device> device;
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        const auto it = registry.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == registry.end())
            return Outcome::fault(QEW_ERROR_INVALID_HANDLE);
        device = std::move(it->second);
        registry.erase(it);
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    device->sendBye();
    return Outcome::success();
}

static Outcome getStatusEx(QEW_HANDLE handle, uint32_t level, int32_t *length, uint8_t *buffer)
{
    const auto device = lookup(handle);
    if (!device)
        return Outcome::fault(QEW_ERROR_INVALID_HANDLE);
    if (!length || (!buffer && *length > 0) || level > 1)
        return Outcome::fault(QEW_ERROR_INVALID_PARAMETER);
    std::lock_guard<std::mutex> lock(device->mutex);
    std::vector<std::uint8_t> block;
    const Outcome outcome = device->exchange(
        Command::Status, encodeStatusRequest(std::uint8_t(level)), block, deadlineFromNow());
    if (!outcome.ok())
        return outcome;
    if (block.size() > kMaxStatusBlock + 1)
        return Outcome::fault(QEW_ERROR_READ_FAULT);
    if (level == 1 && (block.empty() || block[0] != 1))
        return Outcome::fault(QEW_ERROR_READ_FAULT);
    if (*length < 0 || std::size_t(*length) < block.size()) {
        *length = int32_t(block.size());
        return Outcome::fault(QEW_ERROR_BAD_LENGTH);
    }
    if (!block.empty())
        std::memcpy(buffer, block.data(), block.size());
    *length = int32_t(block.size());
    return Outcome::success();
}

static Outcome changeNetworking(QEW_HANDLE handle, const char *ip, const char *subnet,
                                const char *gateway)
{
    const auto device = lookup(handle);
    if (!device)
        return Outcome::fault(QEW_ERROR_INVALID_HANDLE);
    NetworkSettings settings;
    if (!parseDottedIPv4(ip, settings.ip) || !parseDottedIPv4(subnet, settings.subnet) ||
        !parseDottedIPv4(gateway, settings.gateway))
        return Outcome::fault(QEW_ERROR_INVALID_PARAMETER);
    std::lock_guard<std::mutex> lock(device->mutex);
    std::vector<std::uint8_t> body;
    return device->exchange(Command::ChangeNetworking, encodeNetworkSettings(settings), body,
                            deadlineFromNow());
}

static Outcome rawExchange(QEW_HANDLE handle, int32_t *inLength, const uint8_t *command,
                           int32_t *outLength, uint8_t *reply)
{
    const auto device = lookup(handle);
    if (!device)
        return Outcome::fault(QEW_ERROR_INVALID_HANDLE);
    if (!inLength || !outLength || (!command && *inLength > 0) || (!reply && *outLength > 0))
        return Outcome::fault(QEW_ERROR_INVALID_PARAMETER);
    if (*inLength <= 0 || std::size_t(*inLength) > kMaxPayload)
        return Outcome::fault(QEW_ERROR_BAD_LENGTH);
    std::lock_guard<std::mutex> lock(device->mutex);
    std::vector<std::uint8_t> body;
    const Outcome outcome =
        device->exchange(Command::Raw, std::vector<std::uint8_t>(command, command + *inLength),
                         body, deadlineFromNow());
    if (!outcome.ok())
        return outcome;
    if (*outLength < 0 || std::size_t(*outLength) < body.size()) {
        *outLength = int32_t(body.size());
        return Outcome::fault(QEW_ERROR_BAD_LENGTH);
    }
    if (!body.empty())
        std::memcpy(reply, body.data(), body.size());
    *outLength = int32_t(body.size());
    return Outcome::success();
}

static Outcome uploadFirmware(QEW_HANDLE handle, const char *path, const UploadProgress &progress)
{
    const auto device = lookup(handle);
    if (!device)
        return Outcome::fault(QEW_ERROR_INVALID_HANDLE);
    if (!path || !*path)
        return Outcome::fault(QEW_ERROR_INVALID_PARAMETER);
    std::lock_guard<std::mutex> lock(device->mutex);
    return uploadFile(*device, path, progress);
}

static Outcome discoverBoards(const char *target, uint32_t waitMs, QEW_BoardInfo *boards,
                              int32_t *count, uint32_t *dropped)
{
    if (!count || *count < 0 || (!boards && *count > 0) || waitMs < 1 || waitMs > 10000)
        return Outcome::fault(QEW_ERROR_INVALID_PARAMETER);
    std::vector<DiscoveryTarget> targets;
    Outcome outcome = discoveryTargets(target, targets);
    Discovery discovery;
    if (outcome.ok())
        outcome = discover(targets, int(waitMs), discovery);
    if (!outcome.ok())
        return outcome;
    if (dropped)
        *dropped = discovery.dropped;
    const std::vector<FoundBoard> &found = discovery.boards;
    const std::size_t room = std::size_t(*count);
    for (std::size_t i = 0; i < found.size() && i < room; ++i) {
        const FoundBoard &f = found[i];
        QEW_BoardInfo &b = boards[i];
        b.family = f.family;
        b.flags = f.status.flags;
        b.revision = f.status.revision;
        std::memcpy(b.mac, f.status.mac.data(), 6);
        std::memcpy(b.ip, f.status.network.ip.data(), 4);
        std::memcpy(b.subnet, f.status.network.subnet.data(), 4);
        std::memcpy(b.gateway, f.status.network.gateway.data(), 4);
        std::memcpy(b.source, f.source.data(), 4);
    }
    *count = int32_t(found.size());
    return found.size() > room ? Outcome::fault(QEW_ERROR_BAD_LENGTH) : Outcome::success();
}

uint32_t QEW_CALL QEW_Disconnect(QEW_HANDLE handle)
{
    return withErrno([&] { return disconnect(handle); });
}

uint32_t QEW_CALL QEW_GetStatusEx(QEW_HANDLE handle, uint32_t level, int32_t *length,
                                  uint8_t *buffer)
{
    return withErrno([&] { return getStatusEx(handle, level, length, buffer); });
}

uint32_t QEW_CALL QEW_GetStatus(QEW_HANDLE handle, int32_t *length, uint8_t *buffer)
{
    return withErrno([&] { return getStatusEx(handle, 0, length, buffer); });
}

uint32_t QEW_CALL QEW_ChangeNetworking(QEW_HANDLE handle, const char *ip, const char *subnet,
                                       const char *gateway)
{
    return withErrno([&] { return changeNetworking(handle, ip, subnet, gateway); });
}

uint32_t QEW_CALL QEW_DEB_StrToStr(QEW_HANDLE handle, int32_t *inLength, const uint8_t *command,
                                   int32_t *outLength, uint8_t *reply)
{
    return withErrno([&] { return rawExchange(handle, inLength, command, outLength, reply); });
}

uint32_t QEW_CALL QEW_UploadFirmwareFile(QEW_HANDLE handle, const char *path)
{
    return withErrno([&] { return uploadFirmware(handle, path, {}); });
}

uint32_t QEW_CALL QEW_UploadFirmwareFileEx(QEW_HANDLE handle, const char *path,
                                           QEW_UploadProgress_t progress, void *context)
{
    return withErrno([&] {
        UploadProgress report;
        if (progress)
            report = [progress, context](std::uint64_t done, std::uint64_t total) {
                progress(context, done, total);
            };
        return uploadFirmware(handle, path, report);
    });
}

uint32_t QEW_CALL QEW_Discover(const char *target, uint32_t waitMs, QEW_BoardInfo *boards,
                               int32_t *count)
{
    return withErrno([&] { return discoverBoards(target, waitMs, boards, count, nullptr); });
}

uint32_t QEW_CALL QEW_DiscoverEx(const char *target, uint32_t waitMs, QEW_BoardInfo *boards,
                                 int32_t *count, uint32_t *dropped)
{
    return withErrno([&] { return discoverBoards(target, waitMs, boards, count, dropped); });
}

} // extern "C"
