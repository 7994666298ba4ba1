// Keeps the children of a container at fixed distances from the container's edges.
#pragma once

class QWidget;

// Each child that carries a dynamic property "anchors" (Qt::Edges key names joined by "|", such
// as "TopEdge|LeftEdge|RightEdge") is tied to those edges: tied to both sides it stretches, tied
// to the right or bottom only it moves along. Children without the property stay where they are.
// The distances are those of the moment of the call, normally right after setupUi.
void AnchorToEdges(QWidget *container);
