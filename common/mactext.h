// Byte and MAC-address text shared by the settings program and the command-line tool.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Each byte formatted with the printf pattern ("%.2X", "%d"), joined by the separator.
QString FormatBytes(const QString &separator, const char *pattern, const QByteArray &bytes);

// The pieces between occurrences of ch, empty pieces included; "" gives one empty piece.
QStringList SplitText(const QString &text, QChar ch);

// Little-endian value of the first (up to) four bytes; no bytes give 0.
quint32 BytesToInt(const QByteArray &bytes);

// Parses a MAC address typed as hex pieces joined by "-". On success fills bytes with the six
// values; otherwise returns false with the message for the error box.
bool ParseMac(const QString &text, QByteArray *bytes, QString *error);
