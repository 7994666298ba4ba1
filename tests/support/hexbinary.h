#pragma once

#include <QByteArray>
#include <QString>

// The bytes GNU objcopy makes of an Intel HEX file (-O binary): an independent reading of what
// the file holds, to compare a board's flash with. Empty, with the reason in error, on failure.
QByteArray ObjcopyBinaryOf(const QString &hexPath, QString *error);
