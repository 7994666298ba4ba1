// The power panel's two-position screw terminal, drawn pixel for pixel.
#pragma once

#include <QColor>
#include <QRect>

class QPainter;

// 0x00BBGGRR as layouts store colours.
QColor ColorFromBgr(unsigned bgr);

// Rounding to the nearest integer, halves to the even neighbour.
int RoundHalfEven(double value);

// One screw head of the given radius at (x, y), outlined with the painter's current pen; leaves
// the pen grey.
void DrawScrew(QPainter &painter, int x, int y, float radius);

// The terminal block over the client rectangle rect.
void PaintPowerScrew(QPainter &painter, const QRect &rect);
