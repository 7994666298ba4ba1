// On a Wayland session (weston, headless, started by tests/support/with-weston.sh): with an X
// server offered (XWayland) the program runs through it and its popups land at their places;
// without one the program still starts, on Wayland, and says once why popups may land elsewhere.
#include "mainwindowtest.h"
#include "platformchoice.h"
#include "windowframe.h"
#include "x11windows.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QScreen>

using namespace MainWindowTest;

namespace {
const char notice[] = "popups cannot be placed next to their rings";
}

class WaylandTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void platformXcbOnlyWhenAnXServerIsOffered();
    void popupsPlacedThroughXWayland();
    void programWithoutXServerRunsOnWaylandAndSaysSo();
    void programPlatformChosenByTheUserIsKept();

private:
    // Runs the settings program for a while in env; true if it was still running then.
    static bool runProgram(const QProcessEnvironment &env, const QStringList &args,
                           QString *errors);
};

void WaylandTest::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        QSKIP("needs a Wayland session: run through tests/support/with-weston.sh");
}

void WaylandTest::platformXcbOnlyWhenAnXServerIsOffered()
{
    const bool xserver = !qEnvironmentVariableIsEmpty("DISPLAY");
    QCOMPARE(QGuiApplication::platformName(),
             xserver ? QStringLiteral("xcb") : QStringLiteral("wayland"));
}

void WaylandTest::popupsPlacedThroughXWayland()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("XWayland does not run here: placement is left to the compositor");
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    std::unique_ptr<TMainForm> w = Create(QString());
    QVERIFY(ShowAndSettle(*w));
    TBoardImage *board = w->form()->BoardImage1;
    // The compositor maximises the window in its own time; the board image follows.
    QPoint last(-1, -1);
    int steady = 0;
    QVERIFY(WaitFor([&] {
        steady = board->pos() == last ? steady + 1 : 0;
        last = board->pos();
        return steady >= 30;
    }));
    const QPoint moved(board->x() - board->designLeft(), board->y() - board->designTop());
    for (TBoardHighlight *h : {w->form()->FilterHighlight, w->form()->IPHighlight}) {
        const QRect panel = h->radioPanel()->geometry();
        h->MouseEntry(false);
        TPopupForm *popup = h->popup();
        QVERIFY(popup);
        QVERIFY(QTest::qWaitForWindowExposed(popup));
        // The X server was asked for the popup's place, next to its ring, from the window's
        // creation on: the frame's corner there, kept on screen with the frame weston's window
        // manager gives (its answer may come after the first popup, which is then corrected
        // once). It then places transient windows itself; the window managers of the common
        // desktops keep the place asked for.
        const QSize outer = popup->size().grownBy(FramedMargins(popup));
        QPoint place = panel.topLeft() + moved;
        place.setX(qBound(0, place.x(), screen.width() - outer.width()));
        place.setY(qBound(0, place.y(), screen.height() - outer.height()));
        QPoint asked;
        QTRY_VERIFY_WITH_TIMEOUT(X11Windows::RequestedPosition(popup, &asked) && asked == place,
                                 2000);
        popup->close();
    }
}

bool WaylandTest::runProgram(const QProcessEnvironment &env, const QStringList &args,
                             QString *errors)
{
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(SETTINGS_PROGRAM), args);
    if (!program.waitForStarted(5000))
        return false;
    // Started, shown its window and gone idle by now, unless it failed.
    const bool ended = program.waitForFinished(2000);
    if (!ended) {
        program.kill();
        program.waitForFinished(5000);
    }
    *errors = QString::fromLocal8Bit(program.readAllStandardError());
    return !ended;
}

void WaylandTest::programWithoutXServerRunsOnWaylandAndSaysSo()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    QString errors;
    QVERIFY2(runProgram(env, {}, &errors), qPrintable(errors));
    const QStringList lines =
        errors.split(QLatin1Char('\n'), Qt::SkipEmptyParts).filter(QLatin1String(notice));
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().startsWith(QLatin1String("settings: ")), qPrintable(lines.first()));
}

void WaylandTest::programPlatformChosenByTheUserIsKept()
{
    // A platform named on the command line wins, even with no X server offered: no notice.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    QString errors;
    QVERIFY2(runProgram(env, {QStringLiteral("-platform"), QStringLiteral("offscreen")}, &errors),
             qPrintable(errors));
    QVERIFY2(!errors.contains(QLatin1String(notice)), qPrintable(errors));
}

int main(int argc, char *argv[])
{
    // As the program's own main does.
    ChooseWindowingPlatform(argc, argv, notice);
    QApplication app(argc, argv);
    WaylandTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_wayland.moc"
