#include "powerscrew.h"

#include <QPainter>
#include <QTransform>

#include <algorithm>
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
//
// The geometry is worked out in logical pixels. On a high-DPI screen it is set in the device's
// own pixels, every coordinate and line width scaled by the device pixel ratio, so the terminal is
// as sharp as the text beside it rather than its 96-DPI picture doubled.
class DevicePixels
{
public:
    explicit DevicePixels(QPainter &painter) : m_painter(painter)
    {
        const QTransform t = painter.deviceTransform();
        if (t.type() == QTransform::TxScale && t.m11() == t.m22() && t.m11() > 1) {
            m_ratio = t.m11();
            m_saved = painter.worldTransform();
            painter.scale(1 / m_ratio, 1 / m_ratio);
        }
    }
    ~DevicePixels()
    {
        if (m_ratio != 1)
            m_painter.setWorldTransform(m_saved);
    }
    DevicePixels(const DevicePixels &) = delete;
    DevicePixels &operator=(const DevicePixels &) = delete;

    QPainter &painter() const { return m_painter; }
    qreal ratio() const { return m_ratio; }
    int scaled(int logical) const { return m_ratio == 1 ? logical : qRound(logical * m_ratio); }
    // A box (left, top, right, bottom) into device pixels; false when it is empty.
    bool scaleBox(int &l, int &t, int &r, int &b) const
    {
        l = scaled(l);
        t = scaled(t);
        r = scaled(r);
        b = scaled(b);
        return r > l && b > t;
    }
    // One logical pixel's width in device pixels.
    int lineWidth() const { return std::max(1, qRound(m_ratio)); }

private:
    QPainter &m_painter;
    qreal m_ratio = 1;
    QTransform m_saved;
};

QColor PenColor(const QPainter &painter)
{
    return painter.pen().color();
}

bool HasPen(const QPainter &painter)
{
    return painter.pen().style() != Qt::NoPen;
}

void Rectangle(const DevicePixels &device, int l, int t, int r, int b)
{
    QPainter &painter = device.painter();
    if (!device.scaleBox(l, t, r, b))
        return;
    painter.fillRect(QRect(l, t, r - l, b - t), painter.brush());
    if (!HasPen(painter))
        return;
    const QColor pen = PenColor(painter);
    const int w = device.lineWidth();
    painter.fillRect(QRect(l, t, r - l, w), pen);
    painter.fillRect(QRect(l, b - w, r - l, w), pen);
    painter.fillRect(QRect(l, t, w, b - t), pen);
    painter.fillRect(QRect(r - w, t, w, b - t), pen);
}

void FillRect(const DevicePixels &device, int l, int t, int r, int b, const QColor &colour)
{
    const int dl = device.scaled(l), dt = device.scaled(t);
    device.painter().fillRect(QRect(dl, dt, device.scaled(r) - dl, device.scaled(b) - dt), colour);
}

bool InEllipse(int x, int y, double cx, double cy, double a, double b)
{
    const double u = (x + 0.5 - cx) / a, v = (y + 0.5 - cy) / b;
    return u * u + v * v <= 1.0;
}

// Pixels whose centres lie in the ellipse inscribed in the box; those with a neighbour outside
// it, up to the line width away, form the outline. Runs of one colour are filled at once.
void Ellipse(const DevicePixels &device, int l, int t, int r, int b)
{
    QPainter &painter = device.painter();
    if (!device.scaleBox(l, t, r, b))
        return;
    const double cx = (l + r) / 2.0, cy = (t + b) / 2.0, a = (r - l) / 2.0, bb = (b - t) / 2.0;
    const bool pen = HasPen(painter);
    const QColor penColor = PenColor(painter);
    const QBrush brush = painter.brush();
    const int w = device.lineWidth();
    for (int y = t; y < b; ++y) {
        int runStart = l;
        int runKind = 0; // 0 outside, 1 fill, 2 outline
        for (int x = l; x <= r; ++x) {
            int kind = 0;
            if (x < r && InEllipse(x, y, cx, cy, a, bb)) {
                bool edge = false;
                for (int k = 1; k <= w && !edge; ++k)
                    edge = !InEllipse(x - k, y, cx, cy, a, bb) ||
                           !InEllipse(x + k, y, cx, cy, a, bb) ||
                           !InEllipse(x, y - k, cx, cy, a, bb) ||
                           !InEllipse(x, y + k, cx, cy, a, bb);
                kind = edge && pen ? 2 : 1;
            }
            if (kind == runKind)
                continue;
            if (runKind == 1)
                painter.fillRect(QRect(runStart, y, x - runStart, 1), brush);
            else if (runKind == 2)
                painter.fillRect(QRect(runStart, y, x - runStart, 1), penColor);
            runStart = x;
            runKind = kind;
        }
    }
}

// The pixels from (x0, y0) up to, not including, (x1, y1).
void Line(const DevicePixels &device, int x0, int y0, int x1, int y1)
{
    QPainter &painter = device.painter();
    const QColor pen = PenColor(painter);
    if (device.ratio() == 1) {
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
        return;
    }
    // In device pixels the line is a band one logical pixel across, centred on the line through
    // the centres of the pixels it covers, spanning those pixels along its main direction.
    const bool xMajor = std::abs(x1 - x0) >= std::abs(y1 - y0);
    const int along0 = xMajor ? x0 : y0, along1 = xMajor ? x1 : y1;
    const int across0 = xMajor ? y0 : x0, across1 = xMajor ? y1 : x1;
    const int n = std::abs(along1 - along0);
    if (n == 0)
        return;
    const double slope = double(across1 - across0) / double(along1 - along0);
    const int first = along1 > along0 ? along0 : along0 - n + 1;
    const double s = device.ratio();
    for (int a = device.scaled(first); a < device.scaled(first + n); ++a) {
        const double along = (a + 0.5) / s;
        const double centre = across0 + 0.5 + (along - along0 - 0.5) * slope;
        // Device pixels whose centres lie in [centre - 0.5, centre + 0.5), in logical units.
        const int from = int(std::ceil(s * (centre - 0.5) - 0.5));
        const int to = int(std::ceil(s * (centre + 0.5) - 0.5));
        if (to <= from)
            continue;
        painter.fillRect(xMajor ? QRect(a, from, 1, to - from) : QRect(from, a, to - from, 1), pen);
    }
}

void Screw(const DevicePixels &device, int x, int y, float radius)
{
    QPainter &painter = device.painter();
    painter.setBrush(ColorFromBgr(0xC0C0C0));
    const int r = RoundHalfEven(radius);
    Ellipse(device, x - r, y - r, x + r, y + r);
    const int d = RoundHalfEven(radius * 0.7071067811865475);
    painter.setPen(ColorFromBgr(0xFFFFFF));
    Line(device, x - d + 1, y + d, x + d, y - d + 1);
    painter.setPen(ColorFromBgr(0x808080));
    Line(device, x - d, y + d - 1, x + d - 1, y - d);
}

} // namespace

void DrawScrew(QPainter &painter, int x, int y, float radius)
{
    const DevicePixels device(painter);
    Screw(device, x, y, radius);
}

void PaintPowerScrew(QPainter &painter, const QRect &rect)
{
    const DevicePixels device(painter);
    const int L = rect.left(), T = rect.top(), R = rect.left() + rect.width(),
              B = rect.top() + rect.height();
    painter.setPen(ColorFromBgr(0x383838));
    painter.setBrush(ColorFromBgr(0x404040));
    Rectangle(device, L, T, R, B);

    const float radius = float(L + R) / 6.0f;
    const int cx = RoundHalfEven((L + R) * 0.5);

    FillRect(device, L, T, RoundHalfEven(0.8 * L + 0.2 * R), B, ColorFromBgr(0x484848));

    painter.setBrush(Qt::black);
    const int k = RoundHalfEven((float(R - cx) - radius) * 0.25);
    painter.setPen(ColorFromBgr(0x383838));
    Rectangle(device, R - 3 * k, T + k, R - k, B - k);

    painter.setPen(ColorFromBgr(0x808080));
    Screw(device, cx, RoundHalfEven(0.75 * T + 0.25 * B), radius);
    Screw(device, cx, RoundHalfEven(0.25 * T + 0.75 * B), radius);
}
