// The board's pictures on a screen of device pixel ratio 2 (CTest sets QT_SCALE_FACTOR=2): the
// ring worked out over the hotspot's device pixels, the jumpers and the screw terminal drawn with
// their geometry scaled by the ratio, each compared pixel for pixel with a plain rendering of the
// same rules written here.
#include "../setupctrls/boardfixture.h"
#include "../setupctrls/referencering.h"
#include "powerscrew.h"
#include "tjumper.h"
#include "tpaintbox.h"

#include <QPainter>
#include <QTest>

#include <cmath>
#include <functional>
#include <optional>

class HighDpiTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void ringFollowsTheRuleOverDevicePixels_data();
    void ringFollowsTheRuleOverDevicePixels();
    void jumperIsItsGeometryScaledByTheRatio_data();
    void jumperIsItsGeometryScaledByTheRatio();
    void terminalIsItsGeometryScaledByTheRatio_data();
    void terminalIsItsGeometryScaledByTheRatio();
};

namespace {

const qreal Ratio = 2;

QImage rgb32(const QImage &image)
{
    QImage converted = image.convertToFormat(QImage::Format_RGB32);
    converted.setDevicePixelRatio(1);
    return converted;
}

// The first differing pixel, for a readable failure.
QString firstDifference(const QImage &actual, const QImage &expected)
{
    if (actual.size() != expected.size())
        return QStringLiteral("size %1x%2, expected %3x%4")
            .arg(actual.width())
            .arg(actual.height())
            .arg(expected.width())
            .arg(expected.height());
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x)
            if (actual.pixel(x, y) != expected.pixel(x, y))
                return QStringLiteral("(%1, %2): %3, expected %4")
                    .arg(x)
                    .arg(y)
                    .arg(actual.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                    .arg(expected.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'));
    return QString();
}

QColor bgr(uint value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

// ---- ring ----

QImage noisePhotograph(QSize size)
{
    QImage photo(size, QImage::Format_RGB32);
    quint32 seed = 4711;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            photo.setPixel(x, y,
                           qRgb(int(seed >> 24), (x * 3 + y) & 0xFF, int((seed >> 8) & 0xFF)));
        }
    return photo;
}

// ---- jumpers ----

struct Shape
{
    QRect box; // left, top, right and bottom as the drawing calls take them
    double radius;
    std::optional<QColor> pen;
    QColor brush;
};

bool inShape(const Shape &shape, double px, double py)
{
    const double l = shape.box.left(), t = shape.box.top();
    const double r = l + shape.box.width(), b = t + shape.box.height();
    if (px < l || px > r || py < t || py > b)
        return false;
    const double rad = shape.radius;
    if (rad <= 0)
        return true;
    const double dx = px < l + rad ? px - (l + rad) : (px > r - rad ? px - (r - rad) : 0);
    const double dy = py < t + rad ? py - (t + rad) : (py > b - rad ? py - (b - rad) : 0);
    return (dx / rad) * (dx / rad) + (dy / rad) * (dy / rad) <= 1.0;
}

// The shapes at device resolution: pixel centres inside the scaled figure, the outline being
// those within one logical pixel (Ratio device pixels) of the outside along a row or column.
void rasterise(QImage &image, const Shape &logical)
{
    const Shape shape{QRect(logical.box.topLeft() * Ratio, logical.box.size() * Ratio),
                      logical.radius * Ratio, logical.pen, logical.brush};
    const int w = int(Ratio);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const auto in = [&](int dx, int dy) {
                return inShape(shape, x + dx + 0.5, y + dy + 0.5);
            };
            if (!in(0, 0))
                continue;
            bool edge = false;
            for (int k = 1; k <= w; ++k)
                edge = edge || !in(-k, 0) || !in(k, 0) || !in(0, -k) || !in(0, k);
            image.setPixel(x, y, (edge && shape.pen ? *shape.pen : shape.brush).rgb());
        }
}

QRect ltrb(int l, int t, int r, int b)
{
    return QRect(l, t, r - l, b - t);
}

int halfEven(double value)
{
    return int(std::nearbyint(value));
}

// The upright picture of a default-coloured jumper with a single border, W x H logical.
QImage referenceJumper(bool three, int state, int W, int H, QColor background)
{
    const QColor black(Qt::black), grey = bgr(0x808080), yellow = bgr(0x00FFFF),
                                   maroon = bgr(0x000080);
    QImage image(W * int(Ratio), H * int(Ratio), QImage::Format_RGB32);
    image.fill(background);
    QList<Shape> shapes;
    QList<int> pins;
    int r = 0;
    int cy = H / 2;
    if (!three) {
        if (state)
            shapes << Shape{ltrb(0, 0, W, H), 0, black, maroon};
        else
            shapes << Shape{ltrb(1, 1, W - 1, H - 1), (H / 2) / 2.0, black, grey};
        const int a = halfEven(W / 3.5);
        const int e = a + 1;
        r = std::min(a / 3, halfEven(H / 4.0));
        pins << e << W - e;
    } else {
        shapes << Shape{ltrb(1, 1, W - 1, H - 1), (H / 2) / 2.0, black, grey};
        const int a = halfEven((W - 2) / 4.5);
        const int p = a + 1;
        r = std::min(a / 3, halfEven((H - 2) / 4.0));
        const int cx = W / 2;
        const int q = cx - p + 2;
        if (state == TJumperBase::jsLeft)
            shapes << Shape{ltrb(0, 0, cx + q / 2, H), 0, black, maroon};
        else if (state == TJumperBase::jsRight)
            shapes << Shape{ltrb(cx - q / 2, 0, W, H), 0, black, maroon};
        pins << p << cx << W - p;
    }
    for (int c : pins)
        shapes << Shape{ltrb(c - r, cy - r, c + r, cy + r), double(r), std::nullopt, yellow};
    for (const Shape &shape : shapes)
        rasterise(image, shape);
    return image;
}

QImage turned(const QImage &upright, int orientation)
{
    switch (orientation) {
    case TJumperBase::otDown:
        return upright.transformed(QTransform().rotate(180));
    case TJumperBase::otLeft:
        return upright.transformed(QTransform().rotate(-90));
    case TJumperBase::otRight:
        return upright.transformed(QTransform().rotate(90));
    default:
        return upright;
    }
}

// ---- terminal ----

// The terminal block of a W x H paint box at ratio s, pixel by pixel.
QImage referenceTerminal(int W, int H, int s)
{
    const int L = 0, T = 0, R = W, B = H;
    const float radius = float(L + R) / 6.0f;
    const int cx = halfEven((L + R) * 0.5);
    const int strip = halfEven(0.8 * L + 0.2 * R);
    const int k = halfEven((float(R - cx) - radius) * 0.25);
    const int rr = halfEven(radius);
    const int d = halfEven(radius * 0.7071067811865475);
    const int screwYs[2] = {halfEven(0.75 * T + 0.25 * B), halfEven(0.25 * T + 0.75 * B)};

    // Within one logical pixel of the edge of the box (l, t, r, b), in logical units.
    const auto inBox = [](double x, double y, double l, double t, double r, double b) {
        return x >= l && x < r && y >= t && y < b;
    };
    QImage image(W * s, H * s, QImage::Format_RGB32);
    for (int py = 0; py < image.height(); ++py)
        for (int px = 0; px < image.width(); ++px) {
            // Centre of the device pixel in logical units; one device pixel is 1/s.
            const double x = (px + 0.5) / s, y = (py + 0.5) / s;
            QColor c = bgr(0x404040);
            if (!inBox(x, y, L + 1, T + 1, R - 1, B - 1))
                c = bgr(0x383838);
            if (inBox(x, y, L, T, strip, B))
                c = bgr(0x484848);
            if (inBox(x, y, R - 3 * k, T + k, R - k, B - k))
                c = inBox(x, y, R - 3 * k + 1, T + k + 1, R - k - 1, B - k - 1) ? QColor(Qt::black)
                                                                                : bgr(0x383838);
            for (int sy : screwYs) {
                const auto inCircle = [&](double ax, double ay) {
                    const double u = (ax - cx) / rr, v = (ay - sy) / rr;
                    return u * u + v * v <= 1.0;
                };
                if (inCircle(x, y)) {
                    bool edge = false;
                    for (int j = 1; j <= s; ++j) {
                        const double o = double(j) / s;
                        edge = edge || !inCircle(x - o, y) || !inCircle(x + o, y) ||
                               !inCircle(x, y - o) || !inCircle(x, y + o);
                    }
                    c = edge ? bgr(0x808080) : bgr(0xC0C0C0);
                }
                // The slot: two diagonals one logical pixel across, the white one below the grey.
                const double sum = x + y - cx - sy;
                if (x >= cx - d + 1 && x < cx + d && sum >= 1.5 && sum < 2.5)
                    c = bgr(0xFFFFFF);
                if (x >= cx - d && x < cx + d - 1 && sum >= -0.5 && sum < 0.5)
                    c = bgr(0x808080);
            }
            image.setPixel(px, py, c.rgb());
        }
    return image;
}

} // namespace

void HighDpiTest::initTestCase()
{
    QWidget probe;
    probe.show();
    QVERIFY(QTest::qWaitForWindowExposed(&probe));
    QCOMPARE(probe.devicePixelRatioF(), Ratio);
}

void HighDpiTest::ringFollowsTheRuleOverDevicePixels_data()
{
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<THighlightType>("type");
    QTest::newRow("settings 65x65") << QRect(10, 10, 65, 65) << TBoardHighlight::htSettings;
    QTest::newRow("options 40x56") << QRect(101, 37, 40, 56) << TBoardHighlight::htOptions;
    QTest::newRow("calibration 81x121")
        << QRect(163, 51, 81, 121) << TBoardHighlight::htCalibration;
}

void HighDpiTest::ringFollowsTheRuleOverDevicePixels()
{
    QFETCH(QRect, geometry);
    QFETCH(THighlightType, type);
    BoardFixture f;
    const QImage photo = noisePhotograph(f.board->size());
    f.board->setPicture(photo, TPicture::gkJpeg);
    TBoardHighlight *h = f.addHotspot("H", geometry, type, "&Hot");
    QVERIFY(f.show());

    // The photograph under the hotspot at device resolution: scaled smoothly to device pixels.
    const QImage devicePhoto =
        photo.scaled(f.board->size() * Ratio, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage under =
        rgb32(devicePhoto.copy(QRect(geometry.topLeft() * Ratio, geometry.size() * Ratio)));
    const struct
    {
        const QImage &image;
        float alpha;
        bool rim;
    } states[] = {{h->idleImage(), h->idleAlpha(), false},
                  {h->litImage(), h->litAlpha(), false},
                  {h->rimImage(), h->rimAlpha(), true}};
    for (const auto &state : states) {
        QCOMPARE(state.image.devicePixelRatio(), Ratio);
        const QImage expected = ReferenceRing(under, state.alpha, h->ringColor(), state.rim);
        const QString difference = firstDifference(rgb32(state.image), expected);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }
    // And a paint puts the image's pixels on the screen one for one.
    const QString painted = firstDifference(rgb32(h->grab().toImage()), rgb32(h->idleImage()));
    QVERIFY2(painted.isEmpty(), qPrintable(painted));
}

void HighDpiTest::jumperIsItsGeometryScaledByTheRatio_data()
{
    QTest::addColumn<bool>("three");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("orientation");
    QTest::newRow("two, open") << false << QSize(34, 18) << 0 << int(TJumperBase::otUp);
    QTest::newRow("two, closed, filter size")
        << false << QSize(32, 16) << 1 << int(TJumperBase::otUp);
    QTest::newRow("two, wide") << false << QSize(70, 18) << 0 << int(TJumperBase::otUp);
    QTest::newRow("two, closed, turned left")
        << false << QSize(34, 18) << 1 << int(TJumperBase::otLeft);
    QTest::newRow("three, open") << true << QSize(43, 18) << int(TJumperBase::jsOpen)
                                 << int(TJumperBase::otUp);
    QTest::newRow("three, left") << true << QSize(43, 18) << int(TJumperBase::jsLeft)
                                 << int(TJumperBase::otUp);
    QTest::newRow("three, right, down")
        << true << QSize(43, 18) << int(TJumperBase::jsRight) << int(TJumperBase::otDown);
    QTest::newRow("three, left, turned right")
        << true << QSize(43, 18) << int(TJumperBase::jsLeft) << int(TJumperBase::otRight);
}

void HighDpiTest::jumperIsItsGeometryScaledByTheRatio()
{
    QFETCH(bool, three);
    QFETCH(QSize, size);
    QFETCH(int, state);
    QFETCH(int, orientation);
    QWidget window;
    window.resize(200, 200);
    TJumperBase *jumper = nullptr;
    if (three) {
        auto *j = new TThreeJumper(&window);
        j->setJumperState(TJumperBase::TJumperState(state));
        jumper = j;
    } else {
        auto *j = new TTwoJumper(&window);
        j->setClosed(state != 0);
        jumper = j;
    }
    // Laid out in its final shape, as a layout holds it.
    const bool vertical = orientation == TJumperBase::otLeft || orientation == TJumperBase::otRight;
    jumper->setGeometry(QRect(QPoint(7, 9), vertical ? size.transposed() : size));
    jumper->setOrientation(TJumperBase::TOrientationType(orientation));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(QTest::qWaitFor([jumper] { return jumper->paintedOnce(); }));
    QCOMPARE(jumper->size(), vertical ? size.transposed() : size);

    const QColor face = QApplication::palette().color(QPalette::Button);
    const QImage expected =
        turned(referenceJumper(three, state, size.width(), size.height(), face), orientation);
    const QImage picture = jumper->composedPicture();
    QCOMPARE(picture.devicePixelRatio(), Ratio);
    const QString difference = firstDifference(rgb32(picture), rgb32(expected));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    const QString painted = firstDifference(rgb32(jumper->grab().toImage()), rgb32(expected));
    QVERIFY2(painted.isEmpty(), qPrintable(painted));
}

void HighDpiTest::terminalIsItsGeometryScaledByTheRatio_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("ratio");
    QTest::newRow("layout size on the screen") << QSize(57, 65) << 0;
    QTest::newRow("smaller box on the screen") << QSize(40, 47) << 0;
    QTest::newRow("layout size, image of ratio 3") << QSize(57, 65) << 3;
}

void HighDpiTest::terminalIsItsGeometryScaledByTheRatio()
{
    QFETCH(QSize, size);
    QFETCH(int, ratio);
    QImage actual;
    if (ratio == 0) {
        // Through the paint box as the power panel draws it, on the ratio-2 screen.
        ratio = int(Ratio);
        QWidget window;
        window.resize(120, 120);
        auto *box = new TPaintBox(&window);
        box->setGeometry(QRect(QPoint(13, 5), size));
        connect(box, &TPaintBox::Paint, box, [box] {
            QPainter painter(box);
            PaintPowerScrew(painter, box->rect());
        });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        actual = box->grab().toImage();
    } else {
        actual = QImage(size * ratio, QImage::Format_RGB32);
        actual.setDevicePixelRatio(ratio);
        actual.fill(Qt::magenta);
        QPainter painter(&actual);
        PaintPowerScrew(painter, QRect(QPoint(0, 0), size));
    }
    QCOMPARE(actual.devicePixelRatio(), qreal(ratio));
    const QImage expected = referenceTerminal(size.width(), size.height(), ratio);
    const QString difference = firstDifference(rgb32(actual), expected);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

QTEST_MAIN(HighDpiTest)
#include "tst_highdpi.moc"
