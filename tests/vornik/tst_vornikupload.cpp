// The two-stage upload, against a scripted device library.
#include "fakeqorethw.h"
#include "vorniktest.h"

#include <QListWidget>
#include <QSettings>

using namespace vorniktest;
namespace fake = fakeqorethw;

namespace {

const QString Firmware = QStringLiteral("/firmware/board-2.0.hex");

bool IsBootstrap(const std::string &path)
{
    return QString::fromStdString(path).endsWith(QLatin1String("/VornikBoostrap.hex"));
}

// A board at `before` that reports `after` once it has taken the bootstrap.
void BoardAt(std::uint16_t before, std::uint16_t after)
{
    auto revision = std::make_shared<std::uint16_t>(before);
    fake::Behaviour().status = [=] {
        fake::TStatusReply reply;
        reply.bytes = fake::StatusBlock(*revision);
        return reply;
    };
    fake::Behaviour().upload = [=](const std::string &path) {
        if (IsBootstrap(path))
            *revision = after;
        return fake::TUploadReply{};
    };
}

} // namespace

class TestVornikUpload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void boardAtOneZeroTakesBootstrapThenFirmware();
    void bootstrapFileHoldsTheLayoutImage();
    void boardAtOneZeroOneGoesStraightToFirmware();
    void failedRevisionReadTakesBootstrap();
    void eachStatusIsPaintedBeforeItsUpload();
    void secondBootstrapReusesTheFileWithoutUnpacking();
    void refusedUploadShowsError_data();
    void refusedUploadShowsError();
    void failedReconnectionLeavesUploaderUnconnected();
    void reconnectionGoesToLastHostAndRevisionToHostEdit();
    void oldRevisionAfterBootstrapKeepsUploadEnabled();
    void successStoresLastPathAndKeepsReadout();
    void failedLastPathWriteReportsErrorAndKeepsConnection();
    void failedBootstrapFileReportsErrorAndIsWrittenAgainLater();

private:
    void connectToBoard();

    TPrivateFolders folders_;
    std::unique_ptr<TMainForm> window_;
};

void TestVornikUpload::initTestCase()
{
    QApplication::setApplicationName(QStringLiteral("Vornik"));
}

void TestVornikUpload::init()
{
    folders_.clear();
    ResetProgramState();
    fake::Reset();
    window_ = OpenWindow();
    Control<QLineEdit>(window_.get(), "HostEdit")->setText(QStringLiteral("127.0.0.1"));
    Control<QLineEdit>(window_.get(), "FirmEdit")->setText(Firmware);
}

void TestVornikUpload::cleanup()
{
    window_.reset();
}

void TestVornikUpload::connectToBoard()
{
    Click(window_.get(), "ConnectButton");
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("-DU"));
}

void TestVornikUpload::boardAtOneZeroTakesBootstrapThenFirmware()
{
    BoardAt(0x0100, 0x0101);
    connectToBoard();
    QCOMPARE(RevisionText(window_.get()), QStringLiteral("Current Rev: 1.0"));
    const std::size_t before = fake::Calls().size();
    const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(DeviceHandle);

    Click(window_.get(), "UploadButton");

    std::vector<std::string> names = fake::CallNames();
    names.erase(names.begin(), names.begin() + before);
    const std::vector<std::string> expected = {"QEW_UploadFirmwareFile",
                                               "QEW_Disconnect",
                                               "QEW_Connect",
                                               "QEW_Connect",
                                               "QEW_GetStatus",
                                               "QEW_Disconnect",
                                               "QEW_UploadFirmwareFile",
                                               "QEW_Disconnect"};
    QCOMPARE(names, expected);
    const auto &calls = fake::Calls();
    QVERIFY(IsBootstrap(calls[before].text));
    QCOMPARE(calls[before].handle, first);
    QCOMPARE(calls[before + 1].handle, first);
    QCOMPARE(calls[before + 2].mode, QEW_MODE_UPLOAD);
    const std::uintptr_t second = calls[before + 2].handle;
    QCOMPARE(calls[before + 6].text, Firmware.toStdString());
    QCOMPARE(calls[before + 6].handle, second);
    QCOMPARE(calls[before + 7].handle, second);
    QVERIFY(fake::OpenHandles().empty());

    QCOMPARE(StatusText(window_.get()), QStringLiteral("Uploaded ") + Firmware + QLatin1Char('!'));
    QCOMPARE(RevisionText(window_.get()), QStringLiteral("Current Rev: 1.0.1"));
    QCOMPARE(FirmwareRevision, 0x0101);
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("C--"));
    QCOMPARE(DeviceHandle, nullptr);
}

void TestVornikUpload::bootstrapFileHoldsTheLayoutImage()
{
    BoardAt(0x0100, 0x0101);
    connectToBoard();
    Click(window_.get(), "UploadButton");

    QCOMPARE(QString::fromLocal8Bit(BootstrapPath), folders_.bootstrapFile());
    QFile file(folders_.bootstrapFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();

    auto *list = Control<QListWidget>(window_.get(), "BootstrapList");
    QVERIFY(list->count() > 0);
    QByteArray expected;
    for (int row = 0; row < list->count(); ++row)
        expected += list->item(row)->text().toLatin1() + "\r\n";
    QCOMPARE(written, expected);
    // Our board learns a bootstrap from "QORB" and its revision word, 0x0101, at the image start.
    QVERIFY(written.startsWith(":10000000514F52420101"));
    QVERIFY(written.endsWith(":00000001FF\r\n"));
}

void TestVornikUpload::boardAtOneZeroOneGoesStraightToFirmware()
{
    BoardAt(0x0101, 0x0101);
    connectToBoard();
    const std::size_t before = fake::Calls().size();
    TPaintedStatus painted(window_.get());
    Click(window_.get(), "UploadButton");

    std::vector<std::string> names = fake::CallNames();
    names.erase(names.begin(), names.begin() + before);
    QCOMPARE(names, (std::vector<std::string>{"QEW_UploadFirmwareFile", "QEW_Disconnect"}));
    QCOMPARE(painted.texts(), (QStringList{QStringLiteral("Uploading firmware\u2026"),
                                           QStringLiteral("Uploaded ") + Firmware + '!'}));
    QVERIFY(!QFile::exists(folders_.bootstrapFile()));
    QVERIFY(BootstrapPath.isEmpty());
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("C--"));
}

void TestVornikUpload::failedRevisionReadTakesBootstrap()
{
    BoardAt(0x0100, 0x0102);
    fake::Behaviour().status = [] {
        fake::TStatusReply reply;
        reply.result = QEW_ERROR_TIMEOUT;
        return reply;
    };
    connectToBoard();
    QCOMPARE(FirmwareRevision, -1);
    QCOMPARE(RevisionText(window_.get()), QStringLiteral("Current Rev: [ERROR_TIMEOUT]"));
    BoardAt(0x0100, 0x0102);

    Click(window_.get(), "UploadButton");
    const auto &calls = fake::Calls();
    auto upload = std::find_if(calls.begin(), calls.end(), [](const fake::TCall &call) {
        return call.function == "QEW_UploadFirmwareFile";
    });
    QVERIFY(upload != calls.end());
    QVERIFY(IsBootstrap(upload->text));
    QCOMPARE(FirmwareRevision, 0x0102);
    QCOMPARE(StatusText(window_.get()), QStringLiteral("Uploaded ") + Firmware + '!');
}

void TestVornikUpload::eachStatusIsPaintedBeforeItsUpload()
{
    BoardAt(0x0100, 0x0101);
    connectToBoard();
    TPaintedStatus painted(window_.get());
    QStringList seenAtCall;
    fake::Behaviour().onCall = [&](const fake::TCall &call) {
        seenAtCall << QString::fromStdString(call.function) + QLatin1Char('|') + painted.last();
    };
    Click(window_.get(), "UploadButton");

    QCOMPARE(painted.texts(), (QStringList{QStringLiteral("Unpacking bootstrap\u2026"),
                                           QStringLiteral("Uploading bootstrap\u2026"),
                                           QStringLiteral("Uploaded bootstrap, reconnecting\u2026"),
                                           QStringLiteral("Uploading firmware\u2026"),
                                           QStringLiteral("Uploaded ") + Firmware + '!'}));
    QCOMPARE(seenAtCall.first(),
             QStringLiteral("QEW_UploadFirmwareFile|Uploading bootstrap\u2026"));
    QCOMPARE(seenAtCall[1],
             QStringLiteral("QEW_Disconnect|Uploaded bootstrap, reconnecting\u2026"));
    QCOMPARE(seenAtCall[2], QStringLiteral("QEW_Connect|Uploaded bootstrap, reconnecting\u2026"));
    QCOMPARE(seenAtCall[6], QStringLiteral("QEW_UploadFirmwareFile|Uploading firmware\u2026"));
}

void TestVornikUpload::secondBootstrapReusesTheFileWithoutUnpacking()
{
    // The board refuses the first bootstrap, so Upload is pressed again on the same connection.
    int refusals = 1;
    fake::Behaviour().status = [] {
        fake::TStatusReply reply;
        reply.bytes = fake::StatusBlock(0x0100);
        return reply;
    };
    fake::Behaviour().upload = [&](const std::string &path) {
        if (IsBootstrap(path) && refusals-- > 0)
            return fake::TUploadReply{QEW_ERROR_BAD_NET_RESP, 7};
        return fake::TUploadReply{};
    };
    connectToBoard();
    Click(window_.get(), "UploadButton");
    QCOMPARE(StatusText(window_.get()),
             QStringLiteral("Device returned error 7 uploading bootstrap."));
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("-DU"));

    // Whatever is in the file now must stay: it is not written a second time.
    QFile file(folders_.bootstrapFile());
    QVERIFY(file.open(QIODevice::Append));
    file.write("; marker\r\n");
    file.close();

    TPaintedStatus painted(window_.get());
    Click(window_.get(), "UploadButton");
    QCOMPARE(painted.texts().first(), QStringLiteral("Uploading bootstrap\u2026"));
    QVERIFY(!painted.texts().contains(QStringLiteral("Unpacking bootstrap\u2026")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().endsWith("; marker\r\n"));
    std::vector<std::string> bootstraps;
    for (const auto &call : fake::Calls())
        if (call.function == "QEW_UploadFirmwareFile" && IsBootstrap(call.text))
            bootstraps.push_back(call.text);
    QCOMPARE(bootstraps.size(), std::size_t(2));
    QCOMPARE(bootstraps[0], bootstraps[1]);
}

void TestVornikUpload::refusedUploadShowsError_data()
{
    QTest::addColumn<bool>("bootstrap");
    QTest::addColumn<uint>("result");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("status");
    QTest::newRow("firmware, board error 5")
        << false << 58u << 5 << QStringLiteral("Device returned error 5 uploading firmware.");
    QTest::newRow("firmware, no file")
        << false << 2u << 0 << QStringLiteral("Error 2 uploading firmware.");
    QTest::newRow("firmware, bad HEX")
        << false << 13u << 99 << QStringLiteral("Error 13 uploading firmware.");
    QTest::newRow("bootstrap, board error 6")
        << true << 58u << 6 << QStringLiteral("Device returned error 6 uploading bootstrap.");
    QTest::newRow("bootstrap, empty image")
        << true << 24u << 0 << QStringLiteral("Error 24 uploading bootstrap.");
}

void TestVornikUpload::refusedUploadShowsError()
{
    QFETCH(bool, bootstrap);
    QFETCH(uint, result);
    QFETCH(int, error);
    QFETCH(QString, status);
    BoardAt(bootstrap ? 0x0100 : 0x0200, 0x0101);
    fake::Behaviour().upload = [=](const std::string &) {
        return fake::TUploadReply{result, error};
    };
    connectToBoard();
    const QEW_HANDLE connection = DeviceHandle;
    Click(window_.get(), "UploadButton");

    QCOMPARE(StatusText(window_.get()), status);
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("-DU"));
    QCOMPARE(DeviceHandle, connection);
    QCOMPARE(fake::OpenHandles().count(reinterpret_cast<std::uintptr_t>(connection)),
             std::size_t(1));
    QVERIFY(LastPath.isEmpty());
    QCOMPARE(RevisionText(window_.get()),
             bootstrap ? QStringLiteral("Current Rev: 1.0") : QStringLiteral("Current Rev: 2.0"));
}

void TestVornikUpload::failedReconnectionLeavesUploaderUnconnected()
{
    BoardAt(0x0100, 0x0101);
    connectToBoard();
    fake::Behaviour().connect = [](const std::string &, std::uint32_t) { return ETIMEDOUT; };
    Click(window_.get(), "UploadButton");

    QCOMPARE(StatusText(window_.get()), QStringLiteral("Error ") + QString::number(ETIMEDOUT) +
                                            QStringLiteral(" reconnecting."));
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("C--"));
    QCOMPARE(DeviceHandle, nullptr);
    QCOMPARE(FirmwareRevision, -1);
    QCOMPARE(RevisionText(window_.get()), QString());
    QVERIFY(fake::OpenHandles().empty());
    QCOMPARE(fake::Calls().back().function, std::string("QEW_Connect"));
}

void TestVornikUpload::reconnectionGoesToLastHostAndRevisionToHostEdit()
{
    BoardAt(0x0100, 0x0101);
    connectToBoard();
    Control<QLineEdit>(window_.get(), "HostEdit")->setText(QStringLiteral("127.0.0.2"));
    const std::size_t before = fake::Calls().size();
    Click(window_.get(), "UploadButton");

    const auto &calls = fake::Calls();
    QCOMPARE(calls[before + 2].function, std::string("QEW_Connect"));
    QCOMPARE(calls[before + 2].text, std::string("127.0.0.1"));
    QCOMPARE(calls[before + 3].text, std::string("127.0.0.2"));
    QCOMPARE(calls[before + 3].mode, QEW_MODE_STATUS);
}

void TestVornikUpload::oldRevisionAfterBootstrapKeepsUploadEnabled()
{
    BoardAt(0x0100, 0x00F0); // the bootstrap leaves the board at 0.15
    connectToBoard();
    Click(window_.get(), "UploadButton");

    QCOMPARE(RevisionText(window_.get()), QStringLiteral("Current Rev: 0.15"));
    QCOMPARE(StatusText(window_.get()), QStringLiteral("Uploaded ") + Firmware + '!');
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("C-U"));
    QCOMPARE(DeviceHandle, nullptr);

    // A further press takes the bootstrap stage again, on no connection at all.
    Click(window_.get(), "UploadButton");
    QCOMPARE(fake::Calls().back().function, std::string("QEW_UploadFirmwareFile"));
    QCOMPARE(fake::Calls().back().handle, std::uintptr_t(0));
    QCOMPARE(StatusText(window_.get()), QStringLiteral("Error 6 uploading bootstrap."));
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("C-U"));
}

void TestVornikUpload::successStoresLastPathAndKeepsReadout()
{
    BoardAt(0x0200, 0x0200);
    connectToBoard();
    Click(window_.get(), "UploadButton");

    QCOMPARE(LastPath, Firmware.toLocal8Bit());
    QSettings stored(folders_.settingsFile(), QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("Software/Kestrune/Vornik/1.0/LastPath")),
             QVariant(Firmware));
    QCOMPARE(stored.value(QStringLiteral("Software/Kestrune/Vornik/1.0/LastHost")),
             QVariant(QStringLiteral("127.0.0.1")));
    QCOMPARE(RevisionText(window_.get()), QStringLiteral("Current Rev: 2.0"));
    QCOMPARE(FirmwareRevision, 0x0200);
}

void TestVornikUpload::failedLastPathWriteReportsErrorAndKeepsConnection()
{
    BoardAt(0x0200, 0x0200);
    connectToBoard();
    QVERIFY(QFile::remove(folders_.settingsFile()));
    QVERIFY(QDir().mkpath(folders_.settingsFile()));
    TErrorReports reports;
    Click(window_.get(), "UploadButton");

    QCOMPARE(reports.texts().size(), 1);
    QVERIFY2(reports.texts().first().contains(QLatin1String("LastPath")),
             qPrintable(reports.texts().first()));
    QCOMPARE(StatusText(window_.get()), QStringLiteral("Uploaded ") + Firmware + '!');
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("-D-"));
    QVERIFY(DeviceHandle != nullptr);
    QCOMPARE(fake::OpenHandles().size(), std::size_t(1));
}

void TestVornikUpload::failedBootstrapFileReportsErrorAndIsWrittenAgainLater()
{
    BoardAt(0x0100, 0x0101);
    connectToBoard();
    // Something that is not ours sits where the bootstrap file goes.
    const QString stranger = folders_.tempFolder() + QStringLiteral("/stranger.hex");
    QFile strangerFile(stranger);
    QVERIFY(strangerFile.open(QIODevice::WriteOnly));
    strangerFile.write("not a bootstrap");
    strangerFile.close();
    QVERIFY(QFile::link(stranger, folders_.bootstrapFile()));
    const std::size_t before = fake::Calls().size();
    TErrorReports reports;
    Click(window_.get(), "UploadButton");

    QCOMPARE(reports.texts().size(), 1);
    QVERIFY2(reports.texts().first().contains(folders_.bootstrapFile()),
             qPrintable(reports.texts().first()));
    QCOMPARE(fake::Calls().size(), before);
    QCOMPARE(StatusText(window_.get()), QStringLiteral("Unpacking bootstrap\u2026"));
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("-D-"));
    QVERIFY(DeviceHandle != nullptr);
    QVERIFY(strangerFile.open(QIODevice::ReadOnly));
    QCOMPARE(strangerFile.readAll(), QByteArray("not a bootstrap"));
    strangerFile.close();
    // Nothing half-made is remembered: the next attempt unpacks again.
    QVERIFY(BootstrapPath.isEmpty());

    QVERIFY(QFile::remove(folders_.bootstrapFile()));
    Click(window_.get(), "DisconnectButton");
    connectToBoard();
    TPaintedStatus painted(window_.get());
    Click(window_.get(), "UploadButton");
    QCOMPARE(painted.texts().first(), QStringLiteral("Unpacking bootstrap\u2026"));
    QCOMPARE(StatusText(window_.get()), QStringLiteral("Uploaded ") + Firmware + '!');
    QVERIFY(QFileInfo(folders_.bootstrapFile()).isFile());
}

QTEST_MAIN(TestVornikUpload)
#include "tst_vornikupload.moc"
