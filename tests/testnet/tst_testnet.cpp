// Many boards on a network of real addresses (run by scripts/testnet.sh): what loopback hides.
#include "arpentry.h"
#include "qorethw.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
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

// The host's neighbour entry for address: "" when there is none.
QString neighbourEntry(const QString &address)
{
    QProcess ip;
    ip.start(QStringLiteral("ip"), {QStringLiteral("neigh"), QStringLiteral("show"), address});
    if (!ip.waitForFinished(2000))
        return QStringLiteral("(ip did not finish)");
    return QString::fromLocal8Bit(ip.readAllStandardOutput()).trimmed();
}

} // namespace

class TestTestnet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void discoveryFindsEveryBoardOnceWithinItsBound();
    void parallelUploadIsExactOnEveryBoard();
    void macChangeClearingRemovesTheStaleCacheEntry();
    void boardMovedToAnotherSubnetIsFoundAgain();

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

void TestTestnet::parallelUploadIsExactOnEveryBoard()
{
    QTemporaryDir work;
    const QString hex = work.filePath(QStringLiteral("firmware.hex"));
    QCOMPARE(QProcess::execute(QStringLiteral(SAMPLEFIRMWARE),
                               {hex, QStringLiteral("0x0203"), QStringLiteral("256")}),
             0);
    const QString bin = work.filePath(QStringLiteral("firmware.bin"));
    QCOMPARE(QProcess::execute(QStringLiteral("objcopy"),
                               {QStringLiteral("-I"), QStringLiteral("ihex"), QStringLiteral("-O"),
                                QStringLiteral("binary"), hex, bin}),
             0);
    QFile expectedFile(bin);
    QVERIFY(expectedFile.open(QIODevice::ReadOnly));
    const QByteArray expected = expectedFile.readAll();
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
                 QStringLiteral("2.0.3"));
    for (int k = 1; k <= boards_.size(); ++k) {
        QFile committed(QDir(dir_).filePath(QStringLiteral("board-%1.bin").arg(k)));
        QVERIFY2(committed.open(QIODevice::ReadOnly), qPrintable(committed.fileName()));
        QVERIFY2(committed.readAll() == expected, qPrintable(boards_[k - 1]));
    }
}

void TestTestnet::macChangeClearingRemovesTheStaleCacheEntry()
{
    const QString address = boards_.first();
    QEW_HANDLE handle = QEW_Connect(address.toLatin1().constData(), QEW_MODE_STATUS);
    QVERIFY(handle);
    uint8_t status[64];
    int32_t length = sizeof status;
    QCOMPARE(QEW_GetStatus(handle, &length, status), QEW_ERROR_SUCCESS);
    const QString oldMac =
        macText(status + 5).toLower().replace(QLatin1Char('-'), QLatin1Char(':'));
    QVERIFY2(neighbourEntry(address).contains(oldMac), qPrintable(neighbourEntry(address)));

    // The board takes the new MAC, and its interface with it.
    const QByteArray command = QByteArrayLiteral("ChMC\x02\x31\x00\x00\x00\x99");
    int32_t inLength = int32_t(command.size());
    uint8_t reply[64];
    int32_t outLength = sizeof reply;
    QCOMPARE(QEW_DEB_StrToStr(handle, &inLength,
                              reinterpret_cast<const uint8_t *>(command.constData()), &outLength,
                              reply),
             QEW_ERROR_SUCCESS);
    QCOMPARE(outLength, 0);
    // The board's own stack may already have told the host (its cache went with its MAC, so it
    // asks again); either way there is an entry to clear.
    QVERIFY2(neighbourEntry(address).contains(QStringLiteral("lladdr")),
             qPrintable(neighbourEntry(address)));

    // What settings runs after a MAC change.
    ClearArpEntry(address);
    QCOMPARE(neighbourEntry(address), QString());
    QEW_Disconnect(handle);

    // The next exchange learns the new MAC.
    handle = QEW_Connect(address.toLatin1().constData(), QEW_MODE_STATUS);
    QVERIFY(handle);
    QEW_Disconnect(handle);
    QVERIFY2(neighbourEntry(address).contains(QStringLiteral("02:31:00:00:00:99")),
             qPrintable(neighbourEntry(address)));
}

void TestTestnet::boardMovedToAnotherSubnetIsFoundAgain()
{
    // The calls settings' network popup makes: connect, change networking.
    const QString address = boards_.last();
    QEW_HANDLE handle = QEW_Connect(address.toLatin1().constData(), QEW_MODE_STATUS);
    QVERIFY(handle);
    QCOMPARE(QEW_ChangeNetworking(handle, "10.231.0.200", "255.255.255.128", "10.231.0.129"),
             QEW_ERROR_SUCCESS);
    QEW_Disconnect(handle);

    // 10.231.0.200/25 is not this host's subnet: no route there, yet discovery hears it.
    QVERIFY(!QEW_Connect("10.231.0.200", QEW_MODE_STATUS));
    bool found = false;
    for (int attempt = 0; attempt < 5 && !found; ++attempt) {
        for (const auto &b : discover(1000)) {
            if (ipText(b.ip) == QLatin1String("10.231.0.200")) {
                found = true;
                QCOMPARE(macText(b.mac), QStringLiteral("02-31-00-00-00-14"));
                QCOMPARE(ipText(b.gateway), QStringLiteral("10.231.0.129"));
                QCOMPARE(ipText(b.source), QStringLiteral("10.231.0.200"));
            }
            QVERIFY(ipText(b.ip) != address);
        }
    }
    QVERIFY(found);
}

QTEST_GUILESS_MAIN(TestTestnet)
#include "tst_testnet.moc"
