#pragma once

#include "setupctrls_export.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

// Design mode: a widget hosted by a form editor's canvas instead of running in a program. Each
// widget asks for itself; only a form editor's plugin installs the question, so a program never
// enters design mode.
namespace SetupDesign {

using THostQuery = bool (*)(const QWidget *widget);

// Installed by the form editor's plugin; null (the default) means no widget is ever designed.
SETUPCTRLS_EXPORT void SetHostQuery(THostQuery query);
SETUPCTRLS_EXPORT bool IsDesigned(const QWidget *widget);
// While a form is still being read the designer has not touched it: its widgets are not yet
// shown.
SETUPCTRLS_EXPORT bool IsLoading(const QWidget *widget);

// The object named name in from's form, or null.
SETUPCTRLS_EXPORT QObject *FindNamed(const QWidget *from, const QString &name);
// Warns that from's property names nothing, or found, which is no wanted; once per name, which
// reported keeps.
SETUPCTRLS_EXPORT void ReportUnresolved(const QWidget *from, const char *property,
                                        const QString &name, const QObject *found,
                                        const char *wanted, QString &reported);

// The widget a stored reference names within from's form, or null (reported once).
template<typename T>
T *Resolve(const QWidget *from, const char *property, const QString &name, QString &reported)
{
    if (name.isEmpty())
        return nullptr;
    QObject *found = FindNamed(from, name);
    T *typed = qobject_cast<T *>(found);
    if (!typed)
        ReportUnresolved(from, property, name, found, T::staticMetaObject.className(), reported);
    return typed;
}

// A reference stored as the object name of a widget in the same form, found once asked for after
// the form has been built.
template<typename T>
class TReference
{
public:
    T *get(const QWidget *from, const char *property)
    {
        if (!m_target && !m_name.isEmpty())
            m_target = Resolve<T>(from, property, m_name, m_reported);
        return m_target;
    }
    void set(T *target)
    {
        m_target = target;
        m_name = target ? target->objectName() : QString();
    }
    void setName(const QString &name)
    {
        if (name == this->name())
            return;
        m_target = nullptr;
        m_name = name;
    }
    QString name() const { return m_target ? m_target->objectName() : m_name; }

private:
    QPointer<T> m_target;
    QString m_name;
    QString m_reported;
};

// Tells the form editor that the program, not the designer, changed widget's property, so the
// editor stores it; installed by the editor's plugin.
using TChangeNotifier = void (*)(QWidget *widget, const char *property);
SETUPCTRLS_EXPORT void SetChangeNotifier(TChangeNotifier notifier);
SETUPCTRLS_EXPORT void NotifyChanged(QWidget *widget, const char *property);

} // namespace SetupDesign
