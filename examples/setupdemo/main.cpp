// A setup guide put together from the framework's widgets, laid out like the
// settings program's window. With --screenshots DIR it walks through the
// hotspot states by moving the pointer and saves what the screen shows.
#include "boardpicture.h"
#include "taccessiblecontrols.h"
#include "tboardhighlight.h"
#include "tboardimage.h"
#include "tjumper.h"
#include "tpopupform.h"
#include "tradiopanel.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCursor>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

#include <functional>

namespace {

struct Layout
{
    QMainWindow window;
    TBoardImage *board = nullptr;
    QHash<QString, TBoardHighlight *> hotspots;
    QHash<QString, TRadioPanel *> panels;
};

TRadioPanel *addPanel(Layout &l, QWidget *central, const QString &name, QRect geometry,
                      const QString &lines)
{
    auto *panel = new TRadioPanel(central);
    panel->setObjectName(name);
    panel->setGeometry(geometry);
    panel->setLinesText(lines);
    l.panels.insert(name, panel);
    return panel;
}

void addHotspot(Layout &l, const QString &name, QRect geometry, THighlightType type,
                const QString &panel, const QString &title)
{
    auto *hotspot = new TBoardHighlight(l.board);
    hotspot->setObjectName(name);
    hotspot->setGeometry(geometry);
    hotspot->setHighlightType(type);
    hotspot->setTitle(title);
    hotspot->setRadioPanel(l.panels.value(panel));
    l.hotspots.insert(name, hotspot);
}

QLabel *label(QWidget *parent, const QString &text, QRect geometry, Qt::Alignment align)
{
    auto *l = new QLabel(text, parent);
    l->setGeometry(geometry);
    l->setAlignment(align);
    return l;
}

void fillPowerPanel(TRadioPanel *power)
{
    label(power, QStringLiteral("V In"), QRect(0, 16, 65, 17), Qt::AlignRight);
    label(power, QStringLiteral("Ground"), QRect(0, 48, 65, 17), Qt::AlignRight);
    label(power, QStringLiteral("or"), QRect(80, 80, 41, 17), Qt::AlignCenter);
}

void fillIpPanel(TRadioPanel *ip)
{
    label(ip, QStringLiteral("IP"), QRect(80, 8, 49, 21), Qt::AlignRight | Qt::AlignVCenter);
    auto *ipEdit = new QLineEdit(QStringLiteral("127.0.0.1"), ip);
    ipEdit->setGeometry(136, 8, 121, 21);
}

void fillResetPanel(TRadioPanel *reset)
{
    auto *resetJumper = new TThreeJumper(reset);
    resetJumper->setGeometry(80, 16, 43, 18);
    resetJumper->setAllowOpen(false);
    resetJumper->setJumperState(TThreeJumper::jsLeft);
    auto *normal = new QRadioButton(QStringLiteral("Normal Operation"), reset);
    normal->setGeometry(32, 56, 137, 17);
    normal->setChecked(true);
    auto *resetRadio = new QRadioButton(QStringLiteral("Reset Networking"), reset);
    resetRadio->setGeometry(32, 72, 137, 17);
}

void fillFilterPanel(TRadioPanel *filter)
{
    for (int i = 0; i < 8; ++i) {
        auto *jumper = new TTwoJumper(filter);
        jumper->setGeometry(16, 8 + 16 * i, 32, 16);
        jumper->setClosed(i % 3 != 0);
        label(filter, QString::number(i), QRect(56, 8 + 16 * i, 40, 16), Qt::AlignCenter);
    }
}

struct PanelPiece
{
    const char *name;
    QRect geometry;
    const char *lines;
    void (*fill)(TRadioPanel *); // the panel's own controls, if any
};

const PanelPiece Panels[] = {
    {"PowerPanel", QRect(-72, 504, 201, 161),
     "5V power is provided via one or the other of these connectors.", fillPowerPanel},
    {"ETHPanel", QRect(-72, 352, 201, 9),
     "The ethernet connector on this board is a standard RJ-45 socket.", nullptr},
    {"LEDPanel", QRect(-72, 48, 201, 9),
     "This LED is on to indicate power, and flickers to indicate activity.", nullptr},
    {"IPPanel", QRect(264, 160, 345, 121), "This demo does not connect to any board.", fillIpPanel},
    {"ResetNetPanel", QRect(744, 504, 201, 97),
     "Move this jumper to the reset position, then back, to reset the networking.", fillResetPanel},
    {"FilterPanel", QRect(696, 64, 201, 145),
     "Each isolated input can have a low-pass filter applied.", fillFilterPanel},
    {"ConnLEDPanel", QRect(-72, 200, 201, 9),
     "This red LED is on to indicate an open ethernet connection.", nullptr},
    {"InputPanel", QRect(144, 0, 201, 9), "The isolated inputs are on this 34-pin header.",
     nullptr},
    {"RelayPanel", QRect(456, 0, 201, 9), "The relays are on this 50-pin header.", nullptr},
};

struct HotspotPiece
{
    const char *name;
    QRect geometry;
    THighlightType type;
    const char *panel;
    const char *title;
};

using H = TBoardHighlight;
const HotspotPiece Hotspots[] = {
    {"PowerHighlight0", QRect(300, 496, 81, 74), H::htOptions, "PowerPanel", "Main/VBB &Power"},
    {"PowerHighlight1", QRect(384, 490, 76, 107), H::htOptions, "PowerPanel", "Main/VBB &Power"},
    {"ETHHighlight", QRect(176, 456, 111, 144), H::htOptions, "ETHPanel", "&Ethernet Connector"},
    {"ResetHighlight", QRect(88, 416, 49, 49), H::htSettings, "ResetNetPanel", "Reset &Networking"},
    {"FilterHighlight", QRect(224, 24, 46, 265), H::htSettings, "FilterPanel", "Input &Filters"},
    {"ConnHighlight", QRect(132, 512, 25, 33), H::htCalibration, "ConnLEDPanel", "&Connection LED"},
    {"LedHighlight", QRect(99, 484, 33, 113), H::htOptions, "LEDPanel", "Power/Activity &LED"},
    {"DIOHighlight", QRect(472, 64, 81, 441), H::htOptions, "RelayPanel", "&Relay Outputs"},
    {"IPHighlight", QRect(125, 310, 102, 102), H::htSettings, "IPPanel", "&IP Address"},
    {"InputHighlight", QRect(0, 60, 41, 265), H::htOptions, "InputPanel", "&Isolated Inputs"},
};

// The window's white background and its File and Help menus.
QMenuBar *buildWindow(QMainWindow &w)
{
    w.setObjectName(QStringLiteral("MainForm"));
    w.setWindowTitle(QStringLiteral("Setup demo"));
    QPalette palette = w.palette();
    palette.setColor(QPalette::Window, Qt::white);
    w.setPalette(palette);
    QMenuBar *menu = w.menuBar();
    auto *file = new QMenu(QStringLiteral("&File"), &w);
    file->setObjectName(QStringLiteral("File1"));
    file->addAction(QStringLiteral("&Exit"), &w, &QWidget::close);
    menu->addMenu(file);
    auto *help = new QMenu(QStringLiteral("&Help"), &w);
    help->setObjectName(QStringLiteral("Help1"));
    menu->addMenu(help);
    return menu;
}

void build(Layout &l)
{
    QMenuBar *menu = buildWindow(l.window);
    auto *central = new QWidget;
    central->setAutoFillBackground(true);
    l.window.setCentralWidget(central);
    l.board = new TBoardImage(central);
    l.board->setObjectName(QStringLiteral("BoardImage1"));
    l.board->setGeometry(142, 80, 549, 600);
    l.board->setAutoSize(false);
    l.board->setPicture(DrawBoardPicture(), TPicture::gkBitmap);
    l.board->setStretch(true);

    for (const PanelPiece &piece : Panels) {
        TRadioPanel *panel = addPanel(l, central, QString::fromLatin1(piece.name), piece.geometry,
                                      QString::fromLatin1(piece.lines));
        if (piece.fill)
            piece.fill(panel);
    }
    for (const HotspotPiece &piece : Hotspots)
        addHotspot(l, QString::fromLatin1(piece.name), piece.geometry, piece.type,
                   QString::fromLatin1(piece.panel), QString::fromLatin1(piece.title));

    l.board->setFirst(l.hotspots.value("PowerHighlight0"));
    l.board->setMenu(menu);
}

// The three prepared appearances of some hotspots, enlarged side by side.
QImage ringSheet(const QList<TBoardHighlight *> &hotspots)
{
    const int zoom = 2;
    int width = 0;
    int height = 0;
    for (TBoardHighlight *h : hotspots) {
        width = qMax(width, 3 * h->width() * zoom + 40);
        height += h->height() * zoom + 30;
    }
    QImage sheet(width, height, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    int y = 0;
    for (TBoardHighlight *h : hotspots) {
        const QSize size = h->size() * zoom;
        int x = 0;
        for (const QImage *image : {&h->idleImage(), &h->litImage(), &h->rimImage()}) {
            p.drawImage(QRect(QPoint(x, y + 20), size), *image);
            x += size.width() + 20;
        }
        p.drawText(QPoint(0, y + 14), h->objectName() + QStringLiteral(": idle, lit, rim"));
        y += size.height() + 30;
    }
    return sheet;
}

class ScreenshotTour : public QObject
{
public:
    ScreenshotTour(Layout &layout, const QString &dir) : m_layout(layout), m_dir(dir) {}

    void start()
    {
        QDir().mkpath(m_dir);
        auto centreOf = [](QWidget *w) { return w->mapToGlobal(w->rect().center()); };
        TBoardHighlight *power = m_layout.hotspots.value("PowerHighlight0");
        TBoardHighlight *ip = m_layout.hotspots.value("IPHighlight");
        m_steps = {
            [this] { QCursor::setPos(5, 1015); },
            [this] { save("setupctrls-idle.png"); },
            [=] { QCursor::setPos(centreOf(power)); },
            [this] { save("setupctrls-pointed.png"); },
            [=] {
                if (power->popup())
                    QCursor::setPos(centreOf(power->popup()));
            },
            // Held looks like pointed on the board; its menu entry shows the difference.
            [this] { openMenu(QStringLiteral("&Options")); },
            [this] { save("setupctrls-held.png"); },
            [this] {
                m_layout.window.menuBar()->setActiveAction(nullptr);
                m_layout.window.activateWindow();
            },
            [this] { save("setupctrls-lit.png"); },
            [=] {
                ringSheet({ip, power, m_layout.hotspots.value("ConnHighlight")})
                    .save(m_dir + QStringLiteral("/setupctrls-rings.png"));
                QCursor::setPos(centreOf(ip));
            },
            [=] {
                if (ip->popup())
                    QCursor::setPos(centreOf(ip->popup()));
            },
            [this] { save("setupctrls-ip-popup.png"); },
            [] { QApplication::quit(); },
        };
        next();
    }

private:
    void next()
    {
        if (m_index >= m_steps.size())
            return;
        m_steps.at(m_index++)();
        QTimer::singleShot(600, this, [this] { next(); });
    }

    void openMenu(const QString &caption)
    {
        QMenuBar *bar = m_layout.window.menuBar();
        const auto actions = bar->actions();
        for (QAction *action : actions) {
            if (action->text() == caption)
                bar->setActiveAction(action);
        }
    }

    void save(const char *name)
    {
        QScreen *screen = QGuiApplication::primaryScreen();
        screen->grabWindow(0).save(m_dir + QLatin1Char('/') + QLatin1String(name));
    }

    Layout &m_layout;
    QString m_dir;
    QList<std::function<void()>> m_steps;
    int m_index = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    InstallSetupCtrlsAccessibility();
    QCommandLineParser parser;
    parser.addHelpOption();
    QCommandLineOption shots(QStringLiteral("screenshots"),
                             QStringLiteral("Walk the hotspot states and save screenshots."),
                             QStringLiteral("dir"));
    parser.addOption(shots);
    parser.process(app);

    Layout layout;
    build(layout);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    layout.window.setGeometry(screen);
    layout.window.show();

    ScreenshotTour tour(layout, parser.value(shots));
    if (parser.isSet(shots))
        QTimer::singleShot(800, &tour, [&tour] { tour.start(); });
    return app.exec();
}
