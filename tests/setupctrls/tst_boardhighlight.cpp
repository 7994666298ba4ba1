#include "boardfixture.h"
#include "referencering.h"

#include <QSignalSpy>

// A board image of a derived class: hotspots on it are not on a board image.
class DerivedBoard : public TBoardImage
{
    Q_OBJECT

public:
    using TBoardImage::TBoardImage;
};

class TestBoardHighlight : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QCursor::setPos(nowhere()); }

    // Ring computation
    void ringWeightsAlongTheMiddleRow_data();
    void ringWeightsAlongTheMiddleRow();
    void greyUnderYellowBlendsHalfToEven();
    void pixelsOnOrOutsideTheEllipseAreUntouched_data();
    void pixelsOnOrOutsideTheEllipseAreUntouched();
    void hotspotsUnderTwoPixelsShowTheBoardUnchanged();
    void everyPixelFollowsTheRingRule_data();
    void everyPixelFollowsTheRingRule();

    // Properties
    void constructorDefaults();
    void highlightTypeSetsColourAndStrengths_data();
    void highlightTypeSetsColourAndStrengths();
    void titleDerivations_data();
    void titleDerivations();

    // State images and paint
    void stateImagesAreBuiltOnceFromTheBoardPicture();
    void paintChoosesTheImageFromHoverAndActivity();

    // Pointer and popup
    void enteringLightsAndOpensThePopup();
    void enteringOneOfTwoLinkedHotspotsLightsBothWithOnePopup();
    void leavingIntoThePopupHoldsIt();
    void leavingElsewhereClosesAndUnlightsLinked();
    void clickHoldsSoLeavingKeepsThePopup();
    void popupHeldByClickStaysWhenThePointerLeavesIt();
    void closingByAnyMeansRunsPopupClosed();
    void hotspotWithoutPopupCreationUnlightsOnLeave();
    void hotspotWithoutPopupCreationStaysLitWithItsLinkedPopup();
    void clickAfterThePopupClosedUnderThePointerHoldsNothing();
    void derivedBoardImageParentIsNotABoardImage();

    // Activation and order
    void setPopupActiveRaisesLinkedHotspotsOnce();

    // Panel assignment
    void panelOfAnUnlinkedHotspotIsRefused();
    void panelOfALinkedHotspotIsShared();
};

void TestBoardHighlight::ringWeightsAlongTheMiddleRow_data()
{
    // Black under pure red at strength 1: the red channel is Round(255 w).
    QTest::addColumn<bool>("rim");
    QTest::addColumn<int>("x");
    QTest::addColumn<QRgb>("expected");
    const QList<double> plain = {0.25, 0.5, 0.75, 1.0, 0.75, 0.5, 0.25};
    for (int i = 0; i < plain.size(); ++i) {
        const int red = int(std::nearbyint(255.0 * plain.at(i)));
        QTest::addRow("plain x=%d", i + 1) << false << i + 1 << qRgb(red, 0, 0);
    }
    QTest::addRow("plain x=0") << false << 0 << qRgb(0, 0, 0);
    QTest::addRow("plain x=8") << false << 8 << qRgb(41, 0, 0);
    QTest::addRow("plain x=32") << false << 32 << qRgb(41, 0, 0);
    QTest::addRow("plain x=64") << false << 64 << qRgb(0, 0, 0);
    // Rim: 0.5, 1.0, white-based 0.5, white, white-based 0.5, 1.0, 0.5.
    QTest::addRow("rim x=1") << true << 1 << qRgb(128, 0, 0);
    QTest::addRow("rim x=2") << true << 2 << qRgb(255, 0, 0);
    QTest::addRow("rim x=3") << true << 3 << qRgb(255, 128, 128);
    QTest::addRow("rim x=4") << true << 4 << qRgb(255, 255, 255);
    QTest::addRow("rim x=5") << true << 5 << qRgb(255, 128, 128);
    QTest::addRow("rim x=6") << true << 6 << qRgb(255, 0, 0);
    QTest::addRow("rim x=7") << true << 7 << qRgb(128, 0, 0);
    QTest::addRow("rim x=8 interior stays") << true << 8 << qRgb(41, 0, 0);
    QTest::addRow("rim x=0") << true << 0 << qRgb(0, 0, 0);
}

void TestBoardHighlight::ringWeightsAlongTheMiddleRow()
{
    QFETCH(bool, rim);
    QFETCH(int, x);
    QFETCH(QRgb, expected);
    QImage image = solidImage(65, 65, Qt::black);
    TBoardHighlight::PaintRing(image, 1.0f, 0x000000FF, rim);
    QCOMPARE(image.pixel(x, 32) & 0xFFFFFF, expected & 0xFFFFFF);
    // The ring is symmetric about the middle column.
    QCOMPARE(image.pixel(64 - x, 32) & 0xFFFFFF, expected & 0xFFFFFF);
}

void TestBoardHighlight::greyUnderYellowBlendsHalfToEven()
{
    QImage image = solidImage(65, 65, QColor(100, 100, 100));
    TBoardHighlight::PaintRing(image, 0.5f, 0x0000FFFF, false);
    const QRgb pixel = image.pixel(4, 32); // weight 1.0
    QCOMPARE(qBlue(pixel), 50);
    QCOMPARE(qGreen(pixel), 178);
    QCOMPARE(qRed(pixel), 178);
}

void TestBoardHighlight::pixelsOnOrOutsideTheEllipseAreUntouched_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addRow("top left") << 0 << 0;
    QTest::addRow("top right") << 64 << 0;
    QTest::addRow("bottom left") << 0 << 64;
    QTest::addRow("bottom right") << 64 << 64;
    QTest::addRow("row 32 first") << 0 << 32;
    QTest::addRow("row 32 last") << 64 << 32;
    QTest::addRow("column 32 first") << 32 << 0;
    QTest::addRow("column 32 last") << 32 << 64;
    QTest::addRow("near corner") << 5 << 5;
}

void TestBoardHighlight::pixelsOnOrOutsideTheEllipseAreUntouched()
{
    QFETCH(int, x);
    QFETCH(int, y);
    for (bool rim : {false, true}) {
        QImage image = solidImage(65, 65, QColor(10, 20, 30));
        TBoardHighlight::PaintRing(image, 1.0f, 0x0000FFFF, rim);
        QCOMPARE(image.pixel(x, y), qRgb(10, 20, 30));
    }
}

void TestBoardHighlight::hotspotsUnderTwoPixelsShowTheBoardUnchanged()
{
    for (QSize size : {QSize(1, 40), QSize(40, 1), QSize(1, 1)}) {
        QImage image = solidImage(size.width(), size.height(), QColor(10, 20, 30));
        const QImage before = image;
        TBoardHighlight::PaintRing(image, 1.0f, 0x0000FFFF, true);
        QCOMPARE(image, before);
    }
    QImage two = solidImage(2, 2, QColor(10, 20, 30));
    TBoardHighlight::PaintRing(two, 1.0f, 0x0000FFFF, false);
    QCOMPARE(two.pixel(0, 0), qRgb(10, 20, 30)); // every pixel is a corner
}

void TestBoardHighlight::everyPixelFollowsTheRingRule_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<float>("alpha");
    QTest::addColumn<uint>("colour");
    QTest::addColumn<bool>("rim");
    const QList<QSize> sizes = {{65, 65}, {81, 441}, {2, 2}, {3, 2}, {200, 17}, {46, 265}};
    for (const QSize &size : sizes) {
        for (bool rim : {false, true}) {
            QTest::addRow("%dx%d yellow idle%s", size.width(), size.height(), rim ? " rim" : "")
                << size << 0.25f << 0x0000FFFFu << rim;
            QTest::addRow("%dx%d blue lit%s", size.width(), size.height(), rim ? " rim" : "")
                << size << 0.6f << 0x00FF8000u << rim;
            QTest::addRow("%dx%d red full%s", size.width(), size.height(), rim ? " rim" : "")
                << size << 1.0f << 0x000000FFu << rim;
        }
    }
}

void TestBoardHighlight::everyPixelFollowsTheRingRule()
{
    QFETCH(QSize, size);
    QFETCH(float, alpha);
    QFETCH(uint, colour);
    QFETCH(bool, rim);
    // A board of every channel value, so that each blend is met somewhere.
    QImage board(size, QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < board.height(); ++y) {
        for (int x = 0; x < board.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            board.setPixel(x, y, qRgb(int(seed >> 24), int((seed >> 16) & 0xFF), (x + y) & 0xFF));
        }
    }
    QImage painted = board;
    TBoardHighlight::PaintRing(painted, alpha, colour, rim);
    QCOMPARE(painted, ReferenceRing(board, alpha, colour, rim));
}

void TestBoardHighlight::constructorDefaults()
{
    TBoardHighlight hotspot;
    QCOMPARE(hotspot.size(), QSize(65, 65));
    QCOMPARE(hotspot.highlightType(), TBoardHighlight::htSettings);
    QCOMPARE(hotspot.ringColor(), 0x0000FFFFu);
    QVERIFY(hotspot.createPopup());
    QVERIFY(!hotspot.hovered());
    QVERIFY(!hotspot.held());
    QVERIFY(!hotspot.popupActive());
    QVERIFY(!hotspot.imagesBuilt());
    QVERIFY(!hotspot.popup());
    QVERIFY(!hotspot.radioPanel());
    QVERIFY(hotspot.title().isEmpty());
    QCOMPARE(hotspot.property("Tag").toInt(), 0);
    QCOMPARE(hotspot.property("HighlightType").value<THighlightType>(),
             TBoardHighlight::htSettings);
}

void TestBoardHighlight::highlightTypeSetsColourAndStrengths_data()
{
    QTest::addColumn<THighlightType>("type");
    QTest::addColumn<uint>("colour");
    QTest::addColumn<float>("idle");
    QTest::addColumn<float>("lit");
    QTest::addColumn<float>("rim");
    QTest::newRow("options") << TBoardHighlight::htOptions << 0x00FF0000u << 0.25f << 0.5f << 1.0f;
    QTest::newRow("settings") << TBoardHighlight::htSettings << 0x0000FFFFu << 0.5f << 0.75f
                              << 1.0f;
    QTest::newRow("calibration") << TBoardHighlight::htCalibration << 0x000000FFu << 0.5f << 0.75f
                                 << 1.0f;
}

void TestBoardHighlight::highlightTypeSetsColourAndStrengths()
{
    QFETCH(THighlightType, type);
    QFETCH(uint, colour);
    QFETCH(float, idle);
    QFETCH(float, lit);
    QFETCH(float, rim);
    TBoardHighlight hotspot;
    hotspot.setHighlightType(TBoardHighlight::htCalibration);
    hotspot.setHighlightType(TBoardHighlight::htOptions);
    hotspot.setHighlightType(type);
    QCOMPARE(hotspot.ringColor(), colour);
    QCOMPARE(hotspot.idleAlpha(), idle);
    QCOMPARE(hotspot.litAlpha(), lit);
    QCOMPARE(hotspot.rimAlpha(), rim);
}

void TestBoardHighlight::titleDerivations_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("ident");
    QTest::newRow("power") << "Main/VBB &Power"
                           << "Main/VBB Power"
                           << "MainVBBPower";
    QTest::newRow("ip") << "&IP Address"
                        << "IP Address"
                        << "IPAddress";
    QTest::newRow("led") << "Power/Activity &LED"
                         << "Power/Activity LED"
                         << "PowerActivityLED";
    QTest::newRow("relays") << "&Relay Outputs"
                            << "Relay Outputs"
                            << "RelayOutputs";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
    QTest::newRow("identifier") << "Reset_1"
                                << "Reset_1"
                                << "Reset_1";
    QTest::newRow("double ampersand") << "A&&B"
                                      << "AB"
                                      << "AB";
    QTest::newRow("leading digits") << "12 &Volts"
                                    << "12 Volts"
                                    << "Volts";
    QTest::newRow("no letters") << "1 & 2"
                                << "1  2"
                                << "";
    QTest::newRow("non-ASCII letter") << "Größe"
                                      << "Größe"
                                      << "Gre";
}

void TestBoardHighlight::titleDerivations()
{
    QFETCH(QString, title);
    QFETCH(QString, caption);
    QFETCH(QString, ident);
    TBoardHighlight hotspot;
    hotspot.setTitle(title);
    QCOMPARE(hotspot.popupCaption(), caption);
    QCOMPARE(hotspot.menuIdent(), ident);
}

void TestBoardHighlight::stateImagesAreBuiltOnceFromTheBoardPicture()
{
    BoardFixture f;
    TBoardHighlight *h =
        f.addHotspot("H", QRect(10, 10, 65, 65), TBoardHighlight::htSettings, "&Hot");
    QVERIFY(f.show());
    QCOMPARE(h->idleImage().size(), QSize(65, 65));
    QCOMPARE(h->idleImage().depth(), 32);
    QImage expected = solidImage(65, 65, QColor(100, 100, 100));
    TBoardHighlight::PaintRing(expected, 0.5f, 0x0000FFFF, false);
    QCOMPARE(h->idleImage().convertToFormat(QImage::Format_RGB32), expected);
    expected = solidImage(65, 65, QColor(100, 100, 100));
    TBoardHighlight::PaintRing(expected, 1.0f, 0x0000FFFF, true);
    QCOMPARE(h->rimImage().convertToFormat(QImage::Format_RGB32), expected);

    // Not rebuilt: a later change of type or picture leaves the images.
    const QImage idle = h->idleImage();
    h->setHighlightType(TBoardHighlight::htCalibration);
    f.board->setPicture(solidImage(300, 200, Qt::white), TPicture::gkJpeg);
    h->repaint();
    QCOMPARE(h->idleImage(), idle);
}

void TestBoardHighlight::paintChoosesTheImageFromHoverAndActivity()
{
    BoardFixture f;
    TBoardHighlight *h =
        f.addHotspot("H", QRect(10, 10, 65, 65), TBoardHighlight::htSettings, "&Hot");
    h->setCreatePopup(false);
    QVERIFY(f.show());
    QCOMPARE(h->currentImage(), h->idleImage());
    QCOMPARE(h->grab().toImage().pixel(4, 32), h->idleImage().pixel(4, 32));
    sendEnter(h);
    QCOMPARE(h->currentImage(), h->litImage());
    QCOMPARE(h->grab().toImage().pixel(4, 32), h->litImage().pixel(4, 32));
    h->SetPopupActive(true);
    QCOMPARE(h->currentImage(), h->rimImage());
    QCOMPARE(h->grab().toImage().pixel(4, 32), h->rimImage().pixel(4, 32));
    h->Unlight();
    QCOMPARE(h->currentImage(), h->litImage());
    h->SetPopupActive(false);
    QCOMPARE(h->currentImage(), h->idleImage());
}

void TestBoardHighlight::enteringLightsAndOpensThePopup()
{
    BoardFixture f;
    TBoardHighlight *h = f.addHot(QRect(10, 10, 40, 40));
    QVERIFY(f.showAndEnter(h));
    QVERIFY(h->hovered());
    QVERIFY(h->popup());
    QVERIFY(h->popup()->isVisible());
    QVERIFY(!h->held());
    QCOMPARE(h->popup()->windowTitle(), QStringLiteral("Hot"));
    QCOMPARE(h->popup()->tag(), int(TBoardHighlight::htOptions));
    QTRY_VERIFY(h->popupActive());
    QCOMPARE(h->currentImage(), h->rimImage());
}

void TestBoardHighlight::enteringOneOfTwoLinkedHotspotsLightsBothWithOnePopup()
{
    BoardFixture f;
    TRadioPanel *panel = f.addPanel("PowerPanel", QRect(10, 10, 201, 161));
    TBoardHighlight *a = f.addHotspot("PowerHighlight0", QRect(10, 10, 40, 40),
                                      TBoardHighlight::htOptions, "Main/VBB &Power", panel);
    TBoardHighlight *b = f.addHotspot("PowerHighlight1", QRect(60, 10, 40, 40),
                                      TBoardHighlight::htOptions, "Main/VBB &Power", panel);
    TBoardHighlight *other = f.addHotspot("Other", QRect(110, 10, 40, 40),
                                          TBoardHighlight::htSettings, "Main/VBB &Power");
    QVERIFY(f.show());
    QCOMPARE(b->radioPanel(), panel);
    QVERIFY(a->isLinkedTo(b));
    QVERIFY(!a->isLinkedTo(other));
    QCOMPARE(a->linkedHotspots(), (QList<TBoardHighlight *>{a, b}));

    sendEnter(a);
    QVERIFY(a->hovered());
    QVERIFY(b->hovered());
    QVERIFY(!other->hovered());
    QCOMPARE(popupCount(), 1);
    QVERIFY(a->popup());
    QVERIFY(!b->popup());

    sendEnter(b);
    QCOMPARE(popupCount(), 1);
    QVERIFY(!b->popup());
    QVERIFY(a->popup()->isVisible());
}

void TestBoardHighlight::leavingIntoThePopupHoldsIt()
{
    BoardFixture f;
    const auto [a, b] = f.addLinkedPair();
    QVERIFY(f.showAndEnter(a));
    TPopupForm *popup = a->popup();
    QVERIFY(popup);
    sendLeave(a, popup->frameGeometry().center());
    QVERIFY(a->held());
    QVERIFY(popup->closeOnLeave());
    QVERIFY(popup->isVisible());
    QVERIFY(a->hovered());
    QVERIFY(b->hovered());

    // Leaving the popup afterwards closes it, because it was entered from the hotspot.
    sendLeave(popup, nowhere());
    QVERIFY(!popup->isVisible());
    QVERIFY(!a->hovered());
    QVERIFY(!b->hovered());
    QVERIFY(!popup->closeOnLeave());
}

void TestBoardHighlight::leavingElsewhereClosesAndUnlightsLinked()
{
    BoardFixture f;
    const auto [a, b] = f.addLinkedPair();
    QVERIFY(f.showAndEnter(a));
    TPopupForm *popup = a->popup();
    sendLeave(a, nowhere());
    QVERIFY(!popup->isVisible());
    QVERIFY(!a->hovered());
    QVERIFY(!b->hovered());
    QVERIFY(!a->held());

    // Entering again shows the same popup, no longer held.
    sendEnter(b);
    QCOMPARE(a->popup(), popup);
    QVERIFY(popup->isVisible());
    QVERIFY(!a->held());
    QCOMPARE(popupCount(), 1);
}

void TestBoardHighlight::clickHoldsSoLeavingKeepsThePopup()
{
    BoardFixture f;
    TBoardHighlight *h = f.addHot(QRect(10, 10, 40, 40));
    QVERIFY(f.show());
    QSignalSpy clicked(h, &TBoardHighlight::clicked);
    sendEnter(h);
    QTest::mouseClick(h, Qt::LeftButton, {}, QPoint(20, 20));
    QCOMPARE(clicked.count(), 1);
    QVERIFY(h->held());
    sendLeave(h, nowhere());
    QVERIFY(h->popup()->isVisible());
    QVERIFY(h->hovered());
}

void TestBoardHighlight::popupHeldByClickStaysWhenThePointerLeavesIt()
{
    BoardFixture f;
    TBoardHighlight *h = f.addHot(QRect(10, 10, 40, 40));
    QVERIFY(f.showAndEnter(h));
    h->click();
    TPopupForm *popup = h->popup();
    sendLeave(h, popup->frameGeometry().center());
    QVERIFY(!popup->closeOnLeave());
    sendLeave(popup, nowhere());
    QVERIFY(popup->isVisible());
    QVERIFY(h->hovered());
}

void TestBoardHighlight::closingByAnyMeansRunsPopupClosed()
{
    BoardFixture f;
    TBoardHighlight *h = f.addHot(QRect(10, 10, 40, 40));
    QVERIFY(f.showAndEnter(h));
    h->click();
    h->popup()->close(); // the caption's close box
    QVERIFY(!h->hovered());
    QVERIFY(h->popup()->isHidden());

    sendEnter(h);
    h->click();
    auto *done = h->popup()->findChild<QPushButton *>("DoneButton");
    QVERIFY(done);
    done->click();
    QVERIFY(!h->hovered());
    QVERIFY(h->popup()->isHidden());
}

void TestBoardHighlight::hotspotWithoutPopupCreationUnlightsOnLeave()
{
    BoardFixture f;
    TBoardHighlight *h = f.addHot(QRect(10, 10, 40, 40));
    h->setCreatePopup(false);
    QVERIFY(f.showAndEnter(h));
    QVERIFY(h->hovered());
    QVERIFY(!h->popup());
    QCOMPARE(popupCount(), 0);
    h->click();
    QVERIFY(!h->held());
    sendLeave(h, nowhere());
    QVERIFY(!h->hovered());
}

void TestBoardHighlight::hotspotWithoutPopupCreationStaysLitWithItsLinkedPopup()
{
    BoardFixture f;
    const auto [a, b] = f.addLinkedPair();
    a->setCreatePopup(false);
    QVERIFY(f.showAndEnter(a));
    QVERIFY(!a->popup());
    TPopupForm *popup = b->popup();
    QVERIFY(popup);
    sendLeave(a, popup->frameGeometry().center());
    QVERIFY(b->held());
    QVERIFY(a->hovered());
    QVERIFY(b->hovered());
    popup->close();
    QVERIFY(!a->hovered());
    QVERIFY(!b->hovered());
}

void TestBoardHighlight::clickAfterThePopupClosedUnderThePointerHoldsNothing()
{
    BoardFixture f;
    TBoardHighlight *h = f.addHot(QRect(10, 10, 40, 40));
    QVERIFY(f.showAndEnter(h));
    TPopupForm *popup = h->popup();
    popup->close(); // from the keyboard: the pointer never left the hotspot
    h->click();
    QVERIFY(!h->held());
    QVERIFY(popup->isHidden());
    QVERIFY(!f.entry("&Options", "&Hot")->isChecked());
    // The next pointing opens it as usual.
    sendLeave(h, nowhere());
    sendEnter(h);
    QVERIFY(popup->isVisible());
    h->click();
    QVERIFY(h->held());
    QVERIFY(f.entry("&Options", "&Hot")->isChecked());
}

void TestBoardHighlight::derivedBoardImageParentIsNotABoardImage()
{
    BoardFixture f;
    auto *derived = new DerivedBoard(f.central);
    derived->setGeometry(0, 0, 100, 100);
    derived->setMenu(f.menuBar);
    TBoardHighlight *a = f.addHotspot("A", QRect(0, 0, 30, 30), TBoardHighlight::htOptions, "&Same",
                                      nullptr, derived);
    TBoardHighlight *b = f.addHotspot("B", QRect(40, 0, 30, 30), TBoardHighlight::htOptions,
                                      "&Same", nullptr, derived);
    QVERIFY(f.show());
    QVERIFY(!a->boardImage());
    QVERIFY(!a->isLinkedTo(b));
    QVERIFY(!a->menu());
    QVERIFY(!f.category("&Options"));
    sendEnter(a);
    QVERIFY(!b->hovered());
}

void TestBoardHighlight::setPopupActiveRaisesLinkedHotspotsOnce()
{
    BoardFixture f;
    TBoardHighlight *a = f.addHotspot("A", QRect(0, 0, 20, 20), TBoardHighlight::htOptions, "L");
    TBoardHighlight *x = f.addHotspot("X", QRect(30, 0, 20, 20), TBoardHighlight::htOptions, "X");
    TBoardHighlight *b = f.addHotspot("B", QRect(60, 0, 20, 20), TBoardHighlight::htOptions, "L");
    TBoardHighlight *c = f.addHotspot("C", QRect(90, 0, 20, 20), TBoardHighlight::htOptions, "L");
    TBoardHighlight *y = f.addHotspot("Y", QRect(120, 0, 20, 20), TBoardHighlight::htOptions, "Y");
    b->SetPopupActive(true, true);
    QVERIFY(a->popupActive());
    QVERIFY(b->popupActive());
    QVERIFY(c->popupActive());
    QVERIFY(!x->popupActive());
    QVERIFY(!y->popupActive());
    QList<QObject *> order;
    for (QObject *child : f.board->children())
        order << child;
    // The caller first, then its linked hotspots in their former order.
    QCOMPARE(order, (QList<QObject *>{x, y, b, a, c}));
    b->SetPopupActive(false, true);
    QVERIFY(!a->popupActive());
    QVERIFY(!c->popupActive());
}

void TestBoardHighlight::panelOfAnUnlinkedHotspotIsRefused()
{
    BoardFixture f;
    TRadioPanel *power = f.addPanel("PowerPanel", QRect(0, 0, 201, 161));
    TRadioPanel *eth = f.addPanel("ETHPanel", QRect(0, 0, 201, 9));
    TBoardHighlight *a =
        f.addHotspot("A", QRect(0, 0, 20, 20), TBoardHighlight::htOptions, "&Power", power);
    TBoardHighlight *b =
        f.addHotspot("B", QRect(30, 0, 20, 20), TBoardHighlight::htOptions, "&Ethernet", eth);
    b->setRadioPanel(power);
    QCOMPARE(b->radioPanel(), eth);
    TBoardHighlight *c =
        f.addHotspot("C", QRect(60, 0, 20, 20), TBoardHighlight::htSettings, "&Power");
    c->setRadioPanel(power);
    QVERIFY(!c->radioPanel());
    b->setRadioPanel(nullptr);
    QVERIFY(!b->radioPanel());
    QCOMPARE(a->radioPanel(), power);
}

void TestBoardHighlight::panelOfALinkedHotspotIsShared()
{
    BoardFixture f;
    TRadioPanel *power = f.addPanel("PowerPanel", QRect(0, 0, 201, 161));
    f.addHotspot("A", QRect(0, 0, 20, 20), TBoardHighlight::htOptions, "&Power", power);
    TBoardHighlight *b =
        f.addHotspot("B", QRect(30, 0, 20, 20), TBoardHighlight::htOptions, "&Power");
    b->setRadioPanel(power);
    QCOMPARE(b->radioPanel(), power);
}

QTEST_MAIN(TestBoardHighlight)
#include "tst_boardhighlight.moc"
