#include "boardfixture.h"

#include <QPainter>

class TestBoardImage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QCursor::setPos(nowhere()); }

    // Properties and picture
    void constructorDefaults();
    void settingsLayoutPictureIsDrawnAtItsOwnSizeAndOpaque();
    void emptyPictureChangesNothingButOpacity();
    void autoSizeTakesThePictureSize();
    void transparentGraphicIsNeverOpaque_data();
    void transparentGraphicIsNeverOpaque();
    void equalValuesDoNotRunPictureChanged_data();
    void equalValuesDoNotRunPictureChanged();
    void destRect_data();
    void destRect();
    void paintDrawsThePicture();
    void transparentBitmapLeavesOutItsBottomLeftColour();

    // Centring and design position
    void centresOnAPlainParent_data();
    void centresOnAPlainParent();
    void centresOnTheMainWindowsOuterSizeAndFollowsIt();
    void designPositionIsTheLayoutPosition();
    void noCentringWhenCenterOnFormIsOff();

    // Start tour
    void startTourConstantIsUserPlus162();
    void startTourWithoutFirstDoesNothing();
    void startTourLightsOpensAndHoldsFirst();
    void startTourOnAHeldPopupOnlyRefocusesIt();
};

void TestBoardImage::constructorDefaults()
{
    TBoardImage image;
    QCOMPARE(image.size(), QSize(105, 105));
    QCOMPARE(image.aspectRatio(), 1.0);
    QVERIFY(image.autoSize());
    QVERIFY(image.scale());
    QVERIFY(image.centerOnForm());
    QVERIFY(!image.stretch());
    QVERIFY(!image.center());
    QVERIFY(!image.transparent());
    QVERIFY(!image.drawing());
    QVERIFY(!image.designPositionRecorded());
    QVERIFY(!image.first());
    QVERIFY(!image.menu());
    QVERIFY(!image.picture().hasGraphic());
    QVERIFY(!image.isOpaque());
    QCOMPARE(image.property("Tag").toInt(), 0);
    QCOMPARE(image.property("CenterOnForm").toBool(), true);
}

void TestBoardImage::settingsLayoutPictureIsDrawnAtItsOwnSizeAndOpaque()
{
    TBoardImage image;
    image.setGeometry(142, 80, 549, 600);
    // Stored order: AutoSize, Picture, Stretch.
    image.setProperty("AutoSize", false);
    image.setPicture(solidImage(549, 600, QColor(0, 128, 0)), TPicture::gkJpeg);
    image.setProperty("Stretch", true);
    QCOMPARE(image.size(), QSize(549, 600));
    QCOMPARE(image.aspectRatio(), 600.0 / 549.0);
    QVERIFY(image.isOpaque());
    QCOMPARE(image.DestRect(), QRect(0, 0, 549, 600));
    QCOMPARE(image.picture().kind(), TPicture::gkJpeg);
}

void TestBoardImage::emptyPictureChangesNothingButOpacity()
{
    TBoardImage image;
    image.setPicture(solidImage(200, 100, Qt::red));
    QVERIFY(image.isOpaque());
    QCOMPARE(image.size(), QSize(200, 100));
    image.setPicture(QImage());
    QVERIFY(!image.picture().hasGraphic());
    QCOMPARE(image.aspectRatio(), 0.5);
    QCOMPARE(image.size(), QSize(200, 100));
    QVERIFY(!image.isOpaque());
    // Nothing drawn: the image's own pixels stay as the background left them.
    QImage target(200, 100, QImage::Format_RGB32);
    target.fill(Qt::blue);
    image.render(&target, QPoint(), QRegion(), QWidget::RenderFlags());
    QCOMPARE(target.pixel(100, 50), QColor(Qt::blue).rgb());
}

void TestBoardImage::autoSizeTakesThePictureSize()
{
    TBoardImage image;
    image.setAutoSize(false);
    image.setPicture(solidImage(30, 40, Qt::red));
    QCOMPARE(image.size(), QSize(105, 105));
    image.setAutoSize(true);
    QCOMPARE(image.size(), QSize(30, 40));
    image.setPicture(solidImage(50, 20, Qt::red));
    QCOMPARE(image.size(), QSize(50, 20));
    QCOMPARE(image.aspectRatio(), 0.4);
}

void TestBoardImage::transparentGraphicIsNeverOpaque_data()
{
    QTest::addColumn<TPicture::TGraphicKind>("kind");
    QTest::addColumn<bool>("transparent");
    QTest::addColumn<bool>("opaque");
    QTest::newRow("bitmap") << TPicture::gkBitmap << false << true;
    QTest::newRow("transparent bitmap") << TPicture::gkBitmap << true << false;
    QTest::newRow("jpeg") << TPicture::gkJpeg << false << true;
    QTest::newRow("icon") << TPicture::gkIcon << false << false;
    QTest::newRow("metafile") << TPicture::gkMetafile << false << false;
}

void TestBoardImage::transparentGraphicIsNeverOpaque()
{
    QFETCH(TPicture::TGraphicKind, kind);
    QFETCH(bool, transparent);
    QFETCH(bool, opaque);
    TBoardImage image;
    image.setTransparent(transparent);
    image.setPicture(solidImage(80, 80, Qt::red), kind);
    QCOMPARE(image.isOpaque(), opaque);
    QCOMPARE(image.picture().transparent(), !opaque);
}

void TestBoardImage::equalValuesDoNotRunPictureChanged_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<bool>("value");
    QTest::newRow("Stretch") << QByteArray("Stretch") << true;
    QTest::newRow("Center") << QByteArray("Center") << true;
    QTest::newRow("Scale") << QByteArray("Scale") << false;
    QTest::newRow("Transparent") << QByteArray("Transparent") << true;
}

void TestBoardImage::equalValuesDoNotRunPictureChanged()
{
    QFETCH(QByteArray, property);
    QFETCH(bool, value);
    TBoardImage image;
    image.setAutoSize(false);
    image.setPicture(solidImage(10, 10, Qt::red));
    image.setProperty(property, value);
    // Disturb what PictureChanged would restore, then set the same value again.
    const bool marked = image.isOpaque();
    image.setAttribute(Qt::WA_OpaquePaintEvent, !marked);
    image.setProperty(property, value);
    QCOMPARE(image.isOpaque(), !marked);
    image.setProperty(property, !value);
    QCOMPARE(image.property(property).toBool(), !value);
}

void TestBoardImage::destRect_data()
{
    QTest::addColumn<bool>("stretch");
    QTest::addColumn<bool>("center");
    QTest::addColumn<QSize>("control");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("stretch") << true << true << QSize(100, 80) << QSize(10, 10)
                             << QRect(0, 0, 100, 80);
    QTest::newRow("centre truncates toward zero")
        << false << true << QSize(100, 100) << QSize(105, 105) << QRect(-2, -2, 105, 105);
    QTest::newRow("centre smaller")
        << false << true << QSize(100, 100) << QSize(51, 20) << QRect(24, 40, 51, 20);
    QTest::newRow("top left") << false << false << QSize(100, 100) << QSize(51, 20)
                              << QRect(0, 0, 51, 20);
}

void TestBoardImage::destRect()
{
    QFETCH(bool, stretch);
    QFETCH(bool, center);
    QFETCH(QSize, control);
    QFETCH(QSize, picture);
    QFETCH(QRect, expected);
    TBoardImage image;
    image.setAutoSize(false);
    image.resize(control);
    image.setStretch(stretch);
    image.setCenter(center);
    image.setPicture(solidImage(picture.width(), picture.height(), Qt::red));
    QCOMPARE(image.DestRect(), expected);
}

void TestBoardImage::paintDrawsThePicture()
{
    TBoardImage image;
    image.setAutoSize(false);
    image.resize(40, 40);
    QImage picture(2, 1, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(255, 0, 0));
    picture.setPixel(1, 0, qRgb(0, 0, 255));
    image.setPicture(picture);
    image.setStretch(true);
    const QImage drawn = image.grab().toImage();
    QCOMPARE(drawn.pixel(5, 20), qRgb(255, 0, 0));
    QCOMPARE(drawn.pixel(35, 20), qRgb(0, 0, 255));
    QVERIFY(!image.drawing());
}

void TestBoardImage::transparentBitmapLeavesOutItsBottomLeftColour()
{
    QImage picture(2, 2, QImage::Format_RGB32);
    picture.fill(qRgb(0, 255, 0));
    picture.setPixel(1, 0, qRgb(255, 0, 0));
    TPicture bitmap(picture, TPicture::gkBitmap);
    bitmap.setTransparent(true);
    QImage target(2, 2, QImage::Format_RGB32);
    target.fill(qRgb(0, 0, 255));
    {
        QPainter painter(&target);
        bitmap.draw(painter, QRect(0, 0, 2, 2));
    }
    QCOMPARE(target.pixel(0, 0), qRgb(0, 0, 255));
    QCOMPARE(target.pixel(1, 0), qRgb(255, 0, 0));
    QCOMPARE(target.pixel(0, 1), qRgb(0, 0, 255));
}

void TestBoardImage::centresOnAPlainParent_data()
{
    QTest::addColumn<QSize>("parentSize");
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<QPoint>("expected");
    QTest::newRow("narrower parent") << QSize(300, 700) << QSize(549, 600) << QPoint(-124, 50);
    QTest::newRow("odd difference") << QSize(600, 601) << QSize(549, 600) << QPoint(25, 0);
    QTest::newRow("lower parent") << QSize(600, 599) << QSize(549, 600) << QPoint(25, 0);
}

void TestBoardImage::centresOnAPlainParent()
{
    QFETCH(QSize, parentSize);
    QFETCH(QSize, imageSize);
    QFETCH(QPoint, expected);
    QWidget window;
    auto *parent = new QWidget(&window);
    parent->setGeometry(QRect(QPoint(0, 0), parentSize));
    window.resize(parentSize + QSize(10, 10));
    auto *image = new TBoardImage(parent);
    image->setAutoSize(false);
    image->setGeometry(QRect(QPoint(7, 9), imageSize));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(image->pos(), expected);
    QCOMPARE(image->designLeft(), 7);
    QCOMPARE(image->designTop(), 9);
}

void TestBoardImage::centresOnTheMainWindowsOuterSizeAndFollowsIt()
{
    BoardFixture f;
    QVERIFY(f.show());
    const QSize outer = f.window->frameGeometry().size();
    QCOMPARE(f.board->pos(), QPoint((outer.width() - 300) / 2, (outer.height() - 200) / 2));
    f.window->resize(f.window->size() + QSize(60, 40));
    QTRY_COMPARE(f.board->pos(), QPoint((f.window->frameGeometry().width() - 300) / 2,
                                        (f.window->frameGeometry().height() - 200) / 2));
    QCOMPARE(f.board->designLeft(), 40);
    QCOMPARE(f.board->designTop(), 30);
}

void TestBoardImage::designPositionIsTheLayoutPosition()
{
    BoardFixture f;
    QVERIFY(!f.board->designPositionRecorded());
    QVERIFY(f.show());
    QVERIFY(f.board->designPositionRecorded());
    QCOMPARE(QPoint(f.board->designLeft(), f.board->designTop()), QPoint(40, 30));
    QVERIFY(f.board->pos() != QPoint(40, 30));
    f.board->move(1, 2);
    f.board->repaint();
    QCOMPARE(QPoint(f.board->designLeft(), f.board->designTop()), QPoint(40, 30));
}

void TestBoardImage::noCentringWhenCenterOnFormIsOff()
{
    BoardFixture f;
    f.board->setCenterOnForm(false);
    QVERIFY(f.show());
    QCOMPARE(f.board->pos(), QPoint(40, 30));
    f.window->resize(f.window->size() + QSize(60, 40));
    QCoreApplication::processEvents();
    QCOMPARE(f.board->pos(), QPoint(40, 30));
}

void TestBoardImage::startTourConstantIsUserPlus162()
{
    QCOMPARE(int(WM_STARTTOUR), int(QEvent::User) + 162);
}

void TestBoardImage::startTourWithoutFirstDoesNothing()
{
    BoardFixture f;
    TBoardHighlight *h = f.addHot(QRect(0, 0, 30, 30));
    QVERIFY(f.show());
    QEvent tour(WM_STARTTOUR);
    QVERIFY(QCoreApplication::sendEvent(f.board, &tour));
    QVERIFY(!h->hovered());
    QVERIFY(!h->popup());
    QCOMPARE(popupCount(), 0);
}

void TestBoardImage::startTourLightsOpensAndHoldsFirst()
{
    BoardFixture f;
    TRadioPanel *panel = f.addPanel("PowerPanel", QRect(10, 10, 201, 161));
    TBoardHighlight *p0 = f.addHotspot("PowerHighlight0", QRect(0, 0, 30, 30),
                                       TBoardHighlight::htOptions, "Main/VBB &Power", panel);
    TBoardHighlight *p1 = f.addHotspot("PowerHighlight1", QRect(40, 0, 30, 30),
                                       TBoardHighlight::htOptions, "Main/VBB &Power", panel);
    f.board->setFirst(p0);
    QVERIFY(f.show());
    QEvent tour(WM_STARTTOUR);
    QCoreApplication::sendEvent(f.board, &tour);
    // Synchronous: all done when sendEvent returns.
    QVERIFY(p0->hovered());
    QVERIFY(p1->hovered());
    QVERIFY(p0->popup()->isVisible());
    QVERIFY(p0->held());
    QVERIFY(f.entry("&Options", "Main/VBB &Power")->isChecked());
    QTRY_VERIFY(p0->popup()->isActiveWindow());
    QCOMPARE(QApplication::focusWidget(), panel);
}

void TestBoardImage::startTourOnAHeldPopupOnlyRefocusesIt()
{
    BoardFixture f;
    TBoardHighlight *first =
        f.addHotspot("First", QRect(0, 0, 30, 30), TBoardHighlight::htOptions, "&First");
    TBoardHighlight *other =
        f.addHotspot("Other", QRect(40, 0, 30, 30), TBoardHighlight::htOptions, "&Other");
    f.board->setFirst(first);
    QVERIFY(f.show());
    QEvent tour(WM_STARTTOUR);
    QCoreApplication::sendEvent(f.board, &tour);
    TPopupForm *popup = first->popup();
    QVERIFY(first->held());
    f.window->activateWindow();
    QTRY_VERIFY(f.window->isActiveWindow());
    QCoreApplication::sendEvent(f.board, &tour);
    QCOMPARE(first->popup(), popup);
    QCOMPARE(popupCount(), 1);
    QVERIFY(!other->hovered());
    QVERIFY(first->held());
    QTRY_VERIFY(popup->isActiveWindow());
}

QTEST_MAIN(TestBoardImage)
#include "tst_boardimage.moc"
