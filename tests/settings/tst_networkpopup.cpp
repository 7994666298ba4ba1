// The network popup end to end: the real device library, found where the program finds it, talking
// to the emulated board on a loopback address of its own.
#include "boardemulatorprocess.h"
#include "mainwindowtest.h"
#include "malformedmacs.h"

#include <QRandomGenerator>
#include <QRegularExpression>

using namespace MainWindowTest;

class NetworkPopupTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void connectRefillsTheFourEdits();
    void connectUnreachableAddressShowsError();
    void changeNetBoardMovesToTheNewAddress();
    void changeMacAcceptedByTheBoard();
    void changeMacRefusedByTheBoard();
    void changeMacMalformedTextSendsNothing_data();
    void changeMacMalformedTextSendsNothing();

private:
    std::unique_ptr<TMainForm> m_w;
    QList<SystemCommand> m_arpRuns;

    bool openOn(BoardEmulatorProcess &board);
    bool connectTo(const QString &host);
    const Ui::MainForm &f() const { return *m_w->form(); }
};

void NetworkPopupTest::cleanup()
{
    m_w.reset();
    m_arpRuns.clear();
}

bool NetworkPopupTest::openOn(BoardEmulatorProcess &board)
{
    if (!board.start()) {
        qWarning("emulator: %s %s", qPrintable(board.errorString()), qPrintable(board.log()));
        return false;
    }
    // the program's own search: the library folder beside the program's folder
    m_w = Create(QCoreApplication::applicationDirPath() + QStringLiteral("/../lib"));
    if (!m_w->network().ethLibrary().bound() || !ShowAndSettle(*m_w))
        return false;
    m_w->network().setArpRunner([this](const SystemCommand &c) { m_arpRuns << c; });
    OpenIpPopup(*m_w);
    return connectTo(board.hostText());
}

bool NetworkPopupTest::connectTo(const QString &host)
{
    f().IPEdit->setText(host); // a loopback address, typed before Connect
    f().ConnectButton->click();
    return m_w->network().deviceHandle() != nullptr;
}

static QString FreeLoopbackAddress()
{
    auto *random = QRandomGenerator::global();
    return QStringLiteral("127.%1.%2.%3")
        .arg(random->bounded(1, 255))
        .arg(random->bounded(0, 256))
        .arg(random->bounded(1, 255));
}

void NetworkPopupTest::connectRefillsTheFourEdits()
{
    BoardEmulatorProcess board(
        {"--mac", "02-00-00-00-00-2a", "--subnet", "255.255.255.0", "--gateway", "127.0.0.1"});
    QVERIFY(openOn(board));
    QCOMPARE(MemoText(*m_w),
             Lf("Connected to " + board.hostText() + "." + TNetworkPanel::ConnectedTextTail()));
    QCOMPARE(f().MACEdit->text(), QStringLiteral("02-00-00-00-00-2A"));
    QCOMPARE(f().IPEdit->text(), board.address());
    QCOMPARE(f().SubnetEdit->text(), QStringLiteral("255.255.255.0"));
    QCOMPARE(f().GatewayEdit->text(), QStringLiteral("127.0.0.1"));
    QVERIFY(!f().ConnectButton->isEnabled());
    QVERIFY(f().DisconnectButton->isEnabled());
}

void NetworkPopupTest::connectUnreachableAddressShowsError()
{
    m_w = Create(QCoreApplication::applicationDirPath() + QStringLiteral("/../lib"));
    QVERIFY(m_w->network().ethLibrary().bound());
    QVERIFY(ShowAndSettle(*m_w));
    OpenIpPopup(*m_w);
    const QString nobody = FreeLoopbackAddress();
    QVERIFY(!connectTo(nobody));
    const QRegularExpression text(QStringLiteral("^Error ([1-9][0-9]*) connecting to ") +
                                  QRegularExpression::escape(nobody) + QStringLiteral("\\.$"));
    QVERIFY2(text.match(MemoText(*m_w)).hasMatch(), qPrintable(MemoText(*m_w)));
    QVERIFY(f().ConnectButton->isEnabled());
}

void NetworkPopupTest::changeNetBoardMovesToTheNewAddress()
{
    BoardEmulatorProcess board;
    QVERIFY(openOn(board));
    const QString target = FreeLoopbackAddress();
    f().IPEdit->setText(target);
    f().SubnetEdit->setText(QStringLiteral("255.0.0.0"));
    f().GatewayEdit->setText(QStringLiteral("127.0.0.1"));
    f().ChangeNetButton->click();
    QCOMPARE(MemoText(*m_w), QStringLiteral("Device's network settings changed. In a moment, you "
                                            "can connect to it there."));
    QVERIFY(!m_w->network().deviceHandle());
    QVERIFY(f().ConnectButton->isEnabled());
    QVERIFY(WaitFor([&] { return board.address() == target; }, 10000));

    QVERIFY(WaitFor([&] { return connectTo(target); }, 10000));
    QCOMPARE(f().IPEdit->text(), target);
    QCOMPARE(f().SubnetEdit->text(), QStringLiteral("255.0.0.0"));
    QCOMPARE(f().GatewayEdit->text(), QStringLiteral("127.0.0.1"));
}

void NetworkPopupTest::changeMacAcceptedByTheBoard()
{
    BoardEmulatorProcess board;
    QVERIFY(openOn(board));
    f().MACEdit->setText(QStringLiteral(" 2-0-0-0-0-7b "));
    f().ChangeMACButton->click();
    QCOMPARE(MemoText(*m_w), Lf(TNetworkPanel::MacChangedText()));
    QCOMPARE(f().MACEdit->text(), QStringLiteral("02-00-00-00-00-7B"));
    QVERIFY(m_w->network().deviceHandle());
    QCOMPARE(m_arpRuns.size(), 1);
    QCOMPARE(m_arpRuns[0].arguments.last(), board.address());

    f().MACEdit->setText(QStringLiteral("junk"));
    f().DisconnectButton->click();
    QVERIFY(connectTo(board.hostText()));
    QCOMPARE(f().MACEdit->text(), QStringLiteral("02-00-00-00-00-7B"));
}

void NetworkPopupTest::changeMacRefusedByTheBoard()
{
    BoardEmulatorProcess board({"--refuse-mac", "9"});
    QVERIFY(openOn(board));
    f().MACEdit->setText(QStringLiteral("02-00-00-00-00-7b"));
    f().ChangeMACButton->click();
    QCOMPARE(MemoText(*m_w), QStringLiteral("Remote error 9 changing the device's MAC address."));
    QCOMPARE(f().MACEdit->text(), QStringLiteral("02-00-00-00-00-7B"));
    QVERIFY(m_w->network().deviceHandle());
    QCOMPARE(m_arpRuns.size(), 1); // cleared all the same

    f().DisconnectButton->click();
    QVERIFY(connectTo(board.hostText()));
    QCOMPARE(f().MACEdit->text(), QStringLiteral("02-00-00-00-00-01"));
}

void NetworkPopupTest::changeMacMalformedTextSendsNothing_data()
{
    AddMalformedMacRows("box", MacMessage::InErrorBox);
}

void NetworkPopupTest::changeMacMalformedTextSendsNothing()
{
    QFETCH(QString, text);
    QFETCH(QString, box);
    BoardEmulatorProcess board;
    QVERIFY(openOn(board));
    f().MACEdit->setText(text);
    const QString memo = MemoText(*m_w);
    const QString shown = ErrorBoxDuring([&] { f().ChangeMACButton->click(); });
    QCOMPARE(shown, box);
    QCOMPARE(MemoText(*m_w), memo);
    QCOMPARE(f().MACEdit->text(), text);
    QVERIFY(m_arpRuns.isEmpty());
    QVERIFY(m_w->network().deviceHandle());

    // the board never heard of it
    f().DisconnectButton->click();
    QVERIFY(connectTo(board.hostText()));
    QCOMPARE(f().MACEdit->text(), QStringLiteral("02-00-00-00-00-01"));
}

QTEST_MAIN(NetworkPopupTest)
#include "tst_networkpopup.moc"
