#include "tjumper.h"
#include "tradiopanel.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

namespace {

constexpr QRgb Black = 0xFF000000;
constexpr QRgb Grey = 0xFF808080;
constexpr QRgb Yellow = 0xFFFFFF00;
constexpr QRgb Maroon = 0xFF800000;

QRgb buttonFace()
{
    return QApplication::palette().color(QPalette::Button).rgb();
}

// Bounding box (right and bottom excluded, as the drawing calls take them)
// of the pixels of one colour inside an area of the picture.
QRect boundsOf(const QImage &img, QRgb colour, QRect area = QRect())
{
    if (area.isNull())
        area = img.rect();
    int l = INT_MAX, t = INT_MAX, r = INT_MIN, b = INT_MIN;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (img.pixel(x, y) == colour) {
                l = std::min(l, x);
                t = std::min(t, y);
                r = std::max(r, x + 1);
                b = std::max(b, y + 1);
            }
    return l == INT_MAX ? QRect() : QRect(QPoint(l, t), QPoint(r, b));
}

QRect ltrb(int l, int t, int r, int b)
{
    return QRect(QPoint(l, t), QPoint(r, b));
}

// A subclass is not the content panel itself.
class DerivedPanel : public TRadioPanel
{
    Q_OBJECT
public:
    using TRadioPanel::TRadioPanel;
};

} // namespace

Q_DECLARE_METATYPE(TOrientationType)
Q_DECLARE_METATYPE(TJumperState)

class TestJumpers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // --- properties ---
    void defaultsMatchTheStoredLayoutDefaults();
    void threeJumperAllowOpenRules_data();
    void threeJumperAllowOpenRules();
    void threeJumperClickCycle_data();
    void threeJumperClickCycle();

    // --- pictures ---
    void twoJumperPinsSitInTheirBoxes_data();
    void twoJumperPinsSitInTheirBoxes();
    void twoJumperPinsAreRoundAndSymmetric();
    void twoJumperDefaultOpenBody();
    void twoJumperClosedIsOneMaroonRectangle();
    void twoJumperBorderNoneOutlinesInFillColour();
    void threeJumperDefaultPins();
    void threeJumperShunts_data();
    void threeJumperShunts();
    void threeJumperShuntPositionPerOrientation_data();
    void threeJumperShuntPositionPerOrientation();
    void turnedPicturesMatchQtRotation_data();
    void turnedPicturesMatchQtRotation();
    void backgroundIsButtonFaceOutsideContentPanel();
    void backgroundIsPanelColourInsideContentPanel();
    void coloursAreBgrValues();

    // --- orientation and size ---
    void orientationChangeSwapsSizeAfterPaint_data();
    void orientationChangeSwapsSizeAfterPaint();
    void orientationChangeBeforeFirstPaintOnlyClearsMark();
    void orientationChangeBetweenVerticalsKeepsSize();

    // --- clicks ---
    void twoJumperClickTogglesAndHandlerSeesNewState();
    void twoJumperDoubleClickIsOneClick_data();
    void twoJumperDoubleClickIsOneClick();
    void disabledJumperIgnoresClicks();
    void clickOutsideReleaseIsNoClick();
    void radioPanelLeavesExactlyTheClickedJumperClosed();
    void radioPanelDisabledOrDerivedOnlyToggles_data();
    void radioPanelDisabledOrDerivedOnlyToggles();
    void radioPanelLeavesThreeJumpersAlone();
};

void TestJumpers::defaultsMatchTheStoredLayoutDefaults()
{
    TTwoJumper two;
    QCOMPARE(two.size(), QSize(34, 18));
    QCOMPARE(two.property("Closed").toBool(), false);
    QCOMPARE(two.property("BaseColor").toUInt(), 0x808080u);
    QCOMPARE(two.property("PinColor").toUInt(), 0x00FFFFu);
    QCOMPARE(two.property("JumperColor").toUInt(), 0x000080u);
    QCOMPARE(two.orientation(), TJumperBase::otUp);
    QCOMPARE(two.borderStyle(), TJumperBase::bsSingle);
    QCOMPARE(two.property("Tag").toInt(), 0);
    QVERIFY(!two.swapPending());
    QVERIFY(!two.paintedOnce());

    TThreeJumper three;
    QCOMPARE(three.size(), QSize(43, 18));
    QCOMPARE(three.jumperState(), TJumperBase::jsOpen);
    QCOMPARE(three.property("AllowOpen").toBool(), true);
    QCOMPARE(three.property("BaseColor").toUInt(), 0x808080u);
    QCOMPARE(three.orientation(), TJumperBase::otUp);

    // Layouts set enumerations by name.
    QVERIFY(three.setProperty("Orientation", "otRight"));
    QCOMPARE(three.orientation(), TJumperBase::otRight);
    QVERIFY(three.setProperty("JumperState", "jsRight"));
    QCOMPARE(three.jumperState(), TJumperBase::jsRight);
}

void TestJumpers::threeJumperAllowOpenRules_data()
{
    QTest::addColumn<TJumperState>("start");
    QTest::addColumn<bool>("allowOpen");
    QTest::addColumn<TJumperState>("request");
    QTest::addColumn<TJumperState>("expected");
    QTest::newRow("open refused when not allowed")
        << TJumperBase::jsRight << false << TJumperBase::jsOpen << TJumperBase::jsRight;
    QTest::newRow("open accepted when allowed")
        << TJumperBase::jsRight << true << TJumperBase::jsOpen << TJumperBase::jsOpen;
    QTest::newRow("left accepted when not allowed")
        << TJumperBase::jsRight << false << TJumperBase::jsLeft << TJumperBase::jsLeft;
}

void TestJumpers::threeJumperAllowOpenRules()
{
    QFETCH(TJumperState, start);
    QFETCH(bool, allowOpen);
    QFETCH(TJumperState, request);
    QFETCH(TJumperState, expected);
    TThreeJumper j;
    j.setJumperState(start);
    j.setAllowOpen(allowOpen);
    j.setJumperState(request);
    QCOMPARE(j.jumperState(), expected);
}

void TestJumpers::threeJumperClickCycle_data()
{
    QTest::addColumn<bool>("allowOpen");
    QTest::addColumn<QList<int>>("states");
    QTest::newRow("open allowed") << true
                                  << QList<int>{TJumperBase::jsLeft, TJumperBase::jsRight,
                                                TJumperBase::jsOpen, TJumperBase::jsLeft};
    QTest::newRow("open not allowed") << false
                                      << QList<int>{TJumperBase::jsRight, TJumperBase::jsLeft,
                                                    TJumperBase::jsRight, TJumperBase::jsLeft};
}

void TestJumpers::threeJumperClickCycle()
{
    QFETCH(bool, allowOpen);
    QFETCH(QList<int>, states);
    TThreeJumper j;
    j.setAllowOpen(allowOpen);
    // An open jumper that may not stay open moves to the left pair.
    QCOMPARE(j.jumperState(), allowOpen ? TJumperBase::jsOpen : TJumperBase::jsLeft);
    QList<int> seen;
    connect(&j, &TJumperBase::clicked, &j, [&] { seen << j.jumperState(); });
    for (int expected : states) {
        j.click();
        QCOMPARE(int(j.jumperState()), expected);
    }
    // Handlers read the state after the change.
    QCOMPARE(seen, states);
}

void TestJumpers::twoJumperPinsSitInTheirBoxes_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QRect>("leftPin");
    QTest::addColumn<QRect>("rightPin");
    QTest::newRow("default 34x18")
        << QSize(34, 18) << false << ltrb(8, 6, 14, 12) << ltrb(20, 6, 26, 12);
    QTest::newRow("32x16 open") << QSize(32, 16) << false << ltrb(7, 5, 13, 11)
                                << ltrb(19, 5, 25, 11);
    QTest::newRow("32x16 closed") << QSize(32, 16) << true << ltrb(7, 5, 13, 11)
                                  << ltrb(19, 5, 25, 11);
    // 18 / 4 = 4.5 rounds to the even 4.
    QTest::newRow("70x18") << QSize(70, 18) << false << ltrb(17, 5, 25, 13) << ltrb(45, 5, 53, 13);
}

void TestJumpers::twoJumperPinsSitInTheirBoxes()
{
    QFETCH(QSize, size);
    QFETCH(bool, closed);
    QFETCH(QRect, leftPin);
    QFETCH(QRect, rightPin);
    TTwoJumper j;
    j.resize(size);
    j.setClosed(closed);
    const QImage img = j.composedPicture();
    QCOMPARE(img.size(), size);
    const int half = size.width() / 2;
    QCOMPARE(boundsOf(img, Yellow, QRect(0, 0, half, size.height())), leftPin);
    QCOMPARE(boundsOf(img, Yellow, QRect(half, 0, size.width() - half, size.height())), rightPin);
    // The pins' centre rows are solid across the box.
    for (const QRect &pin : {leftPin, rightPin})
        for (int x = pin.left(); x < pin.right(); ++x)
            QCOMPARE(img.pixel(x, pin.top() + pin.height() / 2 - 1), Yellow);
}

void TestJumpers::twoJumperPinsAreRoundAndSymmetric()
{
    TTwoJumper j;
    const QImage img = j.composedPicture();
    // The default picture is its own mirror image, left to right and top to bottom.
    QCOMPARE(img.mirrored(true, false), img);
    QCOMPARE(img.mirrored(false, true), img);
    const char *pin[] = {".oooo.", "oooooo", "oooooo", "oooooo", "oooooo", ".oooo."};
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            QCOMPARE(img.pixel(8 + x, 6 + y) == Yellow, pin[y][x] == 'o');
}

void TestJumpers::twoJumperDefaultOpenBody()
{
    TTwoJumper j;
    const QImage img = j.composedPicture();
    QCOMPARE(boundsOf(img, Black), ltrb(1, 1, 33, 17));
    QCOMPARE(boundsOf(img, Grey), ltrb(2, 2, 32, 16));
    // Straight edges of the outline.
    for (int x = 6; x < 28; ++x) {
        QCOMPARE(img.pixel(x, 1), Black);
        QCOMPARE(img.pixel(x, 16), Black);
    }
    for (int y = 6; y < 12; ++y) {
        QCOMPARE(img.pixel(1, y), Black);
        QCOMPARE(img.pixel(32, y), Black);
    }
    // Rounded corners show the background, as does the frame around the body.
    for (QPoint p : {QPoint(1, 1), QPoint(32, 1), QPoint(1, 16), QPoint(32, 16), QPoint(0, 0),
                     QPoint(33, 17), QPoint(0, 9), QPoint(17, 0)})
        QCOMPARE(img.pixel(p), buttonFace());
    QCOMPARE(img.pixel(17, 9), Grey);
}

void TestJumpers::twoJumperClosedIsOneMaroonRectangle()
{
    TTwoJumper j;
    j.resize(32, 16);
    j.setClosed(true);
    const QImage img = j.composedPicture();
    for (int x = 0; x < 32; ++x) {
        QCOMPARE(img.pixel(x, 0), Black);
        QCOMPARE(img.pixel(x, 15), Black);
    }
    for (int y = 0; y < 16; ++y) {
        QCOMPARE(img.pixel(0, y), Black);
        QCOMPARE(img.pixel(31, y), Black);
    }
    QCOMPARE(boundsOf(img, Maroon), ltrb(1, 1, 31, 15));
    int others = 0;
    for (int y = 1; y < 15; ++y)
        for (int x = 1; x < 31; ++x)
            if (img.pixel(x, y) != Maroon && img.pixel(x, y) != Yellow)
                ++others;
    QCOMPARE(others, 0);
}

void TestJumpers::twoJumperBorderNoneOutlinesInFillColour()
{
    TTwoJumper j;
    j.setBorderStyle(TJumperBase::bsNone);
    QImage img = j.composedPicture();
    QVERIFY(boundsOf(img, Black).isNull());
    QCOMPARE(boundsOf(img, Grey), ltrb(1, 1, 33, 17));
    j.setClosed(true);
    img = j.composedPicture();
    QVERIFY(boundsOf(img, Black).isNull());
    QCOMPARE(boundsOf(img, Maroon), ltrb(0, 0, 34, 18));
}

void TestJumpers::threeJumperDefaultPins()
{
    TThreeJumper j;
    const QImage img = j.composedPicture();
    QCOMPARE(img.size(), QSize(43, 18));
    QCOMPARE(boundsOf(img, Yellow, QRect(0, 0, 16, 18)), ltrb(7, 6, 13, 12));
    QCOMPARE(boundsOf(img, Yellow, QRect(16, 0, 11, 18)), ltrb(18, 6, 24, 12));
    QCOMPARE(boundsOf(img, Yellow, QRect(27, 0, 16, 18)), ltrb(30, 6, 36, 12));
    QCOMPARE(boundsOf(img, Black), ltrb(1, 1, 42, 17));
    QVERIFY(boundsOf(img, Maroon).isNull());
}

void TestJumpers::threeJumperShunts_data()
{
    QTest::addColumn<TJumperState>("state");
    QTest::addColumn<TJumperBase::TBorderStyle>("border");
    QTest::addColumn<QRect>("shunt");
    QTest::newRow("left") << TJumperBase::jsLeft << TJumperBase::bsSingle << ltrb(0, 0, 27, 18);
    QTest::newRow("right") << TJumperBase::jsRight << TJumperBase::bsSingle << ltrb(15, 0, 43, 18);
    QTest::newRow("left, no border")
        << TJumperBase::jsLeft << TJumperBase::bsNone << ltrb(0, 0, 27, 18);
    QTest::newRow("right, no border")
        << TJumperBase::jsRight << TJumperBase::bsNone << ltrb(15, 0, 43, 18);
}

void TestJumpers::threeJumperShunts()
{
    QFETCH(TJumperState, state);
    QFETCH(TJumperBase::TBorderStyle, border);
    QFETCH(QRect, shunt);
    TThreeJumper j;
    j.setJumperState(state);
    j.setBorderStyle(border);
    const QImage img = j.composedPicture();
    QCOMPARE(boundsOf(img, Maroon), shunt.adjusted(1, 1, -1, -1));
    // The shunt is outlined in black whatever the border style.
    for (int x = shunt.left(); x < shunt.right(); ++x) {
        QCOMPARE(img.pixel(x, 0), Black);
        QCOMPARE(img.pixel(x, 17), Black);
    }
    for (int y = 0; y < 18; ++y) {
        QCOMPARE(img.pixel(shunt.left(), y), Black);
        QCOMPARE(img.pixel(shunt.right() - 1, y), Black);
    }
    // The pins under the shunt stay visible.
    QCOMPARE(img.pixel(21, 9), Yellow);
    if (border == TJumperBase::bsNone)
        QCOMPARE(boundsOf(img, Black), shunt);
}

void TestJumpers::threeJumperShuntPositionPerOrientation_data()
{
    QTest::addColumn<TOrientationType>("orientation");
    QTest::addColumn<QPoint>("onShunt");
    QTest::addColumn<QPoint>("offShunt");
    // Picture points at the middle of the end pins of a jsLeft jumper.
    QTest::newRow("up: left pair") << TJumperBase::otUp << QPoint(4, 3) << QPoint(38, 3);
    QTest::newRow("down: right pair") << TJumperBase::otDown << QPoint(38, 3) << QPoint(4, 3);
    QTest::newRow("left: lower pair") << TJumperBase::otLeft << QPoint(3, 38) << QPoint(3, 4);
    QTest::newRow("right: upper pair") << TJumperBase::otRight << QPoint(3, 4) << QPoint(3, 38);
}

void TestJumpers::threeJumperShuntPositionPerOrientation()
{
    QFETCH(TOrientationType, orientation);
    QFETCH(QPoint, onShunt);
    QFETCH(QPoint, offShunt);
    TThreeJumper j;
    j.setJumperState(TJumperBase::jsLeft);
    const bool vertical = orientation == TJumperBase::otLeft || orientation == TJumperBase::otRight;
    if (vertical)
        j.resize(18, 43);
    j.setOrientation(orientation);
    const QImage img = j.composedPicture();
    QCOMPARE(img.size(), vertical ? QSize(18, 43) : QSize(43, 18));
    QCOMPARE(img.pixel(onShunt), Maroon);
    QVERIFY(img.pixel(offShunt) != Maroon);
}

void TestJumpers::turnedPicturesMatchQtRotation_data()
{
    QTest::addColumn<TOrientationType>("orientation");
    QTest::addColumn<int>("degrees");
    QTest::newRow("down") << TJumperBase::otDown << 180;
    QTest::newRow("left (counter-clockwise)") << TJumperBase::otLeft << 270;
    QTest::newRow("right (clockwise)") << TJumperBase::otRight << 90;
}

void TestJumpers::turnedPicturesMatchQtRotation()
{
    QFETCH(TOrientationType, orientation);
    QFETCH(int, degrees);
    TThreeJumper upright;
    upright.setJumperState(TJumperBase::jsRight);
    upright.setPinColor(0x0000FF);
    const QImage reference = upright.composedPicture();

    TThreeJumper turned;
    turned.setJumperState(TJumperBase::jsRight);
    turned.setPinColor(0x0000FF);
    if (degrees != 180)
        turned.resize(18, 43);
    turned.setOrientation(orientation);
    QCOMPARE(turned.uprightBitmap().isNull(), true);
    const QImage img = turned.composedPicture();
    QCOMPARE(turned.uprightBitmap(), reference);
    QCOMPARE(img, reference.transformed(QTransform().rotate(degrees)));
}

void TestJumpers::backgroundIsButtonFaceOutsideContentPanel()
{
    QWidget parent;
    QPalette pal = parent.palette();
    pal.setColor(QPalette::Window, Qt::red);
    parent.setPalette(pal);
    TTwoJumper j(&parent);
    const QImage img = j.composedPicture();
    QCOMPARE(img.pixel(0, 0), buttonFace());
    QCOMPARE(img.pixel(33, 17), buttonFace());

    DerivedPanel derived;
    derived.setPalette(pal);
    TThreeJumper k(&derived);
    QCOMPARE(k.composedPicture().pixel(0, 0), buttonFace());
}

void TestJumpers::backgroundIsPanelColourInsideContentPanel()
{
    TRadioPanel panel;
    QPalette pal = panel.palette();
    pal.setColor(panel.backgroundRole(), QColor(0x12, 0x34, 0x56));
    panel.setPalette(pal);
    TTwoJumper j(&panel);
    const QImage img = j.composedPicture();
    QCOMPARE(img.pixel(0, 0), qRgb(0x12, 0x34, 0x56));
    QCOMPARE(img.pixel(1, 1), qRgb(0x12, 0x34, 0x56));
}

void TestJumpers::coloursAreBgrValues()
{
    TTwoJumper j;
    j.setPinColor(0x0000FF);    // red
    j.setBaseColor(0xFF0000);   // blue
    j.setJumperColor(0x00FF00); // green
    QImage img = j.composedPicture();
    QCOMPARE(img.pixel(10, 9), qRgb(255, 0, 0));
    QCOMPARE(img.pixel(17, 9), qRgb(0, 0, 255));
    j.setClosed(true);
    img = j.composedPicture();
    QCOMPARE(img.pixel(17, 9), qRgb(0, 255, 0));
}

void TestJumpers::orientationChangeSwapsSizeAfterPaint_data()
{
    QTest::addColumn<TOrientationType>("orientation");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("up to left") << TJumperBase::otLeft << QSize(18, 34);
    QTest::newRow("up to right") << TJumperBase::otRight << QSize(18, 34);
    QTest::newRow("up to down") << TJumperBase::otDown << QSize(34, 18);
}

void TestJumpers::orientationChangeSwapsSizeAfterPaint()
{
    QFETCH(TOrientationType, orientation);
    QFETCH(QSize, expected);
    QWidget parent;
    parent.resize(100, 100);
    TTwoJumper j(&parent);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    j.grab();
    QVERIFY(j.paintedOnce());
    j.setOrientation(orientation);
    QCOMPARE(j.swapPending(), orientation != TJumperBase::otDown);
    j.grab();
    QVERIFY(!j.swapPending());
    QTRY_COMPARE(j.size(), expected);
    // Later paints keep the shape and show the turned picture in full.
    QTest::qWait(20);
    j.grab();
    QCoreApplication::processEvents();
    QCOMPARE(j.size(), expected);
    QCOMPARE(j.rotatedBitmap().size(), expected);
}

void TestJumpers::orientationChangeBeforeFirstPaintOnlyClearsMark()
{
    TTwoJumper j;
    j.resize(18, 34);
    j.setOrientation(TJumperBase::otLeft);
    QVERIFY(j.swapPending());
    j.grab();
    QCoreApplication::processEvents();
    QVERIFY(!j.swapPending());
    QVERIFY(j.paintedOnce());
    QCOMPARE(j.size(), QSize(18, 34));
    QCOMPARE(j.rotatedBitmap().size(), QSize(18, 34));
    QCOMPARE(j.uprightBitmap().size(), QSize(34, 18));
}

void TestJumpers::orientationChangeBetweenVerticalsKeepsSize()
{
    TTwoJumper j;
    j.resize(18, 34);
    j.setOrientation(TJumperBase::otLeft);
    j.grab();
    j.setOrientation(TJumperBase::otRight);
    QVERIFY(!j.swapPending());
    j.grab();
    QCoreApplication::processEvents();
    QCOMPARE(j.size(), QSize(18, 34));
}

void TestJumpers::twoJumperClickTogglesAndHandlerSeesNewState()
{
    TTwoJumper j;
    j.show();
    QList<bool> seen;
    connect(&j, &TJumperBase::clicked, &j, [&] { seen << j.closed(); });
    QTest::mouseClick(&j, Qt::LeftButton);
    QTest::mouseClick(&j, Qt::LeftButton);
    QTest::mouseClick(&j, Qt::RightButton);
    QCOMPARE(seen, (QList<bool>{true, false}));
    QCOMPARE(j.closed(), false);
}

void TestJumpers::twoJumperDoubleClickIsOneClick_data()
{
    QTest::addColumn<bool>("secondPressDelivered");
    QTest::newRow("double-click event in place of the second press") << false;
    QTest::newRow("second press followed by the double-click event") << true;
}

void TestJumpers::twoJumperDoubleClickIsOneClick()
{
    QFETCH(bool, secondPressDelivered);
    TTwoJumper j;
    j.show();
    QTest::mouseClick(&j, Qt::LeftButton);
    if (secondPressDelivered)
        QTest::mousePress(&j, Qt::LeftButton);
    QTest::mouseDClick(&j, Qt::LeftButton);
    QTest::mouseRelease(&j, Qt::LeftButton);
    QCOMPARE(j.closed(), true);
}

void TestJumpers::disabledJumperIgnoresClicks()
{
    TThreeJumper j;
    j.setAllowOpen(false);
    j.setEnabled(false);
    j.show();
    QTest::mouseClick(&j, Qt::LeftButton);
    QCOMPARE(j.jumperState(), TJumperBase::jsLeft);
    // It still paints as usual.
    QCOMPARE(j.composedPicture().pixel(4, 3), Maroon);
}

void TestJumpers::clickOutsideReleaseIsNoClick()
{
    TTwoJumper j;
    j.show();
    QTest::mousePress(&j, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(&j, Qt::LeftButton, {}, QPoint(60, 5));
    QCOMPARE(j.closed(), false);
}

void TestJumpers::radioPanelLeavesExactlyTheClickedJumperClosed()
{
    TRadioPanel panel;
    panel.setRadioEnabled(true);
    QList<TTwoJumper *> jumpers;
    for (int i = 0; i < 3; ++i) {
        jumpers << new TTwoJumper(&panel);
        jumpers.last()->move(0, 20 * i);
    }
    jumpers[0]->setClosed(true);
    panel.show();
    for (int clicked : {2, 1, 1, 0}) {
        QTest::mouseClick(jumpers[clicked], Qt::LeftButton);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(jumpers[i]->closed(), i == clicked);
    }
}

void TestJumpers::radioPanelDisabledOrDerivedOnlyToggles_data()
{
    QTest::addColumn<bool>("derived");
    QTest::addColumn<bool>("radioEnabled");
    QTest::newRow("panel without radio group") << false << false;
    QTest::newRow("derived panel with radio group") << true << true;
}

void TestJumpers::radioPanelDisabledOrDerivedOnlyToggles()
{
    QFETCH(bool, derived);
    QFETCH(bool, radioEnabled);
    std::unique_ptr<TRadioPanel> panel(derived ? new DerivedPanel : new TRadioPanel);
    panel->setRadioEnabled(radioEnabled);
    auto *a = new TTwoJumper(panel.get());
    auto *b = new TTwoJumper(panel.get());
    b->move(0, 20);
    a->setClosed(true);
    panel->show();
    QTest::mouseClick(b, Qt::LeftButton);
    QCOMPARE(a->closed(), true);
    QCOMPARE(b->closed(), true);
    QTest::mouseClick(b, Qt::LeftButton);
    QCOMPARE(b->closed(), false);
}

void TestJumpers::radioPanelLeavesThreeJumpersAlone()
{
    TRadioPanel panel;
    panel.setRadioEnabled(true);
    auto *two = new TTwoJumper(&panel);
    auto *three = new TThreeJumper(&panel);
    three->move(0, 20);
    three->setJumperState(TJumperBase::jsRight);
    panel.show();
    QTest::mouseClick(two, Qt::LeftButton);
    QCOMPARE(two->closed(), true);
    QCOMPARE(three->jumperState(), TJumperBase::jsRight);
    QTest::mouseClick(three, Qt::LeftButton);
    QCOMPARE(three->jumperState(), TJumperBase::jsOpen);
    QCOMPARE(two->closed(), true);
}

QTEST_MAIN(TestJumpers)
#include "tst_jumpers.moc"
