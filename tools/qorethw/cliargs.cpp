#include "cliargs.h"

#include <QRegularExpression>

#include <limits>

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

// A command's name, the operands it takes and the message for a wrong number of them.
struct CommandForm
{
    const char *name;
    Subcommand command;
    int minOperands;
    int maxOperands;
    const char *wrongCount;
};

constexpr int AnyNumber = std::numeric_limits<int>::max();
constexpr int MaxJobs = 64;

const CommandForm Commands[] = {
    {"discover", Subcommand::Discover, 0, 0, "discover takes no operands (use --to TARGET)"},
    {"status", Subcommand::Status, 1, AnyNumber, "status needs at least one HOST"},
    {"upload", Subcommand::Upload, 2, AnyNumber, "upload needs a FILE and at least one HOST"},
    {"set-network", Subcommand::SetNetwork, 4, 4, "set-network needs HOST IP MASK GATEWAY"},
    {"set-mac", Subcommand::SetMac, 2, 2, "set-mac needs HOST MAC"},
};

// The options that take no value; false for any other argument.
bool setFlag(const QString &a, CliArgs &args)
{
    if (a == QLatin1String("-h") || a == QLatin1String("--help"))
        args.help = true;
    else if (a == QLatin1String("-V") || a == QLatin1String("--version"))
        args.version = true;
    else if (a == QLatin1String("--json"))
        args.json = true;
    else if (a == QLatin1String("-v") || a == QLatin1String("--verbose"))
        args.verbose = true;
    else
        return false;
    return true;
}

bool isJobs(const QString &name)
{
    return name == QLatin1String("-j") || name == QLatin1String("--jobs");
}

bool isTimeout(const QString &name)
{
    return name == QLatin1String("-t") || name == QLatin1String("--timeout");
}

bool takesValue(const QString &name)
{
    return isJobs(name) || isTimeout(name) || name == QLatin1String("--to") ||
           name == QLatin1String("--wait");
}

// False when the value is out of the option's range.
bool setValueOption(const QString &name, const QString &value, CliArgs &args)
{
    // A thread and a socket each: a whole rack of boards at once, not a runaway.
    if (isJobs(name))
        return parseBounded(value, 1, MaxJobs, args.jobs);
    if (isTimeout(name))
        return parseBounded(value, 1, 600000, args.timeoutMs);
    if (name == QLatin1String("--wait"))
        return parseBounded(value, 1, 10000, args.waitMs);
    args.targets << value;
    return true;
}

// Sorts the arguments into options, set in args, and operands.
bool parseOptions(const QStringList &arguments, CliArgs &args, QStringList &operands,
                  QString &error)
{
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
        if (setFlag(a, args))
            continue;
        // Options with a value: "--name value" or "--name=value".
        QString name = a, value;
        bool hasValue = false;
        const int eq = a.indexOf(QLatin1Char('='));
        if (a.startsWith(QLatin1String("--")) && eq > 0) {
            name = a.left(eq);
            value = a.mid(eq + 1);
            hasValue = true;
        }
        if (!takesValue(name)) {
            error = QStringLiteral("unknown option %1 (an operand that begins with - goes after "
                                   "--, as in: set-mac -- HOST -2-0-0-0-0-1)")
                        .arg(a);
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= arguments.size()) {
                error = QStringLiteral("%1 needs a value").arg(name);
                return false;
            }
            value = arguments[++i];
        }
        if (!setValueOption(name, value, args)) {
            error = QStringLiteral("bad value for %1: %2").arg(name, value);
            return false;
        }
    }
    return true;
}

// A dotted IPv4 address (or localhost), optionally with :PORT: what the library takes.
bool isHostText(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral("^(?:localhost|(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3}))"
                       "(?::(\\d{1,5}))?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return false;
    for (int i = 1; i <= 4; ++i)
        if (m.hasCaptured(i) && m.captured(i).toInt() > 255)
            return false;
    return !m.hasCaptured(5) || (m.captured(5).toInt() >= 1 && m.captured(5).toInt() <= 65535);
}

// The command named by the first operand, and the rest of the operands in their places.
bool parseCommand(QStringList operands, CliArgs &args, QString &error)
{
    const QString name = operands.takeFirst();
    const CommandForm *form = nullptr;
    for (const CommandForm &f : Commands)
        if (name == QLatin1String(f.name))
            form = &f;
    if (!form) {
        error = QStringLiteral("unknown command %1").arg(name);
        return false;
    }
    args.command = form->command;
    if (operands.size() < form->minOperands || operands.size() > form->maxOperands) {
        error = QString::fromLatin1(form->wrongCount);
        return false;
    }
    switch (args.command) {
    case Subcommand::None:
    case Subcommand::Discover:
        break;
    case Subcommand::Status:
        args.hosts = operands;
        break;
    case Subcommand::Upload:
        args.file = operands.takeFirst();
        args.hosts = operands;
        break;
    case Subcommand::SetNetwork:
        args.hosts = operands.mid(0, 1);
        args.network = operands.mid(1);
        break;
    case Subcommand::SetMac:
        args.hosts = operands.mid(0, 1);
        args.mac = operands[1];
        break;
    }
    return true;
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
        "  -j, --jobs N        work on at most N boards at once (1-64, default 8)\n"
        "  -t, --timeout MS    bound of each library call in milliseconds (default 3000)\n"
        "      --json          print one JSON document for programs instead of text, also\n"
        "                      for a malformed command line and when interrupted\n"
        "  -v, --verbose       discover: also say how many replies were dropped as no\n"
        "                      board's answer\n"
        "      --to TARGET     discover: ask TARGET (an address, or a.b.c.d/prefix for a\n"
        "                      subnet's broadcast address) instead of every interface; repeatable\n"
        "      --wait MS       discover: listen this long for answers (1-10000, default 1500)\n"
        "  -h, --help          show this help and exit\n"
        "  -V, --version       show the version and exit\n"
        "\n"
        "HOST is a dotted IPv4 address, optionally with :PORT. An operand that begins with -\n"
        "goes after --. Exit status: 0 when every board succeeded (discover: when at least one\n"
        "board answered), 1 when any failed, 2 for a malformed command line, 130 when\n"
        "interrupted (what was under way is left as it was).\n");
}

QString versionText()
{
    return QStringLiteral("qorethw " QORETHW_CLI_VERSION "\n");
}

bool parseCliArgs(const QStringList &arguments, CliArgs &args, QString &error)
{
    QStringList operands;
    // Known before any fault, so that even a malformed line is answered in JSON.
    args.json = arguments.mid(0, int(arguments.indexOf(QStringLiteral("--"))))
                    .contains(QStringLiteral("--json"));
    if (!parseOptions(arguments, args, operands, error))
        return false;
    if (args.help || args.version)
        return true;
    if (operands.isEmpty()) {
        error = QStringLiteral("no command given");
        return false;
    }
    if (!parseCommand(operands, args, error))
        return false;
    if (args.command != Subcommand::Discover && !args.targets.isEmpty()) {
        error = QStringLiteral("--to applies to discover only");
        return false;
    }
    for (const QString &host : args.hosts)
        if (!isHostText(host)) {
            error = QStringLiteral("bad HOST %1: not a dotted IPv4 address with an optional :PORT")
                        .arg(host);
            return false;
        }
    // A board named twice is worked on once: two uploads at once would fight over it.
    args.hosts.removeDuplicates();
    return true;
}

QString commandName(Subcommand command)
{
    for (const CommandForm &f : Commands)
        if (f.command == command)
            return QString::fromLatin1(f.name);
    return QString();
}
