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
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// Adds the boards that answer on target (empty: every interface) and are not listed yet; false
// after reporting a failure.
bool discoverOn(const CliArgs &args, const QString &target, std::vector<QEW_BoardInfo> &boards)
{
    // Room for a plant; asked again with exactly enough when even that is short.
    std::vector<QEW_BoardInfo> found(256);
    int32_t count = int32_t(found.size());
    const QByteArray text = target.toLocal8Bit();
    errno = 0;
    const uint32_t r = QEW_Discover(text.isEmpty() ? nullptr : text.constData(),
                                    uint32_t(args.waitMs), found.data(), &count);
    const int error = errno;
    if (r != QEW_ERROR_SUCCESS && r != QEW_ERROR_BAD_LENGTH) {
        reportDiscoveryFailure(args, target, r, error);
        return false;
    }
    found.resize(std::min<std::size_t>(std::size_t(count), found.size()));
    for (const QEW_BoardInfo &b : found) {
        const bool known = std::any_of(boards.begin(), boards.end(), [&](const auto &o) {
            return std::equal(o.mac, o.mac + 6, b.mac);
        });
        if (!known)
            boards.push_back(b);
    }
    return true;
}

void printBoardsJson(const std::vector<QEW_BoardInfo> &boards)
{
    QJsonArray list;
    for (const QEW_BoardInfo &b : boards) {
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
        list.append(o);
    }
    QJsonObject doc;
    doc[QStringLiteral("command")] = QStringLiteral("discover");
    doc[QStringLiteral("ok")] = !boards.empty();
    doc[QStringLiteral("boards")] = list;
    print(stdout, QString::fromUtf8(QJsonDocument(doc).toJson()));
}

void printBoardsText(const std::vector<QEW_BoardInfo> &boards, int waitMs)
{
    if (!boards.empty())
        print(stdout, QStringLiteral("%1 %2 %3 %4 REVISION\n")
                          .arg(QStringLiteral("MAC"), -17)
                          .arg(QStringLiteral("IP"), -15)
                          .arg(QStringLiteral("SUBNET"), -15)
                          .arg(QStringLiteral("GATEWAY"), -15));
    for (const QEW_BoardInfo &b : boards)
        print(stdout, QStringLiteral("%1 %2 %3 %4 %5\n")
                          .arg(macText(b.mac), -17)
                          .arg(dotted(b.ip), -15)
                          .arg(dotted(b.subnet), -15)
                          .arg(dotted(b.gateway), -15)
                          .arg(FormatRevision(b.revision)));
    print(boards.empty() ? stderr : stdout,
          QStringLiteral("%1 board%2 answered within %3 ms\n")
              .arg(boards.size())
              .arg(boards.size() == 1 ? QString() : QStringLiteral("s"))
              .arg(waitMs));
}

int runDiscover(const CliArgs &args)
{
    QStringList targets = args.targets;
    if (targets.isEmpty())
        targets << QString();
    std::vector<QEW_BoardInfo> boards;
    for (const QString &target : targets)
        if (!discoverOn(args, target, boards))
            return 1;
    std::sort(boards.begin(), boards.end(), [](const QEW_BoardInfo &a, const QEW_BoardInfo &b) {
        return std::lexicographical_compare(a.ip, a.ip + 4, b.ip, b.ip + 4);
    });
    if (args.json)
        printBoardsJson(boards);
    else
        printBoardsText(boards, args.waitMs);
    return boards.empty() ? 1 : 0;
}

// Writes the bootstrap image where the library can read it; empty on failure.
bool writeBootstrap(QTemporaryFile &file)
{
    file.setFileTemplate(QDir::tempPath() + QStringLiteral("/qorethw-bootstrap-XXXXXX.hex"));
    if (!file.open())
        return false;
    const QByteArray text(kBootstrapImage);
    return file.write(text) == text.size() && file.flush();
}

int runHosts(const CliArgs &args)
{
    static const char *const names[] = {"",       "discover",    "status",
                                        "upload", "set-network", "set-mac"};
    const QString command = QString::fromLatin1(names[int(args.command)]);
    if (args.command == Subcommand::Upload && !QFileInfo(args.file).isFile()) {
        print(stderr, QStringLiteral("qorethw: %1 is not a readable file\n").arg(args.file));
        return 2;
    }
    QTemporaryFile bootstrap;
    if (args.command == Subcommand::Upload && !writeBootstrap(bootstrap)) {
        print(stderr, QStringLiteral("qorethw: cannot write the bootstrap image to %1\n")
                          .arg(QDir::tempPath()));
        return 1;
    }
    const Reporter::Mode mode = args.json                 ? Reporter::Mode::Json
                                : ::isatty(STDOUT_FILENO) ? Reporter::Mode::Terminal
                                                          : Reporter::Mode::Lines;
    Reporter reporter(mode, command, args.hosts, stdout);
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
                r = uploadFirmware(host, args.file, bootstrap.fileName(), progress);
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
    reporter.summarize(results);
    return std::all_of(results.begin(), results.end(), [](const BoardResult &r) { return r.ok; })
               ? 0
               : 1;
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
        print(stderr, QStringLiteral("qorethw: %1\n%2").arg(error, usageText()));
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
    if (args.command == Subcommand::Discover)
        return runDiscover(args);
    return runHosts(args);
}
