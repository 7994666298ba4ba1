#include "boardfixture.h"
#include "thotspotmenu.h"

class TestHotspotMenu : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QCursor::setPos(nowhere()); }

    // Registration
    void settingsLayoutGivesCategoriesAndEntriesInOrder();
    void categoriesStandInFixedOrderWhateverRegistersFirst_data();
    void categoriesStandInFixedOrderWhateverRegistersFirst();
    void namesTakeTheSmallestFreeNumberIgnoringCase();
    void emptyTitleCreatesTheCategoryButNoEntry();
    void titleWithoutLettersGetsAGenericName();
    void noMenuMeansNoEntries();
    void menuIsCopiedAtTheFirstPaintOnly();

    // Entry clicks and check marks
    void pickingAnEntryOpensAndHoldsThenCloses();
    void pickingTheEntryOfAPointedPopupHoldsIt();
    void checkMarkFollowsHeldPopups();
    void sharedEntryClosesThePopupOfTheLinkedOwner();

    // Previous and Next
    void nextAndPreviousWrapAround_data();
    void nextAndPreviousWrapAround();
    void categoryOfOneReopensTheSamePopup();
    void emptyTitleNavigationDoesNothing();
};

namespace {

struct Spot
{
    const char *name;
    THighlightType type;
    const char *title;
};

const QList<Spot> settingsLayout = {
    {"PowerHighlight0", TBoardHighlight::htOptions, "Main/VBB &Power"},
    {"PowerHighlight1", TBoardHighlight::htOptions, "Main/VBB &Power"},
    {"ETHHighlight", TBoardHighlight::htOptions, "&Ethernet Connector"},
    {"ResetHighlight", TBoardHighlight::htSettings, "Reset &Networking"},
    {"FilterHighlight", TBoardHighlight::htSettings, "Input &Filters"},
    {"ConnHighlight", TBoardHighlight::htOptions, "&Connection LED"},
    {"LedHighlight", TBoardHighlight::htOptions, "Power/Activity &LED"},
    {"DIOHighlight", TBoardHighlight::htOptions, "&Relay Outputs"},
    {"IPHighlight", TBoardHighlight::htSettings, "&IP Address"},
    {"InputHighlight", TBoardHighlight::htOptions, "&Isolated Inputs"},
};

QList<TBoardHighlight *> addSpots(BoardFixture &f, const QList<Spot> &spots)
{
    QList<TBoardHighlight *> hotspots;
    int x = 0;
    for (const Spot &spot : spots) {
        hotspots << f.addHotspot(spot.name, QRect(x % 280, (x / 280) * 25, 20, 20), spot.type,
                                 spot.title);
        x += 25;
    }
    return hotspots;
}

QStringList entryNames(QMenu *menu)
{
    QStringList names;
    const auto actions = menu->actions();
    for (QAction *action : actions)
        names << action->objectName();
    return names;
}

} // namespace

void TestHotspotMenu::settingsLayoutGivesCategoriesAndEntriesInOrder()
{
    BoardFixture f;
    addSpots(f, settingsLayout);
    QVERIFY(f.show());
    QCOMPARE(f.topCaptions(), (QStringList{"&File", "&Settings", "&Options", "&Help"}));
    QCOMPARE(f.category("&Settings")->objectName(), QStringLiteral("Settings1"));
    QCOMPARE(f.category("&Options")->objectName(), QStringLiteral("Options1"));
    QCOMPARE(f.entryCaptions("&Settings"),
             (QStringList{"Reset &Networking", "Input &Filters", "&IP Address"}));
    QCOMPARE(entryNames(f.category("&Settings")),
             (QStringList{"ResetNetworking1", "InputFilters1", "IPAddress1"}));
    QCOMPARE(f.entryCaptions("&Options"),
             (QStringList{"Main/VBB &Power", "&Ethernet Connector", "&Connection LED",
                          "Power/Activity &LED", "&Relay Outputs", "&Isolated Inputs"}));
    QCOMPARE(entryNames(f.category("&Options")),
             (QStringList{"MainVBBPower1", "EthernetConnector1", "ConnectionLED1",
                          "PowerActivityLED1", "RelayOutputs1", "IsolatedInputs1"}));
    // Entries belong to the window.
    QCOMPARE(f.entry("&Options", "&Relay Outputs")->parent(), f.window.get());
    QCOMPARE(f.category("&Options")->parent(), f.window.get());
}

void TestHotspotMenu::categoriesStandInFixedOrderWhateverRegistersFirst_data()
{
    QTest::addColumn<QList<int>>("types");
    QTest::newRow("options, settings") << QList<int>{0, 1};
    QTest::newRow("options, calibration, settings") << QList<int>{0, 2, 1};
    QTest::newRow("calibration, options, settings") << QList<int>{2, 0, 1};
    QTest::newRow("settings, options, calibration") << QList<int>{1, 0, 2};
}

void TestHotspotMenu::categoriesStandInFixedOrderWhateverRegistersFirst()
{
    QFETCH(QList<int>, types);
    BoardFixture f;
    QList<Spot> spots;
    for (int type : types)
        spots.append({"Spot", THighlightType(type), "&Spot"});
    addSpots(f, spots);
    QVERIFY(f.show());
    QStringList expected{"&File"};
    if (types.contains(1))
        expected << "&Settings";
    if (types.contains(2))
        expected << "&Calibration";
    if (types.contains(0))
        expected << "&Options";
    expected << "&Help";
    QCOMPARE(f.topCaptions(), expected);
}

void TestHotspotMenu::namesTakeTheSmallestFreeNumberIgnoringCase()
{
    BoardFixture f;
    auto *taken = new QObject(f.window.get());
    taken->setObjectName(QStringLiteral("options1"));
    auto *alsoTaken = new QObject(f.central);
    alsoTaken->setObjectName(QStringLiteral("RELAYOUTPUTS1"));
    addSpots(f, {{"A", TBoardHighlight::htOptions, "&Relay Outputs"},
                 {"B", TBoardHighlight::htOptions, "Relay &Outputs"}});
    QVERIFY(f.show());
    QCOMPARE(f.category("&Options")->objectName(), QStringLiteral("Options2"));
    QCOMPARE(entryNames(f.category("&Options")), (QStringList{"RelayOutputs2", "RelayOutputs3"}));
}

void TestHotspotMenu::emptyTitleCreatesTheCategoryButNoEntry()
{
    BoardFixture f;
    addSpots(f, {{"A", TBoardHighlight::htCalibration, ""}});
    QVERIFY(f.show());
    QCOMPARE(f.topCaptions(), (QStringList{"&File", "&Calibration", "&Help"}));
    QVERIFY(f.entryCaptions("&Calibration").isEmpty());
}

void TestHotspotMenu::titleWithoutLettersGetsAGenericName()
{
    BoardFixture f;
    addSpots(f, {{"A", TBoardHighlight::htOptions, "1 & 2"}});
    QVERIFY(f.show());
    QCOMPARE(entryNames(f.category("&Options")), (QStringList{"Entry1"}));
}

void TestHotspotMenu::noMenuMeansNoEntries()
{
    BoardFixture f;
    f.board->setMenu(nullptr);
    QList<TBoardHighlight *> spots = addSpots(f, {{"A", TBoardHighlight::htOptions, "&A"}});
    QVERIFY(f.show());
    QCOMPARE(f.topCaptions(), (QStringList{"&File", "&Help"}));
    sendEnter(spots[0]);
    spots[0]->click();
    QVERIFY(spots[0]->held());
    spots[0]->NextClick();
    QVERIFY(spots[0]->popup()->isVisible());
}

void TestHotspotMenu::menuIsCopiedAtTheFirstPaintOnly()
{
    BoardFixture f;
    QList<TBoardHighlight *> spots = addSpots(f, {{"A", TBoardHighlight::htOptions, "&A"}});
    QVERIFY(!spots[0]->menu());
    QVERIFY(f.show());
    QCOMPARE(spots[0]->menu(), f.menuBar);
    QMenuBar other;
    f.board->setMenu(&other);
    spots[0]->repaint();
    QCOMPARE(spots[0]->menu(), f.menuBar);
    QVERIFY(other.actions().isEmpty());
}

void TestHotspotMenu::pickingAnEntryOpensAndHoldsThenCloses()
{
    BoardFixture f;
    QList<TBoardHighlight *> spots = addSpots(f, {{"A", TBoardHighlight::htOptions, "&A"}});
    QVERIFY(f.show());
    QAction *entry = f.entry("&Options", "&A");
    QVERIFY(entry);
    QVERIFY(qobject_cast<THotspotMenuEntry *>(entry));
    entry->trigger();
    TBoardHighlight *a = spots[0];
    QVERIFY(a->popup()->isVisible());
    QVERIFY(a->held());
    QVERIFY(a->hovered());
    QVERIFY(entry->isChecked());
    QTRY_VERIFY(a->popup()->isActiveWindow());

    entry->trigger();
    QVERIFY(a->popup()->isHidden());
    QVERIFY(!a->hovered());
    QVERIFY(!entry->isChecked());

    entry->trigger();
    QVERIFY(a->popup()->isVisible());
    QVERIFY(a->held());
    QVERIFY(entry->isChecked());
}

void TestHotspotMenu::pickingTheEntryOfAPointedPopupHoldsIt()
{
    BoardFixture f;
    QList<TBoardHighlight *> spots = addSpots(f, {{"A", TBoardHighlight::htOptions, "&A"}});
    QVERIFY(f.show());
    TBoardHighlight *a = spots[0];
    sendEnter(a);
    QAction *entry = f.entry("&Options", "&A");
    QVERIFY(!entry->isChecked());
    entry->trigger();
    QVERIFY(a->popup()->isVisible());
    QVERIFY(a->held());
    QVERIFY(entry->isChecked());
    sendLeave(a, nowhere());
    QVERIFY(a->popup()->isVisible());
}

void TestHotspotMenu::checkMarkFollowsHeldPopups()
{
    BoardFixture f;
    QList<TBoardHighlight *> spots = addSpots(f, {{"A", TBoardHighlight::htSettings, "&A"}});
    QVERIFY(f.show());
    TBoardHighlight *a = spots[0];
    QAction *entry = f.entry("&Settings", "&A");
    sendEnter(a);
    QVERIFY(!entry->isChecked());
    a->click();
    QVERIFY(entry->isChecked());
    a->DoneClick();
    QVERIFY(!entry->isChecked());
}

void TestHotspotMenu::sharedEntryClosesThePopupOfTheLinkedOwner()
{
    BoardFixture f;
    QList<TBoardHighlight *> spots = addSpots(f, {{"P0", TBoardHighlight::htOptions, "&Power"},
                                                  {"P1", TBoardHighlight::htOptions, "&Power"}});
    QVERIFY(f.show());
    QCOMPARE(f.entryCaptions("&Options"), (QStringList{"&Power"}));
    auto *entry = qobject_cast<THotspotMenuEntry *>(f.entry("&Options", "&Power"));
    QCOMPARE(entry->hotspot(), spots[0]);
    // The second hotspot, pointed at first, owns the popup.
    sendEnter(spots[1]);
    QVERIFY(spots[1]->popup());
    QVERIFY(!spots[0]->popup());
    entry->trigger();
    QVERIFY(spots[1]->held());
    QVERIFY(entry->isChecked());
    entry->trigger();
    QVERIFY(spots[1]->popup()->isHidden());
    QVERIFY(!entry->isChecked());
    QVERIFY(!spots[0]->hovered());
    QVERIFY(!spots[1]->hovered());
    QCOMPARE(popupCount(), 1);
}

void TestHotspotMenu::nextAndPreviousWrapAround_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<bool>("forward");
    QTest::addColumn<int>("to");
    QTest::newRow("next from first") << 0 << true << 1;
    QTest::newRow("next from middle") << 1 << true << 2;
    QTest::newRow("next from last wraps") << 2 << true << 0;
    QTest::newRow("previous from last") << 2 << false << 1;
    QTest::newRow("previous from first wraps") << 0 << false << 2;
}

void TestHotspotMenu::nextAndPreviousWrapAround()
{
    QFETCH(int, from);
    QFETCH(bool, forward);
    QFETCH(int, to);
    BoardFixture f;
    QList<TBoardHighlight *> spots = addSpots(f, {{"A", TBoardHighlight::htOptions, "&A"},
                                                  {"S", TBoardHighlight::htSettings, "&S"},
                                                  {"B", TBoardHighlight::htOptions, "&B"},
                                                  {"C", TBoardHighlight::htOptions, "&C"}});
    spots.removeAt(1);
    QVERIFY(f.show());
    f.entry("&Options", spots[from]->title())->trigger();
    QVERIFY(spots[from]->held());
    auto *button = spots[from]->popup()->findChild<QPushButton *>(
        forward ? QStringLiteral("NextButton") : QStringLiteral("PreviousButton"));
    button->click();
    QVERIFY(spots[from]->popup()->isHidden());
    QVERIFY(!spots[from]->hovered());
    QVERIFY(!f.entry("&Options", spots[from]->title())->isChecked());
    QVERIFY(spots[to]->popup()->isVisible());
    QVERIFY(spots[to]->held());
    QVERIFY(f.entry("&Options", spots[to]->title())->isChecked());
    QCOMPARE(popupCount(), 2);
}

void TestHotspotMenu::categoryOfOneReopensTheSamePopup()
{
    BoardFixture f;
    QList<TBoardHighlight *> spots = addSpots(f, {{"A", TBoardHighlight::htCalibration, "&A"}});
    QVERIFY(f.show());
    TBoardHighlight *a = spots[0];
    f.entry("&Calibration", "&A")->trigger();
    TPopupForm *popup = a->popup();
    for (bool forward : {true, false}) {
        if (forward)
            a->NextClick();
        else
            a->PreviousClick();
        QCOMPARE(a->popup(), popup);
        QVERIFY(popup->isVisible());
        QVERIFY(a->held());
        QVERIFY(f.entry("&Calibration", "&A")->isChecked());
    }
}

void TestHotspotMenu::emptyTitleNavigationDoesNothing()
{
    BoardFixture f;
    QList<TBoardHighlight *> spots = addSpots(
        f, {{"A", TBoardHighlight::htOptions, ""}, {"B", TBoardHighlight::htOptions, "&B"}});
    QVERIFY(f.show());
    TBoardHighlight *a = spots[0];
    sendEnter(a);
    a->click();
    a->NextClick();
    QVERIFY(a->popup()->isVisible());
    QVERIFY(a->held());
    QVERIFY(!spots[1]->popup());
}

QTEST_MAIN(TestHotspotMenu)
#include "tst_hotspotmenu.moc"
