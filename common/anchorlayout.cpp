#include "anchorlayout.h"

#include <QMetaEnum>
#include <QWidget>

namespace {

// value * num / den, rounded to the nearest integer.
int scaled(int value, int num, int den)
{
    const qint64 p = qint64(value) * num;
    return int((2 * p + den) / (2 * qint64(den)));
}

// One axis of TAnchorLayout::Place: start and length of the control, grown by delta.
void placeAxis(int &start, int &length, bool nearSide, bool farSide, int from, int to,
               TAnchorLayout::TCentring centring)
{
    const int delta = to - from;
    if (nearSide && farSide) {
        length = qMax(0, length + delta);
    } else if (farSide) {
        start += delta;
    } else if (nearSide) {
        return;
    } else if (centring == TAnchorLayout::KeepCentreGap) {
        start += delta / 2;
    } else if (centring == TAnchorLayout::ScaleCentre && from > 0) {
        start = scaled(start + length / 2, to, from) - length / 2;
    }
}

} // namespace

TAnchorLayout::TAnchorLayout(QWidget *container, TCentring centring)
    : QLayout(container), m_centring(centring)
{
    // The controls keep the sizes they are given; the container's size is its owner's business.
    setSizeConstraint(SetNoConstraint);
    setContentsMargins(0, 0, 0, 0);
}

TAnchorLayout::~TAnchorLayout()
{
    for (const Anchored &entry : std::as_const(m_anchored))
        delete entry.item;
}

TAnchorLayout *TAnchorLayout::Of(const QWidget *container)
{
    return container ? qobject_cast<TAnchorLayout *>(container->layout()) : nullptr;
}

TAnchorLayout::TAnchors TAnchorLayout::FromEdgeNames(const QString &names, bool *ok)
{
    const QMetaEnum keys = QMetaEnum::fromType<Qt::Edges>();
    const int edges = keys.keysToValue(names.toLatin1().constData(), ok);
    TAnchors anchors;
    anchors.setFlag(TAnchorKinds::akLeft, edges & Qt::LeftEdge);
    anchors.setFlag(TAnchorKinds::akTop, edges & Qt::TopEdge);
    anchors.setFlag(TAnchorKinds::akRight, edges & Qt::RightEdge);
    anchors.setFlag(TAnchorKinds::akBottom, edges & Qt::BottomEdge);
    return anchors;
}

QRect TAnchorLayout::Place(const QRect &origin, const QSize &from, const QSize &to,
                           TAnchors anchors, TCentring centring)
{
    int x = origin.x(), width = origin.width();
    int y = origin.y(), height = origin.height();
    placeAxis(x, width, anchors & TAnchorKinds::akLeft, anchors & TAnchorKinds::akRight,
              from.width(), to.width(), centring);
    placeAxis(y, height, anchors & TAnchorKinds::akTop, anchors & TAnchorKinds::akBottom,
              from.height(), to.height(), centring);
    return QRect(x, y, width, height);
}

void TAnchorLayout::setAnchors(QWidget *control, TAnchors anchors)
{
    if (!control)
        return;
    const QRect area = placingArea(givenRect());
    const QRect origin = control->geometry().translated(-area.topLeft());
    for (Anchored &entry : m_anchored) {
        if (entry.item->widget() == control) {
            entry = Anchored{entry.item, anchors, origin, area.size()};
            return;
        }
    }
    // Added as an item only: the control keeps its parent and visibility.
    m_anchored.append(Anchored{new QWidgetItem(control), anchors, origin, area.size()});
}

TAnchorLayout::TAnchors TAnchorLayout::anchors(const QWidget *control) const
{
    for (const Anchored &entry : m_anchored) {
        if (entry.item->widget() == control)
            return entry.anchors;
    }
    return TAnchors(TAnchorKinds::akLeft | TAnchorKinds::akTop);
}

void TAnchorLayout::rebase(const QSize &size)
{
    const QRect area = placingArea(givenRect());
    for (Anchored &entry : m_anchored) {
        entry.origin = entry.item->widget()->geometry().translated(-area.topLeft());
        entry.containerSize = size.shrunkBy(contentsMargins());
    }
}

void TAnchorLayout::apply()
{
    place(placingArea(givenRect()));
}

QRect TAnchorLayout::givenRect() const
{
    // A container's own layout counts from the container's corner, whatever a frame or title
    // takes of it (the stored positions do); a nested layout from what its parent layout gave.
    QWidget *container = parentWidget();
    return container && parent() == container ? container->rect() : geometry();
}

QRect TAnchorLayout::placingArea(const QRect &given) const
{
    return given.marginsRemoved(contentsMargins());
}

void TAnchorLayout::place(const QRect &area)
{
    m_placedIn = area;
    for (const Anchored &entry : std::as_const(m_anchored)) {
        entry.item->widget()->setGeometry(
            Place(entry.origin, entry.containerSize, area.size(), entry.anchors, m_centring)
                .translated(area.topLeft()));
    }
}

void TAnchorLayout::addItem(QLayoutItem *item)
{
    if (QWidget *control = item->widget()) {
        const QRect area = placingArea(givenRect());
        m_anchored.append(Anchored{static_cast<QWidgetItem *>(item),
                                   TAnchors(TAnchorKinds::akLeft | TAnchorKinds::akTop),
                                   control->geometry().translated(-area.topLeft()), area.size()});
    } else {
        delete item;
    }
}

QLayoutItem *TAnchorLayout::itemAt(int index) const
{
    return index >= 0 && index < m_anchored.size() ? m_anchored.at(index).item : nullptr;
}

QLayoutItem *TAnchorLayout::takeAt(int index)
{
    if (index < 0 || index >= m_anchored.size())
        return nullptr;
    return m_anchored.takeAt(index).item;
}

int TAnchorLayout::count() const
{
    return int(m_anchored.size());
}

QSize TAnchorLayout::neutralHint() const
{
    // The toolkit adds the container's contents margins to a layout's hints; this leaves the
    // container's hints at "none", as they are without a layout.
    const QMargins margins = parentWidget() ? parentWidget()->contentsMargins() : QMargins();
    return QSize(-1 - margins.left() - margins.right(), -1 - margins.top() - margins.bottom());
}

QSize TAnchorLayout::sizeHint() const
{
    return neutralHint();
}

QSize TAnchorLayout::minimumSize() const
{
    return neutralHint();
}

Qt::Orientations TAnchorLayout::expandingDirections() const
{
    return {};
}

void TAnchorLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    // The toolkit also lays out again when a control's hints change; only a new area moves
    // anything, as with resize events.
    const QRect area = placingArea(givenRect());
    if (area != m_placedIn)
        place(area);
}
