// Start-up and popup timings of the settings main window.
//
//   bench_settings [--runs N]        both measurements, as a table
//   bench_settings --child settings  (used by the first) the main window, exits once all ten
//   bench_settings --child bare      rings have painted; a bare main window of the same size
//   bench_settings --child menu      (the bare window with a two-menu bar, for comparison)
//
// Start-up: wall time from starting a process until its window has painted, for the settings
// window (all ten rings) and for a bare QMainWindow of the same size started the same way, in
// alternation; the figure is the ratio of the medians. Popups: for each hotspot, the time from the
// mouse entering it until its popup is visible, and until the popup has painted, at the first and
// at later showings.
#include "ethlib.h"
#include "tboardhighlight.h"
#include "template.h"
#include "tpopupform.h"
#include "ui_template.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QEventLoop>
#include <QMainWindow>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

QList<TBoardHighlight *> Hotspots(TMainForm &w)
{
    const Ui::MainForm &f = *w.form();
    return {f.PowerHighlight0, f.PowerHighlight1, f.ETHHighlight, f.ResetHighlight,
            f.FilterHighlight, f.ConnHighlight,   f.LedHighlight, f.DIOHighlight,
            f.IPHighlight,     f.InputHighlight};
}

// Calls done() each time the event loop is about to wait; quits with its first true.
void RunUntilIdleAnd(const std::function<bool()> &done)
{
    QEventLoop loop;
    auto *dispatcher = QAbstractEventDispatcher::instance();
    const auto c =
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &loop, [&] {
            if (done())
                loop.quit();
        });
    loop.exec();
    QObject::disconnect(c);
}

class PaintFlag : public QWidget
{
public:
    using QWidget::QWidget;
    bool painted = false;

protected:
    void paintEvent(QPaintEvent *) override { painted = true; }
};

double Ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

int Child(const QString &what)
{
    QElapsedTimer phase;
    phase.start();
    const bool trace = qEnvironmentVariableIsSet("BENCH_SETTINGS_TRACE");
    // Watching the idle moments before the window exists puts this check ahead of the window's
    // own idle work (its dialogs), so it sees the end of the paint itself. It reports at once:
    // the same idle moment goes on to the window's own handler before the loop can end.
    std::function<bool()> painted = [] { return false; };
    QEventLoop loop;
    bool reported = false;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     &loop, [&] {
                         if (reported || !painted())
                             return;
                         reported = true;
                         if (trace)
                             std::fprintf(stderr, "painted %.1f\n", Ms(phase));
                         std::puts("painted");
                         std::fflush(stdout);
                         loop.quit();
                     });
    std::unique_ptr<QMainWindow> window;
    if (what == QLatin1String("settings")) {
        auto *w = new TMainForm;
        window.reset(w);
        if (trace)
            std::fprintf(stderr, "created %.1f\n", Ms(phase));
        const QList<TBoardHighlight *> rings = Hotspots(*w);
        painted = [rings] {
            return std::all_of(rings.begin(), rings.end(),
                               [](TBoardHighlight *h) { return h->imagesBuilt(); });
        };
    } else {
        window = std::make_unique<QMainWindow>();
        window->resize(873, 751);
        window->setWindowState(Qt::WindowMaximized);
        auto *client = new PaintFlag(window.get());
        window->setCentralWidget(client);
        // The same with two menus: what text costs a window that has any.
        if (what == QLatin1String("menu")) {
            QMenuBar *bar = window->menuBar();
            bar->addMenu(QStringLiteral("&File"))->addAction(QStringLiteral("&Exit"));
            bar->addMenu(QStringLiteral("&Help"));
        }
        painted = [client] { return client->painted; };
    }
    window->show();
    loop.exec();
    return 0;
}

double StartOnce(const QString &what)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    p.start(QCoreApplication::applicationFilePath(), {"--child", what});
    while (!p.readAllStandardOutput().contains("painted")) {
        if (!p.waitForReadyRead(10000))
            return -1;
    }
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    p.waitForFinished(5000);
    return ms;
}

double Median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

// The popup the hotspot shows: its own, or the one a linked hotspot owns.
TPopupForm *ShownPopup(TBoardHighlight *h)
{
    for (TBoardHighlight *l : h->linkedHotspots())
        if (l->popup() && l->popup()->isVisible())
            return l->popup();
    return nullptr;
}

struct PopupTiming
{
    double shown = 0, painted = 0;
};

class PaintWatch : public QObject
{
public:
    bool painted = false;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

PopupTiming ShowOnce(TBoardHighlight *h)
{
    for (TBoardHighlight *l : h->linkedHotspots())
        if (l->popup())
            l->popup()->close();
    QCoreApplication::processEvents();
    PopupTiming t;
    QElapsedTimer clock;
    clock.start();
    QEnterEvent enter(QPointF(5, 5), h->mapToGlobal(QPointF(5, 5)), h->mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(h, &enter);
    TPopupForm *popup = ShownPopup(h);
    t.shown = Ms(clock);
    if (!popup)
        return {-1, -1};
    PaintWatch watch;
    popup->installEventFilter(&watch);
    for (QWidget *child : popup->findChildren<QWidget *>())
        child->installEventFilter(&watch);
    QTimer wake; // so the time limit is looked at even when nothing else happens
    wake.start(5);
    RunUntilIdleAnd([&] { return watch.painted || clock.elapsed() > 2000; });
    t.painted = Ms(clock);
    popup->close();
    QCoreApplication::processEvents();
    return t;
}

} // namespace

// The offscreen platform's notes about what it cannot do would drown the table.
void Quiet(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg &&
        !message.contains(QLatin1String("plugin does")) &&
        !message.contains(QLatin1String("XDG_RUNTIME_DIR")))
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

int main(int argc, char *argv[])
{
    qInstallMessageHandler(Quiet);
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int child = int(args.indexOf(QStringLiteral("--child")));
    if (child > 0 && child + 1 < args.size())
        return Child(args[child + 1]);
    int runs = 11;
    const int r = int(args.indexOf(QStringLiteral("--runs")));
    if (r > 0 && r + 1 < args.size())
        runs = qMax(1, args[r + 1].toInt());

    QTextStream out(stdout);
    QList<double> settings, bare, menu;
    StartOnce(QStringLiteral("bare")); // warm the file cache for all
    StartOnce(QStringLiteral("settings"));
    for (int i = 0; i < runs; ++i) {
        bare << StartOnce(QStringLiteral("bare"));
        settings << StartOnce(QStringLiteral("settings"));
        menu << StartOnce(QStringLiteral("menu"));
    }
    const double ratio = Median(settings) / Median(bare);
    out << "start-up until painted, median of " << runs << " (ms):\n"
        << "  bare main window       " << QString::number(Median(bare), 'f', 1) << "\n"
        << "  settings, 10 rings     " << QString::number(Median(settings), 'f', 1) << "\n"
        << "  ratio                  " << QString::number(ratio, 'f', 2) << "  (goal <= 1.5)\n"
        << "  bare window with menus " << QString::number(Median(menu), 'f', 1) << " (ratio "
        << QString::number(Median(settings) / Median(menu), 'f', 2) << ")\n";

    // The pointer must not rest on a hotspot of its own accord.
    QCursor::setPos(QGuiApplication::primaryScreen()->geometry().bottomRight());
    TMainForm w;
    w.show();
    const QList<TBoardHighlight *> rings = Hotspots(w);
    RunUntilIdleAnd([&] {
        return std::all_of(rings.begin(), rings.end(),
                           [](TBoardHighlight *h) { return h->imagesBuilt(); });
    });
    out << "\nmouse entry until popup visible / painted (ms); later = median of " << runs
        << " showings\n";
    out << QStringLiteral("  %1 %2 %3 %4 %5\n")
               .arg("hotspot", -16)
               .arg("first", 8)
               .arg("painted", 8)
               .arg("later", 8)
               .arg("painted", 8);
    double worstFirst = 0, worstLater = 0;
    for (TBoardHighlight *h : rings) {
        const PopupTiming first = ShowOnce(h);
        QList<double> shown, painted;
        for (int i = 0; i < runs; ++i) {
            const PopupTiming t = ShowOnce(h);
            shown << t.shown;
            painted << t.painted;
        }
        worstFirst = qMax(worstFirst, first.painted);
        worstLater = qMax(worstLater, Median(painted));
        out << QStringLiteral("  %1 %2 %3 %4 %5\n")
                   .arg(h->objectName(), -16)
                   .arg(first.shown, 8, 'f', 2)
                   .arg(first.painted, 8, 'f', 2)
                   .arg(Median(shown), 8, 'f', 2)
                   .arg(Median(painted), 8, 'f', 2);
    }
    out << "  worst first (painted) " << QString::number(worstFirst, 'f', 2)
        << " (goal < 16), worst later (painted) " << QString::number(worstLater, 'f', 2)
        << " (goal < 2)\n";
    out.flush();
    return 0;
}
