// Many boards on a network of real addresses (run by scripts/testnet.sh): discovery of all of
// them, and the command-line tool's parallel upload to all of them.
#include "hexbinary.h"
#include "qorethw.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <vector>

namespace {

QString macText(const uint8_t *mac)
{
    return QByteArray(reinterpret_cast<const char *>(mac), 6).toHex('-').toUpper();
}

QString ipText(const uint8_t *ip)
{
    return QStringLiteral("%1.%2.%3.%4").arg(ip[0]).arg(ip[1]).arg(ip[2]).arg(ip[3]);
}

std::vector<QEW_BoardInfo> discover(uint32_t waitMs, uint32_t *result = nullptr)
{
    std::vector<QEW_BoardInfo> boards(64);
    int32_t count = int32_t(boards.size());
    const uint32_t r = QEW_Discover(nullptr, waitMs, boards.data(), &count);
    if (result)
        *result = r;
    boards.resize(r == 0 ? std::size_t(count) : 0);
    return boards;
}

} // namespace

class TestTestnet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void discoveryFindsEveryBoardOnceWithinItsBound();
    void parallelUploadIsExactOnEveryBoard_data();
    void parallelUploadIsExactOnEveryBoard();
    void crashedBoardRestartsOnItsStateFile();

private:
    QStringList boards_;
    QString dir_;
};

void TestTestnet::initTestCase()
{
    boards_ = qEnvironmentVariable("TESTNET_BOARDS").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    dir_ = qEnvironmentVariable("TESTNET_DIR");
    if (boards_.isEmpty())
        QSKIP("not on a test network: run through scripts/testnet.sh");
    QCOMPARE(boards_.size(), 20);
}

void TestTestnet::discoveryFindsEveryBoardOnceWithinItsBound()
{
    QElapsedTimer timer;
    timer.start();
    uint32_t result = 1;
    const auto found = discover(1500, &result);
    const qint64 took = timer.elapsed();
    QCOMPARE(result, QEW_ERROR_SUCCESS);
    QVERIFY2(took >= 1500 && took < 2500, qPrintable(QString::number(took)));
    QSet<QString> macs, addresses;
    for (const auto &b : found) {
        macs.insert(macText(b.mac));
        addresses.insert(ipText(b.ip));
        QCOMPARE(char(b.family), 'Q');
        QCOMPARE(ipText(b.source), ipText(b.ip));
        QCOMPARE(ipText(b.subnet), QStringLiteral("255.255.255.128"));
    }
    QCOMPARE(int(found.size()), boards_.size()); // none twice
    QCOMPARE(macs.size(), boards_.size());
    QCOMPARE(addresses, QSet<QString>(boards_.begin(), boards_.end()));

    // Too little room: the first ones filled, the count says how many answered.
    std::vector<QEW_BoardInfo> few(5);
    int32_t count = 5;
    QCOMPARE(QEW_Discover(nullptr, 800, few.data(), &count), QEW_ERROR_BAD_LENGTH);
    QCOMPARE(count, 20);
}

void TestTestnet::parallelUploadIsExactOnEveryBoard_data()
{
    QTest::addColumn<int>("revision");
    QTest::addColumn<bool>("shaped");
    QTest::newRow("plain port") << 0x0203 << false;
    // The host's port shaped as a switch port is: a shallow bucket that all 20 share.
    QTest::newRow("port shaped by a token bucket") << 0x0204 << true;
}

void TestTestnet::parallelUploadIsExactOnEveryBoard()
{
    QFETCH(int, revision);
    QFETCH(bool, shaped);
    const QStringList tbf{
        QStringLiteral("qdisc"), QStringLiteral("add"),     QStringLiteral("dev"),
        QStringLiteral("eth0"),  QStringLiteral("root"),    QStringLiteral("tbf"),
        QStringLiteral("rate"),  QStringLiteral("100mbit"), QStringLiteral("burst"),
        QStringLiteral("32kb"),  QStringLiteral("latency"), QStringLiteral("20ms")};
    if (shaped && QProcess::execute(QStringLiteral("tc"), tbf) != 0)
        QSKIP("tc cannot shape the port here (iproute2's tc and the kernel's sch_tbf needed)");
    const auto unshape = qScopeGuard([shaped] {
        if (shaped)
            QProcess::execute(QStringLiteral("tc"), {QStringLiteral("qdisc"), QStringLiteral("del"),
                                                     QStringLiteral("dev"), QStringLiteral("eth0"),
                                                     QStringLiteral("root")});
    });
    QTemporaryDir work;
    const QString hex = work.filePath(QStringLiteral("firmware.hex"));
    QCOMPARE(QProcess::execute(QStringLiteral(SAMPLEFIRMWARE),
                               {hex, QStringLiteral("0x%1").arg(revision, 4, 16, QLatin1Char('0')),
                                QStringLiteral("256")}),
             0);
    QString error;
    const QByteArray expected = ObjcopyBinaryOf(hex, &error);
    QVERIFY2(!expected.isEmpty(), qPrintable(error));
    QCOMPARE(expected.size(), 256 * 1024);

    QProcess cli;
    cli.start(QStringLiteral(QORETHW_CLI),
              QStringList{QStringLiteral("--json"), QStringLiteral("--jobs"), QStringLiteral("20"),
                          QStringLiteral("upload"), hex} +
                  boards_);
    QVERIFY(cli.waitForFinished(120000));
    const QByteArray out = cli.readAllStandardOutput();
    QCOMPARE(cli.exitCode(), 0);
    const QJsonObject doc = QJsonDocument::fromJson(out).object();
    QCOMPARE(doc.value(QStringLiteral("succeeded")).toInt(), 20);
    for (const QJsonValue &v : doc.value(QStringLiteral("results")).toArray())
        QCOMPARE(v.toObject().value(QStringLiteral("revisionAfter")).toString(),
                 QStringLiteral("2.0.%1").arg(revision & 0xFF));
    for (int k = 1; k <= boards_.size(); ++k) {
        QFile committed(QDir(dir_).filePath(QStringLiteral("board-%1.bin").arg(k)));
        QVERIFY2(committed.open(QIODevice::ReadOnly), qPrintable(committed.fileName()));
        QVERIFY2(committed.readAll() == expected, qPrintable(boards_[k - 1]));
    }
}

void TestTestnet::crashedBoardRestartsOnItsStateFile()
{
    const QStringList namespaces =
        qEnvironmentVariable("TESTNET_NAMESPACES").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QCOMPARE(namespaces.size(), boards_.size());
    const QString ns = namespaces.last();
    const QString host = boards_.last();
    auto status = [&] {
        QProcess cli;
        cli.start(QStringLiteral(QORETHW_CLI), {QStringLiteral("status"), host});
        return cli.waitForFinished(10000) ? QString::fromUtf8(cli.readAllStandardOutput())
                                          : QString();
    };
    // Whatever the earlier tests uploaded, the restarted board must come back with exactly it.
    const QString before =
        QRegularExpression(QStringLiteral("revision [^\n]*")).match(status()).captured();
    QVERIFY2(before.contains(QStringLiteral(", MAC 02-31-00-00-00-14, IP ") + host),
             qPrintable(before));

    // A crash: nothing is saved on the way out.
    QProcess pids;
    pids.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("pids"), ns});
    QVERIFY(pids.waitForFinished(5000));
    for (const QByteArray &pid : pids.readAllStandardOutput().split('\n'))
        if (!pid.isEmpty())
            QCOMPARE(QProcess::execute(QStringLiteral("kill"), {QStringLiteral("-KILL"), pid}), 0);
    qputenv("QORETHW_TIMEOUT_MS", "300");
    QVERIFY(!status().contains(QStringLiteral("revision")));
    qunsetenv("QORETHW_TIMEOUT_MS");

    // Only its interface and its state file: everything else comes from the file.
    const QString log = QDir(dir_).filePath(QStringLiteral("restarted.log"));
    QVERIFY(QProcess::startDetached(
        QStringLiteral("sh"),
        {QStringLiteral("-c"),
         QStringLiteral("exec ip netns exec \"$0\" \"$1\" --interface eth0 "
                        "--state \"$2\" >\"$3\" 2>&1"),
         ns, qEnvironmentVariable("TESTNET_EMULATOR"),
         QDir(dir_).filePath(QStringLiteral("board-%1.state").arg(boards_.size())), log}));
    QTRY_VERIFY_WITH_TIMEOUT(status().contains(before), 10000);
}

QTEST_GUILESS_MAIN(TestTestnet)
#include "tst_testnet.moc"
