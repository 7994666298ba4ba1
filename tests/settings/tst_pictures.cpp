// The committed pictures and their decoding through libjpeg.
#include "jpegimage.h"

#include <QtTest>

class PicturesTest : public QObject
{
    Q_OBJECT

private slots:
    void boardPhotoIsProgressiveThreeComponentJpeg();
    void boardPhotoDecodesAtLayoutSize();
    void decodeMatchesQtsOwnReader();
    void decodeRefusesBadData_data();
    void decodeRefusesBadData();
    void powerJackIs256ColourBitmapAtLayoutSize();

private:
    static QByteArray read(const QString &name);
};

QByteArray PicturesTest::read(const QString &name)
{
    QFile f(QStringLiteral(PICTURES_DIR "/") + name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void PicturesTest::boardPhotoIsProgressiveThreeComponentJpeg()
{
    const QByteArray jpeg = read(QStringLiteral("board.jpg"));
    QVERIFY(jpeg.startsWith("\xFF\xD8"));
    // Walk the markers to the frame header: SOF2 is progressive DCT.
    int i = 2;
    int sof = -1;
    while (i + 4 <= jpeg.size()) {
        QCOMPARE(quint8(jpeg[i]), quint8(0xFF));
        const quint8 marker = quint8(jpeg[i + 1]);
        const int length = (quint8(jpeg[i + 2]) << 8) | quint8(jpeg[i + 3]);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            sof = i;
            QCOMPARE(marker, quint8(0xC2));
            break;
        }
        i += 2 + length;
    }
    QVERIFY(sof > 0);
    const int height = (quint8(jpeg[sof + 5]) << 8) | quint8(jpeg[sof + 6]);
    const int width = (quint8(jpeg[sof + 7]) << 8) | quint8(jpeg[sof + 8]);
    QCOMPARE(width, 549);
    QCOMPARE(height, 600);
    QCOMPARE(int(quint8(jpeg[sof + 9])), 3);
}

void PicturesTest::boardPhotoDecodesAtLayoutSize()
{
    QString error;
    const QImage image = DecodeJpeg(read(QStringLiteral("board.jpg")), &error);
    QVERIFY2(!image.isNull(), qPrintable(error));
    QCOMPARE(image.size(), QSize(549, 600));
    QCOMPARE(image.format(), QImage::Format_RGB32);
    QCOMPARE(qAlpha(image.pixel(10, 10)), 255);
}

void PicturesTest::decodeMatchesQtsOwnReader()
{
    const QByteArray jpeg = read(QStringLiteral("board.jpg"));
    const QImage ours = DecodeJpeg(jpeg);
    const QImage qt = QImage::fromData(jpeg, "JPEG").convertToFormat(QImage::Format_RGB32);
    if (qt.isNull())
        QSKIP("Qt's JPEG plugin is not installed");
    QCOMPARE(ours.size(), qt.size());
    int worst = 0;
    for (int y = 0; y < ours.height(); y += 7)
        for (int x = 0; x < ours.width(); x += 7) {
            const QRgb a = ours.pixel(x, y), b = qt.pixel(x, y);
            worst = qMax(worst, qAbs(qRed(a) - qRed(b)));
            worst = qMax(worst, qAbs(qGreen(a) - qGreen(b)));
            worst = qMax(worst, qAbs(qBlue(a) - qBlue(b)));
        }
    QVERIFY2(worst <= 2, qPrintable(QString::number(worst))); // both are libjpeg; rounding only
}

void PicturesTest::decodeRefusesBadData_data()
{
    QTest::addColumn<QByteArray>("data");
    const QByteArray jpeg = read(QStringLiteral("board.jpg"));
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not a jpeg") << QByteArray("GIF89a and then some bytes");
    QTest::newRow("header only") << jpeg.left(20);
    QTest::newRow("bitmap") << read(QStringLiteral("powerjack.bmp"));
}

void PicturesTest::decodeRefusesBadData()
{
    QFETCH(QByteArray, data);
    QString error;
    const QImage image = DecodeJpeg(data, &error);
    QVERIFY(image.isNull());
    QVERIFY(!error.isEmpty());
}

void PicturesTest::powerJackIs256ColourBitmapAtLayoutSize()
{
    const QByteArray bmp = read(QStringLiteral("powerjack.bmp"));
    QVERIFY(bmp.startsWith("BM"));
    QImage image;
    QVERIFY(image.loadFromData(bmp, "BMP"));
    QCOMPARE(image.size(), QSize(112, 48));
    QCOMPARE(image.format(), QImage::Format_Indexed8);
    QVERIFY(image.colorCount() <= 256);
    // GND at the left, +5V at the right: ink in both outer thirds
    auto ink = [&](int x0, int x1) {
        int n = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = x0; x < x1; ++x)
                n += qGray(image.pixel(x, y)) < 128;
        return n;
    };
    QVERIFY(ink(0, 32) > 20);
    QVERIFY(ink(80, 112) > 20);
}

QTEST_GUILESS_MAIN(PicturesTest)
#include "tst_pictures.moc"
