// The network-settings popup: the device library's binding, the connection to one board, its
// status, and the changes of its IP settings and MAC address.
#pragma once

#include "arpentry.h"
#include "ethlib.h"

#include <QString>

namespace Ui {
class MainForm;
}
class QLineEdit;
class QWidget;

class TNetworkPanel
{
public:
    // The controls are the layout's; window parents the error boxes.
    TNetworkPanel(Ui::MainForm &form, QWidget *window);
    ~TNetworkPanel();
    TNetworkPanel(const TNetworkPanel &) = delete;
    TNetworkPanel &operator=(const TNetworkPanel &) = delete;

    // Binds the device library and sets the popup's text for what was found.
    void BindLibrary();

    // The program's device state.
    const EthLibrary &ethLibrary() const { return m_lib; }
    QEW_HANDLE deviceHandle() const { return m_deviceHandle; }
    QString connectedAddress() const { return m_connectedAddress; }

    // How the ARP clearing command is run; tests watch it instead of starting processes.
    void setArpRunner(CommandRunner runner) { m_arpRunner = std::move(runner); }

    void ConnectButtonClick();
    void DisconnectButtonClick();
    void ChangeNetButtonClick();
    void ChangeMACButtonClick();

    static QString NotBoundText();
    static QString IpPanelText(); // for a bound library
    static QString ConnectedTextTail();
    static QString MacChangedText();
    static QString LibraryNotFoundLine();

private:
    void closeConnection();
    void enableConnectionControls(bool connected);
    void showStatus(const QString &text, bool repaint = false);
    void readStatus();

    Ui::MainForm &m_form;
    QWidget *m_window;
    EthLibrary m_lib;
    QEW_HANDLE m_deviceHandle = nullptr;
    QString m_connectedAddress;
    CommandRunner m_arpRunner = RunSystemCommand;
};
