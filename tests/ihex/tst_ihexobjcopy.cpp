// The reader and writer against GNU objcopy, the reference for what a HEX file means.
#include "hexrecords.h"
#include "ihexwriter.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace hextest;

Q_DECLARE_METATYPE(ihex::Addressing)

namespace {

const QString objcopyPath = QStringLiteral("/usr/bin/objcopy");
const QString objdumpPath = QStringLiteral("/usr/bin/objdump");

struct ObjcopyResult
{
    bool ok = false;
    QByteArray binary;
    QByteArray diagnostics;
};

} // namespace

class TestIhexObjcopy : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    int fileNumber = 0;

    QString writeFile(const QByteArray &text)
    {
        const QString path = dir.filePath(QStringLiteral("f%1.hex").arg(++fileNumber));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    // objcopy -O binary, or with `format` "ihex" its own rewrite of the data it read (a damaged
    // file can put data gigabytes apart, which a binary would fill in).
    ObjcopyResult objcopy(const QString &hexPath, const QString &format = QStringLiteral("binary"))
    {
        ObjcopyResult result;
        const QString binPath = hexPath + QStringLiteral(".out");
        QProcess process;
        process.start(objcopyPath, {QStringLiteral("-I"), QStringLiteral("ihex"),
                                    QStringLiteral("-O"), format, hexPath, binPath});
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished(1000);
            result.diagnostics = "objcopy did not finish";
            return result;
        }
        result.diagnostics = process.readAllStandardError();
        result.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        QFile bin(binPath);
        if (result.ok && bin.open(QIODevice::ReadOnly))
            result.binary = bin.readAll();
        bin.remove();
        return result;
    }

    // objdump -f names the start address objcopy's library read from the file.
    qint64 objdumpStart(const QString &hexPath)
    {
        QProcess process;
        process.start(objdumpPath, {QStringLiteral("-f"), hexPath});
        if (!process.waitForFinished(30000))
            return -1;
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("start address 0x([0-9a-fA-F]+)"))
                .match(QString::fromLatin1(process.readAllStandardOutput()));
        return match.hasMatch() ? match.captured(1).toLongLong(nullptr, 16) : -1;
    }

private slots:
    void initTestCase()
    {
        if (!QFileInfo(objcopyPath).isExecutable())
            QSKIP("GNU objcopy is not installed");
        QVERIFY(dir.isValid());
    }

    void validFileFlattensAsObjcopyWrites_data()
    {
        QTest::addColumn<QByteArray>("text");
        const QByteArray eof = endOfFile();
        const QByteArray p16 = pattern(16);

        QTest::newRow("one record") << lines({data(0x0, p16), eof});
        QTest::newRow("gap") << lines({data(0x0, p16), data(0x1000, pattern(5, 2)), eof});
        QTest::newRow("records out of order") << lines(
            {data(0x200, p16), data(0x100, pattern(16, 2)), data(0x110, pattern(3, 3)), eof});
        QTest::newRow("extended linear with gap") << lines(
            {linear(0x0800), data(0x0, p16), linear(0x0801), data(0x10, pattern(16, 2)), eof});
        QTest::newRow("extended segment") << lines(
            {segment(0x1000), data(0x8, p16), segment(0x2000), data(0x0, pattern(16, 2)), eof});
        QTest::newRow("segment above 1 MiB") << lines({segment(0xffff), data(0xff00, p16), eof});
        QTest::newRow("segment then linear")
            << lines({segment(0x1000), data(0x0, p16), segment(0), linear(0x3),
                      data(0x0, pattern(16, 2)), eof});
        QTest::newRow("crossing 64 KiB linearly")
            << lines({linear(0x2), data(0xfff8, p16), data(0x8, pattern(8, 2)), eof});
        QTest::newRow("crossing 64 KiB without base") << lines({data(0xfff0, pattern(255)), eof});
        QTest::newRow("start linear")
            << lines({data(0x0, p16), record(5, 0, bytes({0, 0, 0, 8})), eof});
        QTest::newRow("start segment")
            << lines({record(3, 0, bytes({0, 1, 0, 2})), data(0x0, p16), eof});
        QTest::newRow("CRLF, lower case, blank lines")
            << QByteArray(data(0x40, p16).toLower() + "\r\n\r\n" + data(0x50, pattern(4, 2)) +
                          "\r\n" + eof + "\r\n\r\n");
        QTest::newRow("end record address") << lines({data(0x0, p16), record(1, 0x4567, {})});
        QTest::newRow("empty data record") << lines({data(0x10, {}), data(0x20, p16), eof});
        QTest::newRow("1-byte records") << [] {
            QList<QByteArray> records;
            for (int i = 0; i < 300; ++i)
                records << data(0x7000 + i * 3, pattern(1, i));
            return lines(records + QList<QByteArray>{endOfFile()});
        }();
    }

    void validFileFlattensAsObjcopyWrites()
    {
        QFETCH(QByteArray, text);
        ihex::Error error;
        const ihex::Image image = parsed(text, &error);
        QCOMPARE(QString::fromStdString(ihex::describe(error)), QString());
        const QString path = writeFile(text);
        const ObjcopyResult reference = objcopy(path);
        QVERIFY2(reference.ok, reference.diagnostics.constData());
        QCOMPARE(flat(image).size(), reference.binary.size());
        QVERIFY(flat(image) == reference.binary);
        if (image.startAddress && QFileInfo(objdumpPath).isExecutable())
            QCOMPARE(objdumpStart(path), qint64(*image.startAddress));
    }

    void writtenFileReadsTheSameInObjcopy_data()
    {
        QTest::addColumn<ihex::Addressing>("addressing");
        QTest::addColumn<int>("perRecord");
        QTest::addColumn<quint32>("base");
        QTest::newRow("linear") << ihex::Addressing::Linear << 16 << 0x08000000u;
        QTest::newRow("linear, 255 per record, unaligned")
            << ihex::Addressing::Linear << 255 << 0x0003fff1u;
        QTest::newRow("segment") << ihex::Addressing::Segment << 16 << 0x00010000u;
        QTest::newRow("segment, 32 per record, unaligned")
            << ihex::Addressing::Segment << 32 << 0x0001fffdu;
    }

    void writtenFileReadsTheSameInObjcopy()
    {
        QFETCH(ihex::Addressing, addressing);
        QFETCH(int, perRecord);
        QFETCH(quint32, base);

        ihex::Image image;
        const QByteArray a = pattern(150000, 7);
        const QByteArray b = pattern(1000, 8);
        image.segments.push_back(ihex::Segment{base, {a.begin(), a.end()}});
        image.segments.push_back(ihex::Segment{base + 200000, {b.begin(), b.end()}});
        image.startAddress = base + 0x101;
        ihex::WriteOptions options;
        options.addressing = addressing;
        options.bytesPerRecord = perRecord;

        const QString path = writeFile(QByteArray::fromStdString(ihex::write(image, options)));
        const ObjcopyResult reference = objcopy(path);
        QVERIFY2(reference.ok, reference.diagnostics.constData());
        QVERIFY(reference.binary == flat(image));
        if (QFileInfo(objdumpPath).isExecutable())
            QCOMPARE(objdumpStart(path), qint64(*image.startAddress));
    }

    // Damaged copies of a valid file: whatever objcopy refuses, the reader refuses too, and what
    // both accept means the same bytes. The reader may refuse more (overlaps, ambiguous addresses,
    // text after the end record).
    void readerIsAtLeastAsStrictAsObjcopy_data()
    {
        QTest::addColumn<bool>("keepChecksums");
        QTest::newRow("text damaged") << false;
        QTest::newRow("fields changed, checksums fixed") << true;
    }

    void readerIsAtLeastAsStrictAsObjcopy()
    {
        QFETCH(bool, keepChecksums);
        const QList<QByteArray> original = {segment(0x0100),
                                            data(0x0, pattern(8, 1)),
                                            data(0x8, pattern(8, 2)),
                                            segment(0),
                                            linear(0x0001),
                                            data(0xfff8, pattern(4, 3)),
                                            record(5, 0, bytes({0, 1, 0, 0})),
                                            endOfFile()};
        std::uint32_t random = keepChecksums ? 99 : 7;
        const auto next = [&random](std::uint32_t below) {
            random = random * 1103515245u + 12345u;
            return (random >> 8) % below;
        };
        const QByteArray alphabet = QByteArrayLiteral("0123456789ABCDEFabcdefG: \t\r\n\x1a");

        int bothAccepted = 0;
        int bothRefused = 0;
        int onlyReaderRefused = 0;
        for (int round = 0; round < 60; ++round) {
            QList<QByteArray> records = original;
            const int which = int(next(std::uint32_t(records.size())));
            QByteArray &line = records[which];
            if (keepChecksums) {
                QByteArray raw = QByteArray::fromHex(line.mid(1));
                const int field = 1 + int(next(std::uint32_t(raw.size() - 2))); // not the count
                raw[field] = char(field == 3 ? next(7) : next(256));
                raw.chop(1);
                line = record(static_cast<unsigned char>(raw[3]),
                              static_cast<unsigned char>(raw[1]) << 8 |
                                  static_cast<unsigned char>(raw[2]),
                              raw.mid(4));
            } else {
                const int at = int(next(std::uint32_t(line.size() + 1)));
                switch (next(3)) {
                case 0:
                    if (at < line.size())
                        line[at] = alphabet[int(next(std::uint32_t(alphabet.size())))];
                    break;
                case 1:
                    line.remove(at, 1);
                    break;
                default:
                    line.insert(at, alphabet[int(next(std::uint32_t(alphabet.size())))]);
                    break;
                }
            }
            const QByteArray text = lines(records);
            ihex::Error error;
            const ihex::Image image = parsed(text, &error);
            const bool readerOk = error.code == ihex::ErrorCode::None;
            const ObjcopyResult reference = objcopy(writeFile(text), QStringLiteral("ihex"));
            const QByteArray context =
                text + "reader: " + QByteArray::fromStdString(ihex::describe(error)) +
                "\nobjcopy: " + reference.diagnostics;
            if (!reference.ok) {
                // objcopy refuses a file without data; the reader gives an empty image for the
                // library to judge.
                QVERIFY2(!readerOk || image.empty(), context.constData());
                ++bothRefused;
            } else if (readerOk) {
                ihex::Error rewriteError;
                const ihex::Image rewritten = parsed(reference.binary, &rewriteError);
                QVERIFY2(rewriteError.code == ihex::ErrorCode::None, context.constData());
                QVERIFY2(rewritten.segments.size() == image.segments.size(), context.constData());
                for (std::size_t i = 0; i < image.segments.size(); ++i) {
                    QVERIFY2(rewritten.segments[i].address == image.segments[i].address &&
                                 rewritten.segments[i].bytes == image.segments[i].bytes,
                             context.constData());
                }
                ++bothAccepted;
            } else {
                ++onlyReaderRefused;
            }
        }
        qInfo("both accepted %d, both refused %d, only the reader refused %d", bothAccepted,
              bothRefused, onlyReaderRefused);
        QVERIFY(bothAccepted > 0 || !keepChecksums);
        QVERIFY(bothRefused > 0);
    }
};

QTEST_GUILESS_MAIN(TestIhexObjcopy)
#include "tst_ihexobjcopy.moc"
