#include "revisiontext.h"

#include "qorethw.h"

QString FormatRevision(int word)
{
    const int major = (word >> 8) & 0xFF;
    const int minor = (word >> 4) & 0x0F;
    const int patch = word & 0x0F;
    QString text = QString::number(major) + QLatin1Char('.') + QString::number(minor);
    if (patch != 0)
        text += QLatin1Char('.') + QString::number(patch);
    return text;
}

QString HexDump(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += HexDigit(byte >> 4);
        text += HexDigit(byte);
        text += QLatin1Char(' ');
    }
    return text;
}

QChar HexDigit(int value)
{
    static const char digits[] = "0123456789ABCDEF";
    return QLatin1Char(digits[value & 0x0F]);
}

QString StatusErrorText(std::uint32_t result)
{
    switch (result) {
    case QEW_ERROR_INVALID_HANDLE:
        return QStringLiteral("ERROR_INVALID_HANDLE");
    case QEW_ERROR_BAD_LENGTH:
        return QStringLiteral("ERROR_BAD_LENGTH");
    case QEW_ERROR_READ_FAULT:
        return QStringLiteral("ERROR_READ_FAULT");
    case QEW_ERROR_BAD_NET_RESP:
        return QStringLiteral("ERROR_BAD_NET_RESP");
    case QEW_ERROR_NOACCESS:
        return QStringLiteral("ERROR_NOACCESS");
    case QEW_ERROR_TIMEOUT:
        return QStringLiteral("ERROR_TIMEOUT");
    case QEW_ERROR_NOT_CONNECTED:
        return QStringLiteral("ERROR_NOT_CONNECTED");
    default:
        return QStringLiteral("Error ") + QString::number(result);
    }
}
