#include "tpopupform.h"

#include "anchorlayout.h"
#include "windowframe.h"

#include <QCloseEvent>
#include <QCursor>

TPopupForm::TPopupForm(QWidget *owner) : QWidget(owner, WindowKind)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    // Children anchored to neither side keep their distance from the centre.
    new TAnchorLayout(this, TAnchorLayout::KeepCentreGap);
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

void TPopupForm::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange)
        return;
    const bool active = isActiveWindow();
    emit activeChanged(active);
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
    // The keyboard goes back to the board's window, as a window manager would hand it on; with
    // none it would go nowhere and the next popup could not be made active.
    if (isActiveWindow() && parentWidget())
        parentWidget()->window()->activateWindow();
    emit closed();
    // Hidden, never destroyed: it keeps its size, place and texts.
    event->accept();
}
