// Keeps the children of a container at fixed distances from the container's edges.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

// Each child that carries a dynamic property "anchors" (Qt::Edges key names joined by "|", such
// as "TopEdge|LeftEdge|RightEdge") is tied to those edges: tied to both sides it stretches, tied
// to the right or bottom only it moves along. Children without the property stay where they are.
// The distances are those of the moment the keeper is made, normally right after setupUi.
class TEdgeAnchors : public QObject
{
    Q_OBJECT

public:
    explicit TEdgeAnchors(QWidget *container);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct TAnchored
    {
        QPointer<QWidget> widget;
        QRect stored;
        Qt::Edges edges;
    };

    void Follow(const QSize &size);

    QWidget *container_;
    QSize storedSize_;
    QList<TAnchored> anchored_;
};
