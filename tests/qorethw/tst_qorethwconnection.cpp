// Connecting, status, network settings and the raw exchange, against the emulated board.
#include "boardemulatorprocess.h"
#include "qorethwtesthelpers.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>
#include <vector>

namespace {
// While set, every allocation of this thread fails, the library's included.
thread_local bool allocationsFail = false;
} // namespace

void *operator new(std::size_t size)
{
    void *p = allocationsFail ? nullptr : std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void operator delete(void *p) noexcept
{
    std::free(p);
}

void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}

class TestQorethwConnection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    // Connecting and handles
    void connectGivesHandleAndDisconnectKillsIt();
    void callsOnZeroHandleReturnInvalidHandle();
    void connectRejectsMalformedHost_data();
    void connectRejectsMalformedHost();
    void connectRefusesNonLoopbackDestination_data();
    void connectRefusesNonLoopbackDestination();
    void connectToSilentBoardTimesOutInBoundedTime();
    void connectWhereNothingListensIsRefusedInBoundedTime();
    void connectHonoursPortInHostText();
    void callAfterBoardVanishedTimesOut();

    // Status
    void statusBlockCarriesBoardSettings_data();
    void statusBlockCarriesBoardSettings();
    void statusExLevelOnePutsOneByteInFront();
    void statusExRefusesUnknownLevel();
    void statusIntoTooSmallBufferWritesNothing();

    // Network settings
    void changeNetworkingRejectsMalformedText_data();
    void changeNetworkingRejectsMalformedText();
    void changeNetworkingToLoopbackMovesBoard();
    void changeNetworkingElsewhereIsOnlyRecorded();

    // Raw exchange
    void macChangeAcceptedShowsInStatus();
    void macChangeRefused_data();
    void macChangeRefused();
    void rawReplyLargerThanBufferWritesNothing();
    void rawCommandOfBadLengthIsRefused();

    // errno
    void callLeavesTheErrnoItDocuments_data();
    void callLeavesTheErrnoItDocuments();
    void callThatRunsOutOfMemoryFailsTheOneWay_data();
    void callThatRunsOutOfMemoryFailsTheOneWay();

    // Sessions
    void fullSessionTableKeepsLiveSessionsAndTakesBackIdleOnes();

    // Discovery
    void discoveryOfAnAddressFindsItsBoard();
    void discoveryRefusesWhatItMayNotSendTo_data();
    void discoveryRefusesWhatItMayNotSendTo();

    // Board state and threads
    void settingsSurviveBoardRestart();
    void callsFromManyThreadsAllSucceed();
};

void TestQorethwConnection::initTestCase()
{
    qputenv("QORETHW_LOOPBACK_ONLY", "1");
}

void TestQorethwConnection::init()
{
    qunsetenv("QORETHW_TIMEOUT_MS");
}

void TestQorethwConnection::connectGivesHandleAndDisconnectKillsIt()
{
    BoardEmulatorProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    QEW_HANDLE handle = connectTo(board.hostText());
    QVERIFY(handle);
    uint32_t result = 1;
    QCOMPARE(readStatus(handle, &result).size(), 23);
    QCOMPARE(QEW_Disconnect(handle), 0u);
    QCOMPARE(QEW_Disconnect(handle), QEW_ERROR_INVALID_HANDLE);
    readStatus(handle, &result);
    QCOMPARE(result, QEW_ERROR_INVALID_HANDLE);
    // Handles are never reused: a new connection gets a new one.
    Connection again(connectTo(board.hostText()));
    QVERIFY(again);
    QVERIFY(again.get() != handle);
}

void TestQorethwConnection::callsOnZeroHandleReturnInvalidHandle()
{
    uint8_t buffer[256];
    int32_t length = sizeof buffer;
    QCOMPARE(QEW_Disconnect(nullptr), QEW_ERROR_INVALID_HANDLE);
    QCOMPARE(QEW_GetStatus(nullptr, &length, buffer), QEW_ERROR_INVALID_HANDLE);
    QCOMPARE(QEW_GetStatusEx(nullptr, 1, &length, buffer), QEW_ERROR_INVALID_HANDLE);
    QCOMPARE(QEW_ChangeNetworking(nullptr, "127.0.0.2", "255.0.0.0", "127.0.0.1"),
             QEW_ERROR_INVALID_HANDLE);
    int32_t in = 4;
    QCOMPARE(QEW_DEB_StrToStr(nullptr, &in, buffer, &length, buffer), QEW_ERROR_INVALID_HANDLE);
    QCOMPARE(QEW_UploadFirmwareFile(nullptr, "/nonexistent.hex"), QEW_ERROR_INVALID_HANDLE);
    QCOMPARE(length, int32_t(sizeof buffer));
}

void TestQorethwConnection::connectRejectsMalformedHost_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("name") << QByteArray("board.example");
    QTest::newRow("octet too large") << QByteArray("127.0.0.256");
    QTest::newRow("three octets") << QByteArray("127.0.1");
    QTest::newRow("port zero") << QByteArray("127.0.0.1:0");
    QTest::newRow("port too large") << QByteArray("127.0.0.1:70000");
    QTest::newRow("port not a number") << QByteArray("localhost:x");
    QTest::newRow("blank in front") << QByteArray(" 127.0.0.1");
}

void TestQorethwConnection::connectRejectsMalformedHost()
{
    QFETCH(QByteArray, host);
    errno = 0;
    QCOMPARE(QEW_Connect(host.constData(), QEW_MODE_STATUS), nullptr);
    QCOMPARE(errno, EINVAL);
}

void TestQorethwConnection::connectRefusesNonLoopbackDestination_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::newRow("private") << QByteArray("10.1.2.3");
    QTest::newRow("public") << QByteArray("198.51.100.7");
    QTest::newRow("any") << QByteArray("0.0.0.0");
}

void TestQorethwConnection::connectRefusesNonLoopbackDestination()
{
    QFETCH(QByteArray, host);
    QElapsedTimer timer;
    timer.start();
    errno = 0;
    QCOMPARE(QEW_Connect(host.constData(), QEW_MODE_STATUS), nullptr);
    QCOMPARE(errno, EACCES);
    QVERIFY(timer.elapsed() < 1000); // refused at once, nothing sent
}

void TestQorethwConnection::connectToSilentBoardTimesOutInBoundedTime()
{
    BoardEmulatorProcess board({QStringLiteral("--silent")});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    qputenv("QORETHW_TIMEOUT_MS", "600");
    QElapsedTimer timer;
    timer.start();
    errno = 0;
    QCOMPARE(connectTo(board.hostText()), nullptr);
    QCOMPARE(errno, ETIMEDOUT);
    QVERIFY(timer.elapsed() >= 550);
    QVERIFY(timer.elapsed() < 3000);
}

void TestQorethwConnection::connectWhereNothingListensIsRefusedInBoundedTime()
{
    qputenv("QORETHW_TIMEOUT_MS", "500");
    QElapsedTimer timer;
    timer.start();
    errno = 0;
    QCOMPARE(connectTo(unusedLoopbackAddress()), nullptr);
    QCOMPARE(errno, ECONNREFUSED);
    QVERIFY(timer.elapsed() < 3000);
}

void TestQorethwConnection::connectHonoursPortInHostText()
{
    BoardEmulatorProcess board({QStringLiteral("--port"), QStringLiteral("20931")});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    QCOMPARE(board.hostText(), board.address() + QStringLiteral(":20931"));
    Connection connection(connectTo(board.hostText()));
    QVERIFY(connection);
    QCOMPARE(ipText(readStatus(connection.get()), 11), board.address());
    qputenv("QORETHW_TIMEOUT_MS", "300");
    QCOMPARE(connectTo(board.address()), nullptr); // the default port has no board
}

void TestQorethwConnection::callAfterBoardVanishedTimesOut()
{
    BoardEmulatorProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    Connection connection(connectTo(board.hostText()));
    QVERIFY(connection);
    board.stop();
    qputenv("QORETHW_TIMEOUT_MS", "500");
    uint32_t result = 0;
    const qint64 took = timedReadStatus(connection.get(), &result);
    QCOMPARE(result, QEW_ERROR_TIMEOUT);
    QVERIFY(took < 3000);
}

void TestQorethwConnection::statusBlockCarriesBoardSettings_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QByteArray>("mac");
    QTest::addColumn<QString>("subnet");
    QTest::addColumn<QString>("gateway");
    QTest::newRow("defaults") << QStringList() << 0x0100 << QByteArray::fromHex("020000000001")
                              << "255.0.0.0"
                              << "127.0.0.1";
    QTest::newRow("options") << QStringList{"--revision",        "0x0123",   "--mac",
                                            "02-AB-CD-EF-01-23", "--subnet", "255.255.0.0",
                                            "--gateway",         "127.0.0.9"}
                             << 0x0123 << QByteArray::fromHex("02abcdef0123") << "255.255.0.0"
                             << "127.0.0.9";
}

void TestQorethwConnection::statusBlockCarriesBoardSettings()
{
    QFETCH(QStringList, args);
    QFETCH(int, revision);
    QFETCH(QByteArray, mac);
    QFETCH(QString, subnet);
    QFETCH(QString, gateway);
    BoardEmulatorProcess board(args);
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    Connection connection(connectTo(board.hostText()));
    QVERIFY(connection);
    const QByteArray status = readStatus(connection.get());
    QCOMPARE(status.size(), 23);
    QCOMPARE(revisionOf(status), revision);
    QCOMPARE(status.mid(5, 6), mac);
    QCOMPARE(ipText(status, 11), board.address()); // the loopback address it listens on
    QCOMPARE(ipText(status, 15), subnet);
    QCOMPARE(ipText(status, 19), gateway);
}

void TestQorethwConnection::statusExLevelOnePutsOneByteInFront()
{
    BoardEmulatorProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    Connection connection(connectTo(board.hostText()));
    QVERIFY(connection);
    uint8_t buffer[256];
    int32_t length = sizeof buffer;
    QCOMPARE(QEW_GetStatusEx(connection.get(), 1, &length, buffer), 0u);
    QCOMPARE(length, 24);
    QCOMPARE(QByteArray(reinterpret_cast<char *>(buffer) + 1, 23), readStatus(connection.get()));
}

void TestQorethwConnection::statusExRefusesUnknownLevel()
{
    BoardEmulatorProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    Connection connection(connectTo(board.hostText()));
    QVERIFY(connection);
    uint8_t buffer[256];
    int32_t length = sizeof buffer;
    QCOMPARE(QEW_GetStatusEx(connection.get(), 2, &length, buffer), QEW_ERROR_INVALID_PARAMETER);
    QCOMPARE(QEW_GetStatusEx(connection.get(), 1, nullptr, buffer), QEW_ERROR_INVALID_PARAMETER);
}

void TestQorethwConnection::statusIntoTooSmallBufferWritesNothing()
{
    BoardEmulatorProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    Connection connection(connectTo(board.hostText()));
    QVERIFY(connection);
    QByteArray buffer(64, char(0xAA));
    int32_t length = 10;
    QCOMPARE(QEW_GetStatus(connection.get(), &length, reinterpret_cast<uint8_t *>(buffer.data())),
             QEW_ERROR_BAD_LENGTH);
    QCOMPARE(length, 23); // what it would need
    QCOMPARE(buffer, QByteArray(64, char(0xAA)));
    length = 23;
    QCOMPARE(QEW_GetStatus(connection.get(), &length, reinterpret_cast<uint8_t *>(buffer.data())),
             0u);
    QCOMPARE(buffer.mid(23), QByteArray(64 - 23, char(0xAA)));
}

void TestQorethwConnection::changeNetworkingRejectsMalformedText_data()
{
    QTest::addColumn<QByteArray>("ip");
    QTest::addColumn<QByteArray>("subnet");
    QTest::addColumn<QByteArray>("gateway");
    const QByteArray ok("127.0.0.1"), mask("255.0.0.0");
    QTest::newRow("three octets") << QByteArray("127.0.1") << mask << ok;
    QTest::newRow("five octets") << QByteArray("127.0.0.1.1") << mask << ok;
    QTest::newRow("octet 256") << QByteArray("127.0.0.256") << mask << ok;
    QTest::newRow("blank in front") << QByteArray(" 127.0.0.1") << mask << ok;
    QTest::newRow("blank behind") << QByteArray("127.0.0.1 ") << mask << ok;
    QTest::newRow("empty octet") << QByteArray("127..0.1") << mask << ok;
    QTest::newRow("sign") << QByteArray("127.0.0.+1") << mask << ok;
    QTest::newRow("hex") << QByteArray("0x7f.0.0.1") << mask << ok;
    QTest::newRow("four digits") << QByteArray("0127.0.0.1") << mask << ok;
    QTest::newRow("empty ip") << QByteArray("") << mask << ok;
    QTest::newRow("bad subnet") << ok << QByteArray("255.0.0") << ok;
    QTest::newRow("bad gateway") << ok << mask << QByteArray("gateway");
}

void TestQorethwConnection::changeNetworkingRejectsMalformedText()
{
    QFETCH(QByteArray, ip);
    QFETCH(QByteArray, subnet);
    QFETCH(QByteArray, gateway);
    BoardEmulatorProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    Connection connection(connectTo(board.hostText()));
    QVERIFY(connection);
    QCOMPARE(QEW_ChangeNetworking(connection.get(), ip.constData(), subnet.constData(),
                                  gateway.constData()),
             QEW_ERROR_INVALID_PARAMETER);
    QCOMPARE(
        QEW_ChangeNetworking(connection.get(), nullptr, subnet.constData(), gateway.constData()),
        QEW_ERROR_INVALID_PARAMETER);
    readStatus(connection.get()); // the board has answered everything sent before this
    QVERIFY(!board.log().contains(QStringLiteral("network settings")));
}

void TestQorethwConnection::changeNetworkingToLoopbackMovesBoard()
{
    BoardEmulatorProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    const QString oldAddress = board.address();
    const QString newAddress = unusedLoopbackAddress(board.port());
    {
        Connection connection(connectTo(board.hostText()));
        QVERIFY(connection);
        QCOMPARE(QEW_ChangeNetworking(connection.get(), newAddress.toLatin1().constData(),
                                      "255.255.0.0", "127.0.0.2"),
                 0u);
    }
    QVERIFY(board.waitForLog(QStringLiteral("restarted; listening on ") + newAddress));
    QCOMPARE(board.address(), newAddress);
    Connection moved(connectTo(newAddress));
    QVERIFY(moved);
    const QByteArray status = readStatus(moved.get());
    QCOMPARE(ipText(status, 11), newAddress);
    QCOMPARE(ipText(status, 15), QStringLiteral("255.255.0.0"));
    QCOMPARE(ipText(status, 19), QStringLiteral("127.0.0.2"));
    qputenv("QORETHW_TIMEOUT_MS", "300");
    QCOMPARE(connectTo(oldAddress), nullptr);
}

void TestQorethwConnection::changeNetworkingElsewhereIsOnlyRecorded()
{
    BoardEmulatorProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    Connection connection(connectTo(board.hostText()));
    QVERIFY(connection);
    // Only text for the board: nothing is ever sent to this address.
    QCOMPARE(QEW_ChangeNetworking(connection.get(), "10.20.30.40", "255.255.255.0", "10.20.30.1"),
             0u);
    QVERIFY(board.waitForLog(QStringLiteral("recorded only")));
    const QByteArray status = readStatus(connection.get());
    QCOMPARE(ipText(status, 11), board.address());
    QCOMPARE(ipText(status, 15), QStringLiteral("255.255.255.0"));
    QFile state(board.stateFile());
    QVERIFY(state.open(QIODevice::ReadOnly));
    QVERIFY(state.readAll().contains("requested-ip=10.20.30.40"));
}

void TestQorethwConnection::macChangeAcceptedShowsInStatus()
{
    BoardEmulatorProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    Connection connection(connectTo(board.hostText()));
    QVERIFY(connection);
    QByteArray reply;
    QCOMPARE(rawCommand(connection.get(), QByteArray("ChMC") + QByteArray::fromHex("021122334455"),
                        &reply),
             0u);
    QCOMPARE(reply.size(), 0);
    QCOMPARE(readStatus(connection.get()).mid(5, 6), QByteArray::fromHex("021122334455"));
}

void TestQorethwConnection::macChangeRefused_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("mac");
    QTest::addColumn<QByteArray>("expectedReply");
    QTest::newRow("multicast") << QStringList() << QByteArray::fromHex("010203040506")
                               << QByteArray("_Err") + QByteArray::fromHex("03000000");
    QTest::newRow("all zero") << QStringList() << QByteArray::fromHex("000000000000")
                              << QByteArray("_Err") + QByteArray::fromHex("03000000");
    QTest::newRow("injected code")
        << QStringList{"--refuse-mac", "258"} << QByteArray::fromHex("021122334455")
        << QByteArray("_Err") + QByteArray::fromHex("02010000");
}

void TestQorethwConnection::macChangeRefused()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, mac);
    QFETCH(QByteArray, expectedReply);
    BoardEmulatorProcess board(args);
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    Connection connection(connectTo(board.hostText()));
    QVERIFY(connection);
    const QByteArray before = readStatus(connection.get()).mid(5, 6);
    QByteArray reply;
    QCOMPARE(rawCommand(connection.get(), QByteArray("ChMC") + mac, &reply), 0u);
    QCOMPARE(reply, expectedReply);
    QCOMPARE(readStatus(connection.get()).mid(5, 6), before);
}

void TestQorethwConnection::rawReplyLargerThanBufferWritesNothing()
{
    BoardEmulatorProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    Connection connection(connectTo(board.hostText()));
    QVERIFY(connection);
    const QByteArray command("What");
    int32_t inLength = command.size();
    QByteArray reply(16, char(0x55));
    int32_t outLength = 4; // the refusal takes 8
    QCOMPARE(QEW_DEB_StrToStr(connection.get(), &inLength,
                              reinterpret_cast<const uint8_t *>(command.constData()), &outLength,
                              reinterpret_cast<uint8_t *>(reply.data())),
             QEW_ERROR_BAD_LENGTH);
    QCOMPARE(outLength, 8);
    QCOMPARE(reply, QByteArray(16, char(0x55)));
}

void TestQorethwConnection::rawCommandOfBadLengthIsRefused()
{
    BoardEmulatorProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    Connection connection(connectTo(board.hostText()));
    QVERIFY(connection);
    QByteArray command(2000, 'x');
    uint8_t reply[256];
    int32_t outLength = sizeof reply;
    for (int32_t length : {0, -1, 1453, 2000}) {
        int32_t inLength = length;
        QCOMPARE(QEW_DEB_StrToStr(connection.get(), &inLength,
                                  reinterpret_cast<const uint8_t *>(command.constData()),
                                  &outLength, reply),
                 QEW_ERROR_BAD_LENGTH);
    }
}

void TestQorethwConnection::settingsSurviveBoardRestart()
{
    BoardEmulatorProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    {
        Connection connection(connectTo(board.hostText()));
        QVERIFY(connection);
        QCOMPARE(
            rawCommand(connection.get(), QByteArray("ChMC") + QByteArray::fromHex("02feedc0ffee")),
            0u);
        QCOMPARE(QEW_ChangeNetworking(connection.get(), board.address().toLatin1().constData(),
                                      "255.255.255.0", "127.0.0.3"),
                 0u);
    }
    board.stop();
    QVERIFY(board.start());
    Connection connection(connectTo(board.hostText()));
    QVERIFY(connection);
    const QByteArray status = readStatus(connection.get());
    QCOMPARE(status.mid(5, 6), QByteArray::fromHex("02feedc0ffee"));
    QCOMPARE(ipText(status, 15), QStringLiteral("255.255.255.0"));
    QCOMPARE(ipText(status, 19), QStringLiteral("127.0.0.3"));
}

void TestQorethwConnection::callsFromManyThreadsAllSucceed()
{
    BoardEmulatorProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    const QByteArray host = board.hostText().toLatin1();
    Connection shared(QEW_Connect(host.constData(), QEW_MODE_STATUS));
    QVERIFY(shared);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            QEW_HANDLE own = QEW_Connect(host.constData(), QEW_MODE_STATUS);
            if (!own) {
                ++failures;
                return;
            }
            for (int i = 0; i < 25; ++i) {
                uint8_t buffer[32];
                int32_t length = sizeof buffer;
                if (QEW_GetStatus((t % 2) ? own : shared.get(), &length, buffer) != 0 ||
                    length != 23)
                    ++failures;
            }
            QEW_Disconnect(own);
        });
    }
    for (auto &thread : threads)
        thread.join();
    QCOMPARE(failures.load(), 0);
}

void TestQorethwConnection::callLeavesTheErrnoItDocuments_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<uint32_t>("result");
    QTest::addColumn<int>("error");
    QTest::newRow("status on a dead handle") << "status-dead" << QEW_ERROR_INVALID_HANDLE << EBADF;
    QTest::newRow("malformed network text")
        << "network-text" << QEW_ERROR_INVALID_PARAMETER << EINVAL;
    QTest::newRow("status into a small buffer")
        << "status-small" << QEW_ERROR_BAD_LENGTH << EMSGSIZE;
    QTest::newRow("upload of a missing file")
        << "upload-missing" << QEW_ERROR_FILE_NOT_FOUND << ENOENT;
    QTest::newRow("status after the board vanished")
        << "status-gone" << QEW_ERROR_TIMEOUT << ETIMEDOUT;
    QTest::newRow("board's refusal") << "mac-refused" << QEW_ERROR_BAD_NET_RESP << 3;
    QTest::newRow("discovery with no room pointer")
        << "discover-null" << QEW_ERROR_INVALID_PARAMETER << EINVAL;
    // Success leaves errno alone, though the time bound is read from the environment.
    QTest::newRow("status read") << "status-ok" << QEW_ERROR_SUCCESS << EXDEV;
    QTest::newRow("discovery") << "discover-ok" << QEW_ERROR_SUCCESS << EXDEV;
}

void TestQorethwConnection::callLeavesTheErrnoItDocuments()
{
    QFETCH(QString, call);
    QFETCH(uint32_t, result);
    QFETCH(int, error);
    qputenv("QORETHW_TIMEOUT_MS", "400");
    BoardEmulatorProcess board(
        call == QLatin1String("mac-refused")
            ? QStringList{QStringLiteral("--refuse-upload"), QStringLiteral("3")}
            : QStringList{});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    Connection connection(connectTo(board.hostText(), QEW_MODE_UPLOAD));
    QVERIFY(connection);
    uint8_t buffer[64];
    int32_t length = sizeof buffer;
    uint32_t r = 0;
    // An unrelated earlier value that must not survive.
    errno = EXDEV;
    if (call == QLatin1String("status-dead")) {
        QEW_HANDLE dead = connection.release();
        QEW_Disconnect(dead);
        errno = EXDEV;
        r = QEW_GetStatus(dead, &length, buffer);
    } else if (call == QLatin1String("network-text")) {
        r = QEW_ChangeNetworking(connection.get(), "127.0.0.300", "255.0.0.0", "127.0.0.1");
    } else if (call == QLatin1String("status-small")) {
        length = 4;
        r = QEW_GetStatus(connection.get(), &length, buffer);
    } else if (call == QLatin1String("upload-missing")) {
        r = QEW_UploadFirmwareFile(connection.get(), "/nonexistent/firmware.hex");
    } else if (call == QLatin1String("status-gone")) {
        board.stop();
        errno = EXDEV;
        r = QEW_GetStatus(connection.get(), &length, buffer);
    } else if (call == QLatin1String("mac-refused")) {
        QTemporaryDir dir;
        const QString hex = dir.filePath(QStringLiteral("f.hex"));
        QFile file(hex);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(":04000000514F5246C4\r\n:00000001FF\r\n");
        file.close();
        errno = EXDEV;
        r = QEW_UploadFirmwareFile(connection.get(), QFile::encodeName(hex).constData());
    } else if (call == QLatin1String("discover-null")) {
        int32_t count = 3;
        r = QEW_Discover(board.address().toLatin1().constData(), 100, nullptr, &count);
    } else if (call == QLatin1String("status-ok")) {
        r = QEW_GetStatus(connection.get(), &length, buffer);
    } else if (call == QLatin1String("discover-ok")) {
        qputenv("QORETHW_PORT", QByteArray::number(board.port()));
        QEW_BoardInfo found[2];
        int32_t count = 2;
        errno = EXDEV;
        r = QEW_Discover(board.address().toLatin1().constData(), 100, found, &count);
        qunsetenv("QORETHW_PORT");
    }
    const int after = errno;
    QCOMPARE(r, result);
    QCOMPARE(after, error);
}

void TestQorethwConnection::callThatRunsOutOfMemoryFailsTheOneWay_data()
{
    QTest::addColumn<QString>("call");
    QTest::newRow("connect") << "connect";
    QTest::newRow("status") << "status";
    QTest::newRow("upload") << "upload";
    QTest::newRow("discovery") << "discover";
}

void TestQorethwConnection::callThatRunsOutOfMemoryFailsTheOneWay()
{
    QFETCH(QString, call);
    BoardEmulatorProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    Connection connection(connectTo(board.hostText(), QEW_MODE_UPLOAD));
    QVERIFY(connection);
    const QByteArray host = board.hostText().toLatin1(), address = board.address().toLatin1();
    uint8_t buffer[64];
    int32_t length = sizeof buffer, count = 2;
    QEW_BoardInfo found[2];
    uint32_t r = QEW_ERROR_SUCCESS;
    errno = EXDEV;
    // No exception may leave a C entry point.
    allocationsFail = true;
    if (call == QLatin1String("connect"))
        r = QEW_Connect(host.constData(), QEW_MODE_STATUS) ? 0 : QEW_ERROR_NOT_CONNECTED;
    else if (call == QLatin1String("status"))
        r = QEW_GetStatus(connection.get(), &length, buffer);
    else if (call == QLatin1String("upload"))
        r = QEW_UploadFirmwareFile(connection.get(), "/nonexistent/firmware.hex");
    else
        r = QEW_Discover(address.constData(), 100, found, &count);
    allocationsFail = false;
    QCOMPARE(std::pair(r, errno), std::pair(QEW_ERROR_NOT_CONNECTED, ENOMEM));
    // The handle, and its lock, are unharmed.
    length = sizeof buffer;
    QCOMPARE(QEW_GetStatus(connection.get(), &length, buffer), QEW_ERROR_SUCCESS);
}

void TestQorethwConnection::fullSessionTableKeepsLiveSessionsAndTakesBackIdleOnes()
{
    BoardEmulatorProcess board({QStringLiteral("--session-idle-ms"), QStringLiteral("1500")});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    Connection held(connectTo(board.hostText()));
    QVERIFY(held);
    std::vector<std::unique_ptr<Connection>> others;
    for (int i = 0; i < 31; ++i) {
        others.push_back(std::make_unique<Connection>(connectTo(board.hostText())));
        QVERIFY(*others.back());
    }
    // All 32 in use and none idle long: a 33rd is refused, nobody loses theirs.
    errno = 0;
    QVERIFY(!connectTo(board.hostText()));
    QCOMPARE(errno, ECONNREFUSED);
    uint32_t result = 1;
    QCOMPARE(readStatus(held.get(), &result).size(), 23);
    QCOMPARE(readStatus(others.back()->get(), &result).size(), 23);

    // Goodbyes lost: the others fall silent. The held connection stays in use.
    for (int i = 0; i < 4; ++i) {
        QTest::qWait(500);
        QCOMPARE(readStatus(held.get(), &result).size(), 23);
    }
    Connection late(connectTo(board.hostText()));
    QVERIFY(late);
    QCOMPARE(readStatus(held.get(), &result).size(), 23);
    // Exactly one idle session was taken back, and its owner hears so.
    int lost = 0;
    for (auto &other : others) {
        readStatus(other->get(), &result);
        if (result == QEW_ERROR_NOT_CONNECTED)
            ++lost;
        else
            QCOMPARE(result, QEW_ERROR_SUCCESS);
    }
    QCOMPARE(lost, 1);
    QVERIFY(board.log().contains(QStringLiteral("taken back")));
}

void TestQorethwConnection::discoveryOfAnAddressFindsItsBoard()
{
    BoardEmulatorProcess board({QStringLiteral("--revision"), QStringLiteral("0x0203"),
                                QStringLiteral("--mac"), QStringLiteral("02-00-00-00-0A-0B")});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    qputenv("QORETHW_PORT", QByteArray::number(board.port()));
    QEW_BoardInfo boards[4] = {};
    int32_t count = 4;
    QElapsedTimer timer;
    timer.start();
    const uint32_t r = QEW_Discover(board.address().toLatin1().constData(), 600, boards, &count);
    const qint64 took = timer.elapsed();
    qunsetenv("QORETHW_PORT");
    QCOMPARE(r, QEW_ERROR_SUCCESS);
    QVERIFY2(took >= 600 && took < 1500, qPrintable(QString::number(took)));
    QCOMPARE(count, 1); // asked twice, counted once
    QCOMPARE(boards[0].family, uint8_t('Q'));
    QCOMPARE(boards[0].revision, uint16_t(0x0203));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(boards[0].mac), 6),
             QByteArray::fromHex("02000000"
                                 "0A0B"));
    const QString ip = QStringLiteral("%1.%2.%3.%4")
                           .arg(boards[0].ip[0])
                           .arg(boards[0].ip[1])
                           .arg(boards[0].ip[2])
                           .arg(boards[0].ip[3]);
    QCOMPARE(ip, board.address());
    QCOMPARE(boards[0].subnet[0], uint8_t(255));
}

void TestQorethwConnection::discoveryRefusesWhatItMayNotSendTo_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<uint32_t>("waitMs");
    QTest::addColumn<uint32_t>("result");
    QTest::addColumn<int>("error");
    // Loopback only, and no allow-list: no interface may carry a broadcast.
    QTest::newRow("every interface") << QString() << 500u << QEW_ERROR_NOACCESS << EACCES;
    QTest::newRow("private subnet") << "10.231.0.0/24" << 500u << QEW_ERROR_NOACCESS << EACCES;
    QTest::newRow("malformed target")
        << "127.0.0.x" << 500u << QEW_ERROR_INVALID_PARAMETER << EINVAL;
    QTest::newRow("prefix too long")
        << "127.0.0.0/33" << 500u << QEW_ERROR_INVALID_PARAMETER << EINVAL;
    QTest::newRow("no time to listen")
        << "127.0.0.1" << 0u << QEW_ERROR_INVALID_PARAMETER << EINVAL;
    QTest::newRow("too long to listen")
        << "127.0.0.1" << 10001u << QEW_ERROR_INVALID_PARAMETER << EINVAL;
}

void TestQorethwConnection::discoveryRefusesWhatItMayNotSendTo()
{
    QFETCH(QString, target);
    QFETCH(uint32_t, waitMs);
    QFETCH(uint32_t, result);
    QFETCH(int, error);
    qunsetenv("QORETHW_ALLOW_SUBNETS");
    QEW_BoardInfo boards[2];
    int32_t count = 2;
    QElapsedTimer timer;
    timer.start();
    errno = EXDEV;
    const QByteArray text = target.toLatin1();
    QCOMPARE(QEW_Discover(target.isNull() ? nullptr : text.constData(), waitMs, boards, &count),
             result);
    QCOMPARE(errno, error);
    QVERIFY(timer.elapsed() < 200); // refused before anything is sent or heard
    QCOMPARE(count, 2);
}

QTEST_GUILESS_MAIN(TestQorethwConnection)
#include "tst_qorethwconnection.moc"
