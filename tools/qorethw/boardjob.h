// What the tool does to one board, through the device library, and how it ended.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

struct BoardResult
{
    QString host;
    bool ok = false;
    // On failure: the number and the text the programs show for it.
    quint32 error = 0;
    QString message;
    // status: what the board reports; upload: the revision before and after.
    bool hasStatus = false;
    int revision = -1;
    QString mac, ip, subnet, gateway;
    bool bootstrapped = false;
    int revisionAfter = -1;
};

// phase ("bootstrap", "firmware", or a step such as "connecting"), bytes done and total.
using JobProgress = std::function<void(const QString &phase, quint64 done, quint64 total)>;

BoardResult readStatus(const QString &host);
BoardResult uploadFirmware(const QString &host, const QString &file, const QString &bootstrapFile,
                           const JobProgress &progress);
BoardResult setNetwork(const QString &host, const QStringList &network);
BoardResult setMac(const QString &host, const QString &mac);
