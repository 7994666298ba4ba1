#include "boardfixture.h"
#include "popupgeometry.h"
#include "tjumper.h"

#include <QSignalSpy>

namespace {

struct ChildGeometry
{
    const char *name;
    QRect rect;
};

QWidget *child(TPopupForm *popup, const char *name)
{
    return popup->findChild<QWidget *>(QLatin1String(name), Qt::FindDirectChildrenOnly);
}

} // namespace

class TestPopupForm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QCursor::setPos(nowhere()); }

    // Geometry
    void popupGeometryFollowsThePanel_data();
    void popupGeometryFollowsThePanel();
    void popupWithoutPanelSitsBelowTheBoard();
    void windowIsASizeableToolAlwaysOnTop();
    void minimumSizeKeepsThePopupFromShrinking();
    void anchorsFollowAResize();
    void panelAnchoredRightAndBottomGrowsWithTheMinimumSize();

    // Placement
    void placementFollowsTheBoardsCentring();
    void placementIsKeptOnTheScreen_data();
    void placementIsKeptOnTheScreen();
    void keepOnScreenMovesEachAxisInside_data();
    void keepOnScreenMovesEachAxisInside();
    void panelOnAnotherParentIsPlacedAtTheParent();

    // Content and life
    void panelMovesIntoThePopupForGood();
    void statusMemoHoldsTheLinesOnlyFromBuilding();
    void hidingAndShowingKeepsEverything();
    void matchingCaptionAndTypeBuildsNoSecondPopup();
    void anyWindowWithTheCaptionAndTagPreventsThePopup();
    void activationReachesHotspotAndPanel();

    // Radio panel
    void radioPanelDefaults();
    void finalAnchorsWaitForThePopup();
    void linesTextSplitsAtLineBreaks();
    void selectJumperClosesOnlyTheGivenTwoPinJumper();
    void selectJumperWithoutChangeRaisesNothing();
    void clickOnJumperInRadioPanelSelectsIt();
};

void TestPopupForm::popupGeometryFollowsThePanel_data()
{
    QTest::addColumn<QSize>("panelSize");
    QTest::addColumn<int>("memoHeight");
    QTest::addColumn<QSize>("client");
    QTest::addColumn<int>("memoTop");
    QTest::addColumn<int>("nextLeft");
    QTest::addColumn<int>("doneLeft");
    QTest::newRow("power panel 201x161")
        << QSize(201, 161) << 58 << QSize(201, 270) << 162 << 71 << 137;
    QTest::newRow("information panel 201x9")
        << QSize(201, 9) << 58 << QSize(201, 118) << 10 << 71 << 137;
    QTest::newRow("ip panel 345x121")
        << QSize(345, 121) << 58 << QSize(345, 230) << 122 << 143 << 281;
    QTest::newRow("taller memo") << QSize(201, 50) << 100 << QSize(201, 201) << 51 << 71 << 137;
}

void TestPopupForm::popupGeometryFollowsThePanel()
{
    QFETCH(QSize, panelSize);
    QFETCH(int, memoHeight);
    QFETCH(QSize, client);
    QFETCH(int, memoTop);
    QFETCH(int, nextLeft);
    QFETCH(int, doneLeft);
    BoardFixture f;
    TRadioPanel *panel = f.addPanel("Panel", QRect(QPoint(10, 10), panelSize), {"Text"});
    panel->setMemoHeight(memoHeight);
    TBoardHighlight *h = f.addHot(QRect(0, 0, 30, 30), panel);
    QVERIFY(f.showAndEnter(h));
    TPopupForm *popup = h->popup();
    QVERIFY(popup);
    QCOMPARE(popup->size(), client);
    const int ch = client.height();
    const int cw = client.width();
    QCOMPARE(panel->geometry(), QRect(QPoint(0, 0), panelSize));
    QCOMPARE(child(popup, "StatusMemo")->geometry(), QRect(6, memoTop, cw - 12, memoHeight));
    QCOMPARE(child(popup, "PreviousButton")->geometry(), QRect(6, ch - 44, 58, 25));
    QCOMPARE(child(popup, "NextButton")->geometry(), QRect(nextLeft, ch - 44, 58, 25));
    QCOMPARE(child(popup, "DoneButton")->geometry(), QRect(doneLeft, ch - 44, 58, 25));
    QCOMPARE(child(popup, "PopupStatus")->geometry(), QRect(0, ch - 19, cw, 19));
    QCOMPARE(popup->PopupStatus(), child(popup, "PopupStatus"));
    QCOMPARE(qobject_cast<QPushButton *>(child(popup, "PreviousButton"))->text(),
             QStringLiteral("Previous"));
    QCOMPARE(qobject_cast<QPushButton *>(child(popup, "NextButton"))->text(),
             QStringLiteral("Next"));
    QCOMPARE(qobject_cast<QPushButton *>(child(popup, "DoneButton"))->text(),
             QStringLiteral("Done"));
    auto *memo = qobject_cast<QPlainTextEdit *>(child(popup, "StatusMemo"));
    QVERIFY(memo->isReadOnly());
    QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QTRY_COMPARE(QApplication::focusWidget(), panel);
}

void TestPopupForm::popupWithoutPanelSitsBelowTheBoard()
{
    BoardFixture f;
    TBoardHighlight *h = f.addHot(QRect(0, 0, 30, 30));
    QVERIFY(f.showAndEnter(h));
    TPopupForm *popup = h->popup();
    QCOMPARE(popup->frameGeometry().size(), QSize(194, 141));
    QCOMPARE(popup->frameGeometry().topLeft(),
             QPoint(f.board->x(), f.board->y() + f.board->height() + 38));
    auto *done = child(popup, "DoneButton");
    QCOMPARE(done->geometry().right() + 1, popup->width() - 6);
    QTRY_COMPARE(QApplication::focusWidget(), done);
    QVERIFY(!popup->findChild<TRadioPanel *>());
}

void TestPopupForm::windowIsASizeableToolAlwaysOnTop()
{
    BoardFixture f;
    TBoardHighlight *h =
        f.addHotspot("H", QRect(0, 0, 30, 30), TBoardHighlight::htCalibration, "&Calibrate");
    QVERIFY(f.showAndEnter(h));
    TPopupForm *popup = h->popup();
    QVERIFY(popup->isWindow());
    QCOMPARE(popup->windowType(), Qt::Tool);
    QVERIFY(popup->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(popup->parent(), h);
    QCOMPARE(qobject_cast<TBoardHighlight *>(popup->parent()), h);
    QCOMPARE(popup->tag(), 2);
    QCOMPARE(popup->windowTitle(), QStringLiteral("Calibrate"));
}

void TestPopupForm::minimumSizeKeepsThePopupFromShrinking()
{
    BoardFixture f;
    TRadioPanel *narrow = f.addPanel("Narrow", QRect(10, 10, 120, 9));
    TBoardHighlight *h = f.addHot(QRect(0, 0, 30, 30), narrow);
    QVERIFY(f.showAndEnter(h));
    TPopupForm *popup = h->popup();
    QCOMPARE(popup->frameGeometry().width(), 194);
    QCOMPARE(popup->frameGeometry().height(), 122);
    QCOMPARE(popup->minimumSize(), popup->size());
    QCOMPARE(narrow->width(), 120);
    const int cw = popup->width();
    QCOMPARE(child(popup, "NextButton")->x(), (cw - 58) / 2);
    QCOMPARE(child(popup, "DoneButton")->x(), cw - 64);
    // The extra height sits between the panel and the text area.
    QCOMPARE(child(popup, "StatusMemo")->geometry().bottom() + 1,
             child(popup, "DoneButton")->y() - 6);
    QVERIFY(child(popup, "StatusMemo")->y() > narrow->geometry().bottom() + 1);
}

void TestPopupForm::anchorsFollowAResize()
{
    BoardFixture f;
    TRadioPanel *panel = f.addPanel("Panel", QRect(10, 10, 201, 50));
    TBoardHighlight *h = f.addHot(QRect(0, 0, 30, 30), panel);
    QVERIFY(f.showAndEnter(h));
    TPopupForm *popup = h->popup();
    const QSize before = popup->size();
    const QRect memo = child(popup, "StatusMemo")->geometry();
    const QRect next = child(popup, "NextButton")->geometry();
    const QRect done = child(popup, "DoneButton")->geometry();
    popup->resize(before + QSize(40, 30));
    QCOMPARE(panel->geometry(), QRect(0, 0, 201, 50));
    QCOMPARE(child(popup, "StatusMemo")->geometry(), memo.adjusted(0, 0, 40, 30));
    QCOMPARE(child(popup, "NextButton")->geometry(), next.translated(20, 30));
    QCOMPARE(child(popup, "DoneButton")->geometry(), done.translated(40, 30));
    QCOMPARE(child(popup, "PopupStatus")->geometry(),
             QRect(0, popup->height() - 19, popup->width(), 19));
    // FinalAnchors set once the panel sits in its popup apply at once.
    panel->setFinalAnchors(TRadioPanel::akLeft | TRadioPanel::akTop | TRadioPanel::akRight);
    QCOMPARE(panel->anchors(), TRadioPanel::akLeft | TRadioPanel::akTop | TRadioPanel::akRight);
    popup->resize(popup->size() + QSize(10, 0));
    QCOMPARE(panel->width(), 211);
}

void TestPopupForm::panelAnchoredRightAndBottomGrowsWithTheMinimumSize()
{
    BoardFixture f;
    TRadioPanel *narrow = f.addPanel("Narrow", QRect(10, 10, 120, 5));
    narrow->setFinalAnchors(TRadioPanel::akLeft | TRadioPanel::akTop | TRadioPanel::akRight |
                            TRadioPanel::akBottom);
    TBoardHighlight *h = f.addHot(QRect(0, 0, 30, 30), narrow);
    QVERIFY(f.showAndEnter(h));
    TPopupForm *popup = h->popup();
    QCOMPARE(popup->frameGeometry().size(), QSize(194, 122));
    // Built at 120 x (5 + 58 + 51), then enlarged to the minimum outer size.
    QVERIFY(popup->width() > 120);
    QVERIFY(popup->height() > 114);
    QCOMPARE(narrow->geometry(), QRect(0, 0, popup->width(), 5 + popup->height() - 114));
    QCOMPARE(child(popup, "StatusMemo")->y(), narrow->geometry().bottom() + 2);
}

void TestPopupForm::placementFollowsTheBoardsCentring()
{
    BoardFixture f;
    TRadioPanel *panel = f.addPanel("Panel", QRect(10, 20, 201, 9));
    TBoardHighlight *h = f.addHot(QRect(0, 0, 30, 30), panel);
    QVERIFY(f.show());
    const QPoint shift(f.board->x() - f.board->designLeft(), f.board->y() - f.board->designTop());
    QCOMPARE(QPoint(f.board->designLeft(), f.board->designTop()), QPoint(40, 30));
    QVERIFY(!shift.isNull());
    sendEnter(h);
    QCOMPARE(h->popup()->frameGeometry().topLeft(), QPoint(10, 20) + shift);
}

void TestPopupForm::placementIsKeptOnTheScreen_data()
{
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    QTest::addColumn<QPoint>("panelPos");
    QTest::addColumn<QPoint>("expected"); // -1: right or bottom edge on the screen's edge
    QTest::newRow("left of the screen") << QPoint(-400, 100) << QPoint(0, -2);
    QTest::newRow("above the screen") << QPoint(100, -400) << QPoint(-2, 0);
    QTest::newRow("past the right edge") << QPoint(screen.width() - 50, 100) << QPoint(-1, -2);
    QTest::newRow("past the bottom edge") << QPoint(100, screen.height() - 20) << QPoint(-2, -1);
}

void TestPopupForm::placementIsKeptOnTheScreen()
{
    QFETCH(QPoint, panelPos);
    QFETCH(QPoint, expected);
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    BoardFixture f;
    f.board->setCenterOnForm(false);
    TRadioPanel *panel = f.addPanel("Panel", QRect(panelPos, QSize(201, 161)));
    TBoardHighlight *h = f.addHot(QRect(0, 0, 30, 30), panel);
    QVERIFY(f.showAndEnter(h));
    const QRect outer = h->popup()->frameGeometry();
    const int x = expected.x() == -1 ? screen.width() - outer.width()
                                     : (expected.x() == -2 ? panelPos.x() : expected.x());
    const int y = expected.y() == -1 ? screen.height() - outer.height()
                                     : (expected.y() == -2 ? panelPos.y() : expected.y());
    QCOMPARE(outer.topLeft(), QPoint(x, y));
}

void TestPopupForm::panelOnAnotherParentIsPlacedAtTheParent()
{
    BoardFixture f;
    auto *holder = new QWidget(f.central);
    holder->setGeometry(5, 7, 100, 100);
    TRadioPanel *panel = f.addPanel("Panel", QRect(300, 300, 201, 9));
    TBoardHighlight *h =
        f.addHotspot("H", QRect(0, 0, 30, 30), TBoardHighlight::htOptions, "&Hot", panel, holder);
    QVERIFY(f.showAndEnter(h));
    QCOMPARE(h->popup()->frameGeometry().topLeft(), QPoint(5, 7));
}

void TestPopupForm::panelMovesIntoThePopupForGood()
{
    BoardFixture f;
    TRadioPanel *panel = f.addPanel("Panel", QRect(10, 20, 201, 9));
    TBoardHighlight *h = f.addHot(QRect(0, 0, 30, 30), panel);
    QVERIFY(f.show());
    QVERIFY(!panel->isVisible());
    QVERIFY(!panel->inPopup());
    sendEnter(h);
    QCOMPARE(panel->parentWidget(), h->popup());
    QVERIFY(panel->inPopup());
    QVERIFY(panel->isVisible());
    QCOMPARE(panel->anchors(), panel->finalAnchors());
    sendLeave(h, nowhere());
    QCOMPARE(panel->parentWidget(), h->popup());
}

void TestPopupForm::statusMemoHoldsTheLinesOnlyFromBuilding()
{
    BoardFixture f;
    TRadioPanel *panel = f.addPanel("Panel", QRect(10, 20, 201, 9), {"One", "", "Three"});
    TBoardHighlight *h = f.addHot(QRect(0, 0, 30, 30), panel);
    QVERIFY(f.show());
    QVERIFY(!panel->GetStatusMemo());
    sendEnter(h);
    QPlainTextEdit *memo = panel->GetStatusMemo();
    QVERIFY(memo);
    QCOMPARE(memo->objectName(), QStringLiteral("StatusMemo"));
    QCOMPARE(memo->accessibleName(), QStringLiteral("Hot information"));
    QCOMPARE(memo->toPlainText(), QStringLiteral("One\n\nThree"));
    panel->setLines({"Changed"});
    QCOMPARE(memo->toPlainText(), QStringLiteral("One\n\nThree"));
}

void TestPopupForm::hidingAndShowingKeepsEverything()
{
    BoardFixture f;
    TRadioPanel *panel = f.addPanel("Panel", QRect(10, 20, 201, 9), {"Lines"});
    TBoardHighlight *h = f.addHot(QRect(0, 0, 30, 30), panel);
    QVERIFY(f.showAndEnter(h));
    TPopupForm *popup = h->popup();
    popup->resize(popup->size() + QSize(30, 20));
    popup->move(popup->pos() + QPoint(5, 6));
    const QRect geometry = popup->geometry();
    panel->GetStatusMemo()->appendPlainText(QStringLiteral("Connecting..."));
    const QString text = panel->GetStatusMemo()->toPlainText();
    sendLeave(h, nowhere());
    QVERIFY(popup->isHidden());
    sendEnter(h);
    QCOMPARE(h->popup(), popup);
    QCOMPARE(popup->geometry(), geometry);
    QCOMPARE(panel->GetStatusMemo()->toPlainText(), text);
    QCOMPARE(popupCount(), 1);
}

void TestPopupForm::matchingCaptionAndTypeBuildsNoSecondPopup()
{
    BoardFixture f;
    auto *holder = new QWidget(f.central);
    TBoardHighlight *a =
        f.addHotspot("A", QRect(0, 0, 30, 30), TBoardHighlight::htOptions, "&Same");
    TBoardHighlight *b = f.addHotspot("B", QRect(0, 0, 30, 30), TBoardHighlight::htOptions, "S&ame",
                                      nullptr, holder);
    TBoardHighlight *c = f.addHotspot("C", QRect(0, 0, 30, 30), TBoardHighlight::htSettings,
                                      "Sam&e", nullptr, holder);
    QVERIFY(f.showAndEnter(a));
    sendEnter(b);
    QVERIFY(b->hovered());
    QVERIFY(!b->popup());
    sendEnter(c); // same caption, other type: a popup of its own
    QVERIFY(c->popup());
    QCOMPARE(popupCount(), 2);
}

void TestPopupForm::anyWindowWithTheCaptionAndTagPreventsThePopup()
{
    BoardFixture f;
    // A hidden dialog whose Tag is the ordinal of htCalibration.
    QWidget dialog(nullptr, Qt::Dialog);
    dialog.setWindowTitle(QStringLiteral("Calibrate"));
    dialog.setProperty("Tag", int(TBoardHighlight::htCalibration));
    // Menus are not windows that can own a popup.
    QMenu menu;
    menu.setWindowTitle(QStringLiteral("Pop"));
    TBoardHighlight *calibrate =
        f.addHotspot("Cal", QRect(0, 0, 30, 30), TBoardHighlight::htCalibration, "&Calibrate");
    TBoardHighlight *otherType =
        f.addHotspot("Opt", QRect(40, 0, 30, 30), TBoardHighlight::htOptions, "&Calibrate");
    // The main window has no Tag, which counts as 0.
    TBoardHighlight *settings =
        f.addHotspot("Set", QRect(80, 0, 30, 30), TBoardHighlight::htOptions, "&Settings");
    TBoardHighlight *pop =
        f.addHotspot("Pop", QRect(120, 0, 30, 30), TBoardHighlight::htOptions, "&Pop");
    QVERIFY(f.showAndEnter(calibrate));
    QVERIFY(calibrate->hovered());
    QVERIFY(!calibrate->popup());
    sendEnter(settings);
    QVERIFY(!settings->popup());
    sendEnter(otherType);
    QVERIFY(otherType->popup());
    sendEnter(pop);
    QVERIFY(pop->popup());
}

void TestPopupForm::activationReachesHotspotAndPanel()
{
    BoardFixture f;
    TRadioPanel *panel = f.addPanel("Panel", QRect(10, 20, 201, 9));
    TBoardHighlight *h = f.addHot(QRect(0, 0, 30, 30), panel);
    QSignalSpy activated(panel, &TRadioPanel::OnActivate);
    QSignalSpy deactivated(panel, &TRadioPanel::OnDeactivate);
    QVERIFY(f.showAndEnter(h));
    TPopupForm *popup = h->popup();
    QTRY_VERIFY(popup->isActiveWindow());
    QVERIFY(h->popupActive());
    QVERIFY(!activated.isEmpty());
    QCOMPARE(activated.last().at(0).value<QObject *>(), popup);
    f.window->activateWindow();
    QTRY_VERIFY(!h->popupActive());
    QVERIFY(!deactivated.isEmpty());
    QCOMPARE(deactivated.last().at(0).value<QObject *>(), popup);
    QCOMPARE(h->currentImage(), h->litImage());
}

void TestPopupForm::radioPanelDefaults()
{
    TRadioPanel panel;
    QCOMPARE(panel.size(), QSize(194, 100));
    QVERIFY(panel.isHidden());
    QVERIFY(!panel.radioEnabled());
    QCOMPARE(panel.memoHeight(), 58);
    QCOMPARE(panel.finalAnchors(), TRadioPanel::akLeft | TRadioPanel::akTop);
    QCOMPARE(panel.anchors(), TRadioPanel::akLeft | TRadioPanel::akTop);
    QVERIFY(panel.lines().isEmpty());
    QVERIFY(!panel.inPopup());
    QVERIFY(!panel.GetStatusMemo());
    // The properties a layout sets by name.
    QVERIFY(panel.setProperty("MemoHeight", 70));
    QVERIFY(panel.setProperty("RadioEnabled", true));
    QVERIFY(panel.setProperty("Tag", 5));
    QCOMPARE(panel.memoHeight(), 70);
    QVERIFY(panel.radioEnabled());
    QCOMPARE(panel.tag(), 5);
}

void TestPopupForm::finalAnchorsWaitForThePopup()
{
    TRadioPanel panel;
    const auto all =
        TRadioPanel::akLeft | TRadioPanel::akTop | TRadioPanel::akRight | TRadioPanel::akBottom;
    panel.setFinalAnchors(all);
    QCOMPARE(panel.finalAnchors(), all);
    QCOMPARE(panel.anchors(), TRadioPanel::akLeft | TRadioPanel::akTop);
}

void TestPopupForm::linesTextSplitsAtLineBreaks()
{
    TRadioPanel panel;
    panel.setLinesText(QStringLiteral("First\r\n\r\n* Second\r\n"));
    QCOMPARE(panel.lines(), (QStringList{"First", "", "* Second"}));
    panel.setLinesText(QStringLiteral("a\nb\rc"));
    QCOMPARE(panel.lines(), (QStringList{"a", "b", "c"}));
}

void TestPopupForm::selectJumperClosesOnlyTheGivenTwoPinJumper()
{
    TRadioPanel panel;
    auto *a = new TTwoJumper(&panel);
    auto *b = new TTwoJumper(&panel);
    auto *c = new TTwoJumper(&panel);
    auto *three = new TThreeJumper(&panel);
    three->setJumperState(TThreeJumper::jsRight);
    a->setClosed(true);
    QSignalSpy changed(&panel, &TRadioPanel::OnRadioChange);
    panel.SelectJumper(b);
    QVERIFY(!a->closed());
    QVERIFY(b->closed());
    QVERIFY(!c->closed());
    QCOMPARE(three->jumperState(), TThreeJumper::jsRight);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<QObject *>(), b);
}

void TestPopupForm::selectJumperWithoutChangeRaisesNothing()
{
    TRadioPanel panel;
    auto *a = new TTwoJumper(&panel);
    auto *b = new TTwoJumper(&panel);
    b->setClosed(true);
    QSignalSpy changed(&panel, &TRadioPanel::OnRadioChange);
    panel.SelectJumper(b);
    QVERIFY(!a->closed());
    QVERIFY(b->closed());
    QVERIFY(changed.isEmpty());
}

void TestPopupForm::clickOnJumperInRadioPanelSelectsIt()
{
    TRadioPanel panel;
    panel.setRadioEnabled(true);
    auto *a = new TTwoJumper(&panel);
    auto *b = new TTwoJumper(&panel);
    a->setClosed(true);
    b->click();
    QVERIFY(!a->closed());
    QVERIFY(b->closed());
}

void TestPopupForm::keepOnScreenMovesEachAxisInside_data()
{
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<QSize>("outer");
    QTest::addColumn<QPoint>("kept");
    // On a 800 x 600 screen.
    QTest::newRow("inside stays") << QPoint(10, 20) << QSize(194, 122) << QPoint(10, 20);
    QTest::newRow("past left and top") << QPoint(-5, -1) << QSize(194, 122) << QPoint(0, 0);
    QTest::newRow("past right and bottom")
        << QPoint(700, 550) << QSize(194, 122) << QPoint(606, 478);
    QTest::newRow("exactly at the corner")
        << QPoint(606, 478) << QSize(194, 122) << QPoint(606, 478);
    QTest::newRow("wider than the screen ends at its right")
        << QPoint(5, 5) << QSize(900, 122) << QPoint(-100, 5);
}

void TestPopupForm::keepOnScreenMovesEachAxisInside()
{
    QFETCH(QPoint, pos);
    QFETCH(QSize, outer);
    QFETCH(QPoint, kept);
    QCOMPARE(PopupGeometry::KeepOnScreen(pos, outer, QSize(800, 600)), kept);
}

QTEST_MAIN(TestPopupForm)
#include "tst_popupform.moc"
