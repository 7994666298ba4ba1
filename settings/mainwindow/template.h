// The settings program's main window: the board photograph with its hotspots, the content panels
// of their popups and the option panels; the network popup's work is its TNetworkPanel's.
#pragma once

#include "channelcontrols.h"

#include <QMainWindow>
#include <QMetaObject>
#include <memory>

namespace Ui {
class MainForm;
}
class TNetworkPanel;
class TSetupSupporter;

class TMainForm : public QMainWindow
{
    Q_OBJECT

public:
    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    // The layout's components, by their names.
    Ui::MainForm *form() const { return ui; }
    TSetupSupporter *setSup() const { return SetSup; }

    // One main window per program, so its network panel keeps the program's device state.
    TNetworkPanel &network() const { return *m_network; }
    const TChannelControls &channelControls() const { return ChannelControls; }

public Q_SLOTS:
    void Howtousethisprogram1Click();
    void Exit2Click();
    void TechnicalSupport1Click();

    // The layout binds the network popup's buttons here by name.
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
    // The filter channel of the control that raised the event, or -1.
    int SenderChannel() const;

    Ui::MainForm *ui;
    TSetupSupporter *SetSup = nullptr;
    std::unique_ptr<TNetworkPanel> m_network;
    TChannelControls ChannelControls;
    QMetaObject::Connection m_idleConnection;
};
