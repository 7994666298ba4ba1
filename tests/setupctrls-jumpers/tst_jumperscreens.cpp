// A jumper moved between two screens of different pixel ratios (ratio 1 and ratio 2, set up by
// the offscreen platform's configuration file).
#include "tjumper.h"

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <QWindow>

namespace {

QScreen *screenNamed(const char *name)
{
    for (QScreen *screen : QGuiApplication::screens())
        if (screen->name() == QLatin1String(name))
            return screen;
    return nullptr;
}

} // namespace

class TestJumperScreens : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void jumperIsRedrawnForItsNewScreensRatio();
};

void TestJumperScreens::initTestCase()
{
    QVERIFY(screenNamed("plain") && screenNamed("dense"));
    QCOMPARE(screenNamed("plain")->devicePixelRatio(), 1.0);
    QCOMPARE(screenNamed("dense")->devicePixelRatio(), 2.0);
}

void TestJumperScreens::jumperIsRedrawnForItsNewScreensRatio()
{
    QWidget window;
    window.setScreen(screenNamed("plain"));
    window.setGeometry(10, 10, 100, 60);
    auto *jumper = new TThreeJumper(&window);
    jumper->setGeometry(7, 9, 43, 18);
    jumper->setJumperState(TJumperBase::jsLeft);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(QTest::qWaitFor([jumper] { return jumper->paintedOnce(); }));
    const QImage plain = jumper->composedPicture();
    QCOMPARE(plain.devicePixelRatio(), 1.0);
    QCOMPARE(plain.size(), QSize(43, 18));

    window.windowHandle()->setScreen(screenNamed("dense"));
    QTRY_COMPARE(jumper->devicePixelRatioF(), 2.0);
    // What the screen shows, before anything asks for the picture again.
    QImage shown = jumper->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.devicePixelRatio(), 2.0);
    shown.setDevicePixelRatio(1);
    QImage dense = jumper->composedPicture();
    QCOMPARE(dense.devicePixelRatio(), 2.0);
    dense.setDevicePixelRatio(1);
    QCOMPARE(shown, dense.convertToFormat(QImage::Format_RGB32));
    QCOMPARE(dense.size(), QSize(86, 36));
    // The same drawing at twice the pixels: the middles of the logical pixels keep their colours
    // (corners, the shunt, the pins' centres).
    for (const QPoint &p :
         {QPoint(0, 0), QPoint(42, 0), QPoint(42, 17), QPoint(10, 9), QPoint(21, 9), QPoint(35, 4)})
        QCOMPARE(dense.pixel(2 * p.x() + 1, 2 * p.y() + 1), plain.pixel(p));
}

QTEST_MAIN(TestJumperScreens)
#include "tst_jumperscreens.moc"
