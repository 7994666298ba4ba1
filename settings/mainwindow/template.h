// The settings program's main window: the board photograph with its hotspots, the content panels
// of their popups, the network settings and the option panels.
#pragma once

#include "arpentry.h"
#include "ethlib.h"

#include <QMainWindow>
#include <QMetaObject>
#include <array>

namespace Ui {
class MainForm;
}
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class TSetupSupporter;
class TTwoJumper;

// One input channel of the filter panel; the three controls carry the channel as their Tag.
struct TChannelControl
{
    TTwoJumper *Jumper = nullptr;
    QRadioButton *Plain = nullptr;
    QRadioButton *Filtered = nullptr;
};
using TChannelControls = std::array<TChannelControl, 16>;

class TMainForm : public QMainWindow
{
    Q_OBJECT

public:
    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    // The layout's components, by their names.
    Ui::MainForm *form() const { return ui; }
    TSetupSupporter *setSup() const { return SetSup; }

    // One main window per program, so the window keeps the program's device state.
    const EthLibrary &ethLibrary() const { return m_lib; }
    QEW_HANDLE deviceHandle() const { return DeviceHandle; }
    QString connectedAddress() const { return ConnectedAddress; }
    const TChannelControls &channelControls() const { return ChannelControls; }

    // How the ARP clearing command is run; tests watch it instead of starting processes.
    void setArpRunner(CommandRunner runner) { m_arpRunner = std::move(runner); }

    static QString NotBoundText();
    static QString IpPanelText(); // for a bound library
    static QString ConnectedTextTail();
    static QString MacChangedText();
    static QString LibraryNotFoundLine();

public Q_SLOTS:
    void Howtousethisprogram1Click();
    void Exit2Click();
    void TechnicalSupport1Click();

    void ConnectButtonClick();
    void DisconnectButtonClick();
    void ChangeNetButtonClick();
    void ChangeMACButtonClick();

    void PowerScrewPaintPaint();
    void NetRadioClick(bool checked);
    void ResetNetJumperClick();
    void FilterJumperClick();
    void RelayRadioPlainClick(bool checked);
    void RelayRadioFilteredClick(bool checked);
    void AllPlainButtonClick();
    void AllFilteredButtonClick();

    void ApplicationIdle();

private:
    void FormCreate();
    void CloseConnection();
    void enableConnectionControls(bool connected);
    void EnableEdit(QLineEdit *edit);
    void DisableEdit(QLineEdit *edit);
    QPlainTextEdit *StatusMemo() const;
    void ShowStatus(const QString &text, bool repaint = false);
    void ReadStatus();
    // The filter channel of the control that raised the event, or -1.
    int SenderChannel() const;

    Ui::MainForm *ui;
    TSetupSupporter *SetSup = nullptr;
    EthLibrary m_lib;
    QEW_HANDLE DeviceHandle = nullptr;
    QString ConnectedAddress;
    TChannelControls ChannelControls;
    QMetaObject::Connection m_idleConnection;
    CommandRunner m_arpRunner = RunSystemCommand;
};
