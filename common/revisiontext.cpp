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
    static const struct
    {
        std::uint32_t code;
        const char *name;
    } Names[] = {
        {QEW_ERROR_INVALID_HANDLE, "ERROR_INVALID_HANDLE"},
        {QEW_ERROR_BAD_LENGTH, "ERROR_BAD_LENGTH"},
        {QEW_ERROR_READ_FAULT, "ERROR_READ_FAULT"},
        {QEW_ERROR_BAD_NET_RESP, "ERROR_BAD_NET_RESP"},
        {QEW_ERROR_NOACCESS, "ERROR_NOACCESS"},
        {QEW_ERROR_TIMEOUT, "ERROR_TIMEOUT"},
        {QEW_ERROR_NOT_CONNECTED, "ERROR_NOT_CONNECTED"},
    };
    for (const auto &entry : Names)
        if (entry.code == result)
            return QString::fromLatin1(entry.name);
    return QStringLiteral("Error ") + QString::number(result);
}
