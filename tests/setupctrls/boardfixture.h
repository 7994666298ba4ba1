// A main window put together the way a setup guide's layout builds it: a
// menu with "&File" and "&Help", a board image on the central widget,
// hotspots on the board and hidden content panels beside it.
#pragma once

#include "tboardhighlight.h"
#include "tboardimage.h"
#include "tpopupform.h"
#include "tradiopanel.h"

#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include <memory>
#include <utility>

inline QImage solidImage(int w, int h, QColor colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

struct BoardFixture
{
    std::unique_ptr<QMainWindow> window;
    QMenuBar *menuBar = nullptr;
    QWidget *central = nullptr;
    TBoardImage *board = nullptr;

    explicit BoardFixture(QSize boardSize = QSize(300, 200), QPoint boardPos = QPoint(40, 30))
        : window(std::make_unique<QMainWindow>())
    {
        window->setObjectName(QStringLiteral("MainForm"));
        window->setWindowTitle(QStringLiteral("Settings"));
        menuBar = window->menuBar();
        addTopMenu(QStringLiteral("&File"), QStringLiteral("File1"));
        addTopMenu(QStringLiteral("&Help"), QStringLiteral("Help1"));
        central = new QWidget;
        window->setCentralWidget(central);
        board = new TBoardImage(central);
        board->setObjectName(QStringLiteral("BoardImage1"));
        board->setGeometry(QRect(boardPos, boardSize));
        board->setMenu(menuBar);
        board->setAutoSize(false);
        board->setPicture(solidImage(boardSize.width(), boardSize.height(), QColor(100, 100, 100)),
                          TPicture::gkJpeg);
        board->setStretch(true);
        window->resize(420, 320);
        window->move(0, 0);
    }

    QMenu *addTopMenu(const QString &caption, const QString &name)
    {
        auto *menu = new QMenu(caption, window.get());
        menu->setObjectName(name);
        menuBar->addMenu(menu);
        return menu;
    }

    TBoardHighlight *addHotspot(const QString &name, const QRect &geometry, THighlightType type,
                                const QString &title, TRadioPanel *panel = nullptr,
                                QWidget *parent = nullptr)
    {
        auto *hotspot = new TBoardHighlight(parent ? parent : board);
        hotspot->setObjectName(name);
        hotspot->setGeometry(geometry);
        hotspot->setHighlightType(type);
        hotspot->setTitle(title);
        hotspot->setRadioPanel(panel);
        return hotspot;
    }

    // The hotspot most tests point at: an information hotspot "H" titled "&Hot".
    TBoardHighlight *addHot(const QRect &geometry, TRadioPanel *panel = nullptr)
    {
        return addHotspot("H", geometry, TBoardHighlight::htOptions, "&Hot", panel);
    }

    // Two information hotspots side by side with one title: linked.
    std::pair<TBoardHighlight *, TBoardHighlight *> addLinkedPair()
    {
        return {addHotspot("A", QRect(10, 10, 40, 40), TBoardHighlight::htOptions, "&Linked"),
                addHotspot("B", QRect(60, 10, 40, 40), TBoardHighlight::htOptions, "&Linked")};
    }

    TRadioPanel *addPanel(const QString &name, const QRect &geometry, const QStringList &lines = {})
    {
        auto *panel = new TRadioPanel(central);
        panel->setObjectName(name);
        panel->setGeometry(geometry);
        panel->setLines(lines);
        return panel;
    }

    // Shows the window and waits for the first paint of every hotspot.
    bool show()
    {
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            return false;
        const auto hotspots = board->findChildren<TBoardHighlight *>();
        for (TBoardHighlight *hotspot : hotspots) {
            if (!hotspot->isVisible())
                continue;
            if (!QTest::qWaitFor([hotspot] { return hotspot->imagesBuilt(); }, 2000))
                return false;
        }
        return true;
    }

    // Shows the window, then points at hotspot (which opens its popup when it makes one).
    bool showAndEnter(TBoardHighlight *hotspot);

    QStringList topCaptions() const
    {
        QStringList captions;
        const auto actions = menuBar->actions();
        for (QAction *action : actions)
            captions << action->text();
        return captions;
    }

    QMenu *category(const QString &caption) const
    {
        const auto actions = menuBar->actions();
        for (QAction *action : actions) {
            if (action->text() == caption)
                return action->menu();
        }
        return nullptr;
    }

    QStringList entryCaptions(const QString &caption) const
    {
        QStringList captions;
        if (QMenu *menu = category(caption)) {
            const auto actions = menu->actions();
            for (QAction *action : actions)
                captions << action->text();
        }
        return captions;
    }

    QAction *entry(const QString &categoryCaption, const QString &title) const
    {
        if (QMenu *menu = category(categoryCaption)) {
            const auto actions = menu->actions();
            for (QAction *action : actions) {
                if (action->text() == title)
                    return action;
            }
        }
        return nullptr;
    }
};

// Pointer notifications delivered straight to a widget, so that tests do not
// depend on where the platform believes the pointer is.
inline void sendEnter(QWidget *widget)
{
    const QPointF local(1, 1);
    QEnterEvent event(local, local, widget->mapToGlobal(local));
    QCoreApplication::sendEvent(widget, &event);
}

inline void sendLeave(QWidget *widget, QPoint pointerAt)
{
    QCursor::setPos(pointerAt);
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(widget, &event);
}

inline int popupCount()
{
    int count = 0;
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (qobject_cast<TPopupForm *>(window))
            ++count;
    }
    return count;
}

// A screen position outside every window of the fixture and its popups.
inline QPoint nowhere()
{
    return QPoint(790, 790);
}

inline bool BoardFixture::showAndEnter(TBoardHighlight *hotspot)
{
    if (!show())
        return false;
    sendEnter(hotspot);
    return true;
}
