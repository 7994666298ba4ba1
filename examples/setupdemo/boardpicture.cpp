#include "boardpicture.h"

#include <QPainter>
#include <QPainterPath>

namespace {

void header(QPainter &p, QRect area, int columns, int rows)
{
    p.setPen(QPen(QColor(20, 20, 20), 1));
    p.setBrush(QColor(35, 35, 35));
    p.drawRect(area);
    const double cw = double(area.width()) / columns;
    const double rh = double(area.height()) / rows;
    p.setBrush(QColor(212, 175, 55));
    p.setPen(Qt::NoPen);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const QPointF centre(area.left() + (c + 0.5) * cw, area.top() + (r + 0.5) * rh);
            p.drawRect(QRectF(centre - QPointF(2, 2), QSizeF(4, 4)));
        }
    }
}

void chip(QPainter &p, QRect area, const QString &label)
{
    p.setPen(QPen(QColor(160, 160, 160), 1));
    for (int x = area.left() + 4; x < area.right() - 2; x += 8) {
        p.drawLine(x, area.top() - 4, x, area.top());
        p.drawLine(x, area.bottom(), x, area.bottom() + 4);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(25, 25, 28));
    p.drawRect(area);
    p.setPen(QColor(190, 190, 190));
    p.setFont(QFont(QStringLiteral("Sans"), 7));
    p.drawText(area, Qt::AlignCenter, label);
}

} // namespace

QImage DrawBoardPicture()
{
    QImage image(549, 600, QImage::Format_RGB32);
    image.fill(QColor(236, 236, 232));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // Board outline and traces.
    p.setPen(QPen(QColor(10, 60, 30), 2));
    p.setBrush(QColor(22, 102, 56));
    p.drawRoundedRect(QRect(6, 6, 537, 588), 10, 10);
    p.setPen(QPen(QColor(60, 140, 80), 2));
    for (int i = 0; i < 14; ++i)
        p.drawLine(60, 80 + i * 16, 200, 80 + i * 16);
    for (int i = 0; i < 10; ++i)
        p.drawLine(300, 120 + i * 30, 470, 100 + i * 36);

    header(p, QRect(8, 68, 26, 250), 2, 17);   // isolated inputs
    header(p, QRect(486, 72, 54, 425), 2, 25); // relay outputs
    header(p, QRect(236, 40, 22, 240), 1, 16); // filter jumpers
    chip(p, QRect(70, 150, 110, 60), QStringLiteral("ISO-16"));
    chip(p, QRect(300, 160, 120, 70), QStringLiteral("RLY DRV"));
    chip(p, QRect(140, 325, 70, 70), QStringLiteral("ETH"));

    // Reset jumper block.
    header(p, QRect(98, 430, 30, 16), 3, 1);

    // RJ-45 socket.
    p.setPen(QPen(QColor(120, 120, 120), 2));
    p.setBrush(QColor(200, 200, 205));
    p.drawRect(QRect(186, 470, 92, 124));
    p.setBrush(QColor(40, 40, 40));
    p.drawRect(QRect(202, 500, 60, 70));

    // Power: screw terminal and jack.
    p.setBrush(QColor(30, 120, 200));
    p.drawRect(QRect(310, 505, 62, 56));
    p.setBrush(QColor(150, 150, 150));
    p.drawEllipse(QRect(320, 515, 18, 18));
    p.drawEllipse(QRect(345, 515, 18, 18));
    p.setBrush(QColor(30, 30, 30));
    p.drawRect(QRect(392, 500, 60, 90));
    p.setBrush(QColor(90, 90, 90));
    p.drawEllipse(QRect(407, 530, 30, 30));

    // LEDs.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 220, 60));
    p.drawEllipse(QRect(108, 530, 14, 14));
    p.setBrush(QColor(230, 40, 30));
    p.drawEllipse(QRect(138, 522, 14, 14));

    p.setPen(QColor(240, 240, 240));
    p.setFont(QFont(QStringLiteral("Sans"), 9, QFont::Bold));
    p.drawText(QRect(60, 20, 300, 20), Qt::AlignLeft, QStringLiteral("NET-RLX-16"));
    return image;
}
