// Draws the settings program's pictures: the photograph-like view of the board (549 x 600,
// progressive JPEG, three components) and the power-jack polarity symbol (112 x 48, 256 colours).
//
//   boardpictures <output folder>
//
// The parts sit where the main window's hotspots point, in the picture's own coordinates.
#include <QColor>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QTextStream>

#include <cstdio>
#include <jpeglib.h>
#include <vector>

namespace {

const QColor SolderMask(28, 96, 54);
const QColor Silk(236, 236, 226);
const QColor Tin(196, 198, 190);
const QColor Gold(212, 172, 74);

// An edge pen and a linear shading from one point to another through the given stops.
void shade(QPainter &p, const QPointF &from, const QPointF &to, const QColor &edge,
           std::initializer_list<QGradientStop> stops)
{
    QLinearGradient g(from, to);
    for (const QGradientStop &stop : stops)
        g.setColorAt(stop.first, stop.second);
    p.setPen(QPen(edge, 1));
    p.setBrush(g);
}

void chip(QPainter &p, const QRectF &body, int pinsPerSide, bool quad, const QString &marking)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Tin);
    const double pitch = (quad ? body.width() : body.height()) / (pinsPerSide + 1);
    for (int i = 1; i <= pinsPerSide; ++i) {
        const double y = body.top() + i * pitch;
        p.drawRect(QRectF(body.left() - 5, y - pitch * 0.25, 5, pitch * 0.5));
        p.drawRect(QRectF(body.right(), y - pitch * 0.25, 5, pitch * 0.5));
        if (quad) {
            const double x = body.left() + i * pitch;
            p.drawRect(QRectF(x - pitch * 0.25, body.top() - 5, pitch * 0.5, 5));
            p.drawRect(QRectF(x - pitch * 0.25, body.bottom(), pitch * 0.5, 5));
        }
    }
    shade(p, body.topLeft(), body.bottomRight(), QColor(12, 12, 12),
          {{0, QColor(54, 54, 58)}, {1, QColor(22, 22, 24)}});
    p.drawRect(body);
    p.setBrush(QColor(70, 70, 74));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(body.left() + 6, body.top() + 6), 2.5, 2.5);
    if (!marking.isEmpty()) {
        QFont f("DejaVu Sans");
        f.setPixelSize(7);
        p.setFont(f);
        p.setPen(QColor(150, 150, 150));
        p.drawText(body, Qt::AlignCenter, marking);
    }
}

// A boxed pin header: rows x columns of square gold pins at the given pitch.
void header(QPainter &p, const QRectF &shroud, int rows, int cols, double pitch, bool keyLeft)
{
    shade(p, shroud.topLeft(), shroud.topRight(), QColor(10, 10, 10),
          {{0, QColor(48, 48, 50)}, {0.5, QColor(30, 30, 32)}, {1, QColor(18, 18, 20)}});
    p.drawRoundedRect(shroud, 2, 2);
    const QRectF well = shroud.adjusted(4, 4, -4, -4);
    p.setBrush(QColor(14, 14, 14));
    p.drawRect(well);
    // polarising key slot
    p.setBrush(SolderMask.darker(180));
    const QRectF key = keyLeft ? QRectF(shroud.left(), shroud.center().y() - 8, 4, 16)
                               : QRectF(shroud.right() - 4, shroud.center().y() - 8, 4, 16);
    p.drawRect(key);
    const double w = cols * pitch, h = rows * pitch;
    const QPointF o(well.center().x() - w / 2 + pitch / 2, well.center().y() - h / 2 + pitch / 2);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const QPointF at(o.x() + c * pitch, o.y() + r * pitch);
            QLinearGradient pg(at - QPointF(2, 2), at + QPointF(2, 2));
            pg.setColorAt(0, Gold.lighter(140));
            pg.setColorAt(1, Gold.darker(140));
            p.setPen(Qt::NoPen);
            p.setBrush(pg);
            p.drawRect(QRectF(at.x() - 2.2, at.y() - 2.2, 4.4, 4.4));
        }
}

void jumper(QPainter &p, const QPointF &centre, int pins, double pitch, int shuntFrom)
{
    const double w = pins * pitch;
    QRectF base(centre.x() - w / 2, centre.y() - pitch / 2, w, pitch);
    p.setPen(QPen(QColor(8, 8, 8), 1));
    p.setBrush(QColor(24, 24, 26));
    p.drawRect(base);
    for (int i = 0; i < pins; ++i) {
        const QPointF at(base.left() + pitch * (i + 0.5), centre.y());
        p.setPen(Qt::NoPen);
        p.setBrush(Gold);
        p.drawRect(QRectF(at.x() - 1.8, at.y() - 1.8, 3.6, 3.6));
    }
    if (shuntFrom >= 0) {
        QRectF shunt(base.left() + pitch * shuntFrom - 1, centre.y() - pitch / 2 - 2, 2 * pitch + 2,
                     pitch + 4);
        shade(p, shunt.topLeft(), shunt.bottomLeft(), QColor(0, 0, 0),
              {{0, QColor(70, 70, 76)}, {1, QColor(10, 10, 12)}});
        p.drawRoundedRect(shunt, 1.5, 1.5);
    }
}

void led(QPainter &p, const QPointF &c, const QColor &lens)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Tin);
    p.drawRect(QRectF(c.x() - 5, c.y() - 8, 10, 3));
    p.drawRect(QRectF(c.x() - 5, c.y() + 5, 10, 3));
    QRadialGradient g(c - QPointF(1.5, 2), 6);
    g.setColorAt(0, lens.lighter(170));
    g.setColorAt(1, lens.darker(130));
    p.setBrush(g);
    p.drawRect(QRectF(c.x() - 4, c.y() - 6, 8, 12));
}

void silkText(QPainter &p, const QPointF &at, const QString &text, int px, int angle = 0)
{
    QFont f("DejaVu Sans");
    f.setPixelSize(px);
    f.setBold(true);
    p.save();
    p.translate(at);
    p.rotate(angle);
    p.setFont(f);
    p.setPen(Silk);
    p.drawText(QPointF(0, 0), text);
    p.restore();
}

void traces(QPainter &p)
{
    p.setPen(QPen(SolderMask.lighter(125), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    // inputs to optocouplers
    for (int i = 0; i < 16; ++i) {
        const double y = 80 + i * 15;
        QPainterPath t(QPointF(40, y));
        t.lineTo(62, y);
        t.lineTo(72, 72 + i * 14);
        p.drawPath(t);
        // optocouplers to the filter jumpers
        QPainterPath u(QPointF(118, 76 + i * 14));
        u.lineTo(200, 76 + i * 14);
        u.lineTo(226, 32 + i * 16.2);
        p.drawPath(u);
    }
    // relay coils from the drivers, contacts to the header
    for (int i = 0; i < 16; ++i) {
        const int col = i / 8, row = i % 8;
        const double y = 58 + row * 52 + 20;
        QPainterPath t(QPointF(330 + col * 80, y));
        t.lineTo(480, 84 + i * 26.5);
        p.drawPath(t);
    }
    // network controller to the socket
    for (int i = 0; i < 6; ++i)
        p.drawLine(QPointF(160 + i * 7, 395), QPointF(200 + i * 12, 476));
    // power rails
    p.setPen(QPen(SolderMask.lighter(125), 6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(340, 500), QPointF(340, 470));
    p.drawLine(QPointF(340, 470), QPointF(460, 470));
    p.drawLine(QPointF(422, 500), QPointF(422, 470));
}

// The board outline with its shadow on the bench, and the mounting holes.
void boardOutline(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 30, 28));
    p.drawRoundedRect(QRectF(8, 8, 545, 598), 12, 12);
    QLinearGradient mask(0, 0, 549, 600);
    mask.setColorAt(0, SolderMask.lighter(118));
    mask.setColorAt(1, SolderMask.darker(118));
    p.setBrush(mask);
    p.drawRoundedRect(QRectF(2, 2, 545, 600), 10, 10);

    traces(p);

    for (const QPointF c : {QPointF(20, 20), QPointF(529, 20), QPointF(20, 580)}) {
        p.setBrush(Tin);
        p.drawEllipse(c, 9, 9);
        p.setBrush(QColor(40, 38, 36));
        p.drawEllipse(c, 5, 5);
    }
}

// Isolated inputs: the 34-pin header at the left edge, the optocouplers, the filter jumpers and
// the filter networks.
void inputSection(QPainter &p)
{
    header(p, QRectF(3, 64, 36, 258), 17, 2, 14.6, false);
    silkText(p, QPointF(50, 330), "INPUTS", 9, -90);
    for (int i = 0; i < 8; ++i)
        chip(p, QRectF(74, 66 + i * 28, 40, 22), 4, false, QString());
    silkText(p, QPointF(74, 58), "ISO", 8);

    // one column of sixteen two-pin jumpers
    for (int i = 0; i < 16; ++i) {
        jumper(p, QPointF(247, 32 + i * 16.2), 2, 9, 0);
        silkText(p, QPointF(206, 35 + i * 16.2), QString::number(i), 7);
    }
    silkText(p, QPointF(230, 20), "FLT", 9);
    for (int i = 0; i < 4; ++i)
        chip(p, QRectF(150, 60 + i * 58, 26, 44), 5, false, QString());
}

// Relays in two columns of eight, their drivers, the controller and the 50-pin output header at
// the right edge.
void relaySection(QPainter &p)
{
    for (int i = 0; i < 16; ++i) {
        const int col = i / 8, row = i % 8;
        QRectF relay(338 + col * 72, 46 + row * 52, 58, 42);
        shade(p, relay.topLeft(), relay.bottomRight(), QColor(120, 120, 116),
              {{0, QColor(236, 236, 232)}, {1, QColor(188, 188, 182)}});
        p.drawRoundedRect(relay, 3, 3);
        QFont f("DejaVu Sans");
        f.setPixelSize(7);
        p.setFont(f);
        p.setPen(QColor(90, 90, 90));
        p.drawText(relay, Qt::AlignCenter, QString("K%1\n5VDC").arg(i + 1));
    }
    chip(p, QRectF(292, 60, 26, 70), 8, false, "ULN");
    chip(p, QRectF(292, 160, 26, 70), 8, false, "ULN");
    chip(p, QRectF(292, 290, 44, 44), 8, true, "MCU");

    header(p, QRectF(492, 70, 52, 430), 25, 2, 16.8, true);
    silkText(p, QPointF(484, 60), "RELAYS", 9);
}

// The network controller under the IP ring, its crystal, the reset-networking jumper, the LEDs
// and the RJ-45 socket running off the bottom edge.
void networkSection(QPainter &p)
{
    chip(p, QRectF(150, 335, 52, 52), 10, true, "ETH");
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(Tin);
    p.drawRoundedRect(QRectF(214, 344, 14, 30), 6, 6);

    // three pins, shunt on the normal pair
    jumper(p, QPointF(112, 440), 3, 10, 0);
    silkText(p, QPointF(96, 426), "OPT1", 8);

    // power/activity and connection
    led(p, QPointF(115, 540), QColor(60, 220, 60));
    led(p, QPointF(144, 528), QColor(230, 40, 30));
    silkText(p, QPointF(104, 562), "PWR", 7);
    silkText(p, QPointF(136, 508), "LNK", 7);

    const QRectF shield(186, 470, 92, 130);
    shade(p, shield.topLeft(), shield.topRight(), QColor(90, 90, 90),
          {{0, QColor(170, 172, 170)}, {0.45, QColor(230, 232, 230)}, {1, QColor(140, 142, 140)}});
    p.drawRect(shield);
    p.setBrush(QColor(20, 20, 22));
    p.drawRect(QRectF(202, 520, 60, 80));
    p.setBrush(QColor(50, 50, 54));
    p.drawRect(QRectF(222, 508, 20, 14));
    p.setPen(QPen(Gold, 1.2));
    for (int i = 0; i < 8; ++i)
        p.drawLine(QPointF(210 + i * 6.3, 524), QPointF(210 + i * 6.3, 540));
}

// Power: a two-position screw terminal and a barrel jack.
void powerSection(QPainter &p)
{
    QRectF block(314, 500, 52, 66);
    p.setPen(QPen(QColor(20, 60, 20), 1));
    p.setBrush(QColor(36, 120, 64));
    p.drawRect(block);
    for (int i = 0; i < 2; ++i) {
        const QPointF s(340, 517 + i * 33);
        QRadialGradient g(s - QPointF(3, 3), 12);
        g.setColorAt(0, QColor(240, 240, 240));
        g.setColorAt(1, QColor(140, 140, 140));
        p.setPen(QPen(QColor(90, 90, 90), 1));
        p.setBrush(g);
        p.drawEllipse(s, 10, 10);
        p.setPen(QPen(QColor(80, 80, 80), 2.5));
        p.drawLine(s + QPointF(-7, 7), s + QPointF(7, -7));
    }
    silkText(p, QPointF(302, 520), "+", 10);
    silkText(p, QPointF(302, 553), "-", 10);

    const QRectF jack(396, 496, 54, 98);
    shade(p, jack.topLeft(), jack.topRight(), QColor(8, 8, 8),
          {{0, QColor(40, 40, 42)}, {0.5, QColor(70, 70, 74)}, {1, QColor(24, 24, 26)}});
    p.drawRoundedRect(jack, 3, 3);
    p.setBrush(QColor(10, 10, 10));
    p.drawEllipse(QPointF(423, 570), 17, 17);
    p.setBrush(Tin);
    p.drawEllipse(QPointF(423, 570), 4, 4);
    silkText(p, QPointF(400, 488), "5V IN", 8);
}

// Soft light from the upper left.
void lighting(QPainter &p, const QRect &area)
{
    QRadialGradient light(QPointF(150, 120), 650);
    light.setColorAt(0, QColor(255, 255, 255, 38));
    light.setColorAt(1, QColor(0, 0, 0, 46));
    p.setPen(Qt::NoPen);
    p.setBrush(light);
    p.drawRect(area);
}

void sensorGrain(QImage &img)
{
    QRandomGenerator grain(549600); // fixed seed: the picture is remade identically
    for (int y = 0; y < img.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const int n = int(grain.bounded(9)) - 4;
            const QRgb c = row[x];
            row[x] = qRgb(qBound(0, qRed(c) + n, 255), qBound(0, qGreen(c) + n, 255),
                          qBound(0, qBlue(c) + n, 255));
        }
    }
}

QImage drawBoard()
{
    QImage img(549, 600, QImage::Format_RGB32);
    img.fill(QColor(64, 62, 58)); // the bench under the board
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    boardOutline(p);
    inputSection(p);
    relaySection(p);
    networkSection(p);
    powerSection(p);
    silkText(p, QPointF(60, 300), "NET-RLX-16", 14);
    silkText(p, QPointF(236, 300), "REV B", 9);
    lighting(p, img.rect());
    p.end();
    sensorGrain(img);
    return img;
}

bool writeProgressiveJpeg(const QImage &image, const QString &path)
{
    FILE *out = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!out)
        return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, out);
    cinfo.image_width = JDIMENSION(image.width());
    cinfo.image_height = JDIMENSION(image.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 88, TRUE);
    jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(out) == 0;
}

// Round jack polarity symbol: GND on the sleeve (left), +5V on the centre pin (right).
QImage drawPowerJack()
{
    QImage img(112, 48, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    QFont f("DejaVu Sans");
    f.setPixelSize(11);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QRect(0, 0, 32, 48), Qt::AlignCenter, "GND");
    p.drawText(QRect(78, 0, 34, 48), Qt::AlignCenter, "+5V");
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(Qt::NoBrush);
    // sleeve: an open arc on the left, wired to GND
    p.drawArc(QRect(42, 12, 24, 24), 45 * 16, 270 * 16);
    p.drawLine(34, 24, 42, 24);
    // centre pin: a dot wired to +5V
    p.setBrush(Qt::black);
    p.drawEllipse(QPoint(58, 24), 4, 4);
    p.drawLine(62, 24, 76, 24);
    p.end();
    // 256 colours, as the layout's bitmap is
    return img.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: boardpictures <output folder>\n";
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.exists()) {
        err << "no such folder: " << dir.path() << "\n";
        return 1;
    }
    const QString board = dir.filePath("board.jpg");
    if (!writeProgressiveJpeg(drawBoard(), board)) {
        err << "cannot write " << board << "\n";
        return 1;
    }
    const QString jack = dir.filePath("powerjack.bmp");
    if (!drawPowerJack().save(jack, "BMP")) {
        err << "cannot write " << jack << "\n";
        return 1;
    }
    return 0;
}
