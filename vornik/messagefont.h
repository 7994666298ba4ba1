// The window font taken from the system's message font.
#pragma once

#include <QFont>
#include <QString>

#include <optional>

struct TMessageFont
{
    QString face;
    int height = 0; // character height in pixels, negative as the system reports it
};

// The system's message font, or nothing when the system gives none.
std::optional<TMessageFont> SystemMessageFont();

// Three quarters of the message font's (negative) height, exact halves to the even neighbour.
int MessageFontSize(int messageFontHeight);

// Gives the font the message font's face and a character height in pixels of MessageFontSize;
// without a message font, "Tahoma" at the font's own point size.
void ApplyMessageFont(QFont &font, const std::optional<TMessageFont> &message);
void ApplyMessageFont(QFont &font);
