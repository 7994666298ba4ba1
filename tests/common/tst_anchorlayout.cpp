#include "anchorlayout.h"

#include <QLabel>
#include <QTest>
#include <QVBoxLayout>

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
    void controlsArePlacedInsideTheGivenRectLessMargins_data();
    void controlsArePlacedInsideTheGivenRectLessMargins();
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

void TestAnchorLayout::controlsArePlacedInsideTheGivenRectLessMargins_data()
{
    QTest::addColumn<QMargins>("margins");
    QTest::addColumn<TAnchorLayout::TAnchors>("anchors");
    QTest::addColumn<TAnchorLayout::TCentring>("centring");
    QTest::addColumn<QRect>("given"); // null: the container's own layout, resized; else nested
    QTest::addColumn<QRect>("placed");
    // A control at (10, 20) sized 30 x 40 in a 100 x 100 container, which grows to 150 x 130.
    const QMargins m(5, 6, 7, 8); // contents 88 x 86 at (5, 6), growing to 138 x 116
    const auto farSides = TAnchorLayout::TAnchors(A::akRight | A::akBottom);
    const auto all = TAnchorLayout::TAnchors(A::akLeft | A::akTop | A::akRight | A::akBottom);
    QTest::newRow("margins, far sides")
        << m << farSides << TAnchorLayout::KeepPlace << QRect() << QRect(60, 50, 30, 40);
    QTest::newRow("margins, stretched")
        << m << all << TAnchorLayout::KeepPlace << QRect() << QRect(10, 20, 80, 70);
    // The centre (20, 34) inside the contents scales by 138/88 and 116/86.
    QTest::newRow("margins, centre scaled inside")
        << m << TAnchorLayout::TAnchors() << TAnchorLayout::ScaleCentre << QRect()
        << QRect(5 + 31 - 15, 6 + 46 - 20, 30, 40);
    // Nested: first given the container's 100 x 100, then a rectangle at (20, 10) sized 150 x 130.
    QTest::newRow("given rect, far sides") << QMargins() << farSides << TAnchorLayout::KeepPlace
                                           << QRect(20, 10, 150, 130) << QRect(80, 60, 30, 40);
    QTest::newRow("given rect and margins, stretched")
        << m << all << TAnchorLayout::KeepPlace << QRect(20, 10, 150, 130) << QRect(30, 30, 80, 70);
}

void TestAnchorLayout::controlsArePlacedInsideTheGivenRectLessMargins()
{
    QFETCH(QMargins, margins);
    QFETCH(TAnchorLayout::TAnchors, anchors);
    QFETCH(TAnchorLayout::TCentring, centring);
    QFETCH(QRect, given);
    QFETCH(QRect, placed);
    QWidget container;
    container.resize(100, 100);
    auto *control = new QLabel(QStringLiteral("anchored"), &container);
    control->setGeometry(10, 20, 30, 40);
    auto *layout = new TAnchorLayout(given.isNull() ? &container : nullptr, centring);
    layout->setContentsMargins(margins);
    if (!given.isNull()) {
        auto *outer = new QVBoxLayout(&container);
        outer->addLayout(layout);
        layout->setGeometry(container.rect());
    }
    layout->setAnchors(control, anchors);
    if (given.isNull()) {
        container.resize(150, 130);
        layout->apply();
    } else {
        layout->setGeometry(given);
    }
    QCOMPARE(control->geometry(), placed);
}

QTEST_MAIN(TestAnchorLayout)
#include "tst_anchorlayout.moc"
