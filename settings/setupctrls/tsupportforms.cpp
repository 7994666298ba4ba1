#include "tsupportforms.h"

#include <QKeyEvent>
#include <QPushButton>

namespace {
// A new form's size before anything is laid out in it.
constexpr QSize NewFormSize(320, 240);
} // namespace

TSupportForm::TSupportForm(QWidget *owner)
    : QDialog(owner), m_anchors(new TAnchorLayout(this, TAnchorLayout::ScaleCentre))
{
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(false);
    resize(NewFormSize);
}

void TSupportForm::anchor(QWidget *control, TAnchors anchors)
{
    m_anchors->setAnchors(control, anchors);
}

void TSupportForm::setClientSize(const QSize &size)
{
    resize(size);
    m_anchors->apply();
}

void TSupportForm::fitToControls()
{
    QRect box;
    const QList<QWidget *> controls =
        findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *w : controls)
        if (!w->isHidden() && !w->isWindow())
            box = box.united(w->geometry());
    if (box.isNull())
        return;
    const QPoint offset = -box.topLeft();
    for (QWidget *w : controls)
        if (!w->isHidden() && !w->isWindow())
            w->move(w->pos() + offset);
    // Anchors keep the controls where they now are.
    m_anchors->rebase(box.size());
    resize(box.size());
}

void TSupportForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && m_cancelButton) {
        m_cancelButton->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

THelpForm::THelpForm(QWidget *owner) : TSupportForm(owner) {}

void THelpForm::setVisible(bool visible)
{
    // Centred over the main window each time it is shown.
    if (visible && !isVisible() && parentWidget()) {
        const QRect owner = parentWidget()->window()->frameGeometry();
        QRect r(QPoint(0, 0), size());
        r.moveCenter(owner.center());
        move(r.topLeft());
    }
    TSupportForm::setVisible(visible);
}

void THelpForm::showEvent(QShowEvent *event)
{
    TSupportForm::showEvent(event);
    if (StartButton)
        StartButton->setFocus(Qt::ActiveWindowFocusReason);
}

TTechForm::TTechForm(QWidget *owner) : TSupportForm(owner) {}

TPCIForm::TPCIForm(QWidget *owner) : TSupportForm(owner) {}
