// A main window as a host builds it: a client area with a board image among
// other controls, and a menu bar.
#pragma once

#include "tboardimage.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QTimer>

#include <functional>
#include <memory>

// A board image that remembers the tours it was asked to start (derived
// classes count as board images).
class RecordingBoardImage : public TBoardImage
{
    Q_OBJECT
public:
    using TBoardImage::TBoardImage;
    int tours = 0;

protected:
    bool event(QEvent *e) override
    {
        if (e->type() == WM_STARTTOUR)
            ++tours;
        return TBoardImage::event(e);
    }
};

struct HostWindow
{
    std::unique_ptr<QMainWindow> window;
    QWidget *clientArea = nullptr;
    RecordingBoardImage *boardImage = nullptr;
    QMenu *fileMenu = nullptr;
};

inline HostWindow makeHostWindow(const QString &fileMenuTitle = QStringLiteral("&File"),
                                 bool withBoardImage = true)
{
    HostWindow host;
    host.window = std::make_unique<QMainWindow>();
    host.window->setObjectName(QStringLiteral("MainForm"));
    host.clientArea = new QWidget;
    host.clientArea->setObjectName(QStringLiteral("ClientArea"));
    host.window->setCentralWidget(host.clientArea);
    // A control before the board image that is not one.
    (new QWidget(host.clientArea))->setObjectName(QStringLiteral("Panel1"));
    if (withBoardImage) {
        host.boardImage = new RecordingBoardImage(host.clientArea);
        host.boardImage->setObjectName(QStringLiteral("BoardImage1"));
    }
    host.fileMenu = host.window->menuBar()->addMenu(fileMenuTitle);
    host.fileMenu->addAction(QStringLiteral("E&xit"))->setObjectName(QStringLiteral("Exit2"));
    host.window->menuBar()->addMenu(QStringLiteral("&Help"));
    host.window->resize(1000, 700);
    host.window->show();
    return host;
}

// Acts on the next modal window from inside its own event loop.
inline void answerNextModal(std::function<void(QWidget *)> act)
{
    auto *poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            act(w);
        }
    });
    poll->start();
}
