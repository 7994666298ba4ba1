#include "fakeqorethw.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace fakeqorethw {
namespace {

struct TState
{
    TBehaviour behaviour;
    std::vector<TCall> calls;
    std::set<std::uintptr_t> open;
    std::uintptr_t nextHandle = 1;
};

TState &State()
{
    static TState state;
    return state;
}

void Record(const TCall &call)
{
    State().calls.push_back(call);
    if (State().behaviour.onCall)
        State().behaviour.onCall(call);
}

bool IsOpen(QEW_HANDLE handle)
{
    return State().open.count(reinterpret_cast<std::uintptr_t>(handle)) != 0;
}

TBehaviour DefaultBehaviour()
{
    TBehaviour behaviour;
    behaviour.connect = [](const std::string &, std::uint32_t) { return 0; };
    behaviour.status = [] {
        TStatusReply reply;
        reply.bytes = StatusBlock(0x0101);
        return reply;
    };
    behaviour.upload = [](const std::string &) { return TUploadReply{}; };
    return behaviour;
}

} // namespace

std::vector<std::uint8_t> StatusBlock(std::uint16_t revision)
{
    std::vector<std::uint8_t> block = {'Q',
                                       1,
                                       0,
                                       std::uint8_t(revision >> 8),
                                       std::uint8_t(revision),
                                       2,
                                       0,
                                       0,
                                       0,
                                       0,
                                       1,
                                       127,
                                       0,
                                       0,
                                       1,
                                       255,
                                       0,
                                       0,
                                       0,
                                       127,
                                       0,
                                       0,
                                       1};
    return block;
}

void Reset()
{
    State() = TState{};
    State().behaviour = DefaultBehaviour();
}

TBehaviour &Behaviour()
{
    return State().behaviour;
}

const std::vector<TCall> &Calls()
{
    return State().calls;
}

std::vector<std::string> CallNames()
{
    std::vector<std::string> names;
    for (const TCall &call : State().calls)
        names.push_back(call.function);
    return names;
}

const std::set<std::uintptr_t> &OpenHandles()
{
    return State().open;
}

} // namespace fakeqorethw

using namespace fakeqorethw;

extern "C" {

QEW_API QEW_HANDLE QEW_CALL QEW_Connect(const char *host, uint32_t mode)
{
    TCall call{"QEW_Connect", host ? host : "", mode, 0};
    Record(call);
    const int refusal = State().behaviour.connect ? State().behaviour.connect(call.text, mode) : 0;
    if (refusal != 0) {
        errno = refusal;
        return nullptr;
    }
    const std::uintptr_t handle = State().nextHandle++;
    State().open.insert(handle);
    State().calls.back().handle = handle;
    errno = 0;
    return reinterpret_cast<QEW_HANDLE>(handle);
}

QEW_API uint32_t QEW_CALL QEW_Disconnect(QEW_HANDLE handle)
{
    Record({"QEW_Disconnect", "", 0, reinterpret_cast<std::uintptr_t>(handle)});
    if (!IsOpen(handle))
        return QEW_ERROR_INVALID_HANDLE;
    State().open.erase(reinterpret_cast<std::uintptr_t>(handle));
    return QEW_ERROR_SUCCESS;
}

QEW_API uint32_t QEW_CALL QEW_GetStatus(QEW_HANDLE handle, int32_t *length, uint8_t *buffer)
{
    Record({"QEW_GetStatus", "", 0, reinterpret_cast<std::uintptr_t>(handle)});
    if (!IsOpen(handle))
        return QEW_ERROR_INVALID_HANDLE;
    if (!length || !buffer || *length < 0)
        return QEW_ERROR_INVALID_PARAMETER;
    const TStatusReply reply = State().behaviour.status();
    const std::size_t copied = std::min<std::size_t>(reply.bytes.size(), std::size_t(*length));
    if (copied > 0)
        std::memcpy(buffer, reply.bytes.data(), copied);
    *length = reply.reportLength ? reply.length : std::int32_t(copied);
    return reply.result;
}

QEW_API uint32_t QEW_CALL QEW_GetStatusEx(QEW_HANDLE handle, uint32_t, int32_t *, uint8_t *)
{
    Record({"QEW_GetStatusEx", "", 0, reinterpret_cast<std::uintptr_t>(handle)});
    return QEW_ERROR_INVALID_PARAMETER;
}

QEW_API uint32_t QEW_CALL QEW_ChangeNetworking(QEW_HANDLE handle, const char *, const char *,
                                               const char *)
{
    Record({"QEW_ChangeNetworking", "", 0, reinterpret_cast<std::uintptr_t>(handle)});
    return QEW_ERROR_INVALID_PARAMETER;
}

QEW_API uint32_t QEW_CALL QEW_DEB_StrToStr(QEW_HANDLE handle, int32_t *, const uint8_t *, int32_t *,
                                           uint8_t *)
{
    Record({"QEW_DEB_StrToStr", "", 0, reinterpret_cast<std::uintptr_t>(handle)});
    return QEW_ERROR_INVALID_PARAMETER;
}

QEW_API uint32_t QEW_CALL QEW_UploadFirmwareFile(QEW_HANDLE handle, const char *path)
{
    TCall call{"QEW_UploadFirmwareFile", path ? path : "", 0,
               reinterpret_cast<std::uintptr_t>(handle)};
    Record(call);
    if (!IsOpen(handle))
        return QEW_ERROR_INVALID_HANDLE;
    const TUploadReply reply = State().behaviour.upload(call.text);
    errno = reply.error;
    return reply.result;
}

} // extern "C"
