#include "tedgeanchors.h"

#include <QEvent>
#include <QMetaEnum>
#include <QResizeEvent>
#include <QVariant>
#include <QWidget>

TEdgeAnchors::TEdgeAnchors(QWidget *container)
    : QObject(container), container_(container), storedSize_(container->size())
{
    const QMetaEnum keys = QMetaEnum::fromType<Qt::Edges>();
    for (QObject *child : container->children()) {
        auto *widget = qobject_cast<QWidget *>(child);
        if (!widget)
            continue;
        const QVariant anchors = widget->property("anchors");
        if (!anchors.isValid())
            continue;
        bool ok = false;
        const int edges = keys.keysToValue(anchors.toString().toLatin1().constData(), &ok);
        if (!ok) {
            qWarning("%s: unknown anchors \"%s\"", qPrintable(widget->objectName()),
                     qPrintable(anchors.toString()));
            continue;
        }
        anchored_.append({widget, widget->geometry(), Qt::Edges(edges)});
    }
    container->installEventFilter(this);
}

bool TEdgeAnchors::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == container_ && event->type() == QEvent::Resize)
        Follow(static_cast<QResizeEvent *>(event)->size());
    return QObject::eventFilter(watched, event);
}

void TEdgeAnchors::Follow(const QSize &size)
{
    const int dx = size.width() - storedSize_.width();
    const int dy = size.height() - storedSize_.height();
    for (const TAnchored &a : anchored_) {
        if (!a.widget)
            continue;
        QRect r = a.stored;
        if (a.edges & Qt::RightEdge) {
            if (a.edges & Qt::LeftEdge)
                r.setWidth(qMax(0, r.width() + dx));
            else
                r.moveLeft(r.left() + dx);
        }
        if (a.edges & Qt::BottomEdge) {
            if (a.edges & Qt::TopEdge)
                r.setHeight(qMax(0, r.height() + dy));
            else
                r.moveTop(r.top() + dy);
        }
        a.widget->setGeometry(r);
    }
}
