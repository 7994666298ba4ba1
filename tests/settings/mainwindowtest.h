// Shared steps of the main-window tests: the real window from its layout, started as the program
// starts it, with the device library searched where the test says.
#pragma once

#include "ethlib.h"
#include "networkpanel.h"
#include "tboardhighlight.h"
#include "tboardimage.h"
#include "template.h"
#include "tpopupform.h"
#include "tradiopanel.h"
#include "tsetupsupporter.h"
#include "tsupportforms.h"
#include "ui_template.h"

#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

namespace MainWindowTest {

// The ten hotspots in layout order.
inline QList<TBoardHighlight *> Hotspots(TMainForm &w)
{
    const Ui::MainForm &f = *w.form();
    return {f.PowerHighlight0, f.PowerHighlight1, f.ETHHighlight, f.ResetHighlight,
            f.FilterHighlight, f.ConnHighlight,   f.LedHighlight, f.DIOHighlight,
            f.IPHighlight,     f.InputHighlight};
}

// Waits in a real event loop, as the program's own does: QTest::qWait never lets the loop block,
// so the application would never go idle.
inline bool WaitFor(const std::function<bool()> &done, int timeoutMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

inline void Spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Builds the window with the device library searched only in folder ("" for nowhere).
inline std::unique_ptr<TMainForm> Create(const QString &folder)
{
    SetEthLibFolders(folder.isEmpty() ? QStringList() : QStringList{folder}, false);
    auto w = std::make_unique<TMainForm>();
    ResetEthLibFolders();
    return w;
}

// Shows it and waits for what start-up does by itself: the first paint of every hotspot, the
// support component's dialogs and the help dialog opening.
inline bool ShowAndSettle(TMainForm &w)
{
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return false;
    for (TBoardHighlight *h : Hotspots(w))
        if (!WaitFor([h] { return h->imagesBuilt(); })) {
            qWarning("%s never painted", qPrintable(h->objectName()));
            return false;
        }
    if (!WaitFor([&w] { return w.setSup()->HelpForm() && w.setSup()->HelpForm()->isVisible(); })) {
        qWarning("the help dialog never opened");
        return false;
    }
    return true;
}

// Points at a hotspot and clicks it, so its popup is open and held.
inline TPopupForm *OpenHeld(TBoardHighlight *h)
{
    h->MouseEntry(false);
    h->click();
    return h->popup();
}

inline QPlainTextEdit *Memo(TMainForm &w)
{
    return w.form()->IPPanel->GetStatusMemo();
}

inline QString MemoText(TMainForm &w)
{
    QPlainTextEdit *m = Memo(w);
    return m ? m->toPlainText() : QString();
}

inline QString Lf(const QString &text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return t;
}

// Runs action while watching for the application's error box; returns its text ("" if none
// came) after closing it.
inline QString ErrorBoxDuring(const std::function<void()> &action)
{
    QString text;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box && box->objectName() == QLatin1String("ErrorReport")) {
            text = box->text();
            box->close();
        }
    });
    poll.start();
    action();
    poll.stop();
    return text;
}

// A window on the stand-in library "full", shown, its IP popup open and held.
inline TPopupForm *OpenIpPopup(TMainForm &w)
{
    return OpenHeld(w.form()->IPHighlight);
}

} // namespace MainWindowTest
