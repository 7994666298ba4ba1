#include "settingsstore.h"

#include "vornikerror.h"

#include <QSettings>
#include <QVariant>

namespace {

// The key path the uploader has always used, kept inside the INI file as nested groups.
const QString SettingsKey = QStringLiteral("Software/Kestrune/Vornik/1.0/");

const QString Organization = QStringLiteral("Kestrune");
const QString Application = QStringLiteral("Vornik");

} // namespace

QString SettingsFileName()
{
    const QSettings store(QSettings::IniFormat, QSettings::UserScope, Organization, Application);
    return store.fileName();
}

QByteArray ReadSetting(const QString &name)
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, Organization, Application);
    // The user's own file alone, as a registry's current-user root: no organisation-wide or
    // system-wide file stands in for a missing value.
    store.setFallbacksEnabled(false);
    if (store.status() != QSettings::NoError)
        throw TVornikError(
            QStringLiteral("Cannot read the settings file %1").arg(store.fileName()));
    const QVariant value = store.value(SettingsKey + name);
    if (!value.isValid())
        return {};
    if (value.typeId() != QMetaType::QString)
        throw TVornikError(QStringLiteral("The stored value \"%1\" is not a string").arg(name));
    return value.toString().toLocal8Bit();
}

void WriteSetting(const QString &name, const QByteArray &value)
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, Organization, Application);
    store.setValue(SettingsKey + name, QString::fromLocal8Bit(value));
    store.sync();
    if (store.status() != QSettings::NoError)
        throw TVornikError(QStringLiteral("Cannot store \"%1\" in %2").arg(name, store.fileName()));
}
