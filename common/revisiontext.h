// Texts of the firmware revision readout.
#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

#include <cstdint>

// "1.0", "1.2.3": major = high byte, minor = bits 4-7, patch = bits 0-3 and only when not 0.
QString FormatRevision(int word);

// Three characters per byte ("7F "), so a non-empty dump ends with a blank.
QString HexDump(const QByteArray &bytes);

// The low four bits as one upper-case hex digit.
QChar HexDigit(int value);

// How the readout names a failed status read: the error's symbolic name where we know it,
// "Error " + the number otherwise.
QString StatusErrorText(std::uint32_t result);
