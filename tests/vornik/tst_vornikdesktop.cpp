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
    // Within a pixel: a window manager rounds half the frame its own way.
    const QPoint offCentre =
        outer.topLeft() * 2 + QPoint(outer.width(), outer.height()) - QPoint(1024, 768);
    QVERIFY2(qAbs(offCentre.x()) <= 2 && qAbs(offCentre.y()) <= 2,
             qPrintable(QStringLiteral("%1 x %2 at %3, %4")
                            .arg(outer.width())
                            .arg(outer.height())
                            .arg(outer.x())
                            .arg(outer.y())));
    const QRect client = X11Windows::ClientRect(window.get());
    QCOMPARE(client.size(), QSize(299, 181));
    QVERIFY2(outer.height() > client.height(), "the window manager put no caption on the window");
    // Centred when it first appeared: no jump.
    QCOMPARE(first, outer);
}

QTEST_MAIN(TestVornikDesktop)
#include "tst_vornikdesktop.moc"
