// Run once per screen size: the platform's screen is set through the offscreen
// plugin's configuration file, and HELP_SCREEN names the size CTest asked for.
#include "supportertestwindow.h"
#include "tsetupsupporter.h"
#include "tsupportforms.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextEdit>

class TestHelpScaling : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void screenIsTheConfiguredOne();
    void helpDialogGrowsWithTheScreen();
};

namespace {

QSize configuredScreen()
{
    const QList<QByteArray> parts = qgetenv("HELP_SCREEN").split('x');
    return parts.size() == 2 ? QSize(parts[0].toInt(), parts[1].toInt()) : QSize();
}

} // namespace

void TestHelpScaling::screenIsTheConfiguredOne()
{
    QVERIFY(configuredScreen().isValid());
    QCOMPARE(QGuiApplication::primaryScreen()->size(), configuredScreen());
}

void TestHelpScaling::helpDialogGrowsWithTheScreen()
{
    const int expectedWidth = qEnvironmentVariableIntValue("HELP_EXPECTED_WIDTH");
    HostWindow host = makeHostWindow();
    auto *s = new TSetupSupporter(host.window.get());
    s->setCompanyName(QStringLiteral("Kestrune"));
    s->setCardNameA(QStringLiteral("NET-RLX-16/NET-INX-16"));
    s->BuildDialogs();
    THelpForm *help = s->HelpForm();
    QCOMPARE(help->width(), expectedWidth);
    const int unscaledHeight = help->HelpLabel->height() + 72 + 16 + 24 + 8;
    const double scale = expectedWidth / 305.0;
    QVERIFY(std::abs(help->height() - unscaledHeight * scale) <= 0.5 + 1e-9);
    // Fonts keep their size; the text view takes the growth.
    QCOMPARE(help->HelpLabel->font().pointSize(), 12);
    QCOMPARE(help->HelpRich->width(), expectedWidth);
    QCOMPARE(help->StartButton->size(), QSize(172, 24));
    QCOMPARE(help->height() - help->StartButton->geometry().bottom() - 1, 8);
}

QTEST_MAIN(TestHelpScaling)
#include "tst_helpscaling.moc"
