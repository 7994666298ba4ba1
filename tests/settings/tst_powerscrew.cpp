// The power panel's screw terminal, pixel for pixel at layout size.
#include "powerscrew.h"

#include <QPainter>
#include <QtTest>

class PowerScrewTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void roundingHalvesGoToEven_data();
    void roundingHalvesGoToEven();
    void pixelsAtLayoutSize_data();
    void pixelsAtLayoutSize();
    void slotLinesLeaveOutTheirEndPoints();
    void screwCirclesFillTheirBoxesExactly();
    void drawScrewLeavesPenGrey();

private:
    QImage m_image;
};

static QRgb Bgr(unsigned bgr)
{
    return ColorFromBgr(bgr).rgb();
}

void PowerScrewTest::initTestCase()
{
    m_image = QImage(57, 65, QImage::Format_RGB32);
    m_image.fill(Qt::magenta);
    QPainter p(&m_image);
    PaintPowerScrew(p, QRect(0, 0, 57, 65));
}

void PowerScrewTest::roundingHalvesGoToEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("rounded");
    QTest::newRow("28.5") << 28.5 << 28;
    QTest::newRow("9.5") << 9.5 << 10;
    QTest::newRow("4.875") << 4.875 << 5;
    QTest::newRow("11.4") << 11.4 << 11;
    QTest::newRow("-2.5") << -2.5 << -2;
}

void PowerScrewTest::roundingHalvesGoToEven()
{
    QFETCH(double, value);
    QFETCH(int, rounded);
    QCOMPARE(RoundHalfEven(value), rounded);
}

void PowerScrewTest::pixelsAtLayoutSize_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<unsigned>("bgr");
    // body and its outline; the lighter strip covers the outline's left part
    QTest::newRow("strip over outline") << QPoint(0, 0) << 0x484848u;
    QTest::newRow("strip, last column") << QPoint(10, 40) << 0x484848u;
    QTest::newRow("strip bottom") << QPoint(5, 64) << 0x484848u;
    QTest::newRow("top outline") << QPoint(11, 0) << 0x383838u;
    QTest::newRow("right outline") << QPoint(56, 30) << 0x383838u;
    QTest::newRow("bottom outline") << QPoint(30, 64) << 0x383838u;
    QTest::newRow("body") << QPoint(11, 30) << 0x404040u;
    // the slot (42, 5, 52, 60)
    QTest::newRow("slot outline left") << QPoint(42, 30) << 0x383838u;
    QTest::newRow("slot outline top") << QPoint(47, 5) << 0x383838u;
    QTest::newRow("slot outline right") << QPoint(51, 30) << 0x383838u;
    QTest::newRow("slot outline bottom") << QPoint(47, 59) << 0x383838u;
    QTest::newRow("slot inside") << QPoint(43, 6) << 0x000000u;
    QTest::newRow("slot inside low") << QPoint(50, 58) << 0x000000u;
    QTest::newRow("left of slot") << QPoint(41, 30) << 0x404040u;
    QTest::newRow("right of slot") << QPoint(52, 30) << 0x404040u;
    QTest::newRow("below slot") << QPoint(47, 60) << 0x404040u;
    // upper screw, circle (18, 6, 38, 26)
    QTest::newRow("screw centre") << QPoint(28, 16) << 0xC0C0C0u;
    QTest::newRow("screw top edge") << QPoint(28, 6) << 0x808080u;
    QTest::newRow("screw left edge") << QPoint(18, 16) << 0x808080u;
    QTest::newRow("screw right edge") << QPoint(37, 16) << 0x808080u;
    QTest::newRow("screw bottom edge") << QPoint(28, 25) << 0x808080u;
    QTest::newRow("above screw") << QPoint(28, 5) << 0x404040u;
    QTest::newRow("right of screw") << QPoint(38, 16) << 0x404040u;
    QTest::newRow("below screw") << QPoint(28, 26) << 0x404040u;
    QTest::newRow("white line start") << QPoint(22, 23) << 0xFFFFFFu;
    QTest::newRow("white line last") << QPoint(34, 11) << 0xFFFFFFu;
    QTest::newRow("grey line start") << QPoint(21, 22) << 0x808080u;
    QTest::newRow("grey line last") << QPoint(33, 10) << 0x808080u;
    QTest::newRow("grey line end left out") << QPoint(34, 9) << 0xC0C0C0u;
    // lower screw, 33 pixels further down
    QTest::newRow("lower centre") << QPoint(28, 49) << 0xC0C0C0u;
    QTest::newRow("lower top edge") << QPoint(28, 39) << 0x808080u;
    QTest::newRow("lower white start") << QPoint(22, 56) << 0xFFFFFFu;
    QTest::newRow("lower grey start") << QPoint(21, 55) << 0x808080u;
    QTest::newRow("between screws") << QPoint(28, 32) << 0x404040u;
}

void PowerScrewTest::pixelsAtLayoutSize()
{
    QFETCH(QPoint, at);
    QFETCH(unsigned, bgr);
    QCOMPARE(QString::number(m_image.pixel(at) & 0xFFFFFF, 16),
             QString::number(Bgr(bgr) & 0xFFFFFF, 16));
}

void PowerScrewTest::slotLinesLeaveOutTheirEndPoints()
{
    for (int j = 0; j < 13; ++j) {
        QCOMPARE(m_image.pixel(22 + j, 23 - j), Bgr(0xFFFFFF));
        QCOMPARE(m_image.pixel(21 + j, 22 - j), Bgr(0x808080));
    }
    QVERIFY(m_image.pixel(35, 10) != Bgr(0xFFFFFF));
}

void PowerScrewTest::screwCirclesFillTheirBoxesExactly()
{
    for (const int top : {6, 39}) {
        QRect box;
        for (int y = 0; y < 65; ++y)
            for (int x = 12; x < 42; ++x) {
                const QRgb c = m_image.pixel(x, y);
                if ((c == Bgr(0xC0C0C0) || c == Bgr(0x808080) || c == Bgr(0xFFFFFF)) &&
                    y >= top - 2 && y < top + 22)
                    box |= QRect(x, y, 1, 1);
            }
        QCOMPARE(box, QRect(18, top, 20, 20));
    }
}

void PowerScrewTest::drawScrewLeavesPenGrey()
{
    QImage image(20, 20, QImage::Format_RGB32);
    QPainter p(&image);
    p.setPen(Qt::red);
    DrawScrew(p, 10, 10, 5.0f);
    QCOMPARE(p.pen().color(), ColorFromBgr(0x808080));
    QCOMPARE(image.pixel(10, 5), QColor(Qt::red).rgb()); // outline in the pen it was given
}

QTEST_GUILESS_MAIN(PowerScrewTest)
#include "tst_powerscrew.moc"
