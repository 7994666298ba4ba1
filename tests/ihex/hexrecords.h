// Builds HEX records for the tests independently of the writer under test.
#pragma once

#include "ihexreader.h"

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>

#include <cstdint>
#include <initializer_list>

namespace hextest {

inline QByteArray record(int type, int offset, const QByteArray &data)
{
    QByteArray bytes;
    bytes.append(char(data.size()));
    bytes.append(char((offset >> 8) & 0xff));
    bytes.append(char(offset & 0xff));
    bytes.append(char(type));
    bytes.append(data);
    unsigned sum = 0;
    for (char c : bytes)
        sum += static_cast<unsigned char>(c);
    bytes.append(char((0x100 - (sum & 0xff)) & 0xff));
    return ':' + bytes.toHex().toUpper();
}

inline QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

inline QByteArray data(int offset, const QByteArray &payload)
{
    return record(0, offset, payload);
}
inline QByteArray linear(int upper)
{
    return record(4, 0, bytes({upper >> 8, upper & 0xff}));
}
inline QByteArray segment(int base)
{
    return record(2, 0, bytes({base >> 8, base & 0xff}));
}
inline QByteArray endOfFile()
{
    return QByteArrayLiteral(":00000001FF");
}

// Lines joined with LF, with a final LF.
inline QByteArray lines(const QList<QByteArray> &records)
{
    QByteArray out;
    for (const QByteArray &r : records)
        out += r + '\n';
    return out;
}

// A payload of n bytes whose values depend on the seed and the position.
inline QByteArray pattern(int n, int seed = 1)
{
    QByteArray out(n, Qt::Uninitialized);
    std::uint32_t x = std::uint32_t(seed) * 2654435761u + 1;
    for (int i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = char(x >> 24);
    }
    return out;
}

inline QByteArray flat(const ihex::Image &image)
{
    const std::vector<std::uint8_t> f = image.flatten();
    return QByteArray(reinterpret_cast<const char *>(f.data()), qsizetype(f.size()));
}

inline ihex::Image parsed(const QByteArray &text, ihex::Error *errorOut = nullptr)
{
    ihex::Image image;
    ihex::Error error;
    ihex::parse(std::string_view(text.constData(), std::size_t(text.size())), image, error);
    if (errorOut)
        *errorOut = error;
    return image;
}

} // namespace hextest

Q_DECLARE_METATYPE(ihex::ErrorCode)
