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

void TPicture::draw(QPainter &painter, const QRect &dest) const
{
    if (m_image.isNull())
        return;
    if (m_transparent && m_kind == gkBitmap) {
        const QRgb key = m_image.pixel(0, m_image.height() - 1);
        QImage keyed = m_image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < keyed.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(keyed.scanLine(y));
            for (int x = 0; x < keyed.width(); ++x) {
                if ((row[x] & 0x00FFFFFF) == (key & 0x00FFFFFF))
                    row[x] = 0;
            }
        }
        painter.drawImage(dest, keyed);
        return;
    }
    painter.drawImage(dest, m_image);
}
