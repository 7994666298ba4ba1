// The uploader's main window: connection, revision readout and the two-stage firmware upload.
#pragma once

#include "qorethw.h"

#include <QByteArray>
#include <QMainWindow>

#include <cstdint>
#include <memory>

class QFileDialog;
class QLabel;

namespace Ui {
class TMainForm;
}

// Program-wide state, one instance per run.
extern QEW_HANDLE DeviceHandle;       // the connection opened by Connect; 0 = not connected
extern std::int32_t FirmwareRevision; // the revision word last read; -1 = none
extern QByteArray LastHost;           // the host of the last successful Connect
extern QByteArray LastPath;           // the firmware file last uploaded
extern QByteArray BootstrapPath;      // the bootstrap file once it is written in this run

class TMainForm : public QMainWindow
{
    Q_OBJECT

public:
    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    void setVisible(bool visible) override;

public slots:
    void ConnectButtonClick();
    void DisconnectButtonClick();
    void BrowseButtonClick();
    void UploadButtonClick();

private:
    void FormCreate();
    void Connect();
    void Upload();
    bool UploadBootstrap();
    bool connectForUpload(const QByteArray &host, const QString &doing);
    bool uploadImage(const QByteArray &path, const QString &what);
    void ReadFirmwareRevision();
    QString BootstrapImage() const;
    // Shows the text and paints it before returning, so it stays visible during a blocking call.
    void ShowStatus(const QString &text);

    std::unique_ptr<Ui::TMainForm> ui;
    QLabel *MainStatusText = nullptr;
    QFileDialog *OpenEm = nullptr;
    bool m_placed = false;
};
