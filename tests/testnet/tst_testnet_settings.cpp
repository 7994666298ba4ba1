// The settings program's network popup on the test network (run by scripts/testnet.sh): a board
// moved to another subnet is found again by discovery, and a MAC change really clears the
// host's cached entry for the board.
#include "mainwindowtest.h"
#include "qorethw.h"

#include <QProcess>

#include <vector>

using namespace MainWindowTest;

namespace {

QString neighbourEntry(const QString &address)
{
    QProcess ip;
    ip.start(QStringLiteral("ip"), {QStringLiteral("neigh"), QStringLiteral("show"), address});
    if (!ip.waitForFinished(2000))
        return QStringLiteral("(ip did not finish)");
    return QString::fromLocal8Bit(ip.readAllStandardOutput()).trimmed();
}

QString dotted(const uint8_t *ip)
{
    return QStringLiteral("%1.%2.%3.%4").arg(ip[0]).arg(ip[1]).arg(ip[2]).arg(ip[3]);
}

} // namespace

class TestnetSettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void macChangeClearsTheHostsCachedEntry();
    void boardMovedToAnotherSubnetIsFoundAgain();

private:
    bool openOn(const QString &host);
    const Ui::MainForm &f() const { return *m_w->form(); }

    std::unique_ptr<TMainForm> m_w;
    QStringList m_boards;
};

void TestnetSettingsTest::initTestCase()
{
    m_boards = qEnvironmentVariable("TESTNET_BOARDS").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (m_boards.size() < 2)
        QSKIP("not on a test network: run through scripts/testnet.sh");
}

void TestnetSettingsTest::cleanup()
{
    m_w.reset();
}

bool TestnetSettingsTest::openOn(const QString &host)
{
    m_w = Create(QCoreApplication::applicationDirPath() + QStringLiteral("/../lib"));
    if (!m_w->network().ethLibrary().bound() || !ShowAndSettle(*m_w))
        return false;
    OpenIpPopup(*m_w);
    f().IPEdit->setText(host);
    f().ConnectButton->click();
    return m_w->network().deviceHandle() != nullptr;
}

void TestnetSettingsTest::macChangeClearsTheHostsCachedEntry()
{
    const QString address = m_boards.first();
    QVERIFY(openOn(address));
    QCOMPARE(f().MACEdit->text(), QStringLiteral("02-31-00-00-00-01"));
    QVERIFY2(neighbourEntry(address).contains(QStringLiteral("02:31:00:00:00:01")),
             qPrintable(neighbourEntry(address)));

    // The popup's own path, with the system's command for the cache: the board's interface
    // takes the new MAC, and the host's entry for it is gone.
    f().MACEdit->setText(QStringLiteral("2-31-0-0-0-99"));
    f().ChangeMACButton->click();
    QCOMPARE(MemoText(*m_w), Lf(TNetworkPanel::MacChangedText()));
    QCOMPARE(neighbourEntry(address), QString());

    // The next exchange learns the new MAC.
    f().DisconnectButton->click();
    f().IPEdit->setText(address);
    f().ConnectButton->click();
    QVERIFY(m_w->network().deviceHandle());
    QCOMPARE(f().MACEdit->text(), QStringLiteral("02-31-00-00-00-99"));
    QVERIFY2(neighbourEntry(address).contains(QStringLiteral("02:31:00:00:00:99")),
             qPrintable(neighbourEntry(address)));
}

void TestnetSettingsTest::boardMovedToAnotherSubnetIsFoundAgain()
{
    const QString address = m_boards.last();
    QVERIFY(openOn(address));
    // 10.231.0.200/25 is not the host's subnet: no route leads there.
    f().IPEdit->setText(QStringLiteral("10.231.0.200"));
    f().SubnetEdit->setText(QStringLiteral("255.255.255.128"));
    f().GatewayEdit->setText(QStringLiteral("10.231.0.129"));
    f().ChangeNetButton->click();
    QCOMPARE(MemoText(*m_w), QStringLiteral("Device's network settings changed. In a moment, you "
                                            "can connect to it there."));

    bool found = false;
    for (int attempt = 0; attempt < 5 && !found; ++attempt) {
        std::vector<QEW_BoardInfo> boards(16);
        int32_t count = int32_t(boards.size());
        QCOMPARE(QEW_Discover(nullptr, 1000, boards.data(), &count), QEW_ERROR_SUCCESS);
        for (int i = 0; i < count; ++i) {
            const QEW_BoardInfo &b = boards[std::size_t(i)];
            QVERIFY(dotted(b.ip) != address);
            if (dotted(b.ip) != QLatin1String("10.231.0.200"))
                continue;
            found = true;
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(b.mac), 6).toHex('-'),
                     QByteArray("02-31-00-00-00-02"));
            QCOMPARE(dotted(b.subnet), QStringLiteral("255.255.255.128"));
            QCOMPARE(dotted(b.gateway), QStringLiteral("10.231.0.129"));
            QCOMPARE(dotted(b.source), QStringLiteral("10.231.0.200"));
        }
    }
    QVERIFY(found);
    // And the popup cannot reach it there: another subnet, no route.
    f().IPEdit->setText(QStringLiteral("10.231.0.200"));
    f().ConnectButton->click();
    QVERIFY(!m_w->network().deviceHandle());
}

QTEST_MAIN(TestnetSettingsTest)
#include "tst_testnet_settings.moc"
