// A plain reference for the hotspots' ring images.
#pragma once

#include <QImage>
#include <QtGlobal>

#include <cmath>

// The ring rule evaluated pixel by pixel in the plainest way: the reference that the ring images
// are compared with, whatever the device pixel ratio they were built for.
inline QImage ReferenceRing(QImage image, float alpha, uint colour, bool rim)
{
    const int w = image.width(), h = image.height();
    const int c[3] = {int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF)};
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const float u = float(x) * (2.0f / float(w - 1)) - 1.0f;
            const float v = float(y) * (2.0f / float(h - 1)) - 1.0f;
            const float d = u * u + v * v;
            if (d >= 1.0f)
                continue;
            QRgb base = image.pixel(x, y);
            float weight = 0.16f;
            if (d >= 0.5929f) {
                weight = 1.0f - 8.0f * std::fabs(std::sqrt(d) - 0.875f);
                if (rim) {
                    weight = 2.0f * weight;
                    if (weight > 1.0f) {
                        base = 0xFFFFFFFF;
                        weight = 2.0f - weight;
                    }
                }
            }
            const float m = weight * alpha;
            const int b[3] = {qRed(base), qGreen(base), qBlue(base)};
            int out[3];
            for (int i = 0; i < 3; ++i) {
                const volatile float value = (1.0f - m) * float(b[i]) + m * float(c[i]);
                out[i] = qBound(0, int(std::nearbyint(value)), 255);
            }
            image.setPixel(x, y, qRgb(out[0], out[1], out[2]));
        }
    }
    return image;
}
