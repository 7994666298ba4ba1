// Connect, the revision readout and Disconnect, against a scripted device library.
#include "fakeqorethw.h"
#include "vorniktest.h"

#include <QSettings>

using namespace vorniktest;
namespace fake = fakeqorethw;

class TestVornikConnect : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void connectOpensUploadConnectionAndReadsRevision();
    void connectShowsEachStatusBeforeItsBlockingCall();
    void connectedShowsRevisionFromStatusBytes_data();
    void connectedShowsRevisionFromStatusBytes();
    void shortStatusIsShownAsHexDump_data();
    void shortStatusIsShownAsHexDump();
    void statusLengthBeyondBufferStillReadsRevision();
    void failedStatusReadShowsErrorName_data();
    void failedStatusReadShowsErrorName();
    void failedConnectShowsErrorAndStoresNothing();
    void failedRevisionConnectionLeavesReadoutEmpty();
    void revisionReadUsesHostEditNotUploadConnection();
    void connectStoresHost();
    void failedHostWriteReportsErrorAndStaysConnected();
    void disconnectClosesConnectionAndEmptiesReadout();
    void reconnectAfterDisconnectWorks();

private:
    TPrivateFolders folders_;
    std::unique_ptr<TMainForm> window_;
};

void TestVornikConnect::initTestCase()
{
    QApplication::setApplicationName(QStringLiteral("Vornik"));
}

void TestVornikConnect::init()
{
    folders_.clear();
    ResetProgramState();
    fake::Reset();
    window_ = OpenWindow();
    Control<QLineEdit>(window_.get(), "HostEdit")->setText(QStringLiteral("127.0.0.1"));
}

void TestVornikConnect::cleanup()
{
    window_.reset();
}

void TestVornikConnect::connectOpensUploadConnectionAndReadsRevision()
{
    Click(window_.get(), "ConnectButton");

    const std::vector<std::string> expected = {"QEW_Connect", "QEW_Connect", "QEW_GetStatus",
                                               "QEW_Disconnect"};
    QCOMPARE(fake::CallNames(), expected);
    const auto &calls = fake::Calls();
    QCOMPARE(calls[0].mode, QEW_MODE_UPLOAD);
    QCOMPARE(calls[0].text, std::string("127.0.0.1"));
    QCOMPARE(calls[1].mode, QEW_MODE_STATUS);
    QCOMPARE(calls[2].handle, calls[1].handle);
    QCOMPARE(calls[3].handle, calls[1].handle);
    // Only the upload connection is left open, and it is the program's handle.
    QCOMPARE(fake::OpenHandles(), std::set<std::uintptr_t>{calls[0].handle});
    QCOMPARE(reinterpret_cast<std::uintptr_t>(DeviceHandle), calls[0].handle);

    QCOMPARE(StatusText(window_.get()), QStringLiteral("Connected to +1 on 127.0.0.1."));
    QCOMPARE(RevisionText(window_.get()), QStringLiteral("Current Rev: 1.0.1"));
    QCOMPARE(FirmwareRevision, 0x0101);
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("-DU"));
    QVERIFY(Button(window_.get(), "BrowseButton")->isEnabled());
}

void TestVornikConnect::connectShowsEachStatusBeforeItsBlockingCall()
{
    TPaintedStatus painted(window_.get());
    QStringList seenAtCall;
    fake::Behaviour().onCall = [&](const fake::TCall &call) {
        seenAtCall << QString::fromStdString(call.function) + QLatin1Char('|') + painted.last();
    };

    Click(window_.get(), "ConnectButton");
    const QStringList expected = {
        QStringLiteral("QEW_Connect|Connecting\u2026"),
        QStringLiteral("QEW_Connect|Connected, getting firmware version\u2026"),
        QStringLiteral("QEW_GetStatus|Connected, getting firmware version\u2026"),
        QStringLiteral("QEW_Disconnect|Connected, getting firmware version\u2026"),
    };
    QCOMPARE(seenAtCall, expected);

    seenAtCall.clear();
    Click(window_.get(), "DisconnectButton");
    QCOMPARE(seenAtCall, QStringList{QStringLiteral("QEW_Disconnect|Disconnecting\u2026")});
}

void TestVornikConnect::connectedShowsRevisionFromStatusBytes_data()
{
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("low");
    QTest::addColumn<QString>("readout");
    QTest::newRow("01 00") << 0x01 << 0x00 << QStringLiteral("Current Rev: 1.0");
    QTest::newRow("01 23") << 0x01 << 0x23 << QStringLiteral("Current Rev: 1.2.3");
    QTest::newRow("02 10") << 0x02 << 0x10 << QStringLiteral("Current Rev: 2.1");
    QTest::newRow("0A F5") << 0x0A << 0xF5 << QStringLiteral("Current Rev: 10.15.5");
    QTest::newRow("00 0F") << 0x00 << 0x0F << QStringLiteral("Current Rev: 0.0.15");
    QTest::newRow("FF FF") << 0xFF << 0xFF << QStringLiteral("Current Rev: 255.15.15");
}

void TestVornikConnect::connectedShowsRevisionFromStatusBytes()
{
    QFETCH(int, high);
    QFETCH(int, low);
    QFETCH(QString, readout);
    fake::Behaviour().status = [=] {
        fake::TStatusReply reply;
        // Only bytes 3 and 4 count: the rest is noise, and 6 bytes are enough.
        reply.bytes = {0xEE, 0xEE, 0xEE, std::uint8_t(high), std::uint8_t(low), 0xEE};
        return reply;
    };
    Click(window_.get(), "ConnectButton");
    QCOMPARE(RevisionText(window_.get()), readout);
    QCOMPARE(FirmwareRevision, high * 256 + low);
}

void TestVornikConnect::shortStatusIsShownAsHexDump_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("readout");
    QTest::newRow("five bytes") << QByteArray("\x00\x01\x02\x7F\x80", 5) << 5
                                << QStringLiteral("Unknown Rev, Status: 00 01 02 7F 80 ");
    QTest::newRow("no bytes") << QByteArray() << 0 << QStringLiteral("Unknown Rev, Status: ");
    QTest::newRow("negative length")
        << QByteArray("\x01\x02", 2) << -3 << QStringLiteral("Unknown Rev, Status: ");
    QTest::newRow("length shorter than the bytes")
        << QByteArray("\xAB\xCD\xEF", 3) << 2 << QStringLiteral("Unknown Rev, Status: AB CD ");
}

void TestVornikConnect::shortStatusIsShownAsHexDump()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, length);
    QFETCH(QString, readout);
    fake::Behaviour().status = [=] {
        fake::TStatusReply reply;
        reply.bytes.assign(bytes.begin(), bytes.end());
        reply.reportLength = true;
        reply.length = length;
        return reply;
    };
    Click(window_.get(), "ConnectButton");
    QCOMPARE(RevisionText(window_.get()), readout);
    QCOMPARE(FirmwareRevision, -1);
    QCOMPARE(StatusText(window_.get()), QStringLiteral("Connected to +1 on 127.0.0.1."));
}

void TestVornikConnect::statusLengthBeyondBufferStillReadsRevision()
{
    fake::Behaviour().status = [] {
        fake::TStatusReply reply;
        reply.bytes = fake::StatusBlock(0x0230);
        reply.reportLength = true;
        reply.length = 100000;
        return reply;
    };
    Click(window_.get(), "ConnectButton");
    QCOMPARE(RevisionText(window_.get()), QStringLiteral("Current Rev: 2.3"));
    QCOMPARE(fake::Calls()[2].function, std::string("QEW_GetStatus"));
}

void TestVornikConnect::failedStatusReadShowsErrorName_data()
{
    QTest::addColumn<uint>("result");
    QTest::addColumn<QString>("readout");
    QTest::newRow("6") << 6u << QStringLiteral("Current Rev: [ERROR_INVALID_HANDLE]");
    QTest::newRow("24") << 24u << QStringLiteral("Current Rev: [ERROR_BAD_LENGTH]");
    QTest::newRow("30") << 30u << QStringLiteral("Current Rev: [ERROR_READ_FAULT]");
    QTest::newRow("58") << 58u << QStringLiteral("Current Rev: [ERROR_BAD_NET_RESP]");
    QTest::newRow("998") << 998u << QStringLiteral("Current Rev: [ERROR_NOACCESS]");
    QTest::newRow("1460") << 1460u << QStringLiteral("Current Rev: [ERROR_TIMEOUT]");
    QTest::newRow("2250") << 2250u << QStringLiteral("Current Rev: [ERROR_NOT_CONNECTED]");
    QTest::newRow("87") << 87u << QStringLiteral("Current Rev: [Error 87]");
    QTest::newRow("above 2^31") << 0xFFFFFFF0u << QStringLiteral("Current Rev: [Error 4294967280]");
}

void TestVornikConnect::failedStatusReadShowsErrorName()
{
    QFETCH(uint, result);
    QFETCH(QString, readout);
    fake::Behaviour().status = [=] {
        fake::TStatusReply reply;
        reply.result = result;
        reply.bytes = fake::StatusBlock(0x0200);
        return reply;
    };
    Click(window_.get(), "ConnectButton");
    QCOMPARE(RevisionText(window_.get()), readout);
    QCOMPARE(FirmwareRevision, -1);
    // The status connection is closed whatever the read gave.
    QCOMPARE(fake::OpenHandles().size(), std::size_t(1));
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("-DU"));
}

void TestVornikConnect::failedConnectShowsErrorAndStoresNothing()
{
    fake::Behaviour().connect = [](const std::string &, std::uint32_t) { return 10060; };
    Click(window_.get(), "ConnectButton");

    QCOMPARE(StatusText(window_.get()), QStringLiteral("Error 10060 connecting."));
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("C--"));
    QVERIFY(Button(window_.get(), "BrowseButton")->isEnabled());
    QCOMPARE(DeviceHandle, nullptr);
    QVERIFY(LastHost.isEmpty());
    QVERIFY(!QFile::exists(folders_.settingsFile()));
    QCOMPARE(fake::CallNames(), std::vector<std::string>{"QEW_Connect"});
}

void TestVornikConnect::failedRevisionConnectionLeavesReadoutEmpty()
{
    fake::Behaviour().connect = [](const std::string &, std::uint32_t mode) {
        return mode == QEW_MODE_STATUS ? ECONNREFUSED : 0;
    };
    Click(window_.get(), "ConnectButton");

    QCOMPARE(RevisionText(window_.get()), QString());
    QCOMPARE(FirmwareRevision, -1);
    QCOMPARE(StatusText(window_.get()), QStringLiteral("Connected to +1 on 127.0.0.1."));
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("-DU"));
    QCOMPARE(LastHost, QByteArray("127.0.0.1"));
    QCOMPARE(fake::CallNames(), (std::vector<std::string>{"QEW_Connect", "QEW_Connect"}));
}

void TestVornikConnect::revisionReadUsesHostEditNotUploadConnection()
{
    Control<QLineEdit>(window_.get(), "HostEdit")->setText(QStringLiteral("127.0.0.9:20900"));
    Click(window_.get(), "ConnectButton");
    const auto &calls = fake::Calls();
    QCOMPARE(calls[1].text, std::string("127.0.0.9:20900"));
    QVERIFY(calls[2].handle != calls[0].handle);
}

void TestVornikConnect::connectStoresHost()
{
    QVERIFY(!QFile::exists(folders_.settingsFile()));
    Click(window_.get(), "ConnectButton");
    QCOMPARE(LastHost, QByteArray("127.0.0.1"));
    QSettings stored(folders_.settingsFile(), QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("Software/Kestrune/Vornik/1.0/LastHost")),
             QVariant(QStringLiteral("127.0.0.1")));
    QVERIFY(!stored.contains(QStringLiteral("Software/Kestrune/Vornik/1.0/LastPath")));
}

void TestVornikConnect::failedHostWriteReportsErrorAndStaysConnected()
{
    // A folder where the settings file should be makes every write fail, even for root.
    QVERIFY(QDir().mkpath(folders_.settingsFile()));
    TErrorReports reports;
    Click(window_.get(), "ConnectButton");

    QCOMPARE(reports.texts().size(), 1);
    QVERIFY2(reports.texts().first().contains(QLatin1String("LastHost")),
             qPrintable(reports.texts().first()));
    QCOMPARE(reports.titles().first(), QStringLiteral("Vornik"));
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("-DU"));
    QVERIFY(DeviceHandle != nullptr);
    QCOMPARE(StatusText(window_.get()), QStringLiteral("Connected to +1 on 127.0.0.1."));
}

void TestVornikConnect::disconnectClosesConnectionAndEmptiesReadout()
{
    Click(window_.get(), "ConnectButton");
    const std::uintptr_t handle = fake::Calls()[0].handle;
    Click(window_.get(), "DisconnectButton");

    QCOMPARE(fake::Calls().back().function, std::string("QEW_Disconnect"));
    QCOMPARE(fake::Calls().back().handle, handle);
    QVERIFY(fake::OpenHandles().empty());
    QCOMPARE(DeviceHandle, nullptr);
    QCOMPARE(FirmwareRevision, -1);
    QCOMPARE(RevisionText(window_.get()), QString());
    QCOMPARE(StatusText(window_.get()), QStringLiteral("Disconnected."));
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("C--"));
}

void TestVornikConnect::reconnectAfterDisconnectWorks()
{
    Click(window_.get(), "ConnectButton");
    Click(window_.get(), "DisconnectButton");
    fake::Behaviour().status = [] {
        fake::TStatusReply reply;
        reply.bytes = fake::StatusBlock(0x0100);
        return reply;
    };
    Click(window_.get(), "ConnectButton");
    QCOMPARE(RevisionText(window_.get()), QStringLiteral("Current Rev: 1.0"));
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("-DU"));
    QCOMPARE(fake::OpenHandles().size(), std::size_t(1));
}

QTEST_MAIN(TestVornikConnect)
#include "tst_vornikconnect.moc"
