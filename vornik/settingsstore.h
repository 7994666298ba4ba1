// The uploader's per-user settings: string values under one key.
#pragma once

#include <QByteArray>
#include <QString>

// A store that cannot be read or written, or a value that is not a string, throws TVornikError.

// The INI file that holds the key: <configuration folder>/Kestrune/Vornik.ini.
QString SettingsFileName();

// The value as 8-bit text; a missing key or value reads as empty and creates nothing.
QByteArray ReadSetting(const QString &name);

// Stores one string value, creating the key when it is missing. Each call opens the store anew.
void WriteSetting(const QString &name, const QByteArray &value);
