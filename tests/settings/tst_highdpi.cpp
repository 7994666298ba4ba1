// The board's pictures on a screen of device pixel ratio 2 (CTest sets QT_SCALE_FACTOR=2): the
// ring over the hotspot's device pixels, the jumpers and the screw terminal drawn with their
// geometry scaled by the ratio. Each is held to what its rules say of certain pixels (corners,
// middles) and to its own ratio-1 drawing wherever that drawing is uniform.
#include "../setupctrls/boardfixture.h"
#include "powerscrew.h"
#include "tjumper.h"
#include "tpaintbox.h"

#include <QPainter>
#include <QTest>

#include <cmath>

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

// base and colour mixed with weight m, each channel rounded half to even.
QRgb blended(QRgb base, const QColor &colour, float m)
{
    const auto mix = [m](int b, int c) {
        const volatile float value = (1.0f - m) * float(b) + m * float(c);
        return qBound(0, int(std::nearbyint(value)), 255);
    };
    return qRgb(mix(qRed(base), colour.red()), mix(qGreen(base), colour.green()),
                mix(qBlue(base), colour.blue()));
}

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

// A jumper whose drawing the test can run on a picture of its own, at ratio 1.
template<class Jumper>
struct Drawable : Jumper
{
    using Jumper::Jumper;
    QImage drawnAtRatioOne(int w, int h, const QColor &background)
    {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(background);
        this->drawUpright(image, w, h);
        return image;
    }
};

// Where a logical pixel and its eight neighbours share one colour at ratio 1, every device pixel
// under it has that colour at ratio s: the drawing is the same geometry, only finer.
QString firstUniformAreaDifference(const QImage &dense, const QImage &plain, int s)
{
    if (dense.size() != plain.size() * s)
        return QStringLiteral("size %1x%2 is not %3 times %4x%5")
            .arg(dense.width())
            .arg(dense.height())
            .arg(s)
            .arg(plain.width())
            .arg(plain.height());
    for (int y = 1; y + 1 < plain.height(); ++y)
        for (int x = 1; x + 1 < plain.width(); ++x) {
            const QRgb colour = plain.pixel(x, y);
            bool uniform = true;
            for (int j = -1; j <= 1 && uniform; ++j)
                for (int i = -1; i <= 1 && uniform; ++i)
                    uniform = plain.pixel(x + i, y + j) == colour;
            for (int j = 0; uniform && j < s; ++j)
                for (int i = 0; i < s; ++i)
                    if (dense.pixel(x * s + i, y * s + j) != colour)
                        return QStringLiteral("device pixel (%1, %2) under logical (%3, %4): %5, "
                                              "expected %6")
                            .arg(x * s + i)
                            .arg(y * s + j)
                            .arg(x)
                            .arg(y)
                            .arg(dense.pixel(x * s + i, y * s + j) & 0xFFFFFF, 6, 16,
                                 QLatin1Char('0'))
                            .arg(colour & 0xFFFFFF, 6, 16, QLatin1Char('0'));
        }
    return QString();
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

// The terminal block of a W x H box drawn on a picture of ratio s.
QImage paintedTerminal(const QSize &size, int s)
{
    QImage image(size * s, QImage::Format_RGB32);
    image.setDevicePixelRatio(s);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    PaintPowerScrew(painter, QRect(QPoint(0, 0), size));
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
    const QColor ring = bgr(h->ringColor());
    const int w = under.width(), hh = under.height();
    for (const auto &state : states) {
        QCOMPARE(state.image.devicePixelRatio(), Ratio);
        const QImage image = rgb32(state.image);
        QCOMPARE(image.size(), under.size());
        // Outside the ellipse the photograph shows untouched: the four corners.
        for (const QPoint &corner :
             {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, hh - 1), QPoint(w - 1, hh - 1)})
            QCOMPARE(image.pixel(corner), under.pixel(corner));
        // The middle is tinted with weight 0.16, with or without the rim.
        const QPoint middle(w / 2, hh / 2);
        QCOMPARE(image.pixel(middle), blended(under.pixel(middle), ring, 0.16f * state.alpha));
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
    const int w = size.width(), h = size.height();
    if (three) {
        auto *j = new Drawable<TThreeJumper>(&window);
        j->setJumperState(TJumperBase::TJumperState(state));
        jumper = j;
    } else {
        auto *j = new Drawable<TTwoJumper>(&window);
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
    const QImage plain =
        three ? static_cast<Drawable<TThreeJumper> *>(jumper)->drawnAtRatioOne(w, h, face)
              : static_cast<Drawable<TTwoJumper> *>(jumper)->drawnAtRatioOne(w, h, face);
    const QImage upright = rgb32(jumper->uprightBitmap());
    QCOMPARE(jumper->uprightBitmap().devicePixelRatio(), Ratio);
    const QString difference = firstUniformAreaDifference(upright, plain, int(Ratio));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    // What the rules put in the corners and the middle: the body is inset by a pixel, a shunt
    // reaches the edges in black, the middle is the body, the shunt or the middle pin.
    const QColor black(Qt::black), grey = bgr(0x808080), yellow = bgr(0x00FFFF),
                                   maroon = bgr(0x000080);
    const bool shuntLeft = three ? state == TJumperBase::jsLeft : state != 0;
    const bool shuntRight = three ? state == TJumperBase::jsRight : state != 0;
    const QColor middle = three ? yellow : (state ? maroon : grey);
    const auto device = [&](int x, int y) { return QColor(upright.pixel(x, y)); };
    const int dw = upright.width() - 1, dh = upright.height() - 1;
    QCOMPARE(device(0, 0), shuntLeft ? black : face);
    QCOMPARE(device(0, dh), shuntLeft ? black : face);
    QCOMPARE(device(dw, 0), shuntRight ? black : face);
    QCOMPARE(device(dw, dh), shuntRight ? black : face);
    QCOMPARE(device(upright.width() / 2, upright.height() / 2), middle);

    // Turned as the orientation says, and painted one for one.
    const QImage picture = jumper->composedPicture();
    QCOMPARE(picture.devicePixelRatio(), Ratio);
    const QString turnedDifference =
        firstDifference(rgb32(picture), rgb32(turned(upright, orientation)));
    QVERIFY2(turnedDifference.isEmpty(), qPrintable(turnedDifference));
    const QString painted = firstDifference(rgb32(jumper->grab().toImage()), rgb32(picture));
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
        actual = paintedTerminal(size, ratio);
    }
    QCOMPARE(actual.devicePixelRatio(), qreal(ratio));
    const QImage dense = rgb32(actual);
    const QString difference =
        firstUniformAreaDifference(dense, rgb32(paintedTerminal(size, 1)), ratio);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    // The rules' corners: the light strip down the left edge, the dark frame elsewhere.
    const int dw = dense.width() - 1, dh = dense.height() - 1;
    QCOMPARE(QColor(dense.pixel(0, 0)), bgr(0x484848));
    QCOMPARE(QColor(dense.pixel(0, dh)), bgr(0x484848));
    QCOMPARE(QColor(dense.pixel(dw, 0)), bgr(0x383838));
    QCOMPARE(QColor(dense.pixel(dw, dh)), bgr(0x383838));
}

QTEST_MAIN(HighDpiTest)
#include "tst_highdpi.moc"
