// Run with a library search path that holds no card driver library.
#include "llqorwdm.h"
#include "supportertestwindow.h"
#include "tsetupsupporter.h"
#include "tsupportforms.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>

class TestCardsWithoutDriver : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cardsDialogSaysNoCardFound_data();
    void cardsDialogSaysNoCardFound();
    void bindingAgainChangesNothing();
};

void TestCardsWithoutDriver::cardsDialogSaysNoCardFound_data()
{
    QTest::addColumn<bool>("series");
    QTest::addColumn<QString>("header");
    QTest::newRow("series") << true << "No NET-RLX-16/NET-INX-16 Series Card Found";
    QTest::newRow("no series") << false << "No NET-RLX-16/NET-INX-16 Found";
}

void TestCardsWithoutDriver::cardsDialogSaysNoCardFound()
{
    QFETCH(bool, series);
    QFETCH(QString, header);
    HostWindow host = makeHostWindow();
    auto *s = new TSetupSupporter(host.window.get());
    s->setCardNameA(QStringLiteral("NET-RLX-16/NET-INX-16"));
    s->setBSeries(series);
    int asked = 0;
    s->setOnGetCardString([&](QObject *, qint32) {
        ++asked;
        return QStringLiteral("card");
    });
    s->BuildDialogs();
    QCOMPARE(asked, 0);
    QVERIFY(!LLQORWDM::CardDriverLoaded());
    QVERIFY(!LLQORWDM::GetNumCardsSlot());
    QCOMPARE(s->PCIForm()->PCIMemo->toPlainText(), QStringLiteral("No Card Found"));
    QCOMPARE(s->HeaderLabel()->text(), header);
}

void TestCardsWithoutDriver::bindingAgainChangesNothing()
{
    LLQORWDM::BindCardDriver();
    QVERIFY(!LLQORWDM::CardDriverLoaded());
    QCOMPARE(LLQORWDM::InstalledCardCount(), 0);
    for (int i = 0; i < LLQORWDM::EntryPointCount; ++i)
        QVERIFY(!LLQORWDM::EntryPointSlot(LLQORWDM::EntryPoint(i)));
}

QTEST_MAIN(TestCardsWithoutDriver)
#include "tst_cardsnodriver.moc"
