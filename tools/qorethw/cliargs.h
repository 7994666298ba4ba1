// The command line of qorethw: a subcommand, its operands and the options around them.
#pragma once

#include <QString>
#include <QStringList>

enum class Subcommand { None, Discover, Status, Upload, SetNetwork, SetMac };

struct CliArgs
{
    Subcommand command = Subcommand::None;
    bool help = false;
    bool version = false;
    bool json = false;
    bool verbose = false;
    int jobs = 8;        // hosts worked on at once
    int timeoutMs = 0;   // 0: the library's default
    int waitMs = 1500;   // discover: how long to listen
    QStringList targets; // discover --to
    QString file;        // upload
    QStringList hosts;   // status, upload, set-network, set-mac
    QStringList network; // set-network: IP MASK GATEWAY
    QString mac;         // set-mac
};

// False with a message for anything malformed; nothing is sent before the whole line is checked.
// args holds what was read up to the fault (--json among it, wherever it stood).
bool parseCliArgs(const QStringList &arguments, CliArgs &args, QString &error);

// The subcommand's name as typed ("" for none).
QString commandName(Subcommand command);

QString usageText();
QString versionText();
