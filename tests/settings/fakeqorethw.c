/* A stand-in for the device library, for the binding and popup tests: built several times, each
 * build leaving out some entry points. It answers from state the test sets and logs each call. */
#include "qorethw.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#define FAKE_API __attribute__((visibility("default")))

static char log_text[16384];
static uint8_t status_block[512];
static int status_size;
static int status_reported = -1; /* -1: report what was written */
static uint8_t reply[512];
static int reply_size;
static uint32_t results[8];
static struct QEW_Device *const handle = (struct QEW_Device *)&status_block;

enum { R_STATUS, R_CHANGENET, R_STRTOSTR };

static void (*hook)(const char *call);

/* Called at the start of every entry point with the call's log line. */
FAKE_API void FakeQEW_SetHook(void (*function)(const char *call))
{
    hook = function;
}

static void logf_(const char *text)
{
    if (hook)
        hook(text);
    size_t used = strlen(log_text);
    snprintf(log_text + used, sizeof log_text - used, "%s\n", text);
}

FAKE_API void FakeQEW_Reset(void)
{
    log_text[0] = 0;
    hook = 0;
    status_size = 0;
    status_reported = -1;
    reply_size = 0;
    memset(results, 0, sizeof results);
}

FAKE_API const char *FakeQEW_Log(void)
{
    return log_text;
}

FAKE_API void FakeQEW_SetStatus(const uint8_t *block, int size, int reported)
{
    status_size = size < (int)sizeof status_block ? size : (int)sizeof status_block;
    memcpy(status_block, block, (size_t)status_size);
    status_reported = reported;
}

FAKE_API void FakeQEW_SetReply(const uint8_t *bytes, int size)
{
    reply_size = size < (int)sizeof reply ? size : (int)sizeof reply;
    memcpy(reply, bytes, (size_t)reply_size);
}

/* which: 0 status, 1 change networking, 2 raw exchange */
FAKE_API void FakeQEW_SetResult(int which, uint32_t result)
{
    results[which & 7] = result;
}

#ifndef FAKE_NO_CONNECT
FAKE_API QEW_HANDLE QEW_Connect(const char *host, uint32_t mode)
{
    char line[300];
    snprintf(line, sizeof line, "Connect %s %u", host, mode);
    logf_(line);
    if (strncmp(host, "127.", 4) != 0) {
        errno = 1460;
        return 0;
    }
    return handle;
}
#endif

#ifndef FAKE_NO_DISCONNECT
FAKE_API uint32_t QEW_Disconnect(QEW_HANDLE h)
{
    logf_(h == handle ? "Disconnect" : "Disconnect bad-handle");
    return 0;
}
#endif

#if !defined(FAKE_NO_GETSTATUS) || !defined(FAKE_NO_GETSTATUSEX)
static uint32_t fill_status(int32_t *length, uint8_t *buffer, int front)
{
    int capacity = *length, n = 0;
    if (front && capacity > 0)
        buffer[n++] = 1;
    for (int i = 0; i < status_size && n < capacity; ++i)
        buffer[n++] = status_block[i];
    *length = status_reported >= 0 ? status_reported : n;
    return results[R_STATUS];
}

#endif

#ifndef FAKE_NO_GETSTATUS
FAKE_API uint32_t QEW_GetStatus(QEW_HANDLE h, int32_t *length, uint8_t *buffer)
{
    char line[64];
    snprintf(line, sizeof line, "GetStatus %d%s", *length, h == handle ? "" : " bad-handle");
    logf_(line);
    return fill_status(length, buffer, 0);
}
#endif

#ifndef FAKE_NO_GETSTATUSEX
FAKE_API uint32_t QEW_GetStatusEx(QEW_HANDLE h, uint32_t level, int32_t *length, uint8_t *buffer)
{
    char line[64];
    snprintf(line, sizeof line, "GetStatusEx %u %d%s", level, *length,
             h == handle ? "" : " bad-handle");
    logf_(line);
    return fill_status(length, buffer, 1);
}
#endif

#ifndef FAKE_NO_CHANGENET
FAKE_API uint32_t QEW_ChangeNetworking(QEW_HANDLE h, const char *ip, const char *subnet,
                                       const char *gateway)
{
    char line[400];
    snprintf(line, sizeof line, "ChangeNetworking %s %s %s%s", ip, subnet, gateway,
             h == handle ? "" : " bad-handle");
    logf_(line);
    return results[R_CHANGENET];
}
#endif

#ifndef FAKE_NO_STRTOSTR
FAKE_API uint32_t QEW_DEB_StrToStr(QEW_HANDLE h, int32_t *inLength, const uint8_t *command,
                                   int32_t *outLength, uint8_t *out)
{
    char line[700];
    int used = snprintf(line, sizeof line, "StrToStr %d %d", *inLength, *outLength);
    for (int i = 0; i < *inLength && i < 200; ++i)
        used += snprintf(line + used, sizeof line - (size_t)used, " %02X", command[i]);
    if (h != handle)
        snprintf(line + used, sizeof line - (size_t)used, " bad-handle");
    logf_(line);
    int n = reply_size < *outLength ? reply_size : *outLength;
    memcpy(out, reply, (size_t)(n > 0 ? n : 0));
    *outLength = reply_size;
    return results[R_STRTOSTR];
}
#endif
