#include "popupgeometry.h"

namespace PopupGeometry {

namespace {

int keepInside(int start, int length, int first, int room)
{
    if (start < first)
        return first;
    if (start + length > first + room)
        return first + room - length;
    return start;
}

} // namespace

QPoint KeepOnScreen(QPoint pos, const QSize &outer, const QSize &screen)
{
    return KeepOnScreen(pos, outer, QRect(QPoint(0, 0), screen));
}

QPoint KeepOnScreen(QPoint pos, const QSize &outer, const QRect &area)
{
    return QPoint(keepInside(pos.x(), outer.width(), area.x(), area.width()),
                  keepInside(pos.y(), outer.height(), area.y(), area.height()));
}

} // namespace PopupGeometry
