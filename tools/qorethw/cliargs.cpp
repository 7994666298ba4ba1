#include "cliargs.h"

namespace {

bool parseBounded(const QString &text, int min, int max, int &value)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    if (!ok || v < min || v > max || text.startsWith(QLatin1Char('+')))
        return false;
    value = v;
    return true;
}

Subcommand commandNamed(const QString &name)
{
    if (name == QLatin1String("discover"))
        return Subcommand::Discover;
    if (name == QLatin1String("status"))
        return Subcommand::Status;
    if (name == QLatin1String("upload"))
        return Subcommand::Upload;
    if (name == QLatin1String("set-network"))
        return Subcommand::SetNetwork;
    if (name == QLatin1String("set-mac"))
        return Subcommand::SetMac;
    return Subcommand::None;
}

} // namespace

QString usageText()
{
    return QStringLiteral(
        "usage: qorethw [OPTIONS] COMMAND [ARGUMENTS]\n"
        "\n"
        "Finds, checks, updates and configures the digital I/O boards on the network.\n"
        "\n"
        "commands:\n"
        "  discover                      list the boards that answer a broadcast\n"
        "  status HOST...                read each board's revision and network settings\n"
        "  upload FILE HOST...           upload an Intel HEX firmware file to each board\n"
        "                                (a board at revision 1.0 or older, or whose revision\n"
        "                                cannot be read, first gets the bootstrap image)\n"
        "  set-network HOST IP MASK GATEWAY\n"
        "                                give a board new network settings\n"
        "  set-mac HOST MAC              give a board a new MAC address, e.g. 02-00-00-00-00-07\n"
        "\n"
        "options:\n"
        "  -j, --jobs N        work on at most N boards at once (1-32, default 8)\n"
        "  -t, --timeout MS    bound of each library call in milliseconds (default 3000)\n"
        "      --json          print one JSON document for programs instead of text\n"
        "      --to TARGET     discover: ask TARGET (an address, or a.b.c.d/prefix for a\n"
        "                      subnet's broadcast address) instead of every interface; repeatable\n"
        "      --wait MS       discover: listen this long for answers (1-10000, default 1500)\n"
        "  -h, --help          show this help and exit\n"
        "  -V, --version       show the version and exit\n"
        "\n"
        "HOST is a dotted IPv4 address, optionally with :PORT. Exit status: 0 when every board\n"
        "succeeded (discover: when at least one board answered), 1 when any failed, 2 for a\n"
        "malformed command line.\n");
}

QString versionText()
{
    return QStringLiteral("qorethw " QORETHW_CLI_VERSION "\n");
}

bool parseCliArgs(const QStringList &arguments, CliArgs &args, QString &error)
{
    QStringList operands;
    bool optionsEnded = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        if (optionsEnded || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            operands << a;
            continue;
        }
        if (a == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            args.help = true;
            continue;
        }
        if (a == QLatin1String("-V") || a == QLatin1String("--version")) {
            args.version = true;
            continue;
        }
        if (a == QLatin1String("--json")) {
            args.json = true;
            continue;
        }
        // Options with a value: "--name value" or "--name=value".
        QString name = a, value;
        bool hasValue = false;
        const int eq = a.indexOf(QLatin1Char('='));
        if (a.startsWith(QLatin1String("--")) && eq > 0) {
            name = a.left(eq);
            value = a.mid(eq + 1);
            hasValue = true;
        }
        const bool known = name == QLatin1String("-j") || name == QLatin1String("--jobs") ||
                           name == QLatin1String("-t") || name == QLatin1String("--timeout") ||
                           name == QLatin1String("--to") || name == QLatin1String("--wait");
        if (!known) {
            error = QStringLiteral("unknown option %1").arg(a);
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= arguments.size()) {
                error = QStringLiteral("%1 needs a value").arg(name);
                return false;
            }
            value = arguments[++i];
        }
        bool ok = true;
        if (name == QLatin1String("-j") || name == QLatin1String("--jobs"))
            ok = parseBounded(value, 1, 32, args.jobs);
        else if (name == QLatin1String("-t") || name == QLatin1String("--timeout"))
            ok = parseBounded(value, 1, 600000, args.timeoutMs);
        else if (name == QLatin1String("--wait"))
            ok = parseBounded(value, 1, 10000, args.waitMs);
        else
            args.targets << value;
        if (!ok) {
            error = QStringLiteral("bad value for %1: %2").arg(name, value);
            return false;
        }
    }
    if (args.help || args.version)
        return true;
    if (operands.isEmpty()) {
        error = QStringLiteral("no command given");
        return false;
    }
    const QString name = operands.takeFirst();
    args.command = commandNamed(name);
    switch (args.command) {
    case Subcommand::None:
        error = QStringLiteral("unknown command %1").arg(name);
        return false;
    case Subcommand::Discover:
        if (!operands.isEmpty()) {
            error = QStringLiteral("discover takes no operands (use --to TARGET)");
            return false;
        }
        break;
    case Subcommand::Status:
        if (operands.isEmpty()) {
            error = QStringLiteral("status needs at least one HOST");
            return false;
        }
        args.hosts = operands;
        break;
    case Subcommand::Upload:
        if (operands.size() < 2) {
            error = QStringLiteral("upload needs a FILE and at least one HOST");
            return false;
        }
        args.file = operands.takeFirst();
        args.hosts = operands;
        break;
    case Subcommand::SetNetwork:
        if (operands.size() != 4) {
            error = QStringLiteral("set-network needs HOST IP MASK GATEWAY");
            return false;
        }
        args.hosts = operands.mid(0, 1);
        args.network = operands.mid(1);
        break;
    case Subcommand::SetMac:
        if (operands.size() != 2) {
            error = QStringLiteral("set-mac needs HOST MAC");
            return false;
        }
        args.hosts = operands.mid(0, 1);
        args.mac = operands[1];
        break;
    }
    if (args.command != Subcommand::Discover && !args.targets.isEmpty()) {
        error = QStringLiteral("--to applies to discover only");
        return false;
    }
    // A board named twice is worked on once: two uploads at once would fight over it.
    args.hosts.removeDuplicates();
    return true;
}
