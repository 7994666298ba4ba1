// qorethw: the command-line tool for many boards at once, on the device library.
#include "boardjob.h"
#include "bootstrapimage.h"
#include "cliargs.h"
#include "reporter.h"
#include "revisiontext.h"

#include "mactext.h"
#include "qorethw.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

void print(std::FILE *to, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

QString dotted(const uint8_t *bytes)
{
    return FormatBytes(QStringLiteral("."), "%d",
                       QByteArray(reinterpret_cast<const char *>(bytes), 4));
}

QString macText(const uint8_t *bytes)
{
    return FormatBytes(QStringLiteral("-"), "%.2X",
                       QByteArray(reinterpret_cast<const char *>(bytes), 6));
}

// The one ending a run prints, whichever way it ends: the normal end and an interrupt race for
// it and the first one wins. Holds what an interrupt must clean up and say while a run is on.
class Finale
{
public:
    template<typename Say>
    void once(Say say)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!said_)
            say();
        said_ = true;
    }
    // On a signal, from the waiting thread; the process ends right after.
    void interrupt(const std::function<void()> &sayByDefault)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (cleanup_)
            cleanup_();
        if (!said_)
            interrupted_ ? interrupted_() : sayByDefault();
        said_ = true;
    }

    // What a run has on: attached for its lifetime, detached before its objects go.
    class Attachment
    {
    public:
        Attachment(Finale &finale, std::function<void()> cleanup, std::function<void()> say)
            : finale_(finale)
        {
            std::lock_guard<std::mutex> lock(finale_.mutex_);
            finale_.cleanup_ = std::move(cleanup);
            finale_.interrupted_ = std::move(say);
        }
        ~Attachment()
        {
            std::lock_guard<std::mutex> lock(finale_.mutex_);
            finale_.cleanup_ = nullptr;
            finale_.interrupted_ = nullptr;
        }
        Attachment(const Attachment &) = delete;
        Attachment &operator=(const Attachment &) = delete;

    private:
        Finale &finale_;
    };

private:
    std::mutex mutex_;
    bool said_ = false;
    std::function<void()> cleanup_, interrupted_;
};

// A failure before any board was worked on: text on stderr, or one JSON document.
void reportError(const CliArgs &args, const QString &message, int exitCode, bool usage = false)
{
    if (args.json) {
        QJsonObject doc;
        const QString command = commandName(args.command);
        doc[QStringLiteral("command")] = command.isEmpty() ? QJsonValue() : QJsonValue(command);
        doc[QStringLiteral("ok")] = false;
        doc[QStringLiteral("exitCode")] = exitCode;
        doc[QStringLiteral("message")] = message;
        print(stdout, QString::fromUtf8(QJsonDocument(doc).toJson()));
    } else {
        print(stderr,
              QStringLiteral("qorethw: %1\n%2").arg(message, usage ? usageText() : QString()));
    }
}

void reportInterrupted(const CliArgs &args)
{
    if (args.json) {
        QJsonObject doc;
        doc[QStringLiteral("command")] = commandName(args.command);
        doc[QStringLiteral("ok")] = false;
        doc[QStringLiteral("interrupted")] = true;
        doc[QStringLiteral("boards")] = QJsonArray();
        print(stdout, QString::fromUtf8(QJsonDocument(doc).toJson()));
    } else {
        print(stderr, QStringLiteral("qorethw: interrupted\n"));
    }
}

void reportDiscoveryFailure(const CliArgs &args, const QString &target, uint32_t r, int error)
{
    const QString what = target.isEmpty() ? QStringLiteral("every interface") : target;
    if (args.json) {
        QJsonObject doc;
        doc[QStringLiteral("command")] = QStringLiteral("discover");
        doc[QStringLiteral("ok")] = false;
        doc[QStringLiteral("error")] = qint64(r);
        doc[QStringLiteral("errno")] = error;
        doc[QStringLiteral("message")] =
            QStringLiteral("Error %1 discovering on %2.").arg(r).arg(what);
        print(stdout, QString::fromUtf8(QJsonDocument(doc).toJson()));
    } else {
        print(stderr, QStringLiteral("qorethw: Error %1 discovering on %2 (%3).\n")
                          .arg(r)
                          .arg(what, QString::fromLocal8Bit(std::strerror(error))));
    }
}

struct Answers
{
    std::vector<QEW_BoardInfo> boards;
    QSet<QByteArray> seen; // MAC, IP and source of each listed answer
    quint64 dropped = 0;
    bool limitReached = false;
};

QByteArray answerKey(const QEW_BoardInfo &b)
{
    return QByteArray(reinterpret_cast<const char *>(b.mac), 6) +
           QByteArray(reinterpret_cast<const char *>(b.ip), 4) +
           QByteArray(reinterpret_cast<const char *>(b.source), 4);
}

// Adds what answered on target (empty: every interface) and is not listed yet; false after
// reporting a failure.
bool discoverOn(const CliArgs &args, const QString &target, Answers &answers, Finale &finale)
{
    // Room for as many as the library ever lists: nobody who answered is left out.
    std::vector<QEW_BoardInfo> found(QEW_DISCOVER_MAX_BOARDS);
    int32_t count = int32_t(found.size());
    uint32_t dropped = 0;
    const QByteArray text = target.toLocal8Bit();
    errno = 0;
    const uint32_t r = QEW_DiscoverEx(text.isEmpty() ? nullptr : text.constData(),
                                      uint32_t(args.waitMs), found.data(), &count, &dropped);
    const int error = errno;
    if (r != QEW_ERROR_SUCCESS) {
        finale.once([&] { reportDiscoveryFailure(args, target, r, error); });
        return false;
    }
    answers.dropped += dropped;
    answers.limitReached = answers.limitReached || count >= QEW_DISCOVER_MAX_BOARDS;
    found.resize(std::size_t(count));
    for (const QEW_BoardInfo &b : found)
        if (!answers.seen.contains(answerKey(b))) {
            answers.seen.insert(answerKey(b));
            answers.boards.push_back(b);
        }
    return true;
}

// For each answer, what else claims its MAC or its IP.
std::vector<QStringList> conflictsOf(const std::vector<QEW_BoardInfo> &boards)
{
    QHash<QString, std::vector<std::size_t>> byMac, byIp;
    for (std::size_t i = 0; i < boards.size(); ++i) {
        byMac[macText(boards[i].mac)].push_back(i);
        byIp[dotted(boards[i].ip)].push_back(i);
    }
    std::vector<QStringList> out(boards.size());
    for (std::size_t i = 0; i < boards.size(); ++i) {
        const QEW_BoardInfo &b = boards[i];
        for (std::size_t k : byMac[macText(b.mac)])
            if (k != i)
                out[i] << QStringLiteral("MAC %1 also answers as %2 from %3")
                              .arg(macText(b.mac), dotted(boards[k].ip), dotted(boards[k].source));
        for (std::size_t k : byIp[dotted(b.ip)])
            if (k != i && macText(boards[k].mac) != macText(b.mac))
                out[i] << QStringLiteral("IP %1 also claimed by MAC %2")
                              .arg(dotted(b.ip), macText(boards[k].mac));
    }
    return out;
}

int distinctMacs(const std::vector<QEW_BoardInfo> &boards)
{
    QSet<QString> macs;
    for (const QEW_BoardInfo &b : boards)
        macs.insert(macText(b.mac));
    return int(macs.size());
}

void printBoardsJson(const Answers &answers)
{
    const auto conflicts = conflictsOf(answers.boards);
    QJsonArray list;
    for (std::size_t i = 0; i < answers.boards.size(); ++i) {
        const QEW_BoardInfo &b = answers.boards[i];
        QJsonObject o;
        o[QStringLiteral("mac")] = macText(b.mac);
        o[QStringLiteral("ip")] = dotted(b.ip);
        o[QStringLiteral("subnet")] = dotted(b.subnet);
        o[QStringLiteral("gateway")] = dotted(b.gateway);
        o[QStringLiteral("revision")] = FormatRevision(b.revision);
        o[QStringLiteral("family")] = QString(QLatin1Char(char(b.family)));
        o[QStringLiteral("bootstrapped")] = (b.flags & 1) != 0;
        o[QStringLiteral("hasFirmware")] = (b.flags & 2) != 0;
        o[QStringLiteral("answeredFrom")] = dotted(b.source);
        o[QStringLiteral("conflicts")] = QJsonArray::fromStringList(conflicts[i]);
        list.append(o);
    }
    QJsonObject doc;
    doc[QStringLiteral("command")] = QStringLiteral("discover");
    doc[QStringLiteral("ok")] = !answers.boards.empty();
    doc[QStringLiteral("boards")] = list;
    doc[QStringLiteral("dropped")] = qint64(answers.dropped);
    doc[QStringLiteral("limitReached")] = answers.limitReached;
    print(stdout, QString::fromUtf8(QJsonDocument(doc).toJson()));
}

void printBoardsText(const Answers &answers, const CliArgs &args)
{
    const auto &boards = answers.boards;
    const auto conflicts = conflictsOf(boards);
    if (!boards.empty())
        print(stdout, QStringLiteral("%1 %2 %3 %4 REVISION\n")
                          .arg(QStringLiteral("MAC"), -17)
                          .arg(QStringLiteral("IP"), -15)
                          .arg(QStringLiteral("SUBNET"), -15)
                          .arg(QStringLiteral("GATEWAY"), -15));
    int conflicting = 0;
    for (std::size_t i = 0; i < boards.size(); ++i) {
        const QEW_BoardInfo &b = boards[i];
        print(stdout, QStringLiteral("%1 %2 %3 %4 %5\n")
                          .arg(macText(b.mac), -17)
                          .arg(dotted(b.ip), -15)
                          .arg(dotted(b.subnet), -15)
                          .arg(dotted(b.gateway), -15)
                          .arg(FormatRevision(b.revision)));
        for (const QString &c : conflicts[i])
            print(stdout, QStringLiteral("  CONFLICT: %1\n").arg(c));
        conflicting += conflicts[i].isEmpty() ? 0 : 1;
    }
    std::FILE *to = boards.empty() ? stderr : stdout;
    const int count = distinctMacs(boards);
    print(to,
          QStringLiteral("%1 board%2 answered within %3 ms%4\n")
              .arg(count)
              .arg(count == 1 ? QString() : QStringLiteral("s"))
              .arg(args.waitMs)
              .arg(conflicting
                       ? QStringLiteral("; %1 answers conflict (CONFLICT above)").arg(conflicting)
                       : QString()));
    if (args.verbose)
        print(to,
              QStringLiteral("%1 replies dropped: not a board's answer\n").arg(answers.dropped));
    if (answers.limitReached)
        print(stderr, QStringLiteral("qorethw: the library lists at most %1 answers; more may "
                                     "have come\n")
                          .arg(QEW_DISCOVER_MAX_BOARDS));
}

int runDiscover(const CliArgs &args, Finale &finale)
{
    QStringList targets = args.targets;
    if (targets.isEmpty())
        targets << QString();
    Answers answers;
    for (const QString &target : targets)
        if (!discoverOn(args, target, answers, finale))
            return 1;
    std::sort(answers.boards.begin(), answers.boards.end(),
              [](const QEW_BoardInfo &a, const QEW_BoardInfo &b) {
                  return std::lexicographical_compare(a.ip, a.ip + 4, b.ip, b.ip + 4) ||
                         (std::equal(a.ip, a.ip + 4, b.ip) &&
                          std::lexicographical_compare(a.mac, a.mac + 6, b.mac, b.mac + 6));
              });
    finale.once([&] {
        if (args.json)
            printBoardsJson(answers);
        else
            printBoardsText(answers, args);
    });
    return answers.boards.empty() ? 1 : 0;
}

// The bootstrap image in one temporary file per run: made before any worker starts, so no two
// ask for a name at once, and removed however the run ends.
class BootstrapFile
{
public:
    BootstrapFile() = default;
    BootstrapFile(const BootstrapFile &) = delete;
    BootstrapFile &operator=(const BootstrapFile &) = delete;
    ~BootstrapFile() { remove(); }

    bool create()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        QByteArray path =
            QFile::encodeName(QDir::tempPath() + QStringLiteral("/qorethw-bootstrap-XXXXXX.hex"));
        const int fd = ::mkostemps(path.data(), 4, O_CLOEXEC);
        if (fd < 0)
            return false;
        path_ = path;
        const std::size_t size = sizeof kBootstrapImage - 1;
        const bool written = ::write(fd, kBootstrapImage, size) == ssize_t(size);
        return ::close(fd) == 0 && written;
    }
    // Safe from any thread; the interrupt path calls it before the process ends.
    void remove()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!path_.isEmpty())
            ::unlink(path_.constData());
        path_.clear();
    }
    QString name() const { return QFile::decodeName(path_); }

private:
    std::mutex mutex_;
    QByteArray path_;
};

// Jobs on the hosts, at most args.jobs at once.
std::vector<BoardResult> runJobs(const CliArgs &args, const QString &bootstrap, Reporter &reporter)
{
    std::vector<BoardResult> results(std::size_t(args.hosts.size()));
    std::atomic<int> next{0};
    auto work = [&] {
        for (;;) {
            const int i = next++;
            if (i >= args.hosts.size())
                return;
            const QString &host = args.hosts[i];
            const JobProgress progress = [&reporter, host](const QString &phase, quint64 done,
                                                           quint64 total) {
                reporter.progress(host, phase, done, total);
            };
            BoardResult r;
            switch (args.command) {
            case Subcommand::Status:
                progress(QStringLiteral("reading status"), 0, 0);
                r = readStatus(host);
                break;
            case Subcommand::Upload:
                r = uploadFirmware(host, args.file, bootstrap, progress);
                break;
            case Subcommand::SetNetwork:
                progress(QStringLiteral("changing settings"), 0, 0);
                r = setNetwork(host, args.network);
                break;
            case Subcommand::SetMac:
                progress(QStringLiteral("changing MAC address"), 0, 0);
                r = setMac(host, args.mac);
                break;
            default:
                break;
            }
            reporter.finished(r);
            results[std::size_t(i)] = r;
        }
    };
    std::vector<std::thread> workers;
    const int count = std::min(args.jobs, int(args.hosts.size()));
    for (int i = 0; i < count; ++i)
        workers.emplace_back(work);
    for (auto &w : workers)
        w.join();
    return results;
}

int runHosts(const CliArgs &args, Finale &finale)
{
    const QString command = commandName(args.command);
    if (args.command == Subcommand::Upload && !QFileInfo(args.file).isFile()) {
        finale.once([&] {
            reportError(args, QStringLiteral("%1 is not a readable file").arg(args.file), 2);
        });
        return 2;
    }
    const Reporter::Mode mode = args.json                 ? Reporter::Mode::Json
                                : ::isatty(STDOUT_FILENO) ? Reporter::Mode::Terminal
                                                          : Reporter::Mode::Lines;
    Reporter reporter(mode, command, args.hosts, stdout);
    BootstrapFile bootstrap;
    const Finale::Attachment attachment(
        finale, [&bootstrap] { bootstrap.remove(); }, [&reporter] { reporter.interrupted(); });
    if (args.command == Subcommand::Upload && !bootstrap.create()) {
        finale.once([&] {
            reportError(args,
                        QStringLiteral("cannot write the bootstrap image to %1: %2")
                            .arg(QDir::tempPath(), QString::fromLocal8Bit(std::strerror(errno))),
                        1);
        });
        return 1;
    }
    const std::vector<BoardResult> results = runJobs(args, bootstrap.name(), reporter);
    finale.once([&] { reporter.summarize(results); });
    return std::all_of(results.begin(), results.end(), [](const BoardResult &r) { return r.ok; })
               ? 0
               : 1;
}

// Runs the command on a thread of its own while this one waits for it or for a signal: ^C, a
// hang-up or a termination ends the run at once, saying what finished and what did not, with
// exit status 128 + the signal. The boards keep what they had: nothing is committed half-way.
int runInterruptibly(const CliArgs &args)
{
    sigset_t watched;
    sigemptyset(&watched);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1})
        sigaddset(&watched, s);
    // Blocked before any thread starts: every thread inherits it, only sigwait below takes them.
    pthread_sigmask(SIG_BLOCK, &watched, nullptr);
    Finale finale;
    std::atomic<int> code{1};
    std::thread runner([&] {
        code = args.command == Subcommand::Discover ? runDiscover(args, finale)
                                                    : runHosts(args, finale);
        ::kill(::getpid(), SIGUSR1);
    });
    int caught = 0;
    while (sigwait(&watched, &caught) != 0) {
    }
    if (caught != SIGUSR1) {
        finale.interrupt([&args] { reportInterrupted(args); });
        std::fflush(nullptr);
        std::_Exit(128 + caught);
    }
    runner.join();
    return code;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments();
    arguments.removeFirst();
    CliArgs args;
    QString error;
    if (!parseCliArgs(arguments, args, error)) {
        reportError(args, error, 2, /*usage=*/true);
        return 2;
    }
    if (args.help) {
        print(stdout, usageText());
        return 0;
    }
    if (args.version) {
        print(stdout, versionText());
        return 0;
    }
    if (args.timeoutMs > 0)
        qputenv("QORETHW_TIMEOUT_MS", QByteArray::number(args.timeoutMs));
    return runInterruptibly(args);
}
