// A device library for the uploader's tests: the seven entry points, played by the test.
#pragma once

#include "qorethw.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#define FAKEQORETHW_API __attribute__((visibility("default")))

namespace fakeqorethw {

// One entry point as it was called.
struct TCall
{
    std::string function; // "QEW_Connect", "QEW_GetStatus", ...
    std::string text;     // the host or the path
    std::uint32_t mode = 0;
    std::uintptr_t handle = 0; // the handle passed, or for QEW_Connect the one returned
};

struct TStatusReply
{
    std::uint32_t result = 0;
    std::vector<std::uint8_t> bytes; // copied into the caller's buffer, up to its size
    bool reportLength = false;       // report `length` rather than the bytes copied
    std::int32_t length = 0;
};

struct TUploadReply
{
    std::uint32_t result = 0;
    int error = 0; // left in errno
};

struct TBehaviour
{
    // 0 accepts the connection; anything else refuses it and is left in errno.
    std::function<int(const std::string &host, std::uint32_t mode)> connect;
    std::function<TStatusReply()> status;
    std::function<TUploadReply(const std::string &path)> upload;
    // Called as each entry point starts, before it does anything.
    std::function<void(const TCall &)> onCall;
};

// A 23-byte status block reporting the revision.
FAKEQORETHW_API std::vector<std::uint8_t> StatusBlock(std::uint16_t revision);

// Every connection accepted, status reporting 1.0.1, every upload taken; no calls, no handles.
FAKEQORETHW_API void Reset();
FAKEQORETHW_API TBehaviour &Behaviour();
FAKEQORETHW_API const std::vector<TCall> &Calls();
FAKEQORETHW_API std::vector<std::string> CallNames();
FAKEQORETHW_API const std::set<std::uintptr_t> &OpenHandles();

} // namespace fakeqorethw
