#pragma once

#include "setupctrls_export.h"

#include <QImage>

class QPainter;
class QRect;

// The graphic a board image paints. It remembers what kind of graphic it
// came from, because transparency and the opaque marking depend on it.
class SETUPCTRLS_EXPORT TPicture
{
public:
    enum TGraphicKind { gkNone, gkBitmap, gkJpeg, gkIcon, gkMetafile };

    TPicture() = default;
    explicit TPicture(const QImage &image, TGraphicKind kind = gkBitmap);

    // True when the picture holds a graphic, even one of size 0 x 0.
    bool hasGraphic() const { return m_kind != gkNone; }
    TGraphicKind kind() const { return m_kind; }
    const QImage &image() const { return m_image; }
    int width() const { return m_image.width(); }
    int height() const { return m_image.height(); }

    // A transparent bitmap leaves out the colour of its bottom-left pixel.
    bool transparent() const { return m_transparent; }
    void setTransparent(bool transparent) { m_transparent = transparent; }

    // Above a device pixel ratio of 1 the graphic is scaled smoothly to the device pixels of
    // dest rather than doubled pixel by pixel; the scaled copy is kept for the next paint.
    void draw(QPainter &painter, const QRect &dest) const;

private:
    const QImage &deviceImage(const QSize &size, qreal ratio) const;

    QImage m_image;
    TGraphicKind m_kind = gkNone;
    bool m_transparent = false;
    mutable QImage m_deviceImage;
};
