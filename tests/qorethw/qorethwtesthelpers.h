// Small helpers shared by the device library tests.
#pragma once

#include "qorethw.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// Closes the handle at the end of a test, whatever happens.
class Connection
{
public:
    explicit Connection(QEW_HANDLE handle = nullptr) : handle_(handle) {}
    ~Connection()
    {
        if (handle_)
            QEW_Disconnect(handle_);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;
    QEW_HANDLE get() const { return handle_; }
    QEW_HANDLE release()
    {
        QEW_HANDLE h = handle_;
        handle_ = nullptr;
        return h;
    }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    QEW_HANDLE handle_;
};

inline QEW_HANDLE connectTo(const QString &host, uint32_t mode = QEW_MODE_STATUS)
{
    return QEW_Connect(host.toLatin1().constData(), mode);
}

// The status block, or an empty array when the call fails (result in *result).
inline QByteArray readStatus(QEW_HANDLE handle, uint32_t *result = nullptr)
{
    uint8_t buffer[256];
    int32_t length = sizeof buffer;
    const uint32_t r = QEW_GetStatus(handle, &length, buffer);
    if (result)
        *result = r;
    return r == 0 ? QByteArray(reinterpret_cast<const char *>(buffer), length) : QByteArray();
}

// How long one status read takes, in milliseconds (its result in *result).
inline qint64 timedReadStatus(QEW_HANDLE handle, uint32_t *result)
{
    QElapsedTimer timer;
    timer.start();
    readStatus(handle, result);
    return timer.elapsed();
}

// One raw command/reply exchange with room for a 256-byte reply; the reply in *reply, empty when
// the call fails.
inline uint32_t rawCommand(QEW_HANDLE handle, const QByteArray &command,
                           QByteArray *reply = nullptr)
{
    int32_t inLength = command.size();
    uint8_t buffer[256];
    int32_t outLength = sizeof buffer;
    const uint32_t r =
        QEW_DEB_StrToStr(handle, &inLength, reinterpret_cast<const uint8_t *>(command.constData()),
                         &outLength, buffer);
    if (reply)
        *reply =
            r == 0 ? QByteArray(reinterpret_cast<const char *>(buffer), outLength) : QByteArray();
    return r;
}

inline int revisionOf(const QByteArray &status)
{
    return status.size() >= 5 ? (quint8(status[3]) << 8 | quint8(status[4])) : -1;
}

inline QString ipText(const QByteArray &status, int offset)
{
    if (status.size() < offset + 4)
        return QString();
    return QStringLiteral("%1.%2.%3.%4")
        .arg(quint8(status[offset]))
        .arg(quint8(status[offset + 1]))
        .arg(quint8(status[offset + 2]))
        .arg(quint8(status[offset + 3]));
}

// A loopback address nobody listens on at the port.
inline QString unusedLoopbackAddress(quint16 port = 20805)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = QStringLiteral("127.%1.%2.%3")
                                      .arg(QRandomGenerator::global()->bounded(1, 255))
                                      .arg(QRandomGenerator::global()->bounded(0, 256))
                                      .arg(QRandomGenerator::global()->bounded(1, 255));
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        ::inet_pton(AF_INET, candidate.toLatin1().constData(), &a.sin_addr);
        const bool free = ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
        ::close(fd);
        if (free)
            return candidate;
    }
    return QString();
}
