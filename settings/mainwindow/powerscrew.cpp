#include "powerscrew.h"

#include <QPainter>
#include <cmath>
#include <cstdlib>

QColor ColorFromBgr(unsigned bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

int RoundHalfEven(double value)
{
    return int(std::nearbyint(value)); // the default rounding mode is to nearest, ties to even
}

namespace {

// Shapes take (left, top, right, bottom) with right and bottom excluded and lines leave out their
// end point; QPainter's own conventions differ, so the pixels are set here.

QColor PenColor(const QPainter &painter)
{
    return painter.pen().color();
}

bool HasPen(const QPainter &painter)
{
    return painter.pen().style() != Qt::NoPen;
}

void Rectangle(QPainter &painter, int l, int t, int r, int b)
{
    if (r <= l || b <= t)
        return;
    painter.fillRect(QRect(l, t, r - l, b - t), painter.brush());
    if (!HasPen(painter))
        return;
    const QColor pen = PenColor(painter);
    painter.fillRect(QRect(l, t, r - l, 1), pen);
    painter.fillRect(QRect(l, b - 1, r - l, 1), pen);
    painter.fillRect(QRect(l, t, 1, b - t), pen);
    painter.fillRect(QRect(r - 1, t, 1, b - t), pen);
}

bool InEllipse(int x, int y, double cx, double cy, double a, double b)
{
    const double u = (x + 0.5 - cx) / a, v = (y + 0.5 - cy) / b;
    return u * u + v * v <= 1.0;
}

// Pixels whose centres lie in the ellipse inscribed in the box; those with a neighbour outside
// it form the outline.
void Ellipse(QPainter &painter, int l, int t, int r, int b)
{
    if (r <= l || b <= t)
        return;
    const double cx = (l + r) / 2.0, cy = (t + b) / 2.0, a = (r - l) / 2.0, bb = (b - t) / 2.0;
    const bool pen = HasPen(painter);
    const QColor penColor = PenColor(painter);
    for (int y = t; y < b; ++y)
        for (int x = l; x < r; ++x) {
            if (!InEllipse(x, y, cx, cy, a, bb))
                continue;
            const bool edge =
                !InEllipse(x - 1, y, cx, cy, a, bb) || !InEllipse(x + 1, y, cx, cy, a, bb) ||
                !InEllipse(x, y - 1, cx, cy, a, bb) || !InEllipse(x, y + 1, cx, cy, a, bb);
            if (edge && pen)
                painter.fillRect(QRect(x, y, 1, 1), penColor);
            else
                painter.fillRect(QRect(x, y, 1, 1), painter.brush());
        }
}

void Line(QPainter &painter, int x0, int y0, int x1, int y1)
{
    const QColor pen = PenColor(painter);
    const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    while (x0 != x1 || y0 != y1) {
        painter.fillRect(QRect(x0, y0, 1, 1), pen);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

} // namespace

void DrawScrew(QPainter &painter, int x, int y, float radius)
{
    painter.setBrush(ColorFromBgr(0xC0C0C0));
    const int r = RoundHalfEven(radius);
    Ellipse(painter, x - r, y - r, x + r, y + r);
    const int d = RoundHalfEven(radius * 0.7071067811865475);
    painter.setPen(ColorFromBgr(0xFFFFFF));
    Line(painter, x - d + 1, y + d, x + d, y - d + 1);
    painter.setPen(ColorFromBgr(0x808080));
    Line(painter, x - d, y + d - 1, x + d - 1, y - d);
}

void PaintPowerScrew(QPainter &painter, const QRect &rect)
{
    const int L = rect.left(), T = rect.top(), R = rect.left() + rect.width(),
              B = rect.top() + rect.height();
    painter.setPen(ColorFromBgr(0x383838));
    painter.setBrush(ColorFromBgr(0x404040));
    Rectangle(painter, L, T, R, B);

    const float radius = float(L + R) / 6.0f;
    const int cx = RoundHalfEven((L + R) * 0.5);

    painter.fillRect(QRect(L, T, RoundHalfEven(0.8 * L + 0.2 * R) - L, B - T),
                     ColorFromBgr(0x484848));

    painter.setBrush(Qt::black);
    const int k = RoundHalfEven((float(R - cx) - radius) * 0.25);
    painter.setPen(ColorFromBgr(0x383838));
    Rectangle(painter, R - 3 * k, T + k, R - k, B - k);

    painter.setPen(ColorFromBgr(0x808080));
    DrawScrew(painter, cx, RoundHalfEven(0.75 * T + 0.25 * B), radius);
    DrawScrew(painter, cx, RoundHalfEven(0.25 * T + 0.75 * B), radius);
}
