#include "popupgeometry.h"

namespace PopupGeometry {

namespace {

int keepInside(int start, int length, int room)
{
    if (start < 0)
        return 0;
    if (start + length > room)
        return room - length;
    return start;
}

} // namespace

QPoint KeepOnScreen(QPoint pos, const QSize &outer, const QSize &screen)
{
    return QPoint(keepInside(pos.x(), outer.width(), screen.width()),
                  keepInside(pos.y(), outer.height(), screen.height()));
}

} // namespace PopupGeometry
