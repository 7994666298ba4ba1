#pragma once

#include <QLayout>
#include <QList>
#include <QRect>
#include <QSize>

class QWidgetItem;

// The edges of its container a control keeps its distance to.
struct TAnchorKinds
{
    Q_GADGET

public:
    enum TAnchorKind { akLeft = 0x1, akTop = 0x2, akRight = 0x4, akBottom = 0x8 };
    Q_DECLARE_FLAGS(TAnchors, TAnchorKind)
    Q_FLAG(TAnchors)
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TAnchorKinds::TAnchors)

// Places controls from the geometry they had when anchored as their container's size changes:
// anchored to both sides of an axis a control stretches, to one side it keeps that distance, to
// neither the centring rule decides. Geometries count from the layout's rectangle less its contents
// margins: the container's whole rectangle for its own layout, the one it is given when nested. The
// controls keep their fixed geometries otherwise, and the layout adds nothing to the container's
// size hints.
class TAnchorLayout : public QLayout
{
    Q_OBJECT

public:
    using TAnchors = TAnchorKinds::TAnchors;

    // What a control anchored to neither side of an axis does on that axis.
    enum TCentring {
        KeepPlace,     // stays where it is
        KeepCentreGap, // moves by half the growth: the same distance from the centre
        ScaleCentre,   // its centre stays at the same fraction of the container
    };

    TAnchorLayout(QWidget *container, TCentring centring);
    ~TAnchorLayout() override;

    // The layout of container, when it is an anchor layout.
    static TAnchorLayout *Of(const QWidget *container);
    // Qt::Edges key names joined by "|", as "TopEdge|LeftEdge"; ok is false on an unknown name.
    static TAnchors FromEdgeNames(const QString &names, bool *ok);
    // Where a control anchored at origin in a container of size from goes at size to.
    static QRect Place(const QRect &origin, const QSize &from, const QSize &to, TAnchors anchors,
                       TCentring centring);

    // Ties control to edges from its present geometry and the present placing area.
    void setAnchors(QWidget *control, TAnchors anchors);
    // akLeft | akTop for a control never anchored here.
    TAnchors anchors(const QWidget *control) const;
    // Takes every control's present geometry as its new origin, at container size size.
    void rebase(const QSize &size);
    // Places every control for the container's present size (a nested layout: for the rectangle
    // it was last given), resize event or not.
    void apply();

    void addItem(QLayoutItem *item) override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    int count() const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    Qt::Orientations expandingDirections() const override;
    void setGeometry(const QRect &rect) override;

private:
    struct Anchored
    {
        QWidgetItem *item;
        TAnchors anchors;
        QRect origin;
        QSize containerSize; // the container's size when origin was taken
    };

    QSize neutralHint() const;
    QRect givenRect() const;
    QRect placingArea(const QRect &given) const;
    void place(const QRect &area);

    TCentring m_centring;
    QList<Anchored> m_anchored;
    QRect m_placedIn; // the area the controls were last placed in
};
