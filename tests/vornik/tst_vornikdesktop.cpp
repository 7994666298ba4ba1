// The uploader's window on a real X server under a real window manager (each of those on Xvfb,
// 1024 x 768, started by tests/support/with-wm.sh): it opens centred with its frame.
#include "vorniktest.h"
#include "x11windows.h"

#include <QScreen>

using namespace vorniktest;

class TestVornikDesktop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windowOpensCentredWithItsFrame();

private:
    TPrivateFolders folders_;
};

void TestVornikDesktop::initTestCase()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server: run through tests/support/with-wm.sh");
    QVERIFY2(X11Windows::WindowManagerRunning(), "no window manager took the screen");
    QCOMPARE(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 1024, 768));
    ResetProgramState();
}

void TestVornikDesktop::windowOpensCentredWithItsFrame()
{
    std::unique_ptr<TMainForm> window = OpenWindow();
    QRect first;
    QVERIFY(X11Windows::WaitForFrame(window.get(), 5000, &first));
    const QRect outer = X11Windows::OuterRect(window.get());
    // To within a pixel: window managers round half the frame their own way.
    const QPoint centred((1024 - outer.width()) / 2, (768 - outer.height()) / 2);
    QVERIFY((outer.topLeft() - centred).manhattanLength() <= 2);
    // The frame an earlier run saw is known at once: its corner is what the program asks for.
    QPoint asked;
    if (qEnvironmentVariableIsSet("FRAMES_REMEMBERED"))
        QVERIFY(X11Windows::RequestedPosition(window.get(), &asked) && asked == centred);
    const QRect client = X11Windows::ClientRect(window.get());
    QCOMPARE(client.size(), QSize(299, 181));
    QVERIFY2(outer.height() > client.height(), "the window manager put no caption on the window");
    // Centred when it first appeared: no jump.
    QCOMPARE(first, outer);
}

QTEST_MAIN(TestVornikDesktop)
#include "tst_vornikdesktop.moc"
