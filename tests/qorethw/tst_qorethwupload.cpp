// Firmware uploads against the emulated board: what arrives, what is refused, and faults.
#include "boardemulatorprocess.h"
#include "crc32.h"
#include "ihexreader.h"
#include "ihexwriter.h"
#include "messages.h"
#include "packet.h"
#include "qorethwtesthelpers.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <future>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>

namespace {

ihex::Image makeImage(std::vector<ihex::Segment> segments)
{
    ihex::Image image;
    image.segments = std::move(segments);
    return image;
}

std::vector<std::uint8_t> pattern(std::size_t size, std::uint32_t seed)
{
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto &b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = std::uint8_t(x);
    }
    return bytes;
}

// Firmware whose revision word the board reads (bytes 4-5 after "QORF").
std::vector<std::uint8_t> firmware(std::uint16_t revision, std::size_t size, std::uint32_t seed = 1)
{
    auto bytes = pattern(std::max<std::size_t>(size, 6), seed);
    std::copy_n("QORF", 4, bytes.begin());
    bytes[4] = std::uint8_t(revision >> 8);
    bytes[5] = std::uint8_t(revision);
    return bytes;
}

std::vector<std::uint8_t> bootstrap(std::uint16_t revision)
{
    auto bytes = pattern(300, 7);
    std::copy_n("QORB", 4, bytes.begin());
    bytes[4] = std::uint8_t(revision >> 8);
    bytes[5] = std::uint8_t(revision);
    return bytes;
}

uint32_t uploadHex(QEW_HANDLE handle, const QString &path)
{
    return QEW_UploadFirmwareFile(handle, path.toLocal8Bit().constData());
}

// The same file with its data records in the opposite order, so their addresses go down.
QByteArray dataRecordsReversed(const QByteArray &text)
{
    QByteArrayList lines = text.split('\n');
    QList<qsizetype> data;
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (lines[i].mid(7, 2) == "00")
            data.append(i);
    for (qsizetype i = 0, j = data.size() - 1; i < j; ++i, --j)
        lines.swapItemsAt(data[i], data[j]);
    return lines.join('\n');
}

QByteArray toByteArray(const std::vector<std::uint8_t> &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
}

} // namespace

class TestQorethwUpload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    // The bootstrap rule and revisions
    void firmwareRefusedByOldBoardWithoutBootstrap();
    void bootstrapThenFirmwareRaisesRevision();
    void unversionedFirmwareKeepsRevision();
    void uploadOnStatusConnectionIsRefusedByBoard();
    void handleOfRestartedBoardIsNotConnected();

    // What arrives
    void receivedImageEqualsObjcopyOutput_data();
    void receivedImageEqualsObjcopyOutput();

    // Refused before anything is sent
    void malformedHexIsRefusedAndBoardUntouched_data();
    void malformedHexIsRefusedAndBoardUntouched();
    void imageTooLargeForFlashIsRefusedBeforeTransfer();
    void boardRefusalCodeReachesErrno();
    void unreadableOrEndlessFileIsRefusedAtOnce_data();
    void unreadableOrEndlessFileIsRefusedAtOnce();

    // Sending while the file is read
    void faultFoundHalfWayLeavesOldImage_data();
    void faultFoundHalfWayLeavesOldImage();
    void progressFollowsAcknowledgedBytes();
    void boardCommitsOnlyAnEndThatVouchesForTheImage_data();
    void boardCommitsOnlyAnEndThatVouchesForTheImage();

    // Faults
    void uploadIsExactDespiteLossDuplicatesAndReordering_data();
    void uploadIsExactDespiteLossDuplicatesAndReordering();
    void boardDyingMidUploadFailsInBoundedTimeAndKeepsOldFirmware();
    void duplicatedAcknowledgementsCauseNoResending();

private:
    QString writeHex(const ihex::Image &image, const QString &name,
                     const ihex::WriteOptions &options = {});
    QString writeText(const QByteArray &text, const QString &name);
    QTemporaryDir dir_;
};

void TestQorethwUpload::initTestCase()
{
    qputenv("QORETHW_LOOPBACK_ONLY", "1");
    QVERIFY(dir_.isValid());
}

void TestQorethwUpload::init()
{
    qunsetenv("QORETHW_TIMEOUT_MS");
}

QString TestQorethwUpload::writeHex(const ihex::Image &image, const QString &name,
                                    const ihex::WriteOptions &options)
{
    return writeText(QByteArray::fromStdString(ihex::write(image, options)), name);
}

QString TestQorethwUpload::writeText(const QByteArray &text, const QString &name)
{
    const QString path = dir_.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        return QString();
    return path;
}

void TestQorethwUpload::firmwareRefusedByOldBoardWithoutBootstrap()
{
    BoardEmulatorProcess board; // revision 1.0
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    const QString path = writeHex(makeImage({{0, firmware(0x0200, 4000)}}), "refused.hex");
    Connection connection(connectTo(board.hostText(), QEW_MODE_UPLOAD));
    QVERIFY(connection);
    errno = 0;
    QCOMPARE(uploadHex(connection.get(), path), QEW_ERROR_BAD_NET_RESP);
    QCOMPARE(errno, 5);
    QCOMPARE(revisionOf(readStatus(connection.get())), 0x0100);
    QVERIFY(!QFile::exists(board.firmwareFile()));
}

void TestQorethwUpload::bootstrapThenFirmwareRaisesRevision()
{
    BoardEmulatorProcess board({QStringLiteral("--revision"), QStringLiteral("0x00F0")});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    const QString boot = writeHex(makeImage({{0, bootstrap(0x0101)}}), "bootstrap.hex");
    const auto image = firmware(0x0203, 70000);
    const QString fw = writeHex(makeImage({{0x08000000, image}}), "firmware.hex");

    QEW_HANDLE handle = connectTo(board.hostText(), QEW_MODE_UPLOAD);
    QVERIFY(handle);
    QCOMPARE(uploadHex(handle, boot), 0u);
    QEW_Disconnect(handle);
    // Straight back, as the uploader does: the board is still restarting.
    QTest::qWait(1);
    Connection connection(connectTo(board.hostText(), QEW_MODE_UPLOAD));
    QVERIFY(connection);
    QCOMPARE(revisionOf(readStatus(connection.get())), 0x0101);
    QCOMPARE(uploadHex(connection.get(), fw), 0u);
    QCOMPARE(board.firmware(), toByteArray(image));

    QVERIFY(board.waitForLog(QStringLiteral("restarted"), 5000));
    Connection after(connectTo(board.hostText()));
    QVERIFY(after);
    const QByteArray status = readStatus(after.get());
    QCOMPARE(revisionOf(status), 0x0203);
    // The board keeps both across a power cycle.
    board.stop();
    QVERIFY(board.start());
    Connection cycled(connectTo(board.hostText()));
    QVERIFY(cycled);
    QCOMPARE(revisionOf(readStatus(cycled.get())), 0x0203);
    QCOMPARE(board.firmware(), toByteArray(image));
}

void TestQorethwUpload::unversionedFirmwareKeepsRevision()
{
    BoardEmulatorProcess board({QStringLiteral("--revision"), QStringLiteral("0x0105")});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    const auto image = pattern(5000, 3);
    const QString path = writeHex(makeImage({{0x100, image}}), "plain.hex");
    Connection connection(connectTo(board.hostText(), QEW_MODE_UPLOAD));
    QVERIFY(connection);
    QCOMPARE(uploadHex(connection.get(), path), 0u);
    QCOMPARE(board.firmware(), toByteArray(image));
    Connection after(connectTo(board.hostText()));
    QVERIFY(after);
    QCOMPARE(revisionOf(readStatus(after.get())), 0x0105);
}

void TestQorethwUpload::uploadOnStatusConnectionIsRefusedByBoard()
{
    BoardEmulatorProcess board({QStringLiteral("--revision"), QStringLiteral("0x0200")});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    const QString path = writeHex(makeImage({{0, pattern(100, 1)}}), "mode.hex");
    Connection connection(connectTo(board.hostText(), QEW_MODE_STATUS));
    QVERIFY(connection);
    errno = 0;
    QCOMPARE(uploadHex(connection.get(), path), QEW_ERROR_BAD_NET_RESP);
    QCOMPARE(errno, 10);
}

void TestQorethwUpload::handleOfRestartedBoardIsNotConnected()
{
    BoardEmulatorProcess board({QStringLiteral("--revision"), QStringLiteral("0x0200")});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    const QString path = writeHex(makeImage({{0, pattern(2000, 2)}}), "restart.hex");
    Connection connection(connectTo(board.hostText(), QEW_MODE_UPLOAD));
    QVERIFY(connection);
    QCOMPARE(uploadHex(connection.get(), path), 0u);
    uint32_t result = 0;
    readStatus(connection.get(), &result);
    QCOMPARE(result, QEW_ERROR_NOT_CONNECTED);
}

void TestQorethwUpload::receivedImageEqualsObjcopyOutput_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("addressing");
    const int linear = int(ihex::Addressing::Linear), segment = int(ihex::Addressing::Segment);
    QTest::newRow("one run") << "one run" << linear;
    QTest::newRow("linear with gaps") << "gaps" << linear;
    QTest::newRow("linear across 64 KiB") << "across" << linear;
    QTest::newRow("segment with gaps") << "gaps" << segment;
    QTest::newRow("segment across 64 KiB") << "across" << segment;
    QTest::newRow("high linear") << "high" << linear;
    QTest::newRow("records going down") << "down" << linear;
}

void TestQorethwUpload::receivedImageEqualsObjcopyOutput()
{
    QFETCH(QString, layout);
    QFETCH(int, addressing);
    ihex::Image image;
    if (layout == "one run")
        image = makeImage({{0, pattern(3000, 1)}});
    else if (layout == "gaps" || layout == "down")
        image =
            makeImage({{0x10, pattern(100, 2)}, {0x2000, pattern(77, 3)}, {0x9000, pattern(5, 4)}});
    else if (layout == "across")
        image = makeImage({{0x0001FF00, pattern(0x300, 5)}, {0x00030000, pattern(64, 6)}});
    else
        image = makeImage({{0x80000000, pattern(2048, 9)}, {0x80010010, pattern(16, 10)}});
    image.startAddress = 0x1234;
    const QString objcopy = QStandardPaths::findExecutable(QStringLiteral("objcopy"));
    if (objcopy.isEmpty())
        QSKIP("binutils' objcopy is not installed");
    ihex::WriteOptions options;
    options.addressing = ihex::Addressing(addressing);
    options.bytesPerRecord = 32;
    QString path = writeHex(image, "objcopy.hex", options);
    QVERIFY(!path.isEmpty());
    if (layout == "down") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        path = writeText(dataRecordsReversed(file.readAll()), "down.hex");
    }
    const QString binary = dir_.filePath("objcopy.bin");
    QProcess process;
    process.start(objcopy, {"-I", "ihex", "-O", "binary", path, binary});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 0);
    QFile expected(binary);
    QVERIFY(expected.open(QIODevice::ReadOnly));

    BoardEmulatorProcess board({QStringLiteral("--revision"), QStringLiteral("0x0200")});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    Connection connection(connectTo(board.hostText(), QEW_MODE_UPLOAD));
    QVERIFY(connection);
    QCOMPARE(uploadHex(connection.get(), path), 0u);
    QCOMPARE(board.firmware(), expected.readAll());
}

void TestQorethwUpload::malformedHexIsRefusedAndBoardUntouched_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<uint>("result");
    const QByteArray eof(":00000001FF\n");
    const QByteArray good(":0400000001020304F2\n");
    const uint invalid = QEW_ERROR_INVALID_DATA;
    QTest::newRow("empty file") << QByteArray() << uint(QEW_ERROR_BAD_LENGTH);
    QTest::newRow("only end of file") << eof << uint(QEW_ERROR_BAD_LENGTH);
    QTest::newRow("bad checksum") << QByteArray(":0400000001020304F3\n") + eof << invalid;
    QTest::newRow("missing colon") << QByteArray("0400000001020304F2\n") + eof << invalid;
    QTest::newRow("bad hex digit") << QByteArray(":04000000010203G4F2\n") + eof << invalid;
    QTest::newRow("byte count too large") << QByteArray(":0500000001020304F1\n") + eof << invalid;
    QTest::newRow("byte count too small") << QByteArray(":0300000001020304F3\n") + eof << invalid;
    QTest::newRow("record type 06") << QByteArray(":0400000601020304EC\n") + eof << invalid;
    QTest::newRow("no end of file") << good << invalid;
    // Short of 64 KiB, the first piece read: checked whole before the board hears of it.
    const QByteArray whole =
        QByteArray::fromStdString(ihex::write(makeImage({{0x10000, pattern(20000, 3)}})));
    QTest::newRow("no end of file, 55 KiB")
        << whole.left(whole.lastIndexOf(":00000001FF")) << invalid;
    QTest::newRow("data after end of file") << good + eof + good << invalid;
    QTest::newRow("overlapping data") << good + QByteArray(":020002001122C9\n") + eof << invalid;
    QTest::newRow("linear address record of 3 bytes")
        << QByteArray(":03000004000100F8\n") + good + eof << invalid;
    QTest::newRow("segment address record of 1 byte")
        << QByteArray(":0100000210ED\n") + good + eof << invalid;
    QTest::newRow("end of file with data") << good + QByteArray(":01000001AA54\n") << invalid;
}

void TestQorethwUpload::malformedHexIsRefusedAndBoardUntouched()
{
    QFETCH(QByteArray, text);
    QFETCH(uint, result);
    BoardEmulatorProcess board({QStringLiteral("--revision"), QStringLiteral("0x0200")});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    const QString path = writeText(text, QStringLiteral("bad.hex"));
    Connection connection(connectTo(board.hostText(), QEW_MODE_UPLOAD));
    QVERIFY(connection);
    QCOMPARE(uploadHex(connection.get(), path), uint32_t(result));
    readStatus(connection.get()); // everything sent before this has been answered
    QVERIFY(!board.log().contains(QStringLiteral("upload")));
    QVERIFY(!QFile::exists(board.firmwareFile()));
    QCOMPARE(QEW_UploadFirmwareFile(connection.get(), "/nonexistent/firmware.hex"),
             QEW_ERROR_FILE_NOT_FOUND);
    QCOMPARE(QEW_UploadFirmwareFile(connection.get(), nullptr), QEW_ERROR_INVALID_PARAMETER);
}

void TestQorethwUpload::imageTooLargeForFlashIsRefusedBeforeTransfer()
{
    BoardEmulatorProcess board({"--revision", "0x0200", "--flash-size", "4096"});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    // Two small runs far apart make an image larger than the flash.
    const QString path =
        writeHex(makeImage({{0, pattern(16, 1)}, {4096, pattern(16, 2)}}), "large.hex");
    Connection connection(connectTo(board.hostText(), QEW_MODE_UPLOAD));
    QVERIFY(connection);
    QCOMPARE(uploadHex(connection.get(), path), QEW_ERROR_BAD_LENGTH);
    readStatus(connection.get());
    QVERIFY(!board.log().contains(QStringLiteral("upload")));
    const QString fits = writeHex(makeImage({{0, pattern(4096, 1)}}), "fits.hex");
    QCOMPARE(uploadHex(connection.get(), fits), 0u);
}

void TestQorethwUpload::boardRefusalCodeReachesErrno()
{
    BoardEmulatorProcess board({"--revision", "0x0200", "--refuse-upload", "42"});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    const QString path = writeHex(makeImage({{0, pattern(3000, 1)}}), "refused.hex");
    Connection connection(connectTo(board.hostText(), QEW_MODE_UPLOAD));
    QVERIFY(connection);
    errno = 0;
    QCOMPARE(uploadHex(connection.get(), path), QEW_ERROR_BAD_NET_RESP);
    QCOMPARE(errno, 42);
}

void TestQorethwUpload::unreadableOrEndlessFileIsRefusedAtOnce_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<uint>("result");
    QTest::newRow("FIFO without a writer") << "fifo" << uint(QEW_ERROR_READ_FAULT);
    QTest::newRow("character device") << "/dev/zero" << uint(QEW_ERROR_READ_FAULT);
    QTest::newRow("folder") << "folder" << uint(QEW_ERROR_READ_FAULT);
    QTest::newRow("1 GiB of zero bytes, no line end") << "sparse" << uint(QEW_ERROR_INVALID_DATA);
    QTest::newRow("one line of 8 MiB of hex digits") << "line" << uint(QEW_ERROR_INVALID_DATA);
}

void TestQorethwUpload::unreadableOrEndlessFileIsRefusedAtOnce()
{
    QFETCH(QString, kind);
    QFETCH(uint, result);
    BoardEmulatorProcess board({QStringLiteral("--revision"), QStringLiteral("0x0200")});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    QString path = kind;
    if (kind == "fifo") {
        path = dir_.filePath("fifo.hex");
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    } else if (kind == "folder") {
        path = dir_.path();
    } else if (kind == "sparse") {
        // Reads as zeros without taking disk space.
        path = dir_.filePath("zeros.hex");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(qint64(1) << 30));
    } else if (kind == "line") {
        path = writeText(':' + QByteArray(8 << 20, 'A'), "line.hex");
    }
    Connection connection(connectTo(board.hostText(), QEW_MODE_UPLOAD));
    QVERIFY(connection);
    // On a thread of its own, so that a call that never returns fails the test instead of
    // hanging it.
    const QByteArray name = QFile::encodeName(path);
    QEW_HANDLE handle = connection.get();
    auto call = std::async(std::launch::async,
                           [&] { return QEW_UploadFirmwareFile(handle, name.constData()); });
    const bool returned = call.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    if (!returned && kind == "fifo") {
        // Let the stuck call go before failing.
        const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    QVERIFY2(returned, "the call did not return");
    QCOMPARE(call.get(), uint32_t(result));
    readStatus(connection.get());
    QVERIFY(!board.log().contains(QStringLiteral("upload")));
}

void TestQorethwUpload::faultFoundHalfWayLeavesOldImage_data()
{
    // Large enough that sending starts long before the fault is read.
    const auto image = pattern(600000, 21);
    ihex::Image good = makeImage({{0x10000, image}});
    ihex::WriteOptions options;
    options.bytesPerRecord = 32;
    const QByteArray text = QByteArray::fromStdString(ihex::write(good, options));
    const int eofAt = text.lastIndexOf(":00000001FF");
    const int lateLine = text.lastIndexOf('\n', eofAt - 2000) + 1;
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<uint>("result");
    QByteArray badSum = text;
    badSum[lateLine + 9] = badSum[lateLine + 9] == '0' ? '1' : '0';
    QTest::newRow("bad checksum near the end") << badSum << uint(QEW_ERROR_INVALID_DATA);
    QTest::newRow("no end-of-file record") << text.left(eofAt) << uint(QEW_ERROR_INVALID_DATA);
    // The last records go back and give bytes a second time.
    QTest::newRow("overlap near the end")
        << text.left(eofAt) + text.mid(lateLine, eofAt - lateLine) + ":00000001FF\n"
        << uint(QEW_ERROR_INVALID_DATA);
    // A last record far beyond the rest makes the image larger than the flash.
    QTest::newRow("image grows past the flash")
        << text.left(eofAt) + ":020000040100F9\n:0400000001020304F2\n:00000001FF\n"
        << uint(QEW_ERROR_BAD_LENGTH);
}

void TestQorethwUpload::faultFoundHalfWayLeavesOldImage()
{
    QFETCH(QByteArray, text);
    QFETCH(uint, result);
    BoardEmulatorProcess board({QStringLiteral("--revision"), QStringLiteral("0x0200")});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    const auto old = pattern(5000, 4);
    const QString oldPath = writeHex(makeImage({{0, old}}), "old.hex");
    {
        Connection connection(connectTo(board.hostText(), QEW_MODE_UPLOAD));
        QVERIFY(connection);
        QCOMPARE(uploadHex(connection.get(), oldPath), 0u);
    }
    QVERIFY(board.waitForLog(QStringLiteral("restarted")));
    const QString path = writeText(text, "late-fault.hex");
    Connection connection(connectTo(board.hostText(), QEW_MODE_UPLOAD));
    QVERIFY(connection);
    QCOMPARE(uploadHex(connection.get(), path), uint32_t(result));
    readStatus(connection.get()); // everything sent before this has been answered
    const QString log = board.log();
    QCOMPARE(log.count(QStringLiteral("committed")), 1);
    QCOMPARE(board.firmware(), toByteArray(old));
    // The board still takes the next good file.
    const auto next = pattern(200000, 5);
    const QString nextPath = writeHex(makeImage({{0, next}}), "next.hex");
    QCOMPARE(uploadHex(connection.get(), nextPath), 0u);
    QCOMPARE(board.firmware(), toByteArray(next));
}

namespace {

struct ProgressLog
{
    std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;
    std::thread::id thread;
    bool otherThread = false;
};

void QEW_CALL recordProgress(void *context, uint64_t done, uint64_t total)
{
    auto *log = static_cast<ProgressLog *>(context);
    log->calls.emplace_back(done, total);
    log->otherThread |= std::this_thread::get_id() != log->thread;
}

} // namespace

void TestQorethwUpload::progressFollowsAcknowledgedBytes()
{
    BoardEmulatorProcess board({"--revision", "0x0200", "--link-mbit", "50", "--drop", "2"});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    const auto image = pattern(400001, 13);
    const QString path = writeHex(makeImage({{0x2000, image}}), "progress.hex");
    Connection connection(connectTo(board.hostText(), QEW_MODE_UPLOAD));
    QVERIFY(connection);
    ProgressLog log;
    log.thread = std::this_thread::get_id();
    QCOMPARE(QEW_UploadFirmwareFileEx(connection.get(), path.toLocal8Bit().constData(),
                                      recordProgress, &log),
             0u);
    QCOMPARE(board.firmware(), toByteArray(image));
    QVERIFY(!log.otherThread);
    QVERIFY(log.calls.size() > 10);
    std::uint64_t last = 0;
    for (const auto &[done, total] : log.calls) {
        QVERIFY(done >= last);
        QVERIFY(total == 0 || total == image.size());
        QVERIFY(total == 0 || done <= total);
        last = done;
    }
    QCOMPARE(log.calls.back().first, std::uint64_t(image.size()));
    QCOMPARE(log.calls.back().second, std::uint64_t(image.size()));
    // No callback is fine too, and a refusal reports nothing.
    const QString bad = writeText(":0400000001020304F3\n:00000001FF\n", "bad-progress.hex");
    log.calls.clear();
    QCOMPARE(QEW_UploadFirmwareFileEx(connection.get(), bad.toLocal8Bit().constData(),
                                      recordProgress, &log),
             QEW_ERROR_INVALID_DATA);
    QVERIFY(log.calls.empty());
}

namespace {

// Speaks the wire protocol to a board directly, one request at a time.
class RawClient
{
public:
    RawClient(const QString &address, quint16 port)
    {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        ::inet_pton(AF_INET, address.toLatin1().constData(), &a.sin_addr);
        ::connect(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a);
    }
    ~RawClient() { ::close(fd_); }

    void send(qorproto::Command command, const std::vector<std::uint8_t> &payload)
    {
        qorproto::Packet p;
        p.type = std::uint8_t(command);
        p.session = session;
        p.sequence = ++sequence_;
        p.payload = payload;
        const auto bytes = qorproto::encodePacket(p);
        ::send(fd_, bytes.data(), bytes.size(), 0);
    }
    // The next reply of this type, if one comes within a second.
    bool receive(qorproto::Command command, qorproto::Packet &reply)
    {
        std::uint8_t buffer[2048];
        pollfd pfd{fd_, POLLIN, 0};
        while (::poll(&pfd, 1, 1000) > 0) {
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n > 0 && qorproto::decodePacket(buffer, std::size_t(n), reply) &&
                reply.type == (std::uint8_t(command) | qorproto::kReplyBit))
                return true;
        }
        return false;
    }
    std::uint32_t status(qorproto::Command command, const std::vector<std::uint8_t> &payload)
    {
        send(command, payload);
        qorproto::Packet reply;
        std::uint32_t code = 0xFFFFFFFF;
        std::vector<std::uint8_t> body;
        if (receive(command, reply))
            qorproto::decodeReply(reply.payload, code, body);
        return code;
    }

    std::uint32_t session = 0;

private:
    int fd_ = -1;
    std::uint32_t sequence_ = 0;
};

} // namespace

void TestQorethwUpload::boardCommitsOnlyAnEndThatVouchesForTheImage_data()
{
    QTest::addColumn<QString>("end");
    QTest::addColumn<uint>("status");
    QTest::newRow("end without size and CRC-32") << "bare" << uint(qorproto::kBoardBadRequest);
    QTest::newRow("end with a wrong CRC-32") << "crc" << uint(qorproto::kBoardCrcMismatch);
    QTest::newRow("end short of the data") << "short" << uint(qorproto::kBoardBadRequest);
    QTest::newRow("end before the last chunk") << "early" << uint(qorproto::kBoardOk);
    QTest::newRow("right end") << "right" << uint(qorproto::kBoardOk);
}

void TestQorethwUpload::boardCommitsOnlyAnEndThatVouchesForTheImage()
{
    using namespace qorproto;
    QFETCH(QString, end);
    QFETCH(uint, status);
    BoardEmulatorProcess board({QStringLiteral("--revision"), QStringLiteral("0x0200")});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    RawClient client(board.address(), board.port());
    client.send(Command::Hello, encodeHelloRequest(1));
    Packet reply;
    QVERIFY(client.receive(Command::Hello, reply));
    HelloReply hello;
    QVERIFY(decodeHelloReply(reply.payload, hello));
    client.session = hello.session;

    const auto image = pattern(3 * kMaxChunk + 100, 8);
    UploadBegin begin;
    begin.size = 65536; // an upper bound
    begin.chunkSize = std::uint16_t(kMaxChunk);
    begin.flags = kUploadDeferred | kUploadExtendedAck;
    std::copy_n(image.begin(), kImageHeadSize, begin.head.begin());
    QCOMPARE(client.status(Command::UploadBegin, encodeUploadBegin(begin)), 0u);
    const std::size_t chunks = (image.size() + kMaxChunk - 1) / kMaxChunk;
    for (std::size_t i = 0; i < chunks; ++i) {
        if (end == "early" && i == 1)
            continue;
        const std::size_t size = std::min(kMaxChunk, image.size() - i * kMaxChunk);
        client.send(Command::UploadData, encodeUploadData(std::uint32_t(i * kMaxChunk),
                                                          image.data() + i * kMaxChunk, size));
        QVERIFY(client.receive(Command::UploadData, reply));
    }
    UploadEnd vouch;
    vouch.size = std::uint32_t(image.size());
    vouch.crc = crc32(image.data(), image.size());
    if (end == "crc")
        vouch.crc ^= 1;
    if (end == "short")
        vouch.size -= 1;
    if (end == "early") {
        client.send(Command::UploadEnd, encodeUploadEnd(vouch));
        QVERIFY(client.receive(Command::UploadEnd, reply));
        UploadAck ack;
        QVERIFY(decodeUploadAck(reply.payload, ack));
        QCOMPARE(ack.status, kBoardIncomplete);
        QVERIFY(ack.has(0) && !ack.has(1) && ack.has(2) && ack.has(3));
        QVERIFY(!board.log().contains(QStringLiteral("committed")));
        // The missing chunk answers the pending end.
        client.send(Command::UploadData, encodeUploadData(std::uint32_t(kMaxChunk),
                                                          image.data() + kMaxChunk, kMaxChunk));
        QVERIFY(client.receive(Command::UploadEnd, reply));
        std::uint32_t code = 0;
        std::vector<std::uint8_t> body;
        QVERIFY(decodeReply(reply.payload, code, body));
        QCOMPARE(code, 0u);
    } else {
        QCOMPARE(client.status(Command::UploadEnd, end == "bare" ? std::vector<std::uint8_t>{}
                                                                 : encodeUploadEnd(vouch)),
                 uint32_t(status));
    }
    if (status == kBoardOk) {
        QVERIFY(board.waitForLog(QStringLiteral("committed")));
        QCOMPARE(board.firmware(), toByteArray(image));
    } else {
        QVERIFY(!board.log().contains(QStringLiteral("committed")));
        QVERIFY(!QFile::exists(board.firmwareFile()));
    }
}

void TestQorethwUpload::uploadIsExactDespiteLossDuplicatesAndReordering_data()
{
    QTest::addColumn<QStringList>("faults");
    QTest::newRow("loss, duplicates and reordering")
        << QStringList{"--drop", "10", "--duplicate", "10", "--reorder", "10"};
    // A small board: eight chunks of receive buffer.
    QTest::newRow("window of 8 chunks, lossy")
        << QStringList{"--window", "8", "--drop", "5", "--reorder", "5"};
    // A slow, long path whose short queue drops at its tail, and random loss on top.
    QTest::newRow("bottleneck with a short queue") << QStringList{
        "--link-mbit", "40", "--link-latency-ms", "20", "--link-queue-kib", "48", "--drop", "3"};
    // A board that knows only uploads whose size and CRC-32 come first.
    QTest::newRow("board without deferred uploads")
        << QStringList{"--classic-upload", "--drop", "5", "--duplicate", "5"};
}

void TestQorethwUpload::uploadIsExactDespiteLossDuplicatesAndReordering()
{
    QFETCH(QStringList, faults);
    BoardEmulatorProcess board(QStringList{"--revision", "0x0200"} + faults);
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    const auto image = pattern(300000, 11);
    const QString path = writeHex(makeImage({{0x4000, image}}), "lossy.hex");
    Connection connection(connectTo(board.hostText(), QEW_MODE_UPLOAD));
    QVERIFY(connection);
    QCOMPARE(uploadHex(connection.get(), path), 0u);
    QCOMPARE(board.firmware(), toByteArray(image));
}

void TestQorethwUpload::boardDyingMidUploadFailsInBoundedTimeAndKeepsOldFirmware()
{
    BoardEmulatorProcess board({"--revision", "0x0200"});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    const auto old = pattern(20000, 1);
    const QString oldPath = writeHex(makeImage({{0, old}}), "old.hex");
    {
        Connection connection(connectTo(board.hostText(), QEW_MODE_UPLOAD));
        QVERIFY(connection);
        QCOMPARE(uploadHex(connection.get(), oldPath), 0u);
    }
    board.stop();

    // The same board, powered up again with a fault that kills it half-way through.
    BoardEmulatorProcess dying({"--address", board.address(), "--state", board.stateFile(),
                                "--firmware-out", board.firmwareFile(), "--die-after-bytes",
                                "100000"});
    QVERIFY2(dying.start(), qPrintable(dying.errorString()));
    const QString newPath = writeHex(makeImage({{0, pattern(400000, 2)}}), "new.hex");
    qputenv("QORETHW_TIMEOUT_MS", "800");
    Connection connection(connectTo(dying.hostText(), QEW_MODE_UPLOAD));
    QVERIFY(connection);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(uploadHex(connection.get(), newPath), QEW_ERROR_TIMEOUT);
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY(dying.waitForFinished());
    QCOMPARE(dying.exitCode(), 3);

    QVERIFY(board.start());
    QCOMPARE(board.firmware(), toByteArray(old));
    qunsetenv("QORETHW_TIMEOUT_MS");
    Connection after(connectTo(board.hostText()));
    QVERIFY(after);
    QCOMPARE(readStatus(after.get())[2] & 0x02, 0x02); // still holds an image
}

void TestQorethwUpload::duplicatedAcknowledgementsCauseNoResending()
{
    // Every third datagram arrives twice, either way; no loss, so nothing needs resending.
    BoardEmulatorProcess board({"--revision", "0x0200", "--duplicate", "30", "--seed", "5"});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    const auto image = pattern(400000, 12);
    const QString path = writeHex(makeImage({{0, image}}), "duplicates.hex");
    Connection connection(connectTo(board.hostText(), QEW_MODE_UPLOAD));
    QVERIFY(connection);
    QCOMPARE(uploadHex(connection.get(), path), 0u);
    QCOMPARE(board.firmware(), toByteArray(image));
    static const QRegularExpression counts(QStringLiteral("\\((\\d+) chunks, (\\d+) repeated\\)"));
    const QString log = board.log();
    const auto match = counts.match(log);
    QVERIFY2(match.hasMatch(), qPrintable(log));
    const int chunks = match.captured(1).toInt();
    const int repeated = match.captured(2).toInt();
    // The duplicating link alone repeats about 30 %; a sender that answered repeated
    // acknowledgements by resending would repeat many times that.
    QVERIFY2(repeated < chunks / 2,
             qPrintable(QStringLiteral("%1 of %2").arg(repeated).arg(chunks)));
}

QTEST_GUILESS_MAIN(TestQorethwUpload)
#include "tst_qorethwupload.moc"
