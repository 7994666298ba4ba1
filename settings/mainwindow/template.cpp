#include "template.h"

#include "accessiblenames.h"
#include "errorreport.h"
#include "jpegimage.h"
#include "netsettings.h"
#include "powerscrew.h"
#include "taccessiblecontrols.h"
#include "tboardhighlight.h"
#include "tboardimage.h"
#include "tjumper.h"
#include "tradiopanel.h"
#include "tsetupsupporter.h"
#include "tsupportforms.h"
#include "ui_template.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QFile>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextEdit>
#include <QWindow>
#include <cerrno>
#include <exception>
#include <future>

static void InitPictures()
{
    Q_INIT_RESOURCE(pictures);
}

// The layout's font is a Windows face; where it is missing, a narrow sans keeps the texts inside
// the layout's sizes.
static void SubstituteLayoutFont()
{
    static const bool done = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Microsoft Sans Serif"),
                                    QStringLiteral("DejaVu Sans Condensed"),
                                    QStringLiteral("Liberation Sans Narrow")});
        return true;
    }();
    Q_UNUSED(done);
}

namespace {

const char T1[] =
    "Here you can connect to a device and change its network settings. Before you can connect, "
    "you may need to change this computer's network settings, as follows:\r\n\r\n* In the "
    "properties for the network connection, select Internet Protocol Version 4 (or just Internet "
    "Protocol) and click Properties.\r\n\r\n* Note the existing settings. If it's already on the "
    "same subnet as the device, you don't need to change the settings, you can close the "
    "properties and connect here.\r\n\r\n* Otherwise, write down the existing settings and "
    "proceed:\r\n\r\n* Change the IP address and subnet mask to a different address on the same "
    "subnet. Click OK twice to use those settings.\r\n\r\n* Connect here, and change the "
    "device's network settings.\r\n\r\n* Go back to the properties for the network connection, "
    "and change the IP address and subnet mask back to what they were before.\r\n";

const char T2[] =
    "\r\n\r\nChange the device's IP address, subnet mask, and/or gateway IP address above, and "
    "click that Change button to change it on the device. Alternately, change the device's MAC "
    "address above, and click that Change button to change it on the device.\r\n\r\nIf you want "
    "to change both, first change the MAC, and then change the IP/subnet/gateway.";

const char NotBound[] = "Once drivers are installed and a device is plugged in, you can connect "
                        "to it and change its network settings here.\r\n";

const char NotFound[] = "QORETHW.dll was not found; it's needed to configure the IP address in "
                        "this setup program, and to run the sample.";

const int StatusBufferSize = 256;

struct Photograph
{
    QImage image;
    QString error;
};

Photograph DecodeBoardPhotograph()
{
    Photograph photo;
    QFile file(QStringLiteral(":/pictures/board.jpg"));
    if (file.open(QIODevice::ReadOnly))
        photo.image = DecodeJpeg(file.readAll(), &photo.error);
    else
        photo.error = file.errorString();
    return photo;
}

// A text area shows line breaks as LF only.
QString MemoText(const QString &text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return t;
}

int ClampLength(int32_t length, int capacity)
{
    return qBound(0, int(length), capacity);
}

} // namespace

QString TMainForm::IpPanelText()
{
    return QString::fromLatin1(T1);
}

QString TMainForm::NotBoundText()
{
    return QString::fromLatin1(NotBound);
}

QString TMainForm::ConnectedTextTail()
{
    return QString::fromLatin1(T2);
}

QString TMainForm::MacChangedText()
{
    return QStringLiteral("Device's MAC address changed.") + QString::fromLatin1(T2);
}

QString TMainForm::LibraryNotFoundLine()
{
    return QString::fromLatin1(NotFound);
}

TMainForm::TMainForm(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainForm)
{
    InstallSetupCtrlsAccessibility();
    InitPictures();
    SubstituteLayoutFont();
    // Decoding the photograph takes about as long as building the layout: do both at once.
    std::future<Photograph> photograph =
        std::async(std::launch::async | std::launch::deferred, DecodeBoardPhotograph);
    ui->setupUi(this);

    // ---- Stored layout, continued: what a .ui cannot hold, in stored order. ----
    {
        move(305, 77); // a top-level's place is not kept by uic; the window opens maximised
        setWindowState(Qt::WindowMaximized);

        const Photograph photo = photograph.get();
        const QImage &picture = photo.image;
        if (picture.isNull())
            qWarning("board photograph not decoded: %s", qPrintable(photo.error));
        ui->BoardImage1->setPicture(picture, TPicture::gkJpeg);
        ui->BoardImage1->setStretch(true);

        // The panels keep the window's font when they move into their popups.
        for (TRadioPanel *panel :
             {ui->PowerPanel, ui->ETHPanel, ui->LEDPanel, ui->IPPanel, ui->ResetNetPanel,
              ui->FilterPanel, ui->ConnLEDPanel, ui->InputPanel, ui->RelayPanel})
            panel->setFont(font());

        SetSup = new TSetupSupporter(this);
        SetSup->setObjectName(QStringLiteral("SetSup"));
        SetSup->setCompanyName(QStringLiteral("Kestrune"));
        SetSup->setCardNameA(QStringLiteral("NET-RLX-16/NET-INX-16"));
        SetSup->setCardNameB(QStringLiteral("NET-DX32-EM/SS"));
        SetSup->setCallHow(QStringLiteral(
            "Monday through Friday from 8:00 a.m. to 5:00 p.m. Central Time, toll-free at "
            "1-800-555-0142,"));
        SetSup->setChangeButtons(true);
        SetSup->setBSeries(false);
    }
    // ---- End of the stored layout. ----

    FormCreate();
}

TMainForm::~TMainForm()
{
    if (m_idleConnection)
        disconnect(m_idleConnection);
    delete ui;
}

void TMainForm::FormCreate()
{
    m_idleConnection =
        connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
                &TMainForm::ApplicationIdle);

    const QString hex = QStringLiteral("0123456789ABCDEF");
    for (int i = 0; i < 16; ++i) {
        const QString h = hex.mid(i, 1);
        ChannelControls[size_t(i)] = {
            findChild<TTwoJumper *>(QStringLiteral("FilterJumper") + h),
            findChild<QRadioButton *>(QStringLiteral("RelayRadio") + h),
            findChild<QRadioButton *>(QStringLiteral("RelayRadio") + h + QLatin1Char('F'))};
    }
    NameForScreenReaders(*ui, ChannelControls);

    m_lib = BindEthLibrary();
    if (m_lib.bound()) {
        ui->IPPanel->setLinesText(IpPanelText());
    } else {
        ui->IPPanel->setLinesText(NotBoundText());
        ui->ConnectButton->setEnabled(false);
    }
}

void TMainForm::ApplicationIdle()
{
    // The window paints before the program first goes idle; Qt may block before the window is
    // on screen, and that moment does not count.
    if (isVisible() && windowHandle() && !windowHandle()->isExposed())
        return;
    disconnect(m_idleConnection);
    m_idleConnection = {};
    try {
        SetSup->BuildDialogs();
    } catch (const std::exception &e) {
        ShowErrorReport(QString::fromLocal8Bit(e.what()), this);
        return;
    }
    if (!m_lib.bound()) {
        if (QTextEdit *rich = SetSup->HelpRich()) {
            // The text view's own cursor sits on the bold title; the help ends in body text,
            // whose format the added lines take.
            QTextCursor end(rich->document());
            end.movePosition(QTextCursor::End);
            const QTextCharFormat body = end.charFormat();
            for (int i = 0; i < 3; ++i)
                end.insertBlock(end.blockFormat(), body);
            end.insertText(LibraryNotFoundLine(), body);
        }
    }
}

void TMainForm::Howtousethisprogram1Click()
{
    if (QWidget *help = SetSup->HelpForm())
        help->setVisible(true);
}

void TMainForm::TechnicalSupport1Click()
{
    if (QWidget *tech = SetSup->TechForm())
        tech->setVisible(true);
}

void TMainForm::Exit2Click()
{
    close();
}

// ---- Network settings ----

QPlainTextEdit *TMainForm::StatusMemo() const
{
    return ui->IPPanel->GetStatusMemo();
}

void TMainForm::ShowStatus(const QString &text, bool repaint)
{
    QPlainTextEdit *memo = StatusMemo();
    if (!memo)
        return;
    memo->setPlainText(MemoText(text));
    // The next call blocks the event loop, so paint the progress text now.
    if (repaint)
        memo->viewport()->repaint();
}

void TMainForm::EnableEdit(QLineEdit *edit)
{
    edit->setEnabled(true);
    QPalette p = edit->palette();
    p.setColor(QPalette::Base, QApplication::palette().color(QPalette::Base));
    edit->setPalette(p);
}

void TMainForm::DisableEdit(QLineEdit *edit)
{
    edit->setEnabled(false);
    QPalette p = edit->palette();
    const QColor parentColor = edit->parentWidget()->palette().color(QPalette::Window);
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        p.setColor(group, QPalette::Base, parentColor);
    edit->setPalette(p);
}

void TMainForm::CloseConnection()
{
    m_lib.QEW_Disconnect(DeviceHandle);
    DeviceHandle = nullptr;
    enableConnectionControls(false);
}

void TMainForm::enableConnectionControls(bool connected)
{
    // Connect turns on before and off after the rest, so that focus leaving it finds them.
    if (!connected)
        ui->ConnectButton->setEnabled(true);
    for (QPushButton *button : {ui->ChangeNetButton, ui->ChangeMACButton, ui->DisconnectButton})
        button->setEnabled(connected);
    for (QLineEdit *edit : {ui->SubnetEdit, ui->GatewayEdit, ui->MACEdit})
        connected ? EnableEdit(edit) : DisableEdit(edit);
    if (connected)
        ui->ConnectButton->setEnabled(false);
}

void TMainForm::ConnectButtonClick()
{
    if (!m_lib.bound())
        return;
    if (DeviceHandle)
        CloseConnection();
    ShowStatus(QStringLiteral("Connecting..."), true);
    const QString address = ui->IPEdit->text();
    errno = 0;
    DeviceHandle = m_lib.QEW_Connect(address.toLocal8Bit().constData(), QEW_MODE_STATUS);
    const quint32 n = quint32(errno);
    if (!DeviceHandle) {
        ShowStatus(QStringLiteral("Error %1 connecting to %2.").arg(n).arg(address));
        return;
    }
    ConnectedAddress = address;
    ShowStatus(QStringLiteral("Connected to ") + address + QLatin1Char('.') + ConnectedTextTail());
    enableConnectionControls(true);
    ReadStatus();
}

void TMainForm::ReadStatus()
{
    uint8_t buffer[StatusBufferSize] = {};
    int32_t length = StatusBufferSize;
    QByteArray level1;
    if (m_lib.QEW_GetStatusEx) {
        if (m_lib.QEW_GetStatusEx(DeviceHandle, 1, &length, buffer) != 0)
            return;
        level1 = QByteArray(reinterpret_cast<const char *>(buffer),
                            ClampLength(length, StatusBufferSize));
    } else {
        if (m_lib.QEW_GetStatus(DeviceHandle, &length, buffer) != 0)
            return;
        // The level-1 form: one byte in front, so the offsets are the same either way.
        level1 = QByteArray(1, '\0') + QByteArray(reinterpret_cast<const char *>(buffer),
                                                  ClampLength(length, StatusBufferSize));
        level1.truncate(StatusBufferSize);
    }
    const StatusTexts texts = StatusBlockTexts(level1);
    if (!texts.mac.isNull())
        ui->MACEdit->setText(texts.mac);
    if (!texts.ip.isNull())
        ui->IPEdit->setText(texts.ip);
    if (!texts.subnet.isNull())
        ui->SubnetEdit->setText(texts.subnet);
    if (!texts.gateway.isNull())
        ui->GatewayEdit->setText(texts.gateway);
}

void TMainForm::DisconnectButtonClick()
{
    if (!m_lib.bound() || !DeviceHandle)
        return;
    CloseConnection();
    ShowStatus(IpPanelText());
}

void TMainForm::ChangeNetButtonClick()
{
    if (!m_lib.bound() || !DeviceHandle)
        return;
    ShowStatus(QStringLiteral("Changing settings..."), true);
    const quint32 r =
        m_lib.QEW_ChangeNetworking(DeviceHandle, ui->IPEdit->text().toLocal8Bit().constData(),
                                   ui->SubnetEdit->text().toLocal8Bit().constData(),
                                   ui->GatewayEdit->text().toLocal8Bit().constData());
    if (r != 0) {
        ShowStatus(QStringLiteral("Error %1 changing the device's network settings.").arg(r));
        return;
    }
    CloseConnection();
    ShowStatus(QStringLiteral(
        "Device's network settings changed. In a moment, you can connect to it there."));
}

void TMainForm::ChangeMACButtonClick()
{
    if (!m_lib.bound() || !DeviceHandle)
        return;
    QByteArray mac;
    QString error;
    if (!ParseMac(ui->MACEdit->text(), &mac, &error)) {
        ShowErrorReport(error, this);
        return;
    }
    const QString canonical = FormatBytes(QStringLiteral("-"), "%.2X", mac);
    ShowStatus(QStringLiteral("Changing MAC address..."), true);
    ui->MACEdit->setText(canonical);

    const QByteArray command = QByteArrayLiteral("ChMC") + mac;
    int32_t inLength = int32_t(command.size());
    int32_t outLength = StatusBufferSize;
    uint8_t reply[StatusBufferSize] = {};
    const quint32 r = m_lib.QEW_DEB_StrToStr(DeviceHandle, &inLength,
                                             reinterpret_cast<const uint8_t *>(command.constData()),
                                             &outLength, reply);

    // The computer's cached entry still names the old MAC, whatever the board answered.
    if (!ConnectedAddress.isEmpty())
        ClearArpEntry(ConnectedAddress, m_arpRunner);

    if (r != 0) {
        ShowStatus(QStringLiteral("Error %1 changing the device's MAC address.").arg(r));
        return;
    }
    const QByteArray answer(reinterpret_cast<const char *>(reply),
                            ClampLength(outLength, StatusBufferSize));
    if (answer.startsWith("_Err")) {
        const quint32 code = BytesToInt(answer.mid(4));
        ShowStatus(QStringLiteral("Remote error %1 changing the device's MAC address.").arg(code));
        return;
    }
    ShowStatus(MacChangedText());
}

// ---- Option panels ----

int TMainForm::SenderChannel() const
{
    const QObject *from = sender();
    if (!from)
        return -1;
    bool ok = false;
    const int i = from->property("Tag").toInt(&ok);
    return ok && i >= 0 && i < 16 && ChannelControls[size_t(i)].Jumper ? i : -1;
}

void TMainForm::FilterJumperClick()
{
    const int i = SenderChannel();
    if (i < 0)
        return;
    const TChannelControl &c = ChannelControls[size_t(i)];
    if (c.Jumper->closed())
        c.Filtered->setChecked(true);
    else
        c.Plain->setChecked(true);
}

void TMainForm::RelayRadioPlainClick(bool checked)
{
    const int i = SenderChannel();
    if (!checked || i < 0)
        return;
    const TChannelControl &c = ChannelControls[size_t(i)];
    c.Jumper->setClosed(!c.Plain->isChecked());
}

void TMainForm::RelayRadioFilteredClick(bool checked)
{
    const int i = SenderChannel();
    if (!checked || i < 0)
        return;
    const TChannelControl &c = ChannelControls[size_t(i)];
    c.Jumper->setClosed(c.Filtered->isChecked());
}

void TMainForm::AllPlainButtonClick()
{
    for (const TChannelControl &c : ChannelControls)
        c.Plain->setChecked(true);
}

void TMainForm::AllFilteredButtonClick()
{
    for (const TChannelControl &c : ChannelControls)
        c.Filtered->setChecked(true);
}

void TMainForm::NetRadioClick(bool checked)
{
    if (!checked)
        return;
    ui->ResetNetJumper->setJumperState(ui->ResetNetRadio->isChecked() ? TThreeJumper::jsRight
                                                                      : TThreeJumper::jsLeft);
}

void TMainForm::ResetNetJumperClick()
{
    if (ui->ResetNetJumper->jumperState() == TThreeJumper::jsLeft)
        ui->NormNetRadio->setChecked(true);
    else
        ui->ResetNetRadio->setChecked(true);
}

void TMainForm::PowerScrewPaintPaint()
{
    QPainter painter(ui->PowerScrewPaint);
    PaintPowerScrew(painter, ui->PowerScrewPaint->rect());
}
