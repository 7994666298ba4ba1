// Changing a board's MAC address over an open connection of the device library: the settings
// program and the command-line tool send it the same way.
#pragma once

#include "arpentry.h"
#include "qorethw.h"

#include <QByteArray>
#include <QString>

struct MacChangeOutcome
{
    quint32 error = 0;    // the library's result; 0 when the exchange went through
    bool refused = false; // the board answered with a refusal
    quint32 code = 0;     // the board's code when it refused

    bool ok() const { return error == 0 && !refused; }
    // The line both programs show for a failure; empty when the change went through.
    QString failureText() const;
};

// Sends the six bytes of mac through exchange (the library's raw exchange, linked or bound at run
// time), then clears the computer's cached entry for arpAddress: it names the old MAC whatever
// the board answered.
MacChangeOutcome ChangeMac(QEW_DEB_StrToStr_t exchange, QEW_HANDLE handle, const QByteArray &mac,
                           const QString &arpAddress, const CommandRunner &run = RunSystemCommand);
