#include "tsupportforms.h"

#include <QKeyEvent>
#include <QPushButton>

namespace {

// value * num / den, rounded to the nearest integer.
int scaled(int value, int num, int den)
{
    const qint64 p = qint64(value) * num;
    return int((2 * p + den) / (2 * qint64(den)));
}

} // namespace

TSupportForm::TSupportForm(QWidget *owner) : QDialog(owner)
{
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(false);
    // A new form's size before anything is laid out in it.
    resize(320, 240);
}

void TSupportForm::anchor(QWidget *control, TAnchors anchors)
{
    for (Rule &rule : m_rules)
        if (rule.control == control) {
            rule = Rule{control, anchors, control->geometry(), size()};
            return;
        }
    m_rules.append(Rule{control, anchors, control->geometry(), size()});
}

void TSupportForm::setClientSize(const QSize &size)
{
    resize(size);
    applyAnchors();
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
    for (Rule &rule : m_rules)
        rule = Rule{rule.control, rule.anchors, rule.control->geometry(), box.size()};
    resize(box.size());
}

void TSupportForm::applyAnchors()
{
    const QSize now = size();
    for (const Rule &rule : m_rules) {
        QRect g = rule.origin;
        const int dw = now.width() - rule.formSize.width();
        const int dh = now.height() - rule.formSize.height();
        const bool l = rule.anchors & akLeft, r = rule.anchors & akRight;
        const bool t = rule.anchors & akTop, b = rule.anchors & akBottom;
        if (l && r)
            g.setWidth(std::max(0, rule.origin.width() + dw));
        else if (r)
            g.moveLeft(rule.origin.left() + dw);
        else if (!l && rule.formSize.width() > 0) {
            const int centre = rule.origin.left() + rule.origin.width() / 2;
            g.moveLeft(scaled(centre, now.width(), rule.formSize.width()) -
                       rule.origin.width() / 2);
        }
        if (t && b)
            g.setHeight(std::max(0, rule.origin.height() + dh));
        else if (b)
            g.moveTop(rule.origin.top() + dh);
        else if (!t && rule.formSize.height() > 0) {
            const int centre = rule.origin.top() + rule.origin.height() / 2;
            g.moveTop(scaled(centre, now.height(), rule.formSize.height()) -
                      rule.origin.height() / 2);
        }
        rule.control->setGeometry(g);
    }
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

void TSupportForm::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    applyAnchors();
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
