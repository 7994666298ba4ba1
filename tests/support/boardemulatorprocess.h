// Runs board-emulator for a test on an address of its own, so tests can run side by side.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class BoardEmulatorProcess : public QObject
{
    Q_OBJECT

public:
    // extraArgs go to the emulator as they are; --address, --port, --state and --firmware-out
    // among them replace the ones chosen here.
    explicit BoardEmulatorProcess(QStringList extraArgs = {}, QObject *parent = nullptr);
    ~BoardEmulatorProcess() override;

    // Starts it and waits for it to listen. Started again after stop(), it keeps its address
    // and its state file, as a board that is switched off and on.
    bool start(int timeoutMs = 5000);
    void stop();
    bool isRunning() const;
    // Waits for the process to end by itself (say, after --die-after-bytes).
    bool waitForFinished(int timeoutMs = 5000);
    int exitCode() const { return process_.exitCode(); }

    // Where it listens now; follows a move to a new address.
    QString address() const;
    quint16 port() const { return port_; }
    // What to type into a program or hand to QEW_Connect.
    QString hostText() const;
    QString stateFile() const { return stateFile_; }
    // The committed image, as raw binary.
    QString firmwareFile() const { return firmwareFile_; }
    QByteArray firmware() const;

    // Everything it has printed so far.
    QString log() const;
    // Waits until its output contains text.
    bool waitForLog(const QString &text, int timeoutMs = 5000) const;
    QString errorString() const { return error_; }
    QString emulatorPath() const;

private:
    void readOutput() const;
    bool launch(int timeoutMs);
    static QString freshAddress(quint16 port);
    static QString optionValue(const QStringList &args, const QString &name);

    QStringList extraArgs_;
    QTemporaryDir dir_;
    QString address_;
    quint16 port_ = 0;
    QString stateFile_;
    QString firmwareFile_;
    bool fixedAddress_ = false;
    QString error_;
    mutable QProcess process_;
    mutable QByteArray output_;
    mutable QString listening_;
};
