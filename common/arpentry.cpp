#include "arpentry.h"

#include <QDeadlineTimer>
#include <QProcess>

bool IsPlainIPv4(const QString &address)
{
    const QStringList parts = address.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    for (const QString &part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return false;
        for (const QChar c : part)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        if (part.toInt() > 255)
            return false;
    }
    return true;
}

QString CanonicalIPv4(const QString &address)
{
    QStringList parts = address.split(QLatin1Char('.'));
    for (QString &part : parts)
        part = QString::number(part.toInt());
    return parts.join(QLatin1Char('.'));
}

SystemCommand ArpClearCommand(const QString &address)
{
#ifdef Q_OS_WIN
    return {QStringLiteral("arp"), {QStringLiteral("-d"), address}};
#else
    // Needs no interface name, unlike "ip neigh del".
    return {QStringLiteral("ip"),
            {QStringLiteral("neigh"), QStringLiteral("flush"), QStringLiteral("to"), address}};
#endif
}

void RunSystemCommand(const SystemCommand &command)
{
    // One second in all, starting included.
    const QDeadlineTimer deadline(1000);
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(command.program, command.arguments);
    if (!process.waitForStarted(int(deadline.remainingTime())))
        return;
    if (!process.waitForFinished(int(qMax<qint64>(0, deadline.remainingTime())))) {
        process.kill();
        process.waitForFinished(100);
    }
}

void ClearArpEntry(const QString &address, const CommandRunner &run)
{
    if (!IsPlainIPv4(address))
        return;
    run(ArpClearCommand(CanonicalIPv4(address)));
}
