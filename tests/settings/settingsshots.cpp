// Takes the settings program's screenshots for docs/, on a real X server:
//
//   xvfb-run -a -s '-screen 0 1280x1024x24' <build>/bin/settings-screenshots <folder>
//
// and under a window manager (docs/settings-openbox.png is that run's settings-network.png):
//
//   SCREEN=1280x1024x24 tests/support/with-openbox.sh <build>/bin/settings-screenshots <folder>
//
// The network popup is connected to an emulated board on a loopback address of its own.
#include "boardemulatorprocess.h"
#include "mainwindowtest.h"

#include <QCursor>
#include <QDir>
#include <QScreen>

using namespace MainWindowTest;

namespace {

bool Save(const QString &folder, const QString &name, const QRect &area = {})
{
    Spin(150);
    QScreen *screen = QGuiApplication::primaryScreen();
    QPixmap shot = screen->grabWindow(0);
    if (!area.isNull())
        shot = shot.copy(area.intersected(shot.rect()));
    const QString path = QDir(folder).filePath(name);
    if (!shot.save(path)) {
        qWarning("cannot write %s", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// What a window manager would do for a maximised window; Xvfb runs none.
void Maximise(QWidget &w)
{
    w.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
}

QRect Around(const QWidget *w, int margin = 24)
{
    return w->frameGeometry().adjusted(-margin, -margin, margin, margin);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: settings-screenshots <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QCursor::setPos(QGuiApplication::primaryScreen()->geometry().bottomRight());

    BoardEmulatorProcess board(
        {"--mac", "02-00-00-00-00-2a", "--subnet", "255.255.255.0", "--gateway", "127.0.0.1"});
    if (!board.start()) {
        std::fprintf(stderr, "emulator: %s\n", qPrintable(board.errorString()));
        return 1;
    }

    auto w = Create(QCoreApplication::applicationDirPath() + QStringLiteral("/../lib"));
    Maximise(*w);
    if (!ShowAndSettle(*w))
        return 1;
    bool ok = Save(folder, QStringLiteral("settings-startup.png"));
    THelpForm *help = w->setSup()->HelpForm();
    ok &= Save(folder, QStringLiteral("settings-help.png"), Around(help));
    help->hide();

    const Ui::MainForm &f = *w->form();
    TPopupForm *net = OpenIpPopup(*w);
    f.IPEdit->setText(board.hostText());
    f.ConnectButton->click();
    if (!w->network().deviceHandle())
        std::fprintf(stderr, "not connected: %s\n", qPrintable(MemoText(*w)));
    ok &= Save(folder, QStringLiteral("settings-network.png"));
    net->close();

    TPopupForm *filter = OpenHeld(f.FilterHighlight);
    f.RelayRadio3->setChecked(true);
    f.FilterJumper7->click();
    ok &= Save(folder, QStringLiteral("settings-filter.png"));
    filter->close();

    OpenHeld(f.PowerHighlight1);
    ok &= Save(folder, QStringLiteral("settings-power.png"));
    return ok ? 0 : 1;
}
