#include "networkpanel.h"

#include "errorreport.h"
#include "macchange.h"
#include "netsettings.h"
#include "tradiopanel.h"
#include "ui_template.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <cerrno>

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

void enableEdit(QLineEdit *edit)
{
    edit->setEnabled(true);
    QPalette p = edit->palette();
    p.setColor(QPalette::Base, QApplication::palette().color(QPalette::Base));
    edit->setPalette(p);
}

void disableEdit(QLineEdit *edit)
{
    edit->setEnabled(false);
    QPalette p = edit->palette();
    const QColor parentColor = edit->parentWidget()->palette().color(QPalette::Window);
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        p.setColor(group, QPalette::Base, parentColor);
    edit->setPalette(p);
}

} // namespace

QString TNetworkPanel::IpPanelText()
{
    return QString::fromLatin1(T1);
}

QString TNetworkPanel::NotBoundText()
{
    return QString::fromLatin1(NotBound);
}

QString TNetworkPanel::ConnectedTextTail()
{
    return QString::fromLatin1(T2);
}

QString TNetworkPanel::MacChangedText()
{
    return QStringLiteral("Device's MAC address changed.") + QString::fromLatin1(T2);
}

QString TNetworkPanel::LibraryNotFoundLine()
{
    return QString::fromLatin1(NotFound);
}

TNetworkPanel::TNetworkPanel(Ui::MainForm &form, QWidget *window) : m_form(form), m_window(window)
{
}

TNetworkPanel::~TNetworkPanel() = default;

void TNetworkPanel::BindLibrary()
{
    m_lib = BindEthLibrary();
    if (m_lib.bound()) {
        m_form.IPPanel->setLinesText(IpPanelText());
    } else {
        m_form.IPPanel->setLinesText(NotBoundText());
        m_form.ConnectButton->setEnabled(false);
    }
}

void TNetworkPanel::showStatus(const QString &text, bool repaint)
{
    QPlainTextEdit *memo = m_form.IPPanel->GetStatusMemo();
    if (!memo)
        return;
    memo->setPlainText(MemoText(text));
    // The next call blocks the event loop, so paint the progress text now.
    if (repaint)
        memo->viewport()->repaint();
}

void TNetworkPanel::closeConnection()
{
    m_lib.QEW_Disconnect(m_deviceHandle);
    m_deviceHandle = nullptr;
    enableConnectionControls(false);
}

void TNetworkPanel::enableConnectionControls(bool connected)
{
    // Connect turns on before and off after the rest, so that focus leaving it finds them.
    if (!connected)
        m_form.ConnectButton->setEnabled(true);
    for (QPushButton *button :
         {m_form.ChangeNetButton, m_form.ChangeMACButton, m_form.DisconnectButton})
        button->setEnabled(connected);
    for (QLineEdit *edit : {m_form.SubnetEdit, m_form.GatewayEdit, m_form.MACEdit})
        connected ? enableEdit(edit) : disableEdit(edit);
    if (connected)
        m_form.ConnectButton->setEnabled(false);
}

void TNetworkPanel::ConnectButtonClick()
{
    if (!m_lib.bound())
        return;
    if (m_deviceHandle)
        closeConnection();
    showStatus(QStringLiteral("Connecting..."), true);
    const QString address = m_form.IPEdit->text();
    errno = 0;
    m_deviceHandle = m_lib.QEW_Connect(address.toLocal8Bit().constData(), QEW_MODE_STATUS);
    const quint32 n = quint32(errno);
    if (!m_deviceHandle) {
        showStatus(QStringLiteral("Error %1 connecting to %2.").arg(n).arg(address));
        return;
    }
    m_connectedAddress = address;
    showStatus(QStringLiteral("Connected to ") + address + QLatin1Char('.') + ConnectedTextTail());
    enableConnectionControls(true);
    readStatus();
}

void TNetworkPanel::readStatus()
{
    uint8_t buffer[StatusBufferSize] = {};
    int32_t length = StatusBufferSize;
    QByteArray level1;
    if (m_lib.QEW_GetStatusEx) {
        if (m_lib.QEW_GetStatusEx(m_deviceHandle, 1, &length, buffer) != 0)
            return;
        level1 = QByteArray(reinterpret_cast<const char *>(buffer),
                            ClampLength(length, StatusBufferSize));
    } else {
        if (m_lib.QEW_GetStatus(m_deviceHandle, &length, buffer) != 0)
            return;
        // The level-1 form: one byte in front, so the offsets are the same either way.
        level1 = QByteArray(1, '\0') + QByteArray(reinterpret_cast<const char *>(buffer),
                                                  ClampLength(length, StatusBufferSize));
        level1.truncate(StatusBufferSize);
    }
    const StatusTexts texts = StatusBlockTexts(level1);
    if (!texts.mac.isNull())
        m_form.MACEdit->setText(texts.mac);
    if (!texts.ip.isNull())
        m_form.IPEdit->setText(texts.ip);
    if (!texts.subnet.isNull())
        m_form.SubnetEdit->setText(texts.subnet);
    if (!texts.gateway.isNull())
        m_form.GatewayEdit->setText(texts.gateway);
}

void TNetworkPanel::DisconnectButtonClick()
{
    if (!m_lib.bound() || !m_deviceHandle)
        return;
    closeConnection();
    showStatus(IpPanelText());
}

void TNetworkPanel::ChangeNetButtonClick()
{
    if (!m_lib.bound() || !m_deviceHandle)
        return;
    showStatus(QStringLiteral("Changing settings..."), true);
    const quint32 r =
        m_lib.QEW_ChangeNetworking(m_deviceHandle, m_form.IPEdit->text().toLocal8Bit().constData(),
                                   m_form.SubnetEdit->text().toLocal8Bit().constData(),
                                   m_form.GatewayEdit->text().toLocal8Bit().constData());
    if (r != 0) {
        showStatus(QStringLiteral("Error %1 changing the device's network settings.").arg(r));
        return;
    }
    closeConnection();
    showStatus(QStringLiteral(
        "Device's network settings changed. In a moment, you can connect to it there."));
}

void TNetworkPanel::ChangeMACButtonClick()
{
    if (!m_lib.bound() || !m_deviceHandle)
        return;
    QByteArray mac;
    QString error;
    if (!ParseMac(m_form.MACEdit->text(), &mac, &error)) {
        ShowErrorReport(error, m_window);
        return;
    }
    const QString canonical = FormatBytes(QStringLiteral("-"), "%.2X", mac);
    showStatus(QStringLiteral("Changing MAC address..."), true);
    m_form.MACEdit->setText(canonical);
    // A typed address with a port clears nothing: only a plain address names a cache entry.
    const MacChangeOutcome outcome =
        ChangeMac(m_lib.QEW_DEB_StrToStr, m_deviceHandle, mac, m_connectedAddress, m_arpRunner);
    showStatus(outcome.ok() ? MacChangedText() : outcome.failureText());
}
