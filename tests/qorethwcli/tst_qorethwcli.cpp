// qorethw, the command-line tool: each command's success and failure, its output and exit status.
#include "boardemulatorprocess.h"
#include "crc32.h"
#include "hexbinary.h"
#include "mactext.h"
#include "messages.h"
#include "qorethw.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <functional>
#include <poll.h>
#include <thread>
#include <unistd.h>

using namespace qorproto;

namespace {

struct Run
{
    int exitCode = -1;
    QString out, err;
};

Run run(const QString &program, const QStringList &arguments, const QString &workDir = {})
{
    QProcess p;
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.start(program, arguments);
    Run r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("(did not finish)");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

Run cli(const QStringList &arguments)
{
    return run(QStringLiteral(QORETHW_CLI), arguments);
}

// A sample firmware of revision 2.0.4 and the given size in KiB, written to hex; the exit code.
int writeSampleFirmware(const QString &hex, const char *kib)
{
    return run(QStringLiteral(SAMPLEFIRMWARE),
               {hex, QStringLiteral("0x0204"), QString::fromLatin1(kib)})
        .exitCode;
}

QJsonObject json(const Run &r)
{
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
}

// An address where nothing listens: an emulator started and stopped there.
QString deadHost()
{
    BoardEmulatorProcess board;
    if (!board.start())
        return {};
    const QString host = board.hostText();
    board.stop();
    return host;
}

// Whatever a host on the network may send to a discovery: on a loopback address of its own, it
// answers each request with the datagrams answers() makes of it (from another port of its own
// where fromElsewhere says so).
class FakeAnswerer
{
public:
    struct Datagram
    {
        std::vector<std::uint8_t> bytes;
        bool fromElsewhere = false;
    };
    using Answers = std::function<std::vector<Datagram>(const Packet &request)>;

    explicit FakeAnswerer(Answers answers) : answers_(std::move(answers))
    {
        address_ = QStringLiteral("127.%1.%2.%3")
                       .arg(QRandomGenerator::global()->bounded(1, 255))
                       .arg(QRandomGenerator::global()->bounded(0, 256))
                       .arg(QRandomGenerator::global()->bounded(1, 255));
        for (int &fd : fds_) {
            fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            ::inet_pton(AF_INET, address_.toLatin1().constData(), &a.sin_addr);
            ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        }
        sockaddr_in bound{};
        socklen_t length = sizeof bound;
        ::getsockname(fds_[0], reinterpret_cast<sockaddr *>(&bound), &length);
        port_ = ntohs(bound.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~FakeAnswerer()
    {
        stop_ = true;
        thread_.join();
        for (int fd : fds_)
            ::close(fd);
    }
    QString address() const { return address_; }
    quint16 port() const { return port_; }
    int requests() const { return requests_; }

    // The answer a board with this MAC and IP gives to request, spoilt by change.
    static std::vector<std::uint8_t>
    answer(const Packet &request, std::array<std::uint8_t, 6> mac, std::array<std::uint8_t, 4> ip,
           const std::function<void(Packet &, std::vector<std::uint8_t> &)> &change = {})
    {
        BoardStatus status;
        status.revision = 0x0200;
        status.mac = mac;
        status.network.ip = ip;
        status.network.subnet = {255, 0, 0, 0};
        std::vector<std::uint8_t> body = encodeStatusBlock(status);
        Packet reply;
        reply.type = request.type | kReplyBit;
        reply.session = request.session;
        reply.sequence = request.sequence;
        if (change)
            change(reply, body);
        if (reply.payload.empty()) // else the change made its own
            reply.payload = encodeReply(kBoardOk, body.data(), body.size());
        return encodePacket(reply);
    }

private:
    void run()
    {
        std::uint8_t buffer[2048];
        while (!stop_) {
            pollfd pfd{fds_[0], POLLIN, 0};
            if (::poll(&pfd, 1, 20) <= 0)
                continue;
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(fds_[0], buffer, sizeof buffer, 0,
                                         reinterpret_cast<sockaddr *>(&from), &length);
            Packet request;
            if (n <= 0 || !decodePacket(buffer, std::size_t(n), request))
                continue;
            ++requests_;
            // Spread a little, as boards spread their answers: a burst of hundreds would
            // overflow the asker's receive buffer.
            int sent = 0;
            for (const Datagram &d : answers_(request)) {
                ::sendto(fds_[d.fromElsewhere ? 1 : 0], d.bytes.data(), d.bytes.size(), 0,
                         reinterpret_cast<sockaddr *>(&from), length);
                if (++sent % 20 == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
    }

    Answers answers_;
    QString address_;
    quint16 port_ = 0;
    int fds_[2] = {-1, -1};
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::thread thread_;
};

// The tool's JSON discovery of the fake, with the library pointed at its port.
QJsonObject discoverFake(const FakeAnswerer &fake, const char *waitMs = "300")
{
    qputenv("QORETHW_PORT", QByteArray::number(fake.port()));
    const Run r = cli({QStringLiteral("--json"), QStringLiteral("discover"), QStringLiteral("--to"),
                       fake.address(), QStringLiteral("--wait"), QString::fromLatin1(waitMs)});
    qunsetenv("QORETHW_PORT");
    return json(r);
}

constexpr std::array<std::uint8_t, 6> kGoodMac{0x02, 0, 0, 0, 0, 0x01};

// Reads the bootstrap files an upload left in dir.
QStringList bootstrapFilesIn(const QString &dir)
{
    return QDir(dir).entryList({QStringLiteral("qorethw-bootstrap-*")}, QDir::Files);
}

} // namespace

class TestQorethwCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void toolsRefuseMalformedCommandLines_data();
    void toolsRefuseMalformedCommandLines();
    void helpAndVersionSucceed();
    void discoverListsBoardsAndFailsWhenNoneAnswers();
    void discoverDropsAndCountsWhatNoBoardSends_data();
    void discoverDropsAndCountsWhatNoBoardSends();
    void discoverListsEveryAnswerPastAnyRoom();
    void discoverShowsConflictingAnswers();
    void uploadLeavesNoBootstrapFileAndReportsAnInterrupt();
    void statusReportsEachBoardAndSummarizesFailures();
    void uploadBootstrapsOldBoardsAndIsExactOnEach();
    void uploadReportsTheBoardsRefusal();
    void uploadOnATerminalDrawsABarPerBoard();
    void setNetworkMovesBoardOrReportsTheError();
    void setMacUsesTheSettingsParserAndReportsRemoteErrors_data();
    void setMacUsesTheSettingsParserAndReportsRemoteErrors();

private:
    QTemporaryDir m_dir;
};

void TestQorethwCli::initTestCase()
{
    qputenv("QORETHW_LOOPBACK_ONLY", "1");
    qunsetenv("QORETHW_ALLOW_SUBNETS");
    qputenv("QORETHW_TIMEOUT_MS", "1000");
}

void TestQorethwCli::toolsRefuseMalformedCommandLines_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    const QString q = QStringLiteral(QORETHW_CLI), s = QStringLiteral(SAMPLEFIRMWARE);
    QTest::newRow("no command") << q << QStringList{} << "no command given";
    QTest::newRow("unknown command") << q << QStringList{"reboot"} << "unknown command reboot";
    QTest::newRow("unknown option")
        << q << QStringList{"--fast", "discover"} << "unknown option --fast";
    QTest::newRow("status without host")
        << q << QStringList{"status"} << "status needs at least one HOST";
    QTest::newRow("upload without host")
        << q << QStringList{"upload", "f.hex"} << "upload needs a FILE and at least one HOST";
    QTest::newRow("set-network short") << q << QStringList{"set-network", "127.0.0.1", "127.0.0.2"}
                                       << "set-network needs HOST IP MASK GATEWAY";
    QTest::newRow("set-mac long") << q << QStringList{"set-mac", "127.0.0.1", "a", "b"}
                                  << "set-mac needs HOST MAC";
    QTest::newRow("jobs zero") << q << QStringList{"-j", "0", "status", "127.0.0.1"}
                               << "bad value for -j: 0";
    QTest::newRow("jobs over 64") << q << QStringList{"-j", "65", "status", "127.0.0.1"}
                                  << "bad value for -j: 65";
    QTest::newRow("jobs without value")
        << q << QStringList{"status", "127.0.0.1", "--jobs"} << "--jobs needs a value";
    QTest::newRow("wait too long")
        << q << QStringList{"--wait=20000", "discover"} << "bad value for --wait: 20000";
    QTest::newRow("to outside discover")
        << q << QStringList{"--to", "127.0.0.1", "status", "127.0.0.1"}
        << "--to applies to discover only";
    for (const char *host : {"abc", "10.77.0.300", ":0", "127.0.0.1:70000"})
        QTest::newRow(host)
            << q << QStringList{"status", "127.0.0.1", host}
            << QStringLiteral("bad HOST %1: not a dotted IPv4 address").arg(QLatin1String(host));
    QTest::newRow("operand that looks like an option")
        << q << QStringList{"set-mac", "127.0.0.1", "-2-0-0-0-0-1"}
        << "unknown option -2-0-0-0-0-1 (an operand that begins with - goes after --";
    QTest::newRow("upload of a missing file")
        << q << QStringList{"upload", "/nonexistent.hex", "127.0.0.1"}
        << "/nonexistent.hex is not a readable file";
    QTest::newRow("samplefirmware option as file")
        << s << QStringList{"--halp"} << "unknown option --halp";
    QTest::newRow("samplefirmware no file") << s << QStringList{} << "no FILE given";
    QTest::newRow("samplefirmware bad revision")
        << s << QStringList{"x.hex", "2.0"} << "revision must be a 16-bit number";
    QTest::newRow("samplefirmware bad size")
        << s << QStringList{"x.hex", "0x0200", "4096"} << "size must be 1 to 1024 KiB";
    QTest::newRow("samplefirmware too many")
        << s << QStringList{"x.hex", "1", "2", "3"} << "too many arguments";
}

void TestQorethwCli::toolsRefuseMalformedCommandLines()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QTemporaryDir work;
    const Run r = run(program, arguments, work.path());
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    // A missing file is no slip of the command line's form: no usage text for it.
    QCOMPARE(r.err.contains(QStringLiteral("usage:")), !message.endsWith(QLatin1String("file")));
    QVERIFY(r.out.isEmpty());
    // Nothing written where it ran: no file named after a mistyped option.
    QCOMPARE(QDir(work.path()).entryList(QDir::Files), QStringList());
    if (program != QLatin1String(QORETHW_CLI))
        return;
    // A program asking for JSON gets the same as one document.
    const Run j = run(program, QStringList{QStringLiteral("--json")} + arguments, work.path());
    QCOMPARE(j.exitCode, 2);
    QVERIFY2(j.err.isEmpty(), qPrintable(j.err));
    QCOMPARE(json(j).value(QStringLiteral("ok")), QJsonValue(false));
    QVERIFY2(json(j).value(QStringLiteral("message")).toString().contains(message),
             qPrintable(j.out));
}

void TestQorethwCli::helpAndVersionSucceed()
{
    Run r = cli({QStringLiteral("--help")});
    QCOMPARE(r.exitCode, 0);
    for (const char *command : {"discover", "status HOST", "upload FILE HOST",
                                "set-network HOST IP "
                                "MASK GATEWAY",
                                "set-mac HOST MAC", "--json", "--jobs"})
        QVERIFY2(r.out.contains(QLatin1String(command)), command);
    r = cli({QStringLiteral("--version")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.startsWith(QStringLiteral("qorethw ")));
    QTemporaryDir work;
    r = run(QStringLiteral(SAMPLEFIRMWARE), {QStringLiteral("--help")}, work.path());
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.startsWith(QStringLiteral("usage: samplefirmware")));
    QCOMPARE(QDir(work.path()).entryList(QDir::Files), QStringList());
}

void TestQorethwCli::discoverListsBoardsAndFailsWhenNoneAnswers()
{
    BoardEmulatorProcess a({QStringLiteral("--mac"), QStringLiteral("02-00-00-00-00-0A")});
    QVERIFY2(a.start(), qPrintable(a.errorString()));
    BoardEmulatorProcess b({QStringLiteral("--mac"), QStringLiteral("02-00-00-00-00-0B"),
                            QStringLiteral("--port"), QString::number(a.port())});
    QVERIFY2(b.start(), qPrintable(b.errorString()));
    qputenv("QORETHW_PORT", QByteArray::number(a.port()));
    Run r =
        cli({QStringLiteral("discover"), QStringLiteral("--to"), a.address(),
             QStringLiteral("--to"), b.address(), QStringLiteral("--wait"), QStringLiteral("400")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(QStringLiteral("02-00-00-00-00-0A ") + a.address()), qPrintable(r.out));
    QVERIFY2(r.out.contains(QStringLiteral("02-00-00-00-00-0B ") + b.address()), qPrintable(r.out));
    QVERIFY(r.out.contains(QStringLiteral("2 boards answered within 400 ms")));

    r = cli({QStringLiteral("--json"), QStringLiteral("discover"), QStringLiteral("--to"),
             a.address(), QStringLiteral("--wait"), QStringLiteral("300")});
    QCOMPARE(r.exitCode, 0);
    const QJsonArray boards = json(r).value(QStringLiteral("boards")).toArray();
    QCOMPARE(boards.size(), 1);
    QCOMPARE(boards[0].toObject().value(QStringLiteral("mac")).toString(),
             QStringLiteral("02-00-00-00-00-0A"));
    QCOMPARE(boards[0].toObject().value(QStringLiteral("revision")).toString(),
             QStringLiteral("1.0"));

    // Nobody there; and every interface is out of bounds while loopback-only.
    const QString dead = deadHost().section(QLatin1Char(':'), 0, 0);
    r = cli({QStringLiteral("discover"), QStringLiteral("--to"), dead, QStringLiteral("--wait"),
             QStringLiteral("300")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("0 boards answered within 300 ms")), qPrintable(r.err));
    r = cli({QStringLiteral("discover"), QStringLiteral("--wait"), QStringLiteral("300")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("Error 998 discovering on every interface")),
             qPrintable(r.err));
    qunsetenv("QORETHW_PORT");
}

void TestQorethwCli::statusReportsEachBoardAndSummarizesFailures()
{
    BoardEmulatorProcess board({QStringLiteral("--revision"), QStringLiteral("0x0203")});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    const QString dead = deadHost();
    Run r = cli({QStringLiteral("status"), board.hostText()});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(board.hostText() +
                            QStringLiteral(": revision 2.0.3, MAC "
                                           "02-00-00-00-00-01, IP ") +
                            board.address() +
                            QStringLiteral(", subnet 255.0.0.0, gateway 127.0.0.1")),
             qPrintable(r.out));
    QVERIFY(r.out.contains(QStringLiteral("1 board: 1 succeeded, 0 failed")));

    r = cli({QStringLiteral("status"), board.hostText(), dead});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.out.contains(QStringLiteral("2 boards: 1 succeeded, 1 failed")), qPrintable(r.out));
    // The settings program's text for a failed connect, with the same number.
    QVERIFY2(
        r.out.contains(QStringLiteral("  %1: error 111: Error 111 connecting to %1.").arg(dead)),
        qPrintable(r.out));

    r = cli({QStringLiteral("--json"), QStringLiteral("status"), dead, board.hostText()});
    QCOMPARE(r.exitCode, 1);
    const QJsonObject doc = json(r);
    QCOMPARE(doc.value(QStringLiteral("failed")).toInt(), 1);
    const QJsonArray results = doc.value(QStringLiteral("results")).toArray();
    QCOMPARE(results.size(), 2);
    // In the order given, whatever order they finished in.
    QCOMPARE(results[0].toObject().value(QStringLiteral("host")).toString(), dead);
    QCOMPARE(results[0].toObject().value(QStringLiteral("error")).toInt(), 111);
    QCOMPARE(results[1].toObject().value(QStringLiteral("revision")).toString(),
             QStringLiteral("2.0.3"));
}

void TestQorethwCli::uploadBootstrapsOldBoardsAndIsExactOnEach()
{
    const QString hex = m_dir.filePath(QStringLiteral("fw.hex"));
    QCOMPARE(writeSampleFirmware(hex, "96"), 0);
    QString error;
    const QByteArray expected = ObjcopyBinaryOf(hex, &error);
    QVERIFY2(!expected.isEmpty(), qPrintable(error));

    BoardEmulatorProcess old; // revision 1.0: bootstrap first
    BoardEmulatorProcess fresh({QStringLiteral("--revision"), QStringLiteral("0x0200")});
    QVERIFY2(old.start(), qPrintable(old.errorString()));
    QVERIFY2(fresh.start(), qPrintable(fresh.errorString()));
    const Run r = cli({QStringLiteral("upload"), hex, old.hostText(), fresh.hostText()});
    QCOMPARE(r.exitCode, 0);
    // Plain lines when not on a terminal, with the progress the library reports.
    QVERIFY2(r.out.contains(old.hostText() + QStringLiteral(": bootstrap 100%")),
             qPrintable(r.out));
    QVERIFY(r.out.contains(old.hostText() + QStringLiteral(": reconnecting")));
    QVERIFY(r.out.contains(fresh.hostText() + QStringLiteral(": firmware 100%")));
    QVERIFY(!r.out.contains(fresh.hostText() + QStringLiteral(": bootstrap")));
    QVERIFY(!r.out.contains(QLatin1String("\x1b")));
    QVERIFY(r.out.contains(QStringLiteral("Uploaded %1! Revision 1.0 -> 2.0.4.").arg(hex)));
    QVERIFY(r.out.contains(QStringLiteral("2 boards: 2 succeeded, 0 failed")));
    QCOMPARE(old.firmware(), expected);
    QCOMPARE(fresh.firmware(), expected);
}

void TestQorethwCli::uploadReportsTheBoardsRefusal()
{
    const QString hex = m_dir.filePath(QStringLiteral("refused.hex"));
    QCOMPARE(writeSampleFirmware(hex, "4"), 0);
    BoardEmulatorProcess board({QStringLiteral("--revision"), QStringLiteral("0x0200"),
                                QStringLiteral("--refuse-upload"), QStringLiteral("6")});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    const Run r = cli({QStringLiteral("--json"), QStringLiteral("upload"), hex, board.hostText()});
    QCOMPARE(r.exitCode, 1);
    const QJsonObject result = json(r).value(QStringLiteral("results")).toArray()[0].toObject();
    QCOMPARE(result.value(QStringLiteral("ok")).toBool(), false);
    QCOMPARE(result.value(QStringLiteral("error")).toInt(), 6);
    // The uploader's text.
    QCOMPARE(result.value(QStringLiteral("message")).toString(),
             QStringLiteral("Device returned error 6 uploading firmware."));
}

void TestQorethwCli::uploadOnATerminalDrawsABarPerBoard()
{
    const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
    if (script.isEmpty())
        QSKIP("no script(1) to give the tool a terminal");
    const QString hex = m_dir.filePath(QStringLiteral("tty.hex"));
    QCOMPARE(writeSampleFirmware(hex, "512"), 0);
    BoardEmulatorProcess a({QStringLiteral("--revision"), QStringLiteral("0x0200")});
    BoardEmulatorProcess b({QStringLiteral("--revision"), QStringLiteral("0x0200")});
    QVERIFY2(a.start(), qPrintable(a.errorString()));
    QVERIFY2(b.start(), qPrintable(b.errorString()));
    const QString command = QStringLiteral("'%1' upload '%2' %3 %4")
                                .arg(QStringLiteral(QORETHW_CLI), hex, a.hostText(), b.hostText());
    const Run r = run(script, {QStringLiteral("-qec"), command, QStringLiteral("/dev/null")});
    QCOMPARE(r.exitCode, 0);
    // Two rows, redrawn in place: the cursor goes up two lines before each redraw.
    QVERIFY2(r.out.contains(QStringLiteral("\x1b[2A")), qPrintable(r.out));
    // Host names padded to one width, so the bars line up.
    for (const QString &host : {a.hostText(), b.hostText()})
        QVERIFY2(r.out.contains(QRegularExpression(QRegularExpression::escape(host) +
                                                   QStringLiteral(" +done: Uploaded"))),
                 qPrintable(r.out));
    QVERIFY(r.out.contains(QStringLiteral("2 boards: 2 succeeded, 0 failed")));
    QVERIFY(!r.out.contains(QStringLiteral(": firmware 25%"))); // no plain lines
}

void TestQorethwCli::setNetworkMovesBoardOrReportsTheError()
{
    BoardEmulatorProcess board({QStringLiteral("--restart-ms"), QStringLiteral("50")});
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    Run r = cli({QStringLiteral("set-network"), board.hostText(), QStringLiteral("127.0.0.300"),
                 QStringLiteral("255.0.0.0"), QStringLiteral("127.0.0.1")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.out.contains(QStringLiteral("Error 87 changing the device's network settings.")),
             qPrintable(r.out));

    const QString to = deadHost().section(QLatin1Char(':'), 0, 0);
    r = cli({QStringLiteral("set-network"), board.hostText(), to, QStringLiteral("255.255.0.0"),
             QStringLiteral("127.0.0.1")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.contains(QStringLiteral(
        "Device's network settings changed. In a moment, you can connect to it there.")));
    QVERIFY(board.waitForLog(QStringLiteral("restarted; listening on ") + to));
    r = cli({QStringLiteral("status"), to + QLatin1Char(':') + QString::number(board.port())});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(QStringLiteral("subnet 255.255.0.0")), qPrintable(r.out));
}

void TestQorethwCli::setMacUsesTheSettingsParserAndReportsRemoteErrors_data()
{
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QStringList>("boardArgs");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("taken") << "2-0-0-0-0-7b" << QStringList{} << 0
                           << "Device's MAC address changed.";
    QTest::newRow("refused by the board")
        << "02-00-00-00-00-7B" << QStringList{"--refuse-mac", "3"} << 1
        << "Remote error 3 changing the device's MAC address.";
    QTest::newRow("multicast") << "03-00-00-00-00-01" << QStringList{} << 1
                               << "Remote error 3 changing the device's MAC address.";
    // The parser's own messages, word for word.
    for (const char *bad : {"02-00-00-00-00", "02-00-00-00-00-7g", "02-00-00-00-00-100"}) {
        QByteArray bytes;
        QString error;
        QVERIFY(!ParseMac(QString::fromLatin1(bad), &bytes, &error));
        QTest::newRow(bad) << QString::fromLatin1(bad) << QStringList{} << 1 << error;
    }
}

void TestQorethwCli::setMacUsesTheSettingsParserAndReportsRemoteErrors()
{
    QFETCH(QString, mac);
    QFETCH(QStringList, boardArgs);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    BoardEmulatorProcess board(boardArgs);
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    const Run r = cli({QStringLiteral("--json"), QStringLiteral("set-mac"), board.hostText(), mac});
    QCOMPARE(r.exitCode, exitCode);
    const QJsonObject result = json(r).value(QStringLiteral("results")).toArray()[0].toObject();
    QCOMPARE(result.value(QStringLiteral("message")).toString(), message);
    const bool taken = board.log().contains(QStringLiteral("MAC changed to"));
    QCOMPARE(taken, exitCode == 0);
}

void TestQorethwCli::discoverDropsAndCountsWhatNoBoardSends_data()
{
    using Change = std::function<void(Packet &, std::vector<std::uint8_t> &)>;
    QTest::addColumn<Change>("change");
    QTest::addColumn<bool>("fromElsewhere");
    QTest::addColumn<bool>("corrupt");
    auto row = [](const char *name, Change change, bool elsewhere = false, bool corrupt = false) {
        QTest::newRow(name) << change << elsewhere << corrupt;
    };
    auto blockByte = [](std::size_t at, std::uint8_t value) {
        return Change([=](Packet &, std::vector<std::uint8_t> &b) { b[at] = value; });
    };
    auto ip = [](std::array<std::uint8_t, 4> a) {
        return Change([=](Packet &, std::vector<std::uint8_t> &b) {
            std::copy(a.begin(), a.end(), b.begin() + 11);
        });
    };
    auto mac = [](std::array<std::uint8_t, 6> m) {
        return Change([=](Packet &, std::vector<std::uint8_t> &b) {
            std::copy(m.begin(), m.end(), b.begin() + 5);
        });
    };
    row("another sequence", [](Packet &p, auto &) { ++p.sequence; });
    row("another session", [](Packet &p, auto &) { p.session = 7; });
    row("a request, not a reply", [](Packet &p, auto &) { p.type = 0x06; });
    row("another command's reply", [](Packet &p, auto &) { p.type = 0x83; });
    row("a board error",
        [](Packet &p, auto &b) { p.payload = encodeReply(kBoardBadRequest, b.data(), b.size()); });
    row("block a byte short", [](Packet &, auto &b) { b.pop_back(); });
    row("block a byte long", [](Packet &, auto &b) { b.push_back(0); });
    row("another family", blockByte(0, 'R'));
    row("another protocol version in the block", blockByte(1, 2));
    row("packet of another protocol version", {}, false, true);
    row("from another port", {}, true);
    row("all-zero MAC", mac({0, 0, 0, 0, 0, 0}));
    row("broadcast MAC", mac({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    row("multicast MAC", mac({0x01, 0x00, 0x5E, 0, 0, 1}));
    row("IP 0.0.0.0", ip({0, 0, 0, 0}));
    row("broadcast IP", ip({255, 255, 255, 255}));
    row("multicast IP", ip({224, 0, 0, 1}));
}

void TestQorethwCli::discoverDropsAndCountsWhatNoBoardSends()
{
    using Change = std::function<void(Packet &, std::vector<std::uint8_t> &)>;
    QFETCH(Change, change);
    QFETCH(bool, fromElsewhere);
    QFETCH(bool, corrupt);
    FakeAnswerer fake([&](const Packet &request) {
        std::array<std::uint8_t, 4> own{};
        ::inet_pton(AF_INET, QStringLiteral("127.0.0.1").toLatin1().constData(), own.data());
        auto bad = FakeAnswerer::answer(request, {0x02, 0, 0, 0, 0, 0x02}, {10, 9, 8, 7}, change);
        if (corrupt) { // a well-framed packet of protocol version 2
            bad[2] = 2;
            const std::uint32_t crc = crc32(bad.data(), bad.size() - 4);
            for (int i = 0; i < 4; ++i)
                bad[bad.size() - 4 + i] = std::uint8_t(crc >> (24 - 8 * i));
        }
        return std::vector<FakeAnswerer::Datagram>{
            {FakeAnswerer::answer(request, kGoodMac, {10, 9, 8, 6}), false}, {bad, fromElsewhere}};
    });
    const QJsonObject doc = discoverFake(fake);
    QCOMPARE(fake.requests(), 1); // 300 ms: asked once
    const QJsonArray boards = doc.value(QStringLiteral("boards")).toArray();
    QCOMPARE(boards.size(), 1);
    QCOMPARE(boards[0].toObject().value(QStringLiteral("ip")).toString(),
             QStringLiteral("10.9.8.6"));
    QCOMPARE(doc.value(QStringLiteral("dropped")).toInt(), 1);
}

void TestQorethwCli::discoverListsEveryAnswerPastAnyRoom()
{
    FakeAnswerer fake([](const Packet &request) {
        std::vector<FakeAnswerer::Datagram> out;
        for (int i = 0; i < 300; ++i)
            out.push_back({FakeAnswerer::answer(request, {0x02, 0, 0, 0, quint8(i >> 8), quint8(i)},
                                                {10, 77, quint8(i >> 8), quint8(i + 1)}),
                           false});
        return out;
    });
    qputenv("QORETHW_PORT", QByteArray::number(fake.port()));
    const Run r = cli({QStringLiteral("discover"), QStringLiteral("--to"), fake.address(),
                       QStringLiteral("--wait"), QStringLiteral("1500")});
    // The library tells a caller with too little room how many answered.
    std::vector<QEW_BoardInfo> room(256);
    int32_t count = 256;
    errno = 0;
    QCOMPARE(QEW_Discover(fake.address().toLatin1().constData(), 1500, room.data(), &count),
             QEW_ERROR_BAD_LENGTH);
    QCOMPARE(errno, EMSGSIZE);
    qunsetenv("QORETHW_PORT");
    QCOMPARE(count, 300);
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(QStringLiteral("300 boards answered within 1500 ms")),
             qPrintable(r.err));
    QCOMPARE(r.out.count(QStringLiteral("\n02-00-00-00-")), 300);
    QVERIFY(r.out.contains(QStringLiteral("02-00-00-00-01-2B 10.77.1.44")));
}

void TestQorethwCli::discoverShowsConflictingAnswers()
{
    FakeAnswerer fake([](const Packet &request) {
        auto answer = [&](quint8 mac, quint8 ip) {
            return FakeAnswerer::Datagram{
                FakeAnswerer::answer(request, {0x02, 0, 0, 0, 0, mac}, {10, 0, 0, ip}), false};
        };
        // MAC 1 from two addresses; MACs 2 and 3 claim one address; MAC 4 alone.
        return std::vector<FakeAnswerer::Datagram>{answer(1, 1), answer(1, 2), answer(2, 3),
                                                   answer(3, 3), answer(4, 4), answer(4, 4)};
    });
    const QJsonArray boards = discoverFake(fake).value(QStringLiteral("boards")).toArray();
    QCOMPARE(boards.size(), 5);
    QStringList conflicts;
    for (const QJsonValue &b : boards)
        conflicts << b.toObject()
                         .value(QStringLiteral("conflicts"))
                         .toVariant()
                         .toStringList()
                         .join(QLatin1Char('|'));
    QCOMPARE(conflicts,
             (QStringList{"MAC 02-00-00-00-00-01 also answers as 10.0.0.2 from " + fake.address(),
                          "MAC 02-00-00-00-00-01 also answers as 10.0.0.1 from " + fake.address(),
                          "IP 10.0.0.3 also claimed by MAC 02-00-00-00-00-03",
                          "IP 10.0.0.3 also claimed by MAC 02-00-00-00-00-02", ""}));
    qputenv("QORETHW_PORT", QByteArray::number(fake.port()));
    const Run r =
        cli({QStringLiteral("--verbose"), QStringLiteral("discover"), QStringLiteral("--to"),
             fake.address(), QStringLiteral("--wait"), QStringLiteral("300")});
    qunsetenv("QORETHW_PORT");
    QVERIFY2(r.out.contains(QStringLiteral("\n  CONFLICT: IP 10.0.0.3 also claimed by MAC "
                                           "02-00-00-00-00-02\n")),
             qPrintable(r.out));
    QVERIFY2(r.out.contains(QStringLiteral("4 boards answered within 300 ms; 4 answers conflict")),
             qPrintable(r.out));
    QVERIFY(r.out.contains(QStringLiteral("0 replies dropped")));
}

void TestQorethwCli::uploadLeavesNoBootstrapFileAndReportsAnInterrupt()
{
    const QString hex = m_dir.filePath(QStringLiteral("cut.hex"));
    QCOMPARE(writeSampleFirmware(hex, "1024"), 0);
    QTemporaryDir tmp;
    std::vector<std::unique_ptr<BoardEmulatorProcess>> boards;
    QStringList hosts;
    for (int i = 0; i < 6; ++i) { // revision 1.0: each takes the bootstrap first
        boards.push_back(std::make_unique<BoardEmulatorProcess>(
            QStringList{QStringLiteral("--link-mbit"), QStringLiteral("10")}));
        QVERIFY2(boards.back()->start(), qPrintable(boards.back()->errorString()));
        hosts << boards.back()->hostText();
    }
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), tmp.path());
    p.setProcessEnvironment(env);
    const QStringList upload = QStringList{QStringLiteral("--json"), QStringLiteral("-j"),
                                           QStringLiteral("6"), QStringLiteral("upload"), hex} +
                               hosts;
    // ^C while the firmware is on its way: none of it is committed, and the file goes.
    p.start(QStringLiteral(QORETHW_CLI), upload);
    for (const auto &board : boards)
        QVERIFY(board->waitForLog(QStringLiteral("bootstrap image of"), 20000));
    QCOMPARE(bootstrapFilesIn(tmp.path()).size(), 1);
    ::kill(pid_t(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 130);
    const QJsonObject doc = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    QCOMPARE(doc.value(QStringLiteral("interrupted")), QJsonValue(true));
    QCOMPARE(doc.value(QStringLiteral("results")).toArray().size() +
                 doc.value(QStringLiteral("unfinished")).toArray().size(),
             6);
    QCOMPARE(bootstrapFilesIn(tmp.path()), QStringList());
    for (const auto &board : boards)
        QVERIFY(!board->log().contains(QStringLiteral("firmware image of")));

    // Six at once to the end: still one file for the run, and none after it.
    p.start(QStringLiteral(QORETHW_CLI), upload);
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(bootstrapFilesIn(tmp.path()), QStringList());
}

QTEST_GUILESS_MAIN(TestQorethwCli)
#include "tst_qorethwcli.moc"
