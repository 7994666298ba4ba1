#include "setupdesign.h"

#include <QWidget>

namespace {

SetupDesign::THostQuery hostQuery = nullptr;
SetupDesign::TChangeNotifier changeNotifier = nullptr;

} // namespace

namespace SetupDesign {

void SetHostQuery(THostQuery query)
{
    hostQuery = query;
}

void SetChangeNotifier(TChangeNotifier notifier)
{
    changeNotifier = notifier;
}

void NotifyChanged(QWidget *widget, const char *property)
{
    if (changeNotifier)
        changeNotifier(widget, property);
}

bool IsDesigned(const QWidget *widget)
{
    return hostQuery && widget && hostQuery(widget);
}

bool IsLoading(const QWidget *widget)
{
    return !widget->isVisible();
}

QObject *FindNamed(const QWidget *from, const QString &name)
{
    // The whole form: uic and the form loader both put every widget under its top level.
    QWidget *form = from->window();
    if (form->objectName() == name)
        return form;
    return form->findChild<QObject *>(name);
}

void ReportUnresolved(const QWidget *from, const char *property, const QString &name,
                      const QObject *found, const char *wanted, QString &reported)
{
    // Once per name, however often the reference is asked for.
    if (reported == name)
        return;
    reported = name;
    if (found)
        qWarning("%s: %s names \"%s\", a %s, not a %s; the reference is left empty",
                 qPrintable(from->objectName()), property, qPrintable(name),
                 found->metaObject()->className(), wanted);
    else
        qWarning("%s: %s names \"%s\", but the form has no widget of that name; the reference "
                 "is left empty",
                 qPrintable(from->objectName()), property, qPrintable(name));
}

} // namespace SetupDesign
