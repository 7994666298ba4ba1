#include "anchorlayout.h"

#include <QLabel>
#include <QTest>

using A = TAnchorKinds;
Q_DECLARE_METATYPE(TAnchorLayout::TAnchors)
Q_DECLARE_METATYPE(TAnchorLayout::TCentring)

class TestAnchorLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void placeFollowsTheAnchoredEdges_data();
    void placeFollowsTheAnchoredEdges();
    void edgeNamesBecomeAnchors();
    void containerResizeMovesOnlyAnchoredControlsAndKeepsHints();
};

void TestAnchorLayout::placeFollowsTheAnchoredEdges_data()
{
    QTest::addColumn<TAnchorLayout::TAnchors>("anchors");
    QTest::addColumn<TAnchorLayout::TCentring>("centring");
    QTest::addColumn<QSize>("to");
    QTest::addColumn<QRect>("placed");
    // A control at (10, 20) sized 30 x 40 in a 100 x 100 container.
    const auto all = A::akLeft | A::akTop | A::akRight | A::akBottom;
    QTest::newRow("left and top stay")
        << TAnchorLayout::TAnchors(A::akLeft | A::akTop) << TAnchorLayout::KeepCentreGap
        << QSize(150, 130) << QRect(10, 20, 30, 40);
    QTest::newRow("all four stretch") << TAnchorLayout::TAnchors(all) << TAnchorLayout::KeepPlace
                                      << QSize(150, 130) << QRect(10, 20, 80, 70);
    QTest::newRow("stretch stops at nothing")
        << TAnchorLayout::TAnchors(all) << TAnchorLayout::KeepPlace << QSize(50, 50)
        << QRect(10, 20, 0, 0);
    QTest::newRow("right and bottom move")
        << TAnchorLayout::TAnchors(A::akRight | A::akBottom) << TAnchorLayout::KeepPlace
        << QSize(150, 130) << QRect(60, 50, 30, 40);
    QTest::newRow("free axis, keep place")
        << TAnchorLayout::TAnchors(A::akBottom) << TAnchorLayout::KeepPlace << QSize(151, 130)
        << QRect(10, 50, 30, 40);
    QTest::newRow("free axis, half the growth")
        << TAnchorLayout::TAnchors(A::akBottom) << TAnchorLayout::KeepCentreGap << QSize(151, 130)
        << QRect(35, 50, 30, 40);
    QTest::newRow("free axis, centre scaled")
        << TAnchorLayout::TAnchors(A::akBottom) << TAnchorLayout::ScaleCentre << QSize(150, 130)
        << QRect(23, 50, 30, 40);
}

void TestAnchorLayout::placeFollowsTheAnchoredEdges()
{
    QFETCH(TAnchorLayout::TAnchors, anchors);
    QFETCH(TAnchorLayout::TCentring, centring);
    QFETCH(QSize, to);
    QFETCH(QRect, placed);
    QCOMPARE(TAnchorLayout::Place(QRect(10, 20, 30, 40), QSize(100, 100), to, anchors, centring),
             placed);
}

void TestAnchorLayout::edgeNamesBecomeAnchors()
{
    bool ok = false;
    QCOMPARE(TAnchorLayout::FromEdgeNames(QStringLiteral("TopEdge|RightEdge"), &ok),
             TAnchorLayout::TAnchors(A::akTop | A::akRight));
    QVERIFY(ok);
    TAnchorLayout::FromEdgeNames(QStringLiteral("TopEdge|Sideways"), &ok);
    QVERIFY(!ok);
}

void TestAnchorLayout::containerResizeMovesOnlyAnchoredControlsAndKeepsHints()
{
    QWidget container;
    container.resize(100, 100);
    auto *anchored = new QLabel(QStringLiteral("anchored"), &container);
    anchored->setGeometry(10, 20, 30, 40);
    auto *loose = new QLabel(QStringLiteral("loose"), &container);
    loose->setGeometry(50, 60, 20, 10);
    const QSize hint = container.sizeHint();
    const QSize minimumHint = container.minimumSizeHint();
    auto *layout = new TAnchorLayout(&container, TAnchorLayout::KeepPlace);
    layout->setAnchors(anchored, A::akLeft | A::akRight | A::akBottom);
    QCOMPARE(container.sizeHint(), hint);
    QCOMPARE(container.minimumSizeHint(), minimumHint);
    QCOMPARE(TAnchorLayout::Of(&container), layout);
    QCOMPARE(layout->anchors(loose), TAnchorLayout::TAnchors(A::akLeft | A::akTop));

    container.show();
    container.resize(120, 110);
    QTRY_COMPARE(container.size(), QSize(120, 110));
    QCOMPARE(anchored->geometry(), QRect(10, 30, 50, 40));
    QCOMPARE(loose->geometry(), QRect(50, 60, 20, 10));
    // A hidden container gets its resize event only when shown; apply() places at once.
    container.hide();
    container.resize(100, 100);
    layout->apply();
    QCOMPARE(anchored->geometry(), QRect(10, 20, 30, 40));
}

QTEST_MAIN(TestAnchorLayout)
#include "tst_anchorlayout.moc"
