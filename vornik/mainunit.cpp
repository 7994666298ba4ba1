#include "mainunit.h"

#include "errorreport.h"
#include "messagefont.h"
#include "revisiontext.h"
#include "settingsstore.h"
#include "tedgeanchors.h"
#include "textfile.h"
#include "ui_mainunit.h"
#include "vornikerror.h"
#include "windowframe.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QThread>

#include <algorithm>
#include <array>
#include <cerrno>

QEW_HANDLE DeviceHandle = nullptr;
std::int32_t FirmwareRevision = -1;
QByteArray LastHost;
QByteArray LastPath;
QByteArray BootstrapPath;

namespace {

// The board's revision 1.0: boards at or below it need the bootstrap first.
constexpr std::int32_t BootstrapRevision = 256;

QString Number(int error)
{
    return QString::number(static_cast<std::uint32_t>(error));
}

QString UploadErrorText(std::uint32_t result, int boardError, const QString &what)
{
    // 58: the board itself refused, and said why in the last-error code.
    if (result == QEW_ERROR_BAD_NET_RESP)
        return QStringLiteral("Device returned error ") + Number(boardError) +
               QStringLiteral(" uploading ") + what + QLatin1Char('.');
    return QStringLiteral("Error ") + QString::number(result) + QStringLiteral(" uploading ") +
           what + QLatin1Char('.');
}

template<typename Handler>
void Guarded(QWidget *window, Handler handler)
{
    try {
        handler();
    } catch (const TVornikError &error) {
        ShowErrorReport(error.text(), window);
    } catch (const std::exception &error) {
        ShowErrorReport(QString::fromLocal8Bit(error.what()), window);
    }
}

} // namespace

TMainForm::TMainForm(QWidget *parent) : QMainWindow(parent), ui(new Ui::TMainForm)
{
    // Answered while the form is built, where the window manager answers at all.
    AskFrameInAdvance(windowFlags());
    ui->setupUi(this);

    // What the layout cannot hold.
    MainStatusText = new QLabel(ui->MainStatus);
    MainStatusText->setObjectName(QStringLiteral("MainStatusText"));
    ui->MainStatus->addWidget(MainStatusText, 1);
    AnchorToEdges(ui->GroupBox1);
    AnchorToEdges(ui->GroupBox2);
    OpenEm = new QFileDialog(this, QStringLiteral("Select Firmware..."));
    OpenEm->setObjectName(QStringLiteral("OpenEm"));
    OpenEm->setAcceptMode(QFileDialog::AcceptOpen);
    OpenEm->setFileMode(QFileDialog::ExistingFile);
    OpenEm->setNameFilters(
        {QStringLiteral("Intel Hex Files(*.hex)"), QStringLiteral("All Files(*.*)")});
    OpenEm->setDefaultSuffix(QStringLiteral("hex"));
    OpenEm->setSizeGripEnabled(true);
    // End of what the layout cannot hold.

    FormCreate();
}

void TMainForm::setVisible(bool visible)
{
    if (!visible || m_placed) {
        QMainWindow::setVisible(visible);
        return;
    }
    // Centred once, frame included, as it first appears: created at its place, since some window
    // managers (XWayland's in weston) take a window's place from its creation alone.
    m_placed = true;
    ShowCentred(this, [this] { QMainWindow::setVisible(true); });
}

TMainForm::~TMainForm() = default;

void TMainForm::FormCreate()
{
    QFont windowFont = font();
    ApplyMessageFont(windowFont);
    setFont(windowFont);

    Guarded(this, [this] {
        LastPath = ReadSetting(QStringLiteral("LastPath"));
        LastHost = ReadSetting(QStringLiteral("LastHost"));
        if (!LastPath.isEmpty())
            ui->FirmEdit->setText(QString::fromLocal8Bit(LastPath));
        if (!LastHost.isEmpty())
            ui->HostEdit->setText(QString::fromLocal8Bit(LastHost));
    });
}

void TMainForm::ShowStatus(const QString &text)
{
    MainStatusText->setText(text);
    ui->MainStatus->repaint();
}

void TMainForm::ConnectButtonClick()
{
    Guarded(this, [this] { Connect(); });
}

void TMainForm::Connect()
{
    ui->ConnectButton->setEnabled(false);
    FirmwareRevision = -1;
    ui->FirmVerLabel->clear();
    ShowStatus(QStringLiteral("Connecting\u2026"));
    const QByteArray host = ui->HostEdit->text().toLocal8Bit();

    if (!connectForUpload(host, QStringLiteral("connecting"))) {
        ui->ConnectButton->setEnabled(true);
        return;
    }

    ui->DisconnectButton->setEnabled(true);
    ui->UploadButton->setEnabled(true);
    ShowStatus(QStringLiteral("Connected, getting firmware version\u2026"));
    ReadFirmwareRevision();
    ShowStatus(QStringLiteral("Connected to +1 on ") + QString::fromLocal8Bit(host) +
               QLatin1Char('.'));

    LastHost = host;
    WriteSetting(QStringLiteral("LastHost"), LastHost);
}

void TMainForm::DisconnectButtonClick()
{
    ui->DisconnectButton->setEnabled(false);
    FirmwareRevision = -1;
    ui->FirmVerLabel->clear();
    ui->UploadButton->setEnabled(false);
    ShowStatus(QStringLiteral("Disconnecting\u2026"));

    QEW_Disconnect(DeviceHandle);
    DeviceHandle = nullptr;

    ShowStatus(QStringLiteral("Disconnected."));
    ui->ConnectButton->setEnabled(true);
}

void TMainForm::ReadFirmwareRevision()
{
    FirmwareRevision = -1;
    // Its own short connection, so the upload connection is never touched.
    const QByteArray host = ui->HostEdit->text().toLocal8Bit();
    const QEW_HANDLE connection = QEW_Connect(host.constData(), QEW_MODE_STATUS);
    if (!connection)
        return;

    std::array<std::uint8_t, 32> buffer{};
    std::int32_t length = static_cast<std::int32_t>(buffer.size());
    const std::uint32_t result = QEW_GetStatus(connection, &length, buffer.data());
    if (result == QEW_ERROR_SUCCESS && length < 6) {
        // A library may report any length; never show more than the buffer holds.
        const int shown = std::clamp<std::int32_t>(length, 0, buffer.size());
        const QByteArray status(reinterpret_cast<const char *>(buffer.data()), shown);
        ui->FirmVerLabel->setText(QStringLiteral("Unknown Rev, Status: ") + HexDump(status));
    } else if (result == QEW_ERROR_SUCCESS) {
        FirmwareRevision = buffer[3] * 256 + buffer[4];
        ui->FirmVerLabel->setText(QStringLiteral("Current Rev: ") +
                                  FormatRevision(FirmwareRevision));
    } else {
        ui->FirmVerLabel->setText(QStringLiteral("Current Rev: [") + StatusErrorText(result) +
                                  QLatin1Char(']'));
    }
    QEW_Disconnect(connection);
}

void TMainForm::BrowseButtonClick()
{
    OpenEm->selectFile(ui->FirmEdit->text());
    if (OpenEm->exec() != QDialog::Accepted)
        return;
    const QStringList chosen = OpenEm->selectedFiles();
    if (!chosen.isEmpty())
        ui->FirmEdit->setText(QDir::toNativeSeparators(chosen.first()));
}

void TMainForm::UploadButtonClick()
{
    Guarded(this, [this] { Upload(); });
}

void TMainForm::Upload()
{
    ui->UploadButton->setEnabled(false);
    const QByteArray firmware = ui->FirmEdit->text().toLocal8Bit();

    if (FirmwareRevision <= BootstrapRevision && !UploadBootstrap())
        return;

    if (!uploadImage(firmware, QStringLiteral("firmware")))
        return;

    ShowStatus(QStringLiteral("Uploaded ") + QString::fromLocal8Bit(firmware) + QLatin1Char('!'));
    LastPath = firmware;
    WriteSetting(QStringLiteral("LastPath"), LastPath);
    QEW_Disconnect(DeviceHandle);
    DeviceHandle = nullptr;
    ui->DisconnectButton->setEnabled(false);
    ui->ConnectButton->setEnabled(true);
}

// On failure shows the system error, naming what was being done.
bool TMainForm::connectForUpload(const QByteArray &host, const QString &doing)
{
    errno = 0;
    DeviceHandle = QEW_Connect(host.constData(), QEW_MODE_UPLOAD);
    const int error = errno;
    if (DeviceHandle)
        return true;
    ShowStatus(QStringLiteral("Error ") + Number(error) + QLatin1Char(' ') + doing +
               QLatin1Char('.'));
    return false;
}

// Shows the upload going on, and on failure why, giving the Upload button back.
bool TMainForm::uploadImage(const QByteArray &path, const QString &what)
{
    ShowStatus(QStringLiteral("Uploading ") + what + QStringLiteral("\u2026"));
    errno = 0;
    const std::uint32_t result = QEW_UploadFirmwareFile(DeviceHandle, path.constData());
    const int boardError = errno;
    if (result == QEW_ERROR_SUCCESS)
        return true;
    ShowStatus(UploadErrorText(result, boardError, what));
    ui->UploadButton->setEnabled(true);
    return false;
}

bool TMainForm::UploadBootstrap()
{
    if (BootstrapPath.isEmpty()) {
        ShowStatus(QStringLiteral("Unpacking bootstrap\u2026"));
        QString path = QDir::tempPath();
        if (!path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('/');
        path += QStringLiteral("VornikBoostrap.hex");
        // Remembered only once written: a file that failed must never be uploaded later.
        WriteTextFile(BootstrapImage(), path);
        BootstrapPath = QFile::encodeName(path);
    }

    if (!uploadImage(BootstrapPath, QStringLiteral("bootstrap")))
        return false;

    ShowStatus(QStringLiteral("Uploaded bootstrap, reconnecting\u2026"));
    QEW_Disconnect(DeviceHandle);
    FirmwareRevision = -1;
    ui->FirmVerLabel->clear();
    QThread::msleep(1);

    // Back to the host that answered Connect, whatever the edit says now.
    if (!connectForUpload(LastHost, QStringLiteral("reconnecting"))) {
        ui->DisconnectButton->setEnabled(false);
        ui->ConnectButton->setEnabled(true);
        return false;
    }
    ReadFirmwareRevision();
    if (FirmwareRevision < BootstrapRevision)
        ui->UploadButton->setEnabled(true);
    return true;
}

QString TMainForm::BootstrapImage() const
{
    QString image;
    for (int row = 0; row < ui->BootstrapList->count(); ++row)
        image += ui->BootstrapList->item(row)->text() + QStringLiteral("\r\n");
    return image;
}
