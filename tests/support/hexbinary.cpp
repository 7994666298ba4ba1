#include "hexbinary.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {
constexpr int ObjcopyTimeoutMs = 30000;
}

QByteArray ObjcopyBinaryOf(const QString &hexPath, QString *error)
{
    QTemporaryDir dir;
    const QString binPath = dir.filePath(QStringLiteral("image.bin"));
    QProcess objcopy;
    objcopy.start(QStringLiteral("objcopy"),
                  {QStringLiteral("-I"), QStringLiteral("ihex"), QStringLiteral("-O"),
                   QStringLiteral("binary"), hexPath, binPath});
    if (!objcopy.waitForFinished(ObjcopyTimeoutMs) ||
        objcopy.exitStatus() != QProcess::NormalExit || objcopy.exitCode() != 0) {
        objcopy.kill();
        *error = QStringLiteral("objcopy failed on %1: %2%3")
                     .arg(hexPath, objcopy.errorString(),
                          QString::fromLocal8Bit(objcopy.readAllStandardError()));
        return {};
    }
    QFile bin(binPath);
    if (!bin.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(binPath, bin.errorString());
        return {};
    }
    return bin.readAll();
}
