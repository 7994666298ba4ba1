// The whole uploader against the emulated board, over loopback, through libQORETHW.so.
#include "boardemulatorprocess.h"
#include "ihexwriter.h"
#include "vorniktest.h"

#include <QListWidget>
#include <QProcess>

#include <cerrno>
#include <functional>
#include <utility>

using namespace vorniktest;

namespace {

// A firmware image our board learns the revision of: "QORF", the revision word, then a body.
QByteArray FirmwareImage(std::uint16_t revision, int size)
{
    QByteArray image("QORF");
    image += char(revision >> 8);
    image += char(revision & 0xFF);
    for (int i = image.size(); i < size; ++i)
        image += char((i * 7 + 3) & 0xFF);
    return image;
}

QString WriteHexFile(const QString &path, const QByteArray &image, std::uint32_t address)
{
    ihex::Image hex;
    hex.segments.push_back({address, std::vector<std::uint8_t>(image.begin(), image.end())});
    const std::string text = ihex::write(hex);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), qint64(text.size())) < 0)
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs `act` once, when the status bar first paints `text`: the moment before the call it
// announces.
class TWhenStatusPainted : public QObject
{
public:
    TWhenStatusPainted(QWidget *window, QString text, std::function<void()> act)
        : label_(Control<QLabel>(window, "MainStatusText")), text_(std::move(text)),
          act_(std::move(act))
    {
        label_->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (act_ && watched == label_ && event->type() == QEvent::Paint &&
            label_->text() == text_) {
            std::exchange(act_, nullptr)();
        }
        return false;
    }

private:
    QLabel *label_;
    QString text_;
    std::function<void()> act_;
};

} // namespace

class TestVornikBoard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void layoutBootstrapIsAnImageTheBoardTakes();
    void boardAtOneZeroIsBroughtUpToDateThroughBootstrap();
    void boardAtOneZeroOneGoesStraightToFirmware();
    void failedRevisionReadTakesBootstrap();
    void boardRefusingFirmwareShowsItsCode();
    void boardThatDoesNotComeBackFailsReconnection();
    void noBoardAtAddressFailsConnect();
    void disconnectFromBoard();
    void rememberedHostAndFileAppearAtNextStart();
    void programDoesNotStartWithoutDeviceLibrary();

private:
    std::unique_ptr<BoardEmulatorProcess> startBoard(const QStringList &options);
    void connectTo(const BoardEmulatorProcess &board);
    // The status texts of one press of Upload that takes the bootstrap stage and succeeds.
    QStringList bootstrapPathTexts() const
    {
        return {QStringLiteral("Unpacking bootstrap\u2026"),
                QStringLiteral("Uploading bootstrap\u2026"),
                QStringLiteral("Uploaded bootstrap, reconnecting\u2026"),
                QStringLiteral("Uploading firmware\u2026"),
                QStringLiteral("Uploaded ") + firmware_ + QLatin1Char('!')};
    }

    TPrivateFolders folders_;
    std::unique_ptr<TMainForm> window_;
    QString firmware_;
    QByteArray image_;
};

void TestVornikBoard::initTestCase()
{
    QApplication::setApplicationName(QStringLiteral("Vornik"));
    // Keeps the cases that wait for a silent board short; a restart takes far less.
    qputenv("QORETHW_TIMEOUT_MS", "1500");
    qputenv("QORETHW_LOOPBACK_ONLY", "1");
}

void TestVornikBoard::init()
{
    folders_.clear();
    ResetProgramState();
    image_ = FirmwareImage(0x0200, 5000);
    firmware_ =
        WriteHexFile(folders_.configFolder() + QStringLiteral("/../board-2.0.hex"), image_, 0x0000);
    firmware_ = QFileInfo(firmware_).canonicalFilePath();
    window_ = OpenWindow();
    Control<QLineEdit>(window_.get(), "FirmEdit")->setText(firmware_);
}

void TestVornikBoard::cleanup()
{
    window_.reset();
}

std::unique_ptr<BoardEmulatorProcess> TestVornikBoard::startBoard(const QStringList &options)
{
    auto board = std::make_unique<BoardEmulatorProcess>(options);
    if (!board->start())
        qWarning("board did not start: %s\n%s", qPrintable(board->errorString()),
                 qPrintable(board->log()));
    return board;
}

void TestVornikBoard::connectTo(const BoardEmulatorProcess &board)
{
    Control<QLineEdit>(window_.get(), "HostEdit")->setText(board.hostText());
    Click(window_.get(), "ConnectButton");
    QCOMPARE(StatusText(window_.get()),
             QStringLiteral("Connected to +1 on ") + board.hostText() + QLatin1Char('.'));
}

void TestVornikBoard::layoutBootstrapIsAnImageTheBoardTakes()
{
    auto *list = Control<QListWidget>(window_.get(), "BootstrapList");
    std::string text;
    for (int row = 0; row < list->count(); ++row)
        text += list->item(row)->text().toStdString() + "\r\n";
    ihex::Image image;
    ihex::Error error;
    QVERIFY2(ihex::parse(text, image, error), error.message.c_str());
    const std::vector<std::uint8_t> bytes = image.flatten();
    QVERIFY(bytes.size() >= 6);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(bytes.data()), 6),
             QByteArray("QORB\x01\x01", 6));
}

void TestVornikBoard::boardAtOneZeroIsBroughtUpToDateThroughBootstrap()
{
    auto board = startBoard({QStringLiteral("--revision"), QStringLiteral("0x0100")});
    QVERIFY(board->isRunning());
    connectTo(*board);
    QCOMPARE(RevisionText(window_.get()), QStringLiteral("Current Rev: 1.0"));

    TPaintedStatus painted(window_.get());
    Click(window_.get(), "UploadButton");
    QCOMPARE(painted.texts(), bootstrapPathTexts());
    QCOMPARE(RevisionText(window_.get()), QStringLiteral("Current Rev: 1.0.1"));
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("C--"));
    QCOMPARE(DeviceHandle, nullptr);
    QTRY_COMPARE(ReadFile(board->firmwareFile()), image_);

    // Once it has restarted the board reports the firmware's own revision.
    QTest::qWait(400);
    Click(window_.get(), "ConnectButton");
    QCOMPARE(RevisionText(window_.get()), QStringLiteral("Current Rev: 2.0"));
}

void TestVornikBoard::boardAtOneZeroOneGoesStraightToFirmware()
{
    auto board = startBoard({QStringLiteral("--revision"), QStringLiteral("0x0101")});
    QVERIFY(board->isRunning());
    connectTo(*board);
    QCOMPARE(RevisionText(window_.get()), QStringLiteral("Current Rev: 1.0.1"));

    TPaintedStatus painted(window_.get());
    Click(window_.get(), "UploadButton");
    QCOMPARE(painted.texts(), (QStringList{QStringLiteral("Uploading firmware\u2026"),
                                           QStringLiteral("Uploaded ") + firmware_ + '!'}));
    QVERIFY(!QFile::exists(folders_.bootstrapFile()));
    QTRY_COMPARE(ReadFile(board->firmwareFile()), image_);
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("C--"));
}

void TestVornikBoard::failedRevisionReadTakesBootstrap()
{
    // A board already at 2.0 whose revision read fails: not knowing better, the uploader sends
    // the bootstrap first, and the board still ends up with the firmware.
    auto board = startBoard({QStringLiteral("--revision"), QStringLiteral("0x0200")});
    QVERIFY(board->isRunning());
    auto *hostEdit = Control<QLineEdit>(window_.get(), "HostEdit");
    hostEdit->setText(board->hostText());
    // The read opens its own connection to whatever HostEdit says by then: a port nobody serves.
    TWhenStatusPainted deadHost(
        window_.get(), QStringLiteral("Connected, getting firmware version\u2026"),
        [&] { hostEdit->setText(board->address() + QStringLiteral(":9")); });
    Click(window_.get(), "ConnectButton");
    QCOMPARE(StatusText(window_.get()),
             QStringLiteral("Connected to +1 on ") + board->hostText() + QLatin1Char('.'));
    QCOMPARE(RevisionText(window_.get()), QString());
    QCOMPARE(FirmwareRevision, -1);
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("-DU"));

    hostEdit->setText(board->hostText());
    TPaintedStatus painted(window_.get());
    Click(window_.get(), "UploadButton");
    QCOMPARE(painted.texts(), bootstrapPathTexts());
    QCOMPARE(RevisionText(window_.get()), QStringLiteral("Current Rev: 1.0.1"));
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("C--"));
    QTRY_COMPARE(ReadFile(board->firmwareFile()), image_);
}

void TestVornikBoard::boardRefusingFirmwareShowsItsCode()
{
    auto board = startBoard({QStringLiteral("--revision"), QStringLiteral("0x0101"),
                             QStringLiteral("--refuse-upload"), QStringLiteral("5")});
    QVERIFY(board->isRunning());
    connectTo(*board);
    Click(window_.get(), "UploadButton");

    QCOMPARE(StatusText(window_.get()),
             QStringLiteral("Device returned error 5 uploading firmware."));
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("-DU"));
    QVERIFY(DeviceHandle != nullptr);
    QVERIFY(ReadFile(board->firmwareFile()) != image_);
}

void TestVornikBoard::boardThatDoesNotComeBackFailsReconnection()
{
    // After the bootstrap the board takes far longer to restart than a call may wait.
    auto board = startBoard({QStringLiteral("--revision"), QStringLiteral("0x0100"),
                             QStringLiteral("--restart-ms"), QStringLiteral("6000")});
    QVERIFY(board->isRunning());
    connectTo(*board);
    Click(window_.get(), "UploadButton");

    const QString status = StatusText(window_.get());
    QVERIFY2(status == QStringLiteral("Error %1 reconnecting.").arg(ECONNREFUSED) ||
                 status == QStringLiteral("Error %1 reconnecting.").arg(ETIMEDOUT),
             qPrintable(status));
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("C--"));
    QCOMPARE(DeviceHandle, nullptr);
    QCOMPARE(RevisionText(window_.get()), QString());
}

void TestVornikBoard::noBoardAtAddressFailsConnect()
{
    auto board = startBoard({});
    QVERIFY(board->isRunning());
    // The board's own address, but a port nobody listens on.
    Control<QLineEdit>(window_.get(), "HostEdit")->setText(board->address() + QStringLiteral(":9"));
    Click(window_.get(), "ConnectButton");

    const QString status = StatusText(window_.get());
    QVERIFY2(status == QStringLiteral("Error %1 connecting.").arg(ECONNREFUSED) ||
                 status == QStringLiteral("Error %1 connecting.").arg(ETIMEDOUT),
             qPrintable(status));
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("C--"));
    QVERIFY(!QFile::exists(folders_.settingsFile()));
}

void TestVornikBoard::disconnectFromBoard()
{
    auto board = startBoard({QStringLiteral("--revision"), QStringLiteral("0x0123")});
    QVERIFY(board->isRunning());
    connectTo(*board);
    QCOMPARE(RevisionText(window_.get()), QStringLiteral("Current Rev: 1.2.3"));
    Click(window_.get(), "DisconnectButton");
    QCOMPARE(StatusText(window_.get()), QStringLiteral("Disconnected."));
    QCOMPARE(RevisionText(window_.get()), QString());
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("C--"));
}

void TestVornikBoard::rememberedHostAndFileAppearAtNextStart()
{
    auto board = startBoard({QStringLiteral("--revision"), QStringLiteral("0x0200")});
    QVERIFY(board->isRunning());
    connectTo(*board);
    Click(window_.get(), "UploadButton");
    QCOMPARE(StatusText(window_.get()), QStringLiteral("Uploaded ") + firmware_ + '!');
    window_.reset();

    ResetProgramState();
    window_ = OpenWindow();
    QCOMPARE(Control<QLineEdit>(window_.get(), "HostEdit")->text(), board->hostText());
    QCOMPARE(Control<QLineEdit>(window_.get(), "FirmEdit")->text(), firmware_);
    QTest::qWait(400);
    Click(window_.get(), "ConnectButton");
    QCOMPARE(RevisionText(window_.get()), QStringLiteral("Current Rev: 2.0"));
}

void TestVornikBoard::programDoesNotStartWithoutDeviceLibrary()
{
#ifdef VORNIK_PROGRAM
    // A copy of the program where no libQORETHW.so lies beside it.
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("bin")));
    const QString copy = dir.filePath(QStringLiteral("bin/Vornik"));
    QVERIFY(QFile::copy(QStringLiteral(VORNIK_PROGRAM), copy));
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("LD_LIBRARY_PATH"));
    program.setProcessEnvironment(environment);
    program.start(copy, {});
    QVERIFY(program.waitForFinished(10000));
    QVERIFY(program.exitStatus() != QProcess::NormalExit || program.exitCode() != 0);
    QVERIFY2(program.readAllStandardError().contains("libQORETHW.so"),
             "the loader should name the missing library");
#else
    QSKIP("the program is not built");
#endif
}

QTEST_MAIN(TestVornikBoard)
#include "tst_vornikboard.moc"
