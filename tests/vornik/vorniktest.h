// What the uploader's window tests share: private folders, the window, its texts and reports.
#pragma once

#include "mainunit.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace vorniktest {

// The settings store and the temporary-files folder of this test run alone.
class TPrivateFolders
{
public:
    TPrivateFolders()
    {
        QStandardPaths::setTestModeEnabled(true);
        QDir(root_.path()).mkpath(QStringLiteral("config"));
        QDir(root_.path()).mkpath(QStringLiteral("temp"));
        QDir(root_.path()).mkpath(QStringLiteral("system"));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configFolder());
        QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, systemFolder());
        qputenv("TMPDIR", QFile::encodeName(tempFolder()));
    }
    QString configFolder() const { return root_.filePath(QStringLiteral("config")); }
    QString tempFolder() const { return root_.filePath(QStringLiteral("temp")); }
    // Where QSettings looks for settings shared by every user.
    QString systemFolder() const { return root_.filePath(QStringLiteral("system")); }
    QString settingsFile() const { return configFolder() + QStringLiteral("/Kestrune/Vornik.ini"); }
    QString bootstrapFile() const { return tempFolder() + QStringLiteral("/VornikBoostrap.hex"); }
    // Empties the folders, as before the program's first run.
    void clear() const
    {
        for (const QString &folder : {configFolder(), tempFolder(), systemFolder()}) {
            QDir dir(folder);
            dir.removeRecursively();
            QDir().mkpath(folder);
        }
    }

private:
    QTemporaryDir root_;
};

// A new run of the program: its program-wide state as at start.
inline void ResetProgramState()
{
    DeviceHandle = nullptr;
    FirmwareRevision = -1;
    LastHost.clear();
    LastPath.clear();
    BootstrapPath.clear();
}

inline std::unique_ptr<TMainForm> OpenWindow()
{
    auto window = std::make_unique<TMainForm>();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qWarning("the window was not exposed");
    return window;
}

template<typename T>
T *Control(QWidget *window, const char *name)
{
    T *control = window->findChild<T *>(QString::fromLatin1(name));
    if (!control)
        qFatal("no control %s", name);
    return control;
}

inline QPushButton *Button(QWidget *window, const char *name)
{
    return Control<QPushButton>(window, name);
}

inline QString StatusText(QWidget *window)
{
    return Control<QLabel>(window, "MainStatusText")->text();
}

inline QString RevisionText(QWidget *window)
{
    return Control<QLabel>(window, "FirmVerLabel")->text();
}

// Which of Connect, Disconnect, Upload are enabled, as "CDU" with "-" for a disabled one.
inline QString ButtonStates(QWidget *window)
{
    QString states;
    states += Button(window, "ConnectButton")->isEnabled() ? QLatin1Char('C') : QLatin1Char('-');
    states += Button(window, "DisconnectButton")->isEnabled() ? QLatin1Char('D') : QLatin1Char('-');
    states += Button(window, "UploadButton")->isEnabled() ? QLatin1Char('U') : QLatin1Char('-');
    return states;
}

inline void Click(QWidget *window, const char *button)
{
    QTest::mouseClick(Button(window, button), Qt::LeftButton);
}

// The texts the status bar actually painted, in order (a text painted twice in a row counts once).
class TPaintedStatus : public QObject
{
public:
    explicit TPaintedStatus(QWidget *window) : label_(Control<QLabel>(window, "MainStatusText"))
    {
        label_->installEventFilter(this);
    }
    const QStringList &texts() const { return texts_; }
    QString last() const { return texts_.isEmpty() ? QString() : texts_.last(); }
    void clear() { texts_.clear(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == label_ && event->type() == QEvent::Paint && last() != label_->text())
            texts_.append(label_->text());
        return false;
    }

private:
    QLabel *label_;
    QStringList texts_;
};

// Answers every error report while it lives, keeping the reports' texts.
class TErrorReports : public QObject
{
public:
    TErrorReports()
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box && box->objectName() == QLatin1String("ErrorReport")) {
                titles_.append(box->windowTitle());
                texts_.append(box->text());
                box->accept();
            }
        });
        timer_.start();
    }
    const QStringList &texts() const { return texts_; }
    const QStringList &titles() const { return titles_; }

private:
    QTimer timer_;
    QStringList texts_;
    QStringList titles_;
};

} // namespace vorniktest
