#include "mactext.h"

QString FormatBytes(const QString &separator, const char *pattern, const QByteArray &bytes)
{
    QString text;
    for (const char byte : bytes) {
        if (!text.isEmpty())
            text += separator;
        text += QString::asprintf(pattern, int(quint8(byte)));
    }
    return text;
}

QStringList SplitText(const QString &text, QChar ch)
{
    return text.split(ch, Qt::KeepEmptyParts);
}

quint32 BytesToInt(const QByteArray &bytes)
{
    quint32 value = 0;
    const int n = qMin(4, int(bytes.size()));
    for (int i = n - 1; i >= 0; --i)
        value = (value << 8) | quint8(bytes[i]);
    return value;
}

namespace {

// Blanks and control characters, as the typed text may carry them at either end.
QString TrimControls(const QString &s)
{
    int begin = 0, end = int(s.size());
    while (begin < end && s[begin].unicode() <= 0x20)
        ++begin;
    while (end > begin && s[end - 1].unicode() <= 0x20)
        --end;
    return s.mid(begin, end - begin);
}

bool HexValue(const QString &s, quint32 *value)
{
    if (s.isEmpty())
        return false;
    quint64 v = 0;
    for (const QChar c : s) {
        const ushort u = c.unicode();
        int digit;
        if (u >= '0' && u <= '9')
            digit = u - '0';
        else if (u >= 'A' && u <= 'F')
            digit = u - 'A' + 10;
        else if (u >= 'a' && u <= 'f')
            digit = u - 'a' + 10;
        else
            return false;
        v = v * 16 + quint64(digit);
        if (v > 0xFFFFFFFFull)
            return false;
    }
    *value = quint32(v);
    return true;
}

} // namespace

bool ParseMac(const QString &text, QByteArray *bytes, QString *error)
{
    QByteArray parsed;
    for (const QString &piece : SplitText(text, QLatin1Char('-'))) {
        const QString trimmed = TrimControls(piece);
        quint32 value = 0;
        if (!HexValue(trimmed, &value)) {
            *error = QStringLiteral("'$%1' is not a valid integer value").arg(trimmed);
            return false;
        }
        if (value > 255) {
            *error = QStringLiteral("MAC byte \"%1\" is out of range.").arg(piece);
            return false;
        }
        parsed.append(char(value));
    }
    if (parsed.size() != 6) {
        *error = QStringLiteral("MAC must have 6 bytes, but \"%1\" has %2.")
                     .arg(FormatBytes(QStringLiteral("-"), "%.2X", parsed))
                     .arg(parsed.size());
        return false;
    }
    *bytes = parsed;
    return true;
}
