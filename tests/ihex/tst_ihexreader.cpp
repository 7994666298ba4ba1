#include "hexrecords.h"
#include "ihexreader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <set>

using namespace hextest;
using ihex::ErrorCode;

struct ExpectedSegment
{
    quint32 address;
    QByteArray bytes;
};
using Segments = QList<ExpectedSegment>;
Q_DECLARE_METATYPE(Segments)

class TestIhexReader : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    QString writeFile(const QString &name, const QByteArray &text)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    static bool parseFile(const QString &path, ihex::Image &image, ihex::Error &error)
    {
        return ihex::parseFile(QFile::encodeName(path).toStdString(), image, error);
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    // --- Malformed files: each rule refused with its code, on its line.

    void malformedFileIsRefused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<ErrorCode>("code");
        QTest::addColumn<int>("line");

        const QByteArray d0 = data(0, bytes({1, 2, 3, 4}));
        const QByteArray eof = endOfFile();

        QTest::newRow("missing colon") << lines({d0.mid(1), eof}) << ErrorCode::MissingColon << 1;
        QTest::newRow("blank before colon")
            << lines({d0, ' ' + d0, eof}) << ErrorCode::MissingColon << 2;
        QTest::newRow("text line")
            << lines({d0, "firmware v2", eof}) << ErrorCode::MissingColon << 2;
        QTest::newRow("line of blanks before records")
            << lines({"   ", d0, eof}) << ErrorCode::MissingColon << 1;
        QTest::newRow("line of blanks between records")
            << lines({d0, " \t", eof}) << ErrorCode::MissingColon << 2;
        QTest::newRow("byte order mark")
            << "\xEF\xBB\xBF" + lines({d0, eof}) << ErrorCode::MissingColon << 1;

        QByteArray badDigit = d0;
        badDigit[11] = 'G';
        QTest::newRow("bad hex digit in data")
            << lines({badDigit, eof}) << ErrorCode::BadHexDigit << 1;
        QTest::newRow("bad hex digit in count")
            << lines({d0, ":x0000001FF"}) << ErrorCode::BadHexDigit << 2;
        QTest::newRow("blank inside record")
            << lines({":04 000000 01020304F2", eof}) << ErrorCode::BadHexDigit << 1;
        QTest::newRow("trailing blank") << lines({d0 + ' ', eof}) << ErrorCode::BadHexDigit << 1;
        QTest::newRow("trailing tab") << lines({d0 + '\t', eof}) << ErrorCode::BadHexDigit << 1;
        QTest::newRow("CR without LF") << d0 + '\r' + eof + '\r' << ErrorCode::BadHexDigit << 1;
        QTest::newRow("NUL byte") << lines({d0.left(5) + '\0' + d0.mid(6), eof})
                                  << ErrorCode::BadHexDigit << 1;
        QTest::newRow("second colon") << d0 + eof + '\n' << ErrorCode::BadHexDigit << 1;
        QTest::newRow("bad digit after odd length")
            << lines({d0 + 'Z', eof}) << ErrorCode::BadHexDigit << 1;

        QTest::newRow("odd length") << lines({d0.chopped(1), eof}) << ErrorCode::BadLength << 1;
        QTest::newRow("colon alone") << lines({":", eof}) << ErrorCode::BadLength << 1;
        QTest::newRow("record too short") << lines({d0, ":00000001"}) << ErrorCode::BadLength << 2;
        QTest::newRow("count larger than data")
            << lines({":05000000010203040E", eof}) << ErrorCode::BadLength << 1;
        QTest::newRow("count smaller than data")
            << lines({":03000000010203040E", eof}) << ErrorCode::BadLength << 1;
        QTest::newRow("line longer than any record")
            << lines({":" + QByteArray(600, '0'), eof}) << ErrorCode::BadLength << 1;

        QByteArray badSum = d0;
        badSum[badSum.size() - 1] = '3';
        QTest::newRow("bad checksum") << lines({badSum, eof}) << ErrorCode::BadChecksum << 1;
        QTest::newRow("bad checksum in end record")
            << lines({d0, ":00000001FE"}) << ErrorCode::BadChecksum << 2;
        QTest::newRow("checksum of a changed byte")
            << lines({":0400000001020305F2", eof}) << ErrorCode::BadChecksum << 1;

        QTest::newRow("type 06") << lines({record(6, 0, bytes({1})), eof})
                                 << ErrorCode::UnknownRecordType << 1;
        QTest::newRow("type FF") << lines({d0, record(0xff, 0, {}), eof})
                                 << ErrorCode::UnknownRecordType << 2;

        QTest::newRow("end record with data")
            << lines({d0, record(1, 0, bytes({0}))}) << ErrorCode::BadRecord << 2;
        QTest::newRow("02 with 3 bytes")
            << lines({record(2, 0, bytes({0, 1, 2})), d0, eof}) << ErrorCode::BadRecord << 1;
        QTest::newRow("02 with 1 byte")
            << lines({record(2, 0, bytes({1})), d0, eof}) << ErrorCode::BadRecord << 1;
        QTest::newRow("02 with an address")
            << lines({record(2, 0x10, bytes({0, 1})), d0, eof}) << ErrorCode::BadRecord << 1;
        QTest::newRow("04 with 1 byte")
            << lines({record(4, 0, bytes({1})), d0, eof}) << ErrorCode::BadRecord << 1;
        QTest::newRow("04 with 4 bytes")
            << lines({d0, record(4, 0, bytes({0, 1, 0, 0})), eof}) << ErrorCode::BadRecord << 2;
        QTest::newRow("04 with an address")
            << lines({record(4, 1, bytes({0, 1})), d0, eof}) << ErrorCode::BadRecord << 1;
        QTest::newRow("03 with 2 bytes")
            << lines({record(3, 0, bytes({0, 1})), d0, eof}) << ErrorCode::BadRecord << 1;
        QTest::newRow("03 with an address")
            << lines({record(3, 0x100, bytes({0, 1, 2, 3})), d0, eof}) << ErrorCode::BadRecord << 1;
        QTest::newRow("05 with 5 bytes")
            << lines({d0, record(5, 0, bytes({0, 1, 2, 3, 4})), eof}) << ErrorCode::BadRecord << 2;
        QTest::newRow("05 with an address")
            << lines({d0, record(5, 0xffff, bytes({0, 1, 2, 3})), eof}) << ErrorCode::BadRecord
            << 2;
        QTest::newRow("two start records") << lines({record(5, 0, bytes({0, 0, 1, 0})), d0,
                                                     record(3, 0, bytes({0, 0, 1, 0})), eof})
                                           << ErrorCode::BadRecord << 3;
        QTest::newRow("segment and linear base both set")
            << lines({segment(0x1000), linear(1), d0, eof}) << ErrorCode::BadRecord << 3;

        QTest::newRow("no end record") << lines({d0}) << ErrorCode::MissingEndOfFile << 0;
        QTest::newRow("no end record, no line end") << d0 << ErrorCode::MissingEndOfFile << 0;
        QTest::newRow("only an address record")
            << lines({linear(1)}) << ErrorCode::MissingEndOfFile << 0;

        QTest::newRow("data after end")
            << lines({d0, eof, data(0x10, bytes({5}))}) << ErrorCode::DataAfterEndOfFile << 3;
        QTest::newRow("data after end and blank lines")
            << lines({d0, eof, "", "\r", data(0x10, bytes({5}))}) << ErrorCode::DataAfterEndOfFile
            << 5;
        QTest::newRow("second end record")
            << lines({d0, eof, eof}) << ErrorCode::DataAfterEndOfFile << 3;
        QTest::newRow("text after end")
            << lines({d0, eof, "; checksum 1234"}) << ErrorCode::DataAfterEndOfFile << 3;
        QTest::newRow("faulty record after end")
            << lines({d0, eof, ":zz"}) << ErrorCode::DataAfterEndOfFile << 3;

        QTest::newRow("same record twice") << lines({d0, d0, eof}) << ErrorCode::Overlap << 2;
        QTest::newRow("equal values overlapping")
            << lines({d0, data(3, bytes({4, 9})), eof}) << ErrorCode::Overlap << 2;
        QTest::newRow("partial overlap")
            << lines({d0, data(2, bytes({5, 6, 7, 8})), eof}) << ErrorCode::Overlap << 2;
        QTest::newRow("overlap from below")
            << lines({data(0x10, pattern(16)), data(0x08, pattern(9)), eof}) << ErrorCode::Overlap
            << 2;
        QTest::newRow("overlap after records out of order")
            << lines({data(0x100, pattern(16)), data(0x0, pattern(16)), data(0x80, pattern(16)),
                      data(0x20, pattern(16)), data(0x10f, pattern(2)), eof})
            << ErrorCode::Overlap << 5;
        QTest::newRow("overlap inside a merged stretch")
            << lines({data(0x20, pattern(16)), data(0x0, pattern(16)), data(0x10, pattern(16)),
                      data(0x18, pattern(1)), eof})
            << ErrorCode::Overlap << 4;
        QTest::newRow("overlap through another base")
            << lines({segment(0x1000), data(0, pattern(16)), segment(0), linear(1),
                      data(8, pattern(4)), eof})
            << ErrorCode::Overlap << 5;
        QTest::newRow("overlap across 64 KiB")
            << lines({data(0xfff8, pattern(16)), linear(1), data(0, pattern(1)), eof})
            << ErrorCode::Overlap << 3;

        QTest::newRow("past 4 GiB") << lines({linear(0xffff), data(0xfff8, pattern(9)), eof})
                                    << ErrorCode::AddressOverflow << 2;
        QTest::newRow("past 4 GiB by a full record")
            << lines({linear(0xffff), data(0xffff, pattern(255)), eof})
            << ErrorCode::AddressOverflow << 2;
        QTest::newRow("past the end of a segment")
            << lines({segment(0x1000), data(0xfff8, pattern(16)), eof})
            << ErrorCode::AddressOverflow << 2;
        QTest::newRow("past the end of segment 0")
            << lines({segment(0), data(0xffff, pattern(2)), eof}) << ErrorCode::AddressOverflow
            << 2;

        QTest::newRow("first fault wins")
            << lines({d0, ":0400000001020304F3", "junk", eof}) << ErrorCode::BadChecksum << 2;
    }

    void malformedFileIsRefused()
    {
        QFETCH(QByteArray, text);
        QFETCH(ErrorCode, code);
        QFETCH(int, line);

        ihex::Image image;
        ihex::Error error;
        QVERIFY(!ihex::parse(std::string_view(text.constData(), std::size_t(text.size())), image,
                             error));
        QCOMPARE(ihex::errorCodeName(error.code), ihex::errorCodeName(code));
        QCOMPARE(int(error.line), line);
        QVERIFY(!error.message.empty());
        QVERIFY(image.empty());

        // The file reader says the same.
        ihex::Image fromFile;
        ihex::Error fileError;
        QVERIFY(!parseFile(writeFile(QStringLiteral("bad.hex"), text), fromFile, fileError));
        QCOMPARE(ihex::errorCodeName(fileError.code), ihex::errorCodeName(code));
        QCOMPARE(int(fileError.line), line);
        QCOMPARE(fileError.message, error.message);
    }

    void emptyFileIsEmpty_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("no bytes") << QByteArray();
        QTest::newRow("line ends") << QByteArray("\n\n\r\n");
        QTest::newRow("blanks") << QByteArray("  \t\r\n \n");
    }

    void emptyFileIsEmpty()
    {
        QFETCH(QByteArray, text);
        ihex::Error error;
        parsed(text, &error);
        QCOMPARE(ihex::errorCodeName(error.code), "Empty");
        QCOMPARE(int(error.line), 0);
    }

    void messagesSayWhatIsWrong_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("checksum") << lines({":0400000001020304F3", endOfFile()})
                                  << "line 1: checksum is F3, should be F2";
        QTest::newRow("digit") << lines({":04000000010203G4F2", endOfFile()})
                               << "line 1: unexpected character 'G' at column 16";
        QTest::newRow("count") << lines({":05000000010203040E", endOfFile()})
                               << "line 1: byte count is 5 but the record holds 4 data bytes";
        QTest::newRow("type") << lines({endOfFile().replace(8, 1, "7").replace(9, 2, "F9")})
                              << "line 1: unknown record type 07";
        QTest::newRow("overlap")
            << lines({data(0x10, pattern(4)), data(0x12, pattern(4)), endOfFile()})
            << "line 2: data at 00000012 was already given by an earlier record";
        QTest::newRow("no end") << lines({data(0, pattern(4))})
                                << "no end-of-file record (type 01)";
        QTest::newRow("second start")
            << lines({record(5, 0, pattern(4)), record(5, 0, pattern(4)), endOfFile()})
            << "line 2: second start address record (the first is on line 1)";
    }

    void messagesSayWhatIsWrong()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, message);
        ihex::Error error;
        parsed(text, &error);
        QCOMPARE(QString::fromStdString(ihex::describe(error)), message);
    }

    // --- Valid files.

    void validFileGivesItsSegments_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<Segments>("segments");
        QTest::addColumn<qint64>("start"); // -1: none

        const QByteArray p16 = pattern(16);
        const QByteArray q16 = pattern(16, 2);
        const QByteArray eof = endOfFile();

        QTest::newRow("one record") << lines({data(0, bytes({1, 2, 3, 4})), eof})
                                    << Segments{{0, bytes({1, 2, 3, 4})}} << qint64(-1);
        QTest::newRow("CRLF") << QByteArray(data(0x20, p16) + "\r\n" + eof + "\r\n")
                              << Segments{{0x20, p16}} << qint64(-1);
        QTest::newRow("lower case") << lines({data(0x20, p16).toLower(), eof.toLower()})
                                    << Segments{{0x20, p16}} << qint64(-1);
        QTest::newRow("no final line end")
            << QByteArray(data(0x20, p16) + '\n' + eof) << Segments{{0x20, p16}} << qint64(-1);
        QTest::newRow("blank lines")
            << lines({"", data(0, p16), "", "\r", eof, "", "  ", "\t\r", "\x1a"})
            << Segments{{0, p16}} << qint64(-1);
        QTest::newRow("empty data record")
            << lines({data(0x40, {}), data(0, p16), eof}) << Segments{{0, p16}} << qint64(-1);
        QTest::newRow("adjacent records merge")
            << lines({data(0, p16), data(16, q16), eof}) << Segments{{0, p16 + q16}} << qint64(-1);
        QTest::newRow("records out of order merge")
            << lines({data(16, q16), data(0, p16), eof}) << Segments{{0, p16 + q16}} << qint64(-1);
        QTest::newRow("gap gives two segments") << lines({data(0, p16), data(0x100, q16), eof})
                                                << Segments{{0, p16}, {0x100, q16}} << qint64(-1);
        QTest::newRow("descending with gaps")
            << lines({data(0x300, q16), data(0x200, p16), data(0x100, q16), data(0x110, p16), eof})
            << Segments{{0x100, q16 + p16}, {0x200, p16}, {0x300, q16}} << qint64(-1);
        QTest::newRow("extended linear") << lines({linear(0x0800), data(0x10, p16), eof})
                                         << Segments{{0x08000010, p16}} << qint64(-1);
        QTest::newRow("linear bases ascend")
            << lines({linear(1), data(0xfff0, p16), linear(2), data(0, q16), eof})
            << Segments{{0x1fff0, p16 + q16}} << qint64(-1);
        QTest::newRow("crossing 64 KiB goes on linearly")
            << lines({data(0xfff8, p16), eof}) << Segments{{0xfff8, p16}} << qint64(-1);
        QTest::newRow("crossing 64 KiB under a linear base")
            << lines({linear(3), data(0xfffc, p16), eof}) << Segments{{0x3fffc, p16}} << qint64(-1);
        QTest::newRow("extended segment") << lines({segment(0x1000), data(0x10, p16), eof})
                                          << Segments{{0x10010, p16}} << qint64(-1);
        QTest::newRow("segment up to its end") << lines({segment(0xf000), data(0xfff0, p16), eof})
                                               << Segments{{0xffff0, p16}} << qint64(-1);
        QTest::newRow("segment above 1 MiB") << lines({segment(0xffff), data(0xffe0, p16), eof})
                                             << Segments{{0x10ffd0, p16}} << qint64(-1);
        QTest::newRow("segment then linear")
            << lines({segment(0x1000), data(0, p16), segment(0), linear(2), data(0, q16), eof})
            << Segments{{0x10000, p16}, {0x20000, q16}} << qint64(-1);
        QTest::newRow("up to 4 GiB") << lines({linear(0xffff), data(0xfff0, p16), eof})
                                     << Segments{{0xfffffff0, p16}} << qint64(-1);
        QTest::newRow("start segment address")
            << lines({data(0, p16), record(3, 0, bytes({0x12, 0x34, 0x56, 0x78})), eof})
            << Segments{{0, p16}} << qint64(0x179b8);
        QTest::newRow("start linear address")
            << lines({record(5, 0, bytes({0x08, 0, 0x01, 0x01})), data(0, p16), eof})
            << Segments{{0, p16}} << qint64(0x08000101);
        QTest::newRow("end record address ignored")
            << lines({data(0, p16), record(1, 0x1234, {})}) << Segments{{0, p16}} << qint64(-1);
        QTest::newRow("only an end record") << lines({eof}) << Segments{} << qint64(-1);
        QTest::newRow("start address alone")
            << lines({record(5, 0, bytes({0, 0, 0, 4})), eof}) << Segments{} << qint64(4);
        QTest::newRow("full records")
            << lines({data(0, pattern(255)), data(255, pattern(255, 3)), eof})
            << Segments{{0, pattern(255) + pattern(255, 3)}} << qint64(-1);
    }

    void validFileGivesItsSegments()
    {
        QFETCH(QByteArray, text);
        QFETCH(Segments, segments);
        QFETCH(qint64, start);

        ihex::Error error;
        const ihex::Image image = parsed(text, &error);
        QCOMPARE(QString::fromStdString(ihex::describe(error)), QString());
        QCOMPARE(ihex::errorCodeName(error.code), "None");
        QCOMPARE(int(image.segments.size()), int(segments.size()));
        for (int i = 0; i < segments.size(); ++i) {
            const ihex::Segment &got = image.segments[std::size_t(i)];
            QCOMPARE(got.address, segments[i].address);
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(got.bytes.data()),
                                qsizetype(got.bytes.size())),
                     segments[i].bytes);
        }
        QCOMPARE(image.startAddress.has_value(), start >= 0);
        if (start >= 0)
            QCOMPARE(qint64(*image.startAddress), start);

        ihex::Image fromFile;
        QVERIFY(parseFile(writeFile(QStringLiteral("good.hex"), text), fromFile, error));
        QCOMPARE(fromFile.segments.size(), image.segments.size());
        QCOMPARE(flat(fromFile), flat(image));
    }

    void imageMeasuresAndFlattens()
    {
        const ihex::Image image =
            parsed(lines({data(0x104, bytes({7, 8})), data(0x100, bytes({1, 2})), endOfFile()}));
        QCOMPARE(image.lowestAddress(), 0x100u);
        QCOMPARE(image.endAddress(), quint64(0x106));
        QCOMPARE(int(image.dataSize()), 4);
        QCOMPARE(flat(image), bytes({1, 2, 0, 0, 7, 8}));
        const std::vector<std::uint8_t> filled = image.flatten(0xff);
        QCOMPARE(
            QByteArray(reinterpret_cast<const char *>(filled.data()), qsizetype(filled.size())),
            bytes({1, 2, 0xff, 0xff, 7, 8}));

        const ihex::Image none;
        QCOMPARE(none.lowestAddress(), 0u);
        QCOMPARE(none.endAddress(), quint64(0));
        QVERIFY(none.flatten().empty());
    }

    // --- Safety of the results.

    void failureLeavesImageAsItWas()
    {
        ihex::Image image =
            parsed(lines({data(0x40, pattern(8)), record(5, 0, pattern(4)), endOfFile()}));
        QCOMPARE(int(image.segments.size()), 1);
        const QByteArray before = flat(image);
        const auto startBefore = image.startAddress;

        const QByteArray bad = lines({data(0, pattern(4)), ":0100000001FF"});
        ihex::Error error;
        QVERIFY(
            !ihex::parse(std::string_view(bad.constData(), std::size_t(bad.size())), image, error));
        QCOMPARE(flat(image), before);
        QCOMPARE(image.startAddress, startBefore);
        QCOMPARE(image.lowestAddress(), 0x40u);
    }

    void successClearsTheLastError()
    {
        ihex::Error error;
        error.code = ErrorCode::BadChecksum;
        error.line = 9;
        error.message = "old";
        ihex::Image image;
        const QByteArray text = lines({endOfFile()});
        QVERIFY(ihex::parse(std::string_view(text.constData(), std::size_t(text.size())), image,
                            error));
        QCOMPARE(ihex::errorCodeName(error.code), "None");
        QCOMPARE(int(error.line), 0);
        QVERIFY(error.message.empty());
    }

    void shortFileWithFarAddressesStaysSmall()
    {
        // Two records 4 GiB apart: the image holds their 32 bytes, not the span between them.
        const ihex::Image image = parsed(
            lines({data(0, pattern(16)), linear(0xffff), data(0xfff0, pattern(16)), endOfFile()}));
        QCOMPARE(int(image.segments.size()), 2);
        QCOMPARE(int(image.dataSize()), 32);
        QCOMPARE(image.endAddress(), quint64(1) << 32);
        for (const ihex::Segment &segment : image.segments)
            QCOMPARE(int(segment.bytes.capacity()), 16);
    }

    void descendingRecordsGiveOneSegment()
    {
        // Worst order for a naive reader: every record goes in front of the ones before it.
        const int count = 50000;
        QByteArray text;
        QByteArray expected;
        for (int i = count - 1; i >= 0; --i) {
            const int address = i * 4;
            if (address >> 16 != (address + 4) >> 16 || i == count - 1)
                text += linear(address >> 16) + '\n';
            text += data(address & 0xffff, pattern(4, i)) + '\n';
        }
        for (int i = 0; i < count; ++i)
            expected += pattern(4, i);
        text += endOfFile();
        const ihex::Image image = parsed(text);
        QCOMPARE(int(image.segments.size()), 1);
        QCOMPARE(image.segments.front().address, 0u);
        QCOMPARE(flat(image), expected);
    }

    // --- Reading files.

    void missingFileCannotBeOpened()
    {
        ihex::Image image;
        ihex::Error error;
        QVERIFY(!parseFile(dir.filePath(QStringLiteral("no such file.hex")), image, error));
        QCOMPARE(ihex::errorCodeName(error.code), "CannotOpen");
        QVERIFY(QString::fromStdString(error.message).contains(QLatin1String("no such file.hex")));
    }

    void folderCannotBeRead()
    {
        ihex::Image image;
        ihex::Error error;
        QVERIFY(!parseFile(dir.path(), image, error));
        QCOMPARE(ihex::errorCodeName(error.code), "CannotRead");
    }

    void hugeFileIsRefusedUnread()
    {
        const QString path = dir.filePath(QStringLiteral("huge.hex"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(qint64(ihex::MaxFileSize) + 1)); // sparse: costs no disk
        file.close();
        ihex::Image image;
        ihex::Error error;
        QVERIFY(!parseFile(path, image, error));
        QCOMPARE(ihex::errorCodeName(error.code), "FileTooLarge");
        QFile::remove(path);
    }

    void fileReadInPiecesEqualsText_data()
    {
        QTest::addColumn<bool>("crlf");
        QTest::newRow("LF") << false;
        QTest::newRow("CRLF") << true;
    }

    void fileReadInPiecesEqualsText()
    {
        // Records of every length put line ends (and CRLF pairs) on both sides of every piece
        // boundary the reader uses.
        QFETCH(bool, crlf);
        const QByteArray eol = crlf ? "\r\n" : "\n";
        QByteArray text;
        quint32 address = 0;
        int lineCount = 0;
        for (int i = 0; text.size() < (3 << 20); ++i) {
            const int length = 1 + (i * 37) % 255;
            if ((address >> 16) != ((address + quint32(length)) >> 16) || i == 0) {
                text += linear(int((address + quint32(length)) >> 16)) + eol;
                address = (address + quint32(length)) & 0xffff0000u;
                ++lineCount;
            }
            text += data(int(address & 0xffff), pattern(length, i)) + eol;
            address += quint32(length);
            ++lineCount;
        }
        const QByteArray good = text + endOfFile() + eol;
        ihex::Image fromText = parsed(good);
        QVERIFY(!fromText.empty());
        ihex::Image fromFile;
        ihex::Error error;
        QVERIFY(parseFile(writeFile(QStringLiteral("pieces.hex"), good), fromFile, error));
        QCOMPARE(fromFile.segments.size(), fromText.segments.size());
        QVERIFY(flat(fromFile) == flat(fromText));

        // A fault near the end is found on the same line both ways.
        const QByteArray bad = text + ":00000001FE" + eol;
        QVERIFY(!parseFile(writeFile(QStringLiteral("pieces-bad.hex"), bad), fromFile, error));
        QCOMPARE(ihex::errorCodeName(error.code), "BadChecksum");
        QCOMPARE(int(error.line), lineCount + 1);
    }

    void overlongLineInFileIsRefused_data()
    {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<ErrorCode>("code");
        QTest::addColumn<int>("badDigitAt");
        QTest::newRow("digits only") << QByteArray() << ErrorCode::BadLength << -1;
        // Refused once the line is longer than any record, before its end is read.
        QTest::newRow("bad digit at its end") << QByteArray("x") << ErrorCode::BadLength << -1;
        QTest::newRow("bad digit within a record's length")
            << QByteArray() << ErrorCode::BadHexDigit << 300;
        QTest::newRow("bad digit at the longest line's end")
            << QByteArray() << ErrorCode::BadHexDigit << int(ihex::MaxLineLength - 1);
        QTest::newRow("bad digit just beyond it")
            << QByteArray() << ErrorCode::BadLength << int(ihex::MaxLineLength);
    }

    void overlongLineInFileIsRefused()
    {
        QFETCH(QByteArray, tail);
        QFETCH(ErrorCode, code);
        QFETCH(int, badDigitAt);
        QByteArray line = ':' + QByteArray(600000, 'A') + tail;
        if (badDigitAt >= 0)
            line[badDigitAt] = 'x';
        const QByteArray text = lines({data(0, pattern(4)), line, endOfFile()});
        ihex::Image image;
        ihex::Error error;
        QVERIFY(!parseFile(writeFile(QStringLiteral("long.hex"), text), image, error));
        QCOMPARE(ihex::errorCodeName(error.code), ihex::errorCodeName(code));
        QCOMPARE(int(error.line), 2);
    }

    void errorCodesHaveDistinctNames()
    {
        std::set<std::string> names;
        for (int code = int(ErrorCode::None); code <= int(ErrorCode::FileTooLarge); ++code)
            names.insert(ihex::errorCodeName(ErrorCode(code)));
        QCOMPARE(int(names.size()), int(ErrorCode::FileTooLarge) + 1);
        QVERIFY(names.count("Unknown") == 0);
    }
};

QTEST_GUILESS_MAIN(TestIhexReader)
#include "tst_ihexreader.moc"
