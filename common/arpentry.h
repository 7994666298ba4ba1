// Clearing the computer's cached address-to-MAC entry for a board whose MAC has changed.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// True for a dotted-quad IPv4 address and nothing else (no host names, ports or short forms).
bool IsPlainIPv4(const QString &address);

// A plain address with every part in decimal and without leading zeros. The device library reads
// "010" as ten; the system's tools would read it as octal eight and clear another host's entry.
QString CanonicalIPv4(const QString &address);

struct SystemCommand
{
    QString program;
    QStringList arguments;
};

// The platform's command that deletes the neighbour entry of address.
SystemCommand ArpClearCommand(const QString &address);

// Starts a command without a shell and waits for it at most 1000 ms; how it ends is not looked at.
using CommandRunner = std::function<void(const SystemCommand &)>;
void RunSystemCommand(const SystemCommand &command);

// Runs the platform's clearing command for a plain IPv4 address, in its canonical form; anything
// else runs nothing, so a typed text never reaches a command line.
void ClearArpEntry(const QString &address, const CommandRunner &run = RunSystemCommand);
