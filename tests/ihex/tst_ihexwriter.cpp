#include "hexrecords.h"
#include "ihexwriter.h"

#include <QTest>

#include <stdexcept>

using namespace hextest;

Q_DECLARE_METATYPE(ihex::Addressing)

namespace {

ihex::Image imageOf(std::initializer_list<std::pair<quint32, QByteArray>> parts,
                    std::optional<std::uint32_t> start = {})
{
    ihex::Image image;
    for (const auto &[address, bytes] : parts)
        image.segments.push_back(ihex::Segment{address, {bytes.begin(), bytes.end()}});
    image.startAddress = start;
    return image;
}

QByteArray written(const ihex::Image &image, const ihex::WriteOptions &options = {})
{
    return QByteArray::fromStdString(ihex::write(image, options));
}

} // namespace

class TestIhexWriter : public QObject
{
    Q_OBJECT

private slots:
    void smallImageIsWrittenExactly()
    {
        const ihex::Image image = imageOf({{0x0100, bytes({1, 2, 3, 4})}});
        QCOMPARE(written(image), QByteArray(":0401000001020304F1\n:00000001FF\n"));
    }

    void startAddressComesBeforeTheEnd_data()
    {
        QTest::addColumn<ihex::Addressing>("addressing");
        QTest::addColumn<QByteArray>("startRecord");
        QTest::newRow("linear") << ihex::Addressing::Linear
                                << record(5, 0, bytes({0, 0x01, 0x23, 0x45}));
        QTest::newRow("segment") << ihex::Addressing::Segment
                                 << record(3, 0, bytes({0x10, 0, 0x23, 0x45}));
    }

    void startAddressComesBeforeTheEnd()
    {
        QFETCH(ihex::Addressing, addressing);
        QFETCH(QByteArray, startRecord);
        ihex::WriteOptions options;
        options.addressing = addressing;
        const QByteArray text = written(imageOf({{0, bytes({9})}}, 0x12345), options);
        QVERIFY(text.endsWith(startRecord + '\n' + endOfFile() + '\n'));
    }

    void emptyImageIsOnlyTheEndRecord() { QCOMPARE(written(ihex::Image()), endOfFile() + '\n'); }

    void crlfOptionEndsLinesWithCrlf()
    {
        ihex::WriteOptions options;
        options.crlf = true;
        QCOMPARE(written(imageOf({{0x0100, bytes({1, 2, 3, 4})}}), options),
                 QByteArray(":0401000001020304F1\r\n:00000001FF\r\n"));
    }

    void writtenImageReadsBackTheSame_data()
    {
        QTest::addColumn<int>("perRecord");
        QTest::addColumn<ihex::Addressing>("addressing");
        QTest::addColumn<quint32>("base");
        for (int perRecord : {1, 16, 32, 255}) {
            QTest::addRow("linear, %d per record", perRecord)
                << perRecord << ihex::Addressing::Linear << 0x0800fff0u;
            QTest::addRow("segment, %d per record", perRecord)
                << perRecord << ihex::Addressing::Segment << 0x1fff3u;
        }
        QTest::newRow("linear at 0") << 16 << ihex::Addressing::Linear << 0u;
        QTest::newRow("linear at the top") << 16 << ihex::Addressing::Linear << 0xfffd0000u;
    }

    void writtenImageReadsBackTheSame()
    {
        QFETCH(int, perRecord);
        QFETCH(ihex::Addressing, addressing);
        QFETCH(quint32, base);

        const ihex::Image image = imageOf({{base, pattern(70000, 1)},
                                           {base + 70100, pattern(1, 2)},
                                           {base + 0x20000, pattern(300, 3)}},
                                          base + 4);
        ihex::WriteOptions options;
        options.bytesPerRecord = perRecord;
        options.addressing = addressing;
        const QByteArray text = written(image, options);

        ihex::Error error;
        const ihex::Image again = parsed(text, &error);
        QCOMPARE(QString::fromStdString(ihex::describe(error)), QString());
        QCOMPARE(again.segments.size(), image.segments.size());
        for (std::size_t i = 0; i < image.segments.size(); ++i) {
            QCOMPARE(again.segments[i].address, image.segments[i].address);
            QVERIFY(again.segments[i].bytes == image.segments[i].bytes);
        }
        QCOMPARE(again.startAddress, image.startAddress);

        // Records hold what was asked and stay inside their 64 KiB.
        const QList<QByteArray> records = text.split('\n');
        for (const QByteArray &line : records) {
            if (line.isEmpty())
                continue;
            const QByteArray raw = QByteArray::fromHex(line.mid(1));
            const int length = static_cast<unsigned char>(raw[0]);
            const int offset =
                static_cast<unsigned char>(raw[1]) << 8 | static_cast<unsigned char>(raw[2]);
            QVERIFY(length <= perRecord || raw[3] != 0);
            QVERIFY2(offset + length <= 0x10000, line.constData());
            if (addressing == ihex::Addressing::Segment)
                QVERIFY2(raw[3] != 4 && raw[3] != 5, line.constData());
            else
                QVERIFY2(raw[3] != 2 && raw[3] != 3, line.constData());
        }
    }

    void unwritableImageThrows_data()
    {
        QTest::addColumn<int>("perRecord");
        QTest::addColumn<ihex::Addressing>("addressing");
        QTest::addColumn<quint32>("address");
        QTest::addColumn<qint64>("start");
        QTest::newRow("0 per record") << 0 << ihex::Addressing::Linear << 0u << qint64(-1);
        QTest::newRow("256 per record") << 256 << ihex::Addressing::Linear << 0u << qint64(-1);
        QTest::newRow("segment data above 1 MiB")
            << 16 << ihex::Addressing::Segment << 0xffff0u << qint64(-1);
        QTest::newRow("segment start above 1 MiB")
            << 16 << ihex::Addressing::Segment << 0u << qint64(0x100000);
        QTest::newRow("data past 4 GiB")
            << 16 << ihex::Addressing::Linear << 0xfffffff0u << qint64(-1);
    }

    void unwritableImageThrows()
    {
        QFETCH(int, perRecord);
        QFETCH(ihex::Addressing, addressing);
        QFETCH(quint32, address);
        QFETCH(qint64, start);
        ihex::Image image = imageOf({{address, pattern(32)}});
        if (start >= 0)
            image.startAddress = std::uint32_t(start);
        ihex::WriteOptions options;
        options.bytesPerRecord = perRecord;
        options.addressing = addressing;
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, ihex::write(image, options));
    }

    void overlappingSegmentsThrow()
    {
        const ihex::Image image = imageOf({{0x100, pattern(32)}, {0x110, pattern(4)}});
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, ihex::write(image));
        const ihex::Image unsorted = imageOf({{0x200, pattern(4)}, {0x100, pattern(4)}});
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, ihex::write(unsorted));
    }
};

QTEST_GUILESS_MAIN(TestIhexWriter)
#include "tst_ihexwriter.moc"
