#include "tradiopanel.h"

#include "setupdesign.h"
#include "tjumper.h"

#include <QChildEvent>
#include <QPlainTextEdit>
#include <QRegularExpression>

TRadioPanel::TRadioPanel(QWidget *parent) : QWidget(parent)
{
    resize(PopupGeometry::OuterWidth, PopupGeometry::PanelHeight);
    setAutoFillBackground(true);
    hide();
}

TRadioPanel::~TRadioPanel() = default;

void TRadioPanel::setLinesText(const QString &text)
{
    QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    // A final line break ends the last line; it does not start another.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    m_lines = lines;
}

void TRadioPanel::setFinalAnchors(TAnchors anchors)
{
    m_finalAnchors = anchors;
    if (m_inPopup)
        setAnchors(anchors);
}

void TRadioPanel::setAnchors(TAnchors anchors)
{
    m_anchors = anchors;
    if (TAnchorLayout *layout = TAnchorLayout::Of(parentWidget()))
        layout->setAnchors(this, anchors);
}

void TRadioPanel::enterPopup()
{
    m_inPopup = true;
    setAnchors(m_finalAnchors);
}

void TRadioPanel::setStatusMemo(QPlainTextEdit *statusMemo)
{
    m_statusMemo = statusMemo;
}

QPlainTextEdit *TRadioPanel::GetStatusMemo() const
{
    return m_statusMemo;
}

void TRadioPanel::SelectJumper(TTwoJumper *jumper)
{
    bool changed = false;
    for (QObject *child : children()) {
        if (child->metaObject() != &TTwoJumper::staticMetaObject)
            continue;
        auto *other = static_cast<TTwoJumper *>(child);
        const bool closed = other == jumper;
        if (other->closed() != closed)
            changed = true;
        other->setClosed(closed);
    }
    if (changed)
        emit OnRadioChange(jumper);
}

void TRadioPanel::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (m_designHidden || !SetupDesign::IsDesigned(this))
        return;
    m_designHidden = true;
    // Hidden once the paint is over, not in the middle of it.
    QMetaObject::invokeMethod(
        this, [this] { setVisible(false); }, Qt::QueuedConnection);
}

void TRadioPanel::childEvent(QChildEvent *event)
{
    QWidget::childEvent(event);
    // A child just added is still being built and cannot be told apart yet; once polished (at
    // its first show, its first click, or on joining when polished already) it can.
    if (event->type() != QEvent::ChildPolished)
        return;
    if (auto *jumper = qobject_cast<TTwoJumper *>(event->child()))
        connect(jumper, &TTwoJumper::toggledByClick, this, &TRadioPanel::jumperToggledByClick,
                Qt::UniqueConnection);
}

void TRadioPanel::jumperToggledByClick()
{
    auto *jumper = qobject_cast<TTwoJumper *>(sender());
    // A jumper moved elsewhere keeps the connection; only a panel of exactly this class selects.
    if (!jumper || jumper->parent() != this || !m_radioEnabled ||
        metaObject() != &TRadioPanel::staticMetaObject)
        return;
    SelectJumper(jumper);
}
