// The exported entry points: argument checks, handle bookkeeping and errno.
#include "qorethw.h"

#include "config.h"
#include "device.h"
#include "messages.h"
#include "upload.h"

#include <cerrno>
#include <cstring>
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

} // namespace

extern "C" {

QEW_HANDLE QEW_CALL QEW_Connect(const char *host, uint32_t mode)
{
    Destination destination;
    if (!parseHost(host, destination) || mode > QEW_MODE_UPLOAD) {
        errno = EINVAL;
        return nullptr;
    }
    if (loopbackOnly() && !isLoopback(destination.address)) {
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

uint32_t QEW_CALL QEW_Disconnect(QEW_HANDLE handle)
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

uint32_t QEW_CALL QEW_GetStatusEx(QEW_HANDLE handle, uint32_t level, int32_t *length,
                                  uint8_t *buffer)
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

uint32_t QEW_CALL QEW_GetStatus(QEW_HANDLE handle, int32_t *length, uint8_t *buffer)
{
    return QEW_GetStatusEx(handle, 0, length, buffer);
}

uint32_t QEW_CALL QEW_ChangeNetworking(QEW_HANDLE handle, const char *ip, const char *subnet,
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

uint32_t QEW_CALL QEW_DEB_StrToStr(QEW_HANDLE handle, int32_t *inLength, const uint8_t *command,
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

uint32_t QEW_CALL QEW_UploadFirmwareFileEx(QEW_HANDLE handle, const char *path,
                                           QEW_UploadProgress_t progress, void *context)
{
    const auto device = lookup(handle);
    if (!device)
        return QEW_ERROR_INVALID_HANDLE;
    if (!path || !*path)
        return QEW_ERROR_INVALID_PARAMETER;
    UploadProgress report;
    if (progress)
        report = [progress, context](std::uint64_t done, std::uint64_t total) {
            progress(context, done, total);
        };
    std::lock_guard<std::mutex> lock(device->mutex);
    return finish(*device, uploadFile(*device, path, report));
}

uint32_t QEW_CALL QEW_UploadFirmwareFile(QEW_HANDLE handle, const char *path)
{
    return QEW_UploadFirmwareFileEx(handle, path, nullptr, nullptr);
}

} // extern "C"
