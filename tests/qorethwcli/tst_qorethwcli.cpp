// qorethw, the command-line tool: each command's success and failure, its output and exit status.
#include "boardemulatorprocess.h"
#include "hexbinary.h"
#include "mactext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

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
    QTest::newRow("jobs without value")
        << q << QStringList{"status", "127.0.0.1", "--jobs"} << "--jobs needs a value";
    QTest::newRow("wait too long")
        << q << QStringList{"--wait=20000", "discover"} << "bad value for --wait: 20000";
    QTest::newRow("to outside discover")
        << q << QStringList{"--to", "127.0.0.1", "status", "127.0.0.1"}
        << "--to applies to discover only";
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

QTEST_GUILESS_MAIN(TestQorethwCli)
#include "tst_qorethwcli.moc"
