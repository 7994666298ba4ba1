/*
 * QORETHW: the Ethernet device library of the digital I/O board.
 *
 * Both programs include this header: Vornik links against libQORETHW.so, settings loads it by
 * name and looks the functions up through the pointer types below.
 *
 * Results are system error numbers (the numbers below), 0 for success. When QEW_Connect returns
 * 0, or QEW_UploadFirmwareFile returns QEW_ERROR_BAD_NET_RESP, the reason is in the thread's
 * last-error code (errno on Linux). docs/protocol.md says which call returns which number.
 *
 * After every call that fails, errno holds: the board's error code for QEW_ERROR_BAD_NET_RESP;
 * otherwise ENOENT (2), EBADF (6), EINVAL (13, 87), EMSGSIZE (24), EIO (30), EACCES (998),
 * ETIMEDOUT (1460), ENOTCONN (2250); ENOMEM (with 2250) when memory ran out. A call that
 * succeeds leaves errno as it was.
 */
#ifndef QORETHW_H
#define QORETHW_H

#include <stdint.h>

#if defined(_WIN32)
#define QEW_CALL __cdecl
#if defined(QORETHW_BUILDING)
#define QEW_API __declspec(dllexport)
#else
#define QEW_API __declspec(dllimport)
#endif
#else
#define QEW_CALL
#define QEW_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque, pointer-sized connection handle; 0 means none. */
typedef struct QEW_Device *QEW_HANDLE;

/* The error numbers the programs know (the Windows system error numbers). */
#define QEW_ERROR_SUCCESS 0u
#define QEW_ERROR_FILE_NOT_FOUND 2u
#define QEW_ERROR_INVALID_HANDLE 6u
#define QEW_ERROR_INVALID_DATA 13u
#define QEW_ERROR_BAD_LENGTH 24u
#define QEW_ERROR_READ_FAULT 30u
#define QEW_ERROR_BAD_NET_RESP 58u
#define QEW_ERROR_INVALID_PARAMETER 87u
#define QEW_ERROR_NOACCESS 998u
#define QEW_ERROR_TIMEOUT 1460u
#define QEW_ERROR_NOT_CONNECTED 2250u

/* Connection modes of QEW_Connect. */
#define QEW_MODE_STATUS 0u
#define QEW_MODE_UPLOAD 1u

QEW_API QEW_HANDLE QEW_CALL QEW_Connect(const char *host, uint32_t mode);
QEW_API uint32_t QEW_CALL QEW_Disconnect(QEW_HANDLE handle);
/* length: in, the buffer's size; out, the bytes filled. */
QEW_API uint32_t QEW_CALL QEW_GetStatus(QEW_HANDLE handle, int32_t *length, uint8_t *buffer);
/* Level 1: the status block with one byte in front. */
QEW_API uint32_t QEW_CALL QEW_GetStatusEx(QEW_HANDLE handle, uint32_t level, int32_t *length,
                                          uint8_t *buffer);
QEW_API uint32_t QEW_CALL QEW_ChangeNetworking(QEW_HANDLE handle, const char *ip,
                                               const char *subnet, const char *gateway);
/* A raw command/reply exchange; outLength: in, the reply buffer's size; out, the reply's length. */
QEW_API uint32_t QEW_CALL QEW_DEB_StrToStr(QEW_HANDLE handle, int32_t *inLength,
                                           const uint8_t *command, int32_t *outLength,
                                           uint8_t *reply);
QEW_API uint32_t QEW_CALL QEW_UploadFirmwareFile(QEW_HANDLE handle, const char *path);

typedef void(QEW_CALL *QEW_UploadProgress_t)(void *context, uint64_t done, uint64_t total);
/* Like QEW_UploadFirmwareFile; progress (may be null) is called on the calling thread as the board
 * acknowledges data: done and total in bytes of the image (total 0 while not yet known). */
QEW_API uint32_t QEW_CALL QEW_UploadFirmwareFileEx(QEW_HANDLE handle, const char *path,
                                                   QEW_UploadProgress_t progress, void *context);

/* One board that answered discovery. */
typedef struct QEW_BoardInfo
{
    uint8_t family;     /* board family, 'Q' */
    uint8_t flags;      /* bit 0: bootstrap taken, bit 1: holds an image */
    uint16_t revision;  /* firmware revision, 0x0100 = 1.0 */
    uint8_t mac[6];     /* MAC address */
    uint8_t ip[4];      /* the board's IP address, first octet first */
    uint8_t subnet[4];  /* its subnet mask */
    uint8_t gateway[4]; /* its gateway */
    uint8_t source[4];  /* the address its answer came from */
} QEW_BoardInfo;

/* The most answers one discovery lists; more are dropped and counted (QEW_DiscoverEx). */
#define QEW_DISCOVER_MAX_BOARDS 65536

/*
 * Finds boards without knowing their addresses. Sends one discovery request (twice, 250 ms
 * apart, when waitMs allows, in case one is lost) and collects answers for waitMs milliseconds
 * (1 .. 10000), then returns: that is the call's time bound, whatever arrives.
 *
 * target: null or "" sends the limited broadcast 255.255.255.255 out of every IPv4 interface
 * that is up and can broadcast (boards on another subnet hear it too, and answer to the
 * broadcast address); "a.b.c.d" asks that one address; "a.b.c.d/prefix" sends to that subnet's
 * broadcast address. Names are never looked up.
 *
 * Only an answer exactly as docs/protocol.md defines it counts: a reply to this request (its
 * sequence number, session 0, from the board port), status 0 and a 23-byte status block of
 * family 'Q' and protocol version 1, whose MAC is a unicast one other than all zero, and whose IP
 * is none of 0.x.x.x, multicast, 240.0.0.0 and above (broadcast included), or loopback (unless
 * the answer came from loopback itself: an emulated board on this host). Anything else is
 * dropped (QEW_DiscoverEx counts it).
 *
 * boards: room for *count entries (boards may be null when *count is 0). On return *count is
 * the number of answers, in the order they came: each distinct MAC, IP and source address once
 * (a board asked twice is listed once). A MAC listed twice answered from two addresses, an IP
 * listed twice is claimed by two MACs: conflicts are the caller's to show. At most
 * QEW_DISCOVER_MAX_BOARDS answers are listed.
 *
 * Returns 0; QEW_ERROR_BAD_LENGTH (errno EMSGSIZE) when more answers came than there was room
 * for: the first ones are filled in and *count says how many came (one call with room for
 * QEW_DISCOVER_MAX_BOARDS never gets it); QEW_ERROR_INVALID_PARAMETER for a null count, a
 * negative count, a null boards with room, a waitMs out of range or a malformed target (nothing
 * sent); QEW_ERROR_NOACCESS when QORETHW_LOOPBACK_ONLY forbids every destination asked for
 * (nothing sent); QEW_ERROR_NOT_CONNECTED when no request could be sent or the socket failed.
 * Uses no handle; any number of threads may call it at once, each on a socket of its own.
 */
QEW_API uint32_t QEW_CALL QEW_Discover(const char *target, uint32_t waitMs, QEW_BoardInfo *boards,
                                       int32_t *count);
/* QEW_Discover that also tells, in *dropped (may be null), how many datagrams it dropped: those
 * that were not a board's answer as above, and answers beyond QEW_DISCOVER_MAX_BOARDS. */
QEW_API uint32_t QEW_CALL QEW_DiscoverEx(const char *target, uint32_t waitMs, QEW_BoardInfo *boards,
                                         int32_t *count, uint32_t *dropped);

/* The entry points as settings resolves them by name. */
typedef QEW_HANDLE(QEW_CALL *QEW_Connect_t)(const char *, uint32_t);
typedef uint32_t(QEW_CALL *QEW_Disconnect_t)(QEW_HANDLE);
typedef uint32_t(QEW_CALL *QEW_GetStatus_t)(QEW_HANDLE, int32_t *, uint8_t *);
typedef uint32_t(QEW_CALL *QEW_GetStatusEx_t)(QEW_HANDLE, uint32_t, int32_t *, uint8_t *);
typedef uint32_t(QEW_CALL *QEW_ChangeNetworking_t)(QEW_HANDLE, const char *, const char *,
                                                   const char *);
typedef uint32_t(QEW_CALL *QEW_DEB_StrToStr_t)(QEW_HANDLE, int32_t *, const uint8_t *, int32_t *,
                                               uint8_t *);
typedef uint32_t(QEW_CALL *QEW_UploadFirmwareFile_t)(QEW_HANDLE, const char *);
typedef uint32_t(QEW_CALL *QEW_UploadFirmwareFileEx_t)(QEW_HANDLE, const char *,
                                                       QEW_UploadProgress_t, void *);
typedef uint32_t(QEW_CALL *QEW_Discover_t)(const char *, uint32_t, QEW_BoardInfo *, int32_t *);
typedef uint32_t(QEW_CALL *QEW_DiscoverEx_t)(const char *, uint32_t, QEW_BoardInfo *, int32_t *,
                                             uint32_t *);

#ifdef __cplusplus
}
#endif

#endif /* QORETHW_H */
