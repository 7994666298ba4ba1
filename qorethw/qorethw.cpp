// The exported entry points: argument checks, handle bookkeeping and errno.
#include "qorethw.h"

#include "config.h"
#include "device.h"
#include "discovery.h"
#include "messages.h"
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

std::uint32_t finish(Device &device, std::uint32_t result)
{
    if (result == QEW_ERROR_BAD_NET_RESP)
        errno = int(device.boardError());
    return result;
}

// Every failing call leaves a defined errno: the board's code for 58, else one fixed value per
// result, so that a caller never reads an earlier call's leftover.
std::uint32_t withErrno(std::uint32_t result)
{
    switch (result) {
    case QEW_ERROR_SUCCESS:
    case QEW_ERROR_BAD_NET_RESP: // finish() has put the board's code there
        break;
    case QEW_ERROR_FILE_NOT_FOUND:
        errno = ENOENT;
        break;
    case QEW_ERROR_INVALID_HANDLE:
        errno = EBADF;
        break;
    case QEW_ERROR_BAD_LENGTH:
        errno = EMSGSIZE;
        break;
    case QEW_ERROR_READ_FAULT:
        errno = EIO;
        break;
    case QEW_ERROR_TIMEOUT:
        errno = ETIMEDOUT;
        break;
    case QEW_ERROR_NOT_CONNECTED:
        errno = ENOTCONN;
        break;
    case QEW_ERROR_NOACCESS:
        errno = EACCES;
        break;
    default: // QEW_ERROR_INVALID_DATA, QEW_ERROR_INVALID_PARAMETER
        errno = EINVAL;
        break;
    }
    return result;
}

} // namespace

extern "C" {

QEW_HANDLE QEW_CALL QEW_Connect(const char *host, uint32_t mode)
{
    Destination destination;
    if (!parseHost(host, destination) || mode > QEW_MODE_UPLOAD) {
        errno = EINVAL;
        return nullptr;
    }
    if (!destinationAllowed(destination.address)) {
        errno = EACCES;
        return nullptr;
    }
    int error = 0;
    std::shared_ptr<Device> device;
    try {
        device = Device::connect(destination, std::uint8_t(mode), error);
    } catch (const std::bad_alloc &) {
        error = ENOMEM;
    }
    if (!device) {
        errno = error;
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(registryMutex);
    const std::uintptr_t id = ++lastHandle;
    registry.emplace(id, std::move(device));
    return reinterpret_cast<QEW_HANDLE>(id);
}

static uint32_t disconnect(QEW_HANDLE handle)
{
    std::shared_ptr<Device> device;
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        const auto it = registry.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == registry.end())
            return QEW_ERROR_INVALID_HANDLE;
        device = std::move(it->second);
        registry.erase(it);
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    device->sendBye();
    return QEW_ERROR_SUCCESS;
}

static uint32_t getStatusEx(QEW_HANDLE handle, uint32_t level, int32_t *length, uint8_t *buffer)
{
    const auto device = lookup(handle);
    if (!device)
        return QEW_ERROR_INVALID_HANDLE;
    if (!length || (!buffer && *length > 0) || level > 1)
        return QEW_ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(device->mutex);
    std::vector<std::uint8_t> block;
    const std::uint32_t result = device->exchange(
        Command::Status, encodeStatusRequest(std::uint8_t(level)), block, deadlineFromNow());
    if (result != QEW_ERROR_SUCCESS)
        return finish(*device, result);
    if (block.size() > kMaxStatusBlock + 1)
        return QEW_ERROR_READ_FAULT;
    if (level == 1 && (block.empty() || block[0] != 1))
        return QEW_ERROR_READ_FAULT;
    if (*length < 0 || std::size_t(*length) < block.size()) {
        *length = int32_t(block.size());
        return QEW_ERROR_BAD_LENGTH;
    }
    if (!block.empty())
        std::memcpy(buffer, block.data(), block.size());
    *length = int32_t(block.size());
    return QEW_ERROR_SUCCESS;
}

static uint32_t changeNetworking(QEW_HANDLE handle, const char *ip, const char *subnet,
                                 const char *gateway)
{
    const auto device = lookup(handle);
    if (!device)
        return QEW_ERROR_INVALID_HANDLE;
    NetworkSettings settings;
    if (!parseDottedIPv4(ip, settings.ip) || !parseDottedIPv4(subnet, settings.subnet) ||
        !parseDottedIPv4(gateway, settings.gateway))
        return QEW_ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(device->mutex);
    std::vector<std::uint8_t> body;
    return finish(*device,
                  device->exchange(Command::ChangeNetworking, encodeNetworkSettings(settings), body,
                                   deadlineFromNow()));
}

static uint32_t rawExchange(QEW_HANDLE handle, int32_t *inLength, const uint8_t *command,
                            int32_t *outLength, uint8_t *reply)
{
    const auto device = lookup(handle);
    if (!device)
        return QEW_ERROR_INVALID_HANDLE;
    if (!inLength || !outLength || (!command && *inLength > 0) || (!reply && *outLength > 0))
        return QEW_ERROR_INVALID_PARAMETER;
    if (*inLength <= 0 || std::size_t(*inLength) > kMaxPayload)
        return QEW_ERROR_BAD_LENGTH;
    std::lock_guard<std::mutex> lock(device->mutex);
    std::vector<std::uint8_t> body;
    const std::uint32_t result =
        device->exchange(Command::Raw, std::vector<std::uint8_t>(command, command + *inLength),
                         body, deadlineFromNow());
    if (result != QEW_ERROR_SUCCESS)
        return finish(*device, result);
    if (*outLength < 0 || std::size_t(*outLength) < body.size()) {
        *outLength = int32_t(body.size());
        return QEW_ERROR_BAD_LENGTH;
    }
    if (!body.empty())
        std::memcpy(reply, body.data(), body.size());
    *outLength = int32_t(body.size());
    return QEW_ERROR_SUCCESS;
}

static uint32_t uploadFirmware(QEW_HANDLE handle, const char *path, const UploadProgress &progress)
{
    const auto device = lookup(handle);
    if (!device)
        return QEW_ERROR_INVALID_HANDLE;
    if (!path || !*path)
        return QEW_ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(device->mutex);
    return finish(*device, uploadFile(*device, path, progress));
}

uint32_t QEW_CALL QEW_Disconnect(QEW_HANDLE handle)
{
    return withErrno(disconnect(handle));
}

uint32_t QEW_CALL QEW_GetStatusEx(QEW_HANDLE handle, uint32_t level, int32_t *length,
                                  uint8_t *buffer)
{
    return withErrno(getStatusEx(handle, level, length, buffer));
}

uint32_t QEW_CALL QEW_GetStatus(QEW_HANDLE handle, int32_t *length, uint8_t *buffer)
{
    return withErrno(getStatusEx(handle, 0, length, buffer));
}

uint32_t QEW_CALL QEW_ChangeNetworking(QEW_HANDLE handle, const char *ip, const char *subnet,
                                       const char *gateway)
{
    return withErrno(changeNetworking(handle, ip, subnet, gateway));
}

uint32_t QEW_CALL QEW_DEB_StrToStr(QEW_HANDLE handle, int32_t *inLength, const uint8_t *command,
                                   int32_t *outLength, uint8_t *reply)
{
    return withErrno(rawExchange(handle, inLength, command, outLength, reply));
}

uint32_t QEW_CALL QEW_UploadFirmwareFile(QEW_HANDLE handle, const char *path)
{
    return withErrno(uploadFirmware(handle, path, {}));
}

uint32_t QEW_CALL QEW_UploadFirmwareFileEx(QEW_HANDLE handle, const char *path,
                                           QEW_UploadProgress_t progress, void *context)
{
    UploadProgress report;
    if (progress)
        report = [progress, context](std::uint64_t done, std::uint64_t total) {
            progress(context, done, total);
        };
    return withErrno(uploadFirmware(handle, path, report));
}

uint32_t QEW_CALL QEW_Discover(const char *target, uint32_t waitMs, QEW_BoardInfo *boards,
                               int32_t *count)
{
    if (!count || *count < 0 || (!boards && *count > 0) || waitMs < 1 || waitMs > 10000)
        return withErrno(QEW_ERROR_INVALID_PARAMETER);
    try {
        std::vector<DiscoveryTarget> targets;
        std::uint32_t result = discoveryTargets(target, targets);
        std::vector<FoundBoard> found;
        if (result == QEW_ERROR_SUCCESS)
            result = discover(targets, int(waitMs), found);
        if (result != QEW_ERROR_SUCCESS)
            return withErrno(result);
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
        return withErrno(found.size() > room ? QEW_ERROR_BAD_LENGTH : QEW_ERROR_SUCCESS);
    } catch (const std::bad_alloc &) {
        return withErrno(QEW_ERROR_NOT_CONNECTED);
    }
}

} // extern "C"
