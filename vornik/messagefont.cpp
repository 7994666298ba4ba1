#include "messagefont.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>

#include <cmath>
#include <cstdlib>

std::optional<TMessageFont> SystemMessageFont()
{
    const QFont system = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    if (system.family().isEmpty())
        return std::nullopt;
    TMessageFont message;
    message.face = system.family().left(32);
    if (system.pixelSize() > 0) {
        message.height = -system.pixelSize();
    } else {
        const QScreen *screen = QGuiApplication::primaryScreen();
        const qreal dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
        message.height = -qRound(system.pointSizeF() * dpi / 72.0);
    }
    if (message.height >= 0)
        return std::nullopt;
    return message;
}

int MessageFontSize(int messageFontHeight)
{
    // Integer arithmetic keeps the half-to-even rule exact: size = round(-3 * height / 4).
    const long long quarters = -3LL * messageFontHeight;
    long long size = quarters >= 0 ? quarters / 4 : -((-quarters + 3) / 4);
    const long long rest = quarters - 4 * size;
    if (rest > 2 || (rest == 2 && (size & 1)))
        ++size;
    return static_cast<int>(size);
}

void ApplyMessageFont(QFont &font, const std::optional<TMessageFont> &message)
{
    int size;
    if (message) {
        size = MessageFontSize(message->height);
        font.setFamily(message->face.left(32));
    } else {
        size = font.pointSize() > 0 ? font.pointSize() : std::abs(font.pixelSize());
        font.setFamily(QStringLiteral("Tahoma"));
    }
    // At 72 pixels per inch a point is a pixel, so the size is the character height in pixels.
    if (size > 0)
        font.setPixelSize(size);
}

void ApplyMessageFont(QFont &font)
{
    ApplyMessageFont(font, SystemMessageFont());
}
