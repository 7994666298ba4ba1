#include "boardjob.h"

#include "macchange.h"
#include "mactext.h"
#include "qorethw.h"
#include "revisiontext.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>

namespace {

// The board's revision 1.0: boards at or below it need the bootstrap first.
constexpr int BootstrapRevision = 0x0100;

// Closes the handle however the job ends.
class Connection
{
public:
    Connection(const QString &host, uint32_t mode)
    {
        errno = 0;
        m_handle = QEW_Connect(host.toLocal8Bit().constData(), mode);
        m_error = quint32(errno);
    }
    ~Connection()
    {
        if (m_handle)
            QEW_Disconnect(m_handle);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;
    QEW_HANDLE get() const { return m_handle; }
    quint32 error() const { return m_error; }

private:
    QEW_HANDLE m_handle = nullptr;
    quint32 m_error = 0;
};

BoardResult failed(BoardResult result, quint32 error, const QString &message)
{
    result.ok = false;
    result.error = error;
    result.message = message;
    return result;
}

BoardResult connectFailed(const BoardResult &result, const Connection &connection,
                          const QString &host)
{
    return failed(result, connection.error(),
                  QStringLiteral("Error %1 connecting to %2.").arg(connection.error()).arg(host));
}

// Fills the status fields; the library's result, or 0.
quint32 fillStatus(QEW_HANDLE handle, BoardResult &result)
{
    std::array<uint8_t, 64> buffer{};
    int32_t length = int32_t(buffer.size());
    const uint32_t r = QEW_GetStatusEx(handle, 1, &length, buffer.data());
    if (r != QEW_ERROR_SUCCESS)
        return r;
    // The level-1 block: one byte in front of the status block.
    const QByteArray block(reinterpret_cast<const char *>(buffer.data()),
                           std::clamp<int32_t>(length, 0, int32_t(buffer.size())));
    if (block.size() < 24)
        return QEW_ERROR_READ_FAULT;
    result.hasStatus = true;
    result.bootstrapped = (quint8(block[3]) & 0x01) != 0;
    result.revision = quint8(block[4]) * 256 + quint8(block[5]);
    result.mac = FormatBytes(QStringLiteral("-"), "%.2X", block.mid(6, 6));
    result.ip = FormatBytes(QStringLiteral("."), "%d", block.mid(12, 4));
    result.subnet = FormatBytes(QStringLiteral("."), "%d", block.mid(16, 4));
    result.gateway = FormatBytes(QStringLiteral("."), "%d", block.mid(20, 4));
    return QEW_ERROR_SUCCESS;
}

// Vornik's readout rule: -1 when the revision cannot be read.
int readRevision(const QString &host)
{
    Connection connection(host, QEW_MODE_STATUS);
    if (!connection.get())
        return -1;
    std::array<uint8_t, 32> buffer{};
    int32_t length = int32_t(buffer.size());
    if (QEW_GetStatus(connection.get(), &length, buffer.data()) != QEW_ERROR_SUCCESS || length < 6)
        return -1;
    return buffer[3] * 256 + buffer[4];
}

struct ProgressContext
{
    const JobProgress *progress;
    QString phase;
};

void QEW_CALL onProgress(void *context, uint64_t done, uint64_t total)
{
    const auto *c = static_cast<const ProgressContext *>(context);
    if (*c->progress)
        (*c->progress)(c->phase, done, total);
}

// One image over an open upload connection; 0 or the library's result, board code in boardError.
uint32_t uploadOne(QEW_HANDLE handle, const QString &file, const QString &phase,
                   const JobProgress &progress, int &boardError)
{
    ProgressContext context{&progress, phase};
    errno = 0;
    const uint32_t r =
        QEW_UploadFirmwareFileEx(handle, QFile::encodeName(file).constData(), onProgress, &context);
    boardError = errno;
    return r;
}

QString uploadErrorText(uint32_t result, int boardError, const QString &what)
{
    if (result == QEW_ERROR_BAD_NET_RESP)
        return QStringLiteral("Device returned error %1 uploading %2.")
            .arg(quint32(boardError))
            .arg(what);
    return QStringLiteral("Error %1 uploading %2.").arg(result).arg(what);
}

} // namespace

BoardResult readStatus(const QString &host)
{
    BoardResult result;
    result.host = host;
    Connection connection(host, QEW_MODE_STATUS);
    if (!connection.get())
        return connectFailed(result, connection, host);
    const quint32 r = fillStatus(connection.get(), result);
    if (r != QEW_ERROR_SUCCESS)
        return failed(result, r, QStringLiteral("Status: [%1]").arg(StatusErrorText(r)));
    result.ok = true;
    return result;
}

BoardResult uploadFirmware(const QString &host, const QString &file, const QString &bootstrapFile,
                           const JobProgress &progress)
{
    BoardResult result;
    result.host = host;
    if (progress)
        progress(QStringLiteral("connecting"), 0, 0);
    auto connection = std::make_unique<Connection>(host, QEW_MODE_UPLOAD);
    if (!connection->get())
        return failed(result, connection->error(),
                      QStringLiteral("Error %1 connecting.").arg(connection->error()));
    result.revision = readRevision(host);
    int boardError = 0;
    if (result.revision <= BootstrapRevision) {
        const uint32_t r = uploadOne(connection->get(), bootstrapFile, QStringLiteral("bootstrap"),
                                     progress, boardError);
        if (r != QEW_ERROR_SUCCESS)
            return failed(result, r == QEW_ERROR_BAD_NET_RESP ? quint32(boardError) : r,
                          uploadErrorText(r, boardError, QStringLiteral("bootstrap")));
        if (progress)
            progress(QStringLiteral("reconnecting"), 0, 0);
        connection.reset();
        connection = std::make_unique<Connection>(host, QEW_MODE_UPLOAD);
        if (!connection->get())
            return failed(result, connection->error(),
                          QStringLiteral("Error %1 reconnecting.").arg(connection->error()));
    }
    const uint32_t r =
        uploadOne(connection->get(), file, QStringLiteral("firmware"), progress, boardError);
    if (r != QEW_ERROR_SUCCESS)
        return failed(result, r == QEW_ERROR_BAD_NET_RESP ? quint32(boardError) : r,
                      uploadErrorText(r, boardError, QStringLiteral("firmware")));
    connection.reset();
    result.revisionAfter = readRevision(host);
    result.ok = true;
    result.message = QStringLiteral("Uploaded %1!").arg(file);
    return result;
}

BoardResult setNetwork(const QString &host, const QStringList &network)
{
    BoardResult result;
    result.host = host;
    Connection connection(host, QEW_MODE_STATUS);
    if (!connection.get())
        return connectFailed(result, connection, host);
    const uint32_t r = QEW_ChangeNetworking(connection.get(), network[0].toLocal8Bit().constData(),
                                            network[1].toLocal8Bit().constData(),
                                            network[2].toLocal8Bit().constData());
    if (r != QEW_ERROR_SUCCESS)
        return failed(result, r,
                      QStringLiteral("Error %1 changing the device's network settings.").arg(r));
    result.ok = true;
    result.message = QStringLiteral(
        "Device's network settings changed. In a moment, you can connect to it there.");
    return result;
}

BoardResult setMac(const QString &host, const QString &text)
{
    BoardResult result;
    result.host = host;
    QByteArray mac;
    QString error;
    if (!ParseMac(text, &mac, &error))
        return failed(result, QEW_ERROR_INVALID_PARAMETER, error);
    Connection connection(host, QEW_MODE_STATUS);
    if (!connection.get())
        return connectFailed(result, connection, host);
    // The computer's cached entry is cleared for the address without its port.
    const MacChangeOutcome outcome =
        ChangeMac(QEW_DEB_StrToStr, connection.get(), mac, host.section(QLatin1Char(':'), 0, 0));
    if (!outcome.ok())
        return failed(result, outcome.error ? outcome.error : outcome.code, outcome.failureText());
    result.ok = true;
    result.mac = FormatBytes(QStringLiteral("-"), "%.2X", mac);
    result.message = QStringLiteral("Device's MAC address changed.");
    return result;
}
