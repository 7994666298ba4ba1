#include "tpicture.h"

#include <QBitmap>
#include <QPainter>
#include <QPixmap>

TPicture::TPicture(const QImage &image, TGraphicKind kind)
    : m_image(image), m_kind(kind),
      // Icons and metafiles carry their own transparency.
      m_transparent(kind == gkIcon || kind == gkMetafile)
{
}

namespace {

// How many device pixels a logical pixel covers, when the painter only scales and moves.
qreal deviceScale(const QPainter &painter)
{
    const QTransform t = painter.deviceTransform();
    if (t.type() > QTransform::TxScale || t.m11() != t.m22() || t.m11() <= 0)
        return 1;
    return t.m11();
}

} // namespace

const QImage &TPicture::deviceImage(const QSize &size, qreal ratio) const
{
    if (m_deviceImage.size() != size || m_deviceImage.devicePixelRatio() != ratio) {
        m_deviceImage = m_image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        m_deviceImage.setDevicePixelRatio(ratio);
    }
    return m_deviceImage;
}

void TPicture::draw(QPainter &painter, const QRect &dest) const
{
    if (m_image.isNull())
        return;
    const QImage *source = &m_image;
    QImage keyed;
    if (m_transparent && m_kind == gkBitmap) {
        const QRgb key = m_image.pixel(0, m_image.height() - 1);
        keyed = m_image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < keyed.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(keyed.scanLine(y));
            for (int x = 0; x < keyed.width(); ++x) {
                if ((row[x] & 0x00FFFFFF) == (key & 0x00FFFFFF))
                    row[x] = 0;
            }
        }
        source = &keyed;
    }
    const qreal ratio = deviceScale(painter);
    if (ratio == 1 || dest.isEmpty()) {
        painter.drawImage(dest, *source);
        return;
    }
    const QSize deviceSize(qRound(dest.width() * ratio), qRound(dest.height() * ratio));
    if (!keyed.isNull()) {
        QImage scaled = keyed.scaled(deviceSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        scaled.setDevicePixelRatio(ratio);
        painter.drawImage(QRectF(dest), scaled);
        return;
    }
    painter.drawImage(QRectF(dest), deviceImage(deviceSize, ratio));
}
