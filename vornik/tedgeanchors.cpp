#include "tedgeanchors.h"

#include "anchorlayout.h"

#include <QVariant>
#include <QWidget>

void AnchorToEdges(QWidget *container)
{
    auto *layout = new TAnchorLayout(container, TAnchorLayout::KeepPlace);
    for (QObject *child : container->children()) {
        auto *widget = qobject_cast<QWidget *>(child);
        if (!widget)
            continue;
        const QVariant names = widget->property("anchors");
        if (!names.isValid())
            continue;
        bool ok = false;
        const TAnchorLayout::TAnchors anchors = TAnchorLayout::FromEdgeNames(names.toString(), &ok);
        if (!ok) {
            qWarning("%s: unknown anchors \"%s\"", qPrintable(widget->objectName()),
                     qPrintable(names.toString()));
            continue;
        }
        layout->setAnchors(widget, anchors);
    }
}
