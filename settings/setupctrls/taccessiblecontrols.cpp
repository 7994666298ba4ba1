#include "taccessiblecontrols.h"

#include "tboardhighlight.h"
#include "tjumper.h"

namespace {

QAccessibleInterface *SetupCtrlsFactory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (className == QLatin1String("TBoardHighlight"))
        return new TAccessibleHighlight(widget);
    if (className == QLatin1String("TTwoJumper") || className == QLatin1String("TThreeJumper"))
        return new TAccessibleJumper(widget);
    return nullptr;
}

} // namespace

void InstallSetupCtrlsAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(SetupCtrlsFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

// --- TAccessibleHighlight --------------------------------------------------

TAccessibleHighlight::TAccessibleHighlight(QWidget *widget)
    : QAccessibleWidget(widget, QAccessible::Button)
{
}

TBoardHighlight *TAccessibleHighlight::highlight() const
{
    return static_cast<TBoardHighlight *>(widget());
}

QString TAccessibleHighlight::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
        return highlight()->popupCaption();
    return QAccessibleWidget::text(t);
}

QStringList TAccessibleHighlight::actionNames() const
{
    return QStringList(pressAction()) + QAccessibleWidget::actionNames();
}

void TAccessibleHighlight::doAction(const QString &actionName)
{
    if (actionName != pressAction()) {
        QAccessibleWidget::doAction(actionName);
        return;
    }
    if (widget()->isEnabled())
        highlight()->MenuEntryClick(nullptr);
}

// --- TAccessibleJumper -----------------------------------------------------

TAccessibleJumper::TAccessibleJumper(QWidget *widget)
    : QAccessibleWidget(widget, QAccessible::Button)
{
}

TJumperBase *TAccessibleJumper::jumper() const
{
    return static_cast<TJumperBase *>(widget());
}

QString TAccessibleJumper::StateText(const TJumperBase *jumper)
{
    if (auto *two = qobject_cast<const TTwoJumper *>(jumper))
        return two->closed() ? QStringLiteral("closed") : QStringLiteral("open");
    auto *three = qobject_cast<const TThreeJumper *>(jumper);
    if (!three || three->jumperState() == TJumperBase::jsOpen)
        return QStringLiteral("open");
    // The pair as drawn upright, named where the turned picture shows it.
    const bool first = three->jumperState() == TJumperBase::jsLeft;
    switch (three->orientation()) {
    case TJumperBase::otUp:
        return first ? QStringLiteral("left pair closed") : QStringLiteral("right pair closed");
    case TJumperBase::otDown:
        return first ? QStringLiteral("right pair closed") : QStringLiteral("left pair closed");
    case TJumperBase::otLeft:
        return first ? QStringLiteral("lower pair closed") : QStringLiteral("upper pair closed");
    case TJumperBase::otRight:
        return first ? QStringLiteral("upper pair closed") : QStringLiteral("lower pair closed");
    }
    return QString();
}

QString TAccessibleJumper::text(QAccessible::Text t) const
{
    if (t != QAccessible::Name)
        return QAccessibleWidget::text(t);
    QString name = widget()->accessibleName();
    if (name.isEmpty())
        name = QStringLiteral("Jumper");
    return name + QStringLiteral(", ") + StateText(jumper());
}

QAccessible::State TAccessibleJumper::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    if (auto *two = qobject_cast<const TTwoJumper *>(jumper())) {
        s.checkable = true;
        s.checked = two->closed();
    }
    return s;
}

QStringList TAccessibleJumper::actionNames() const
{
    return QStringList(pressAction()) + QAccessibleWidget::actionNames();
}

void TAccessibleJumper::doAction(const QString &actionName)
{
    if (actionName != pressAction()) {
        QAccessibleWidget::doAction(actionName);
        return;
    }
    // A disabled jumper takes no clicks, from the pointer or from here.
    if (widget()->isEnabled())
        jumper()->click();
}
