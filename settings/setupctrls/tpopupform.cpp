#include "tpopupform.h"

#include "tboardhighlight.h"
#include "windowframe.h"

#include <QCloseEvent>
#include <QCursor>
#include <QResizeEvent>

TPopupForm::TPopupForm(TBoardHighlight *highlight)
    : QWidget(highlight, Qt::Tool | Qt::WindowStaysOnTopHint), m_highlight(highlight)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
}

TPopupForm::~TPopupForm() = default;

QRect TPopupForm::outerRect() const
{
    return frameGeometry();
}

QMargins TPopupForm::frameMargins() const
{
    return ExpectedFrameMargins(const_cast<TPopupForm *>(this));
}

void TPopupForm::setChildAnchors(QWidget *child, TRadioPanel::TAnchors anchors)
{
    if (!child)
        return;
    Anchored entry{child, anchors, child->geometry(), size()};
    for (Anchored &existing : m_anchored) {
        if (existing.widget == child) {
            existing = entry;
            return;
        }
    }
    m_anchored.append(entry);
}

TRadioPanel::TAnchors TPopupForm::childAnchors(const QWidget *child) const
{
    for (const Anchored &existing : m_anchored) {
        if (existing.widget == child)
            return existing.anchors;
    }
    return TRadioPanel::TAnchors(TRadioPanel::akLeft | TRadioPanel::akTop);
}

void TPopupForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    using A = TRadioPanel;
    for (const Anchored &entry : std::as_const(m_anchored)) {
        if (!entry.widget)
            continue;
        const int dw = width() - entry.clientSize.width();
        const int dh = height() - entry.clientSize.height();
        QRect r = entry.rect;
        const bool left = entry.anchors.testFlag(A::akLeft);
        const bool right = entry.anchors.testFlag(A::akRight);
        const bool top = entry.anchors.testFlag(A::akTop);
        const bool bottom = entry.anchors.testFlag(A::akBottom);
        // Anchored to both sides it stretches; to one it keeps that distance;
        // to neither it keeps its place relative to the centre.
        if (left && right)
            r.setWidth(r.width() + dw);
        else if (right)
            r.moveLeft(r.left() + dw);
        else if (!left)
            r.moveLeft(r.left() + dw / 2);
        if (top && bottom)
            r.setHeight(r.height() + dh);
        else if (bottom)
            r.moveTop(r.top() + dh);
        else if (!top)
            r.moveTop(r.top() + dh / 2);
        entry.widget->setGeometry(r);
    }
}

void TPopupForm::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange)
        return;
    const bool active = isActiveWindow();
    if (m_highlight)
        m_highlight->SetPopupActive(active, true);
    if (active)
        emit OnActivate(this);
    else
        emit OnDeactivate(this);
}

void TPopupForm::leaveEvent(QEvent *event)
{
    if (m_closeOnLeave && !outerRect().contains(QCursor::pos())) {
        close();
        return;
    }
    QWidget::leaveEvent(event);
}

void TPopupForm::closeEvent(QCloseEvent *event)
{
    if (m_highlight)
        m_highlight->PopupClosed();
    // Hidden, never destroyed: it keeps its size, place and texts.
    event->accept();
}
