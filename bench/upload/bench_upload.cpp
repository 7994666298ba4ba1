// Connects and uploads a 1 MiB image over a grid of links simulated by the emulated board (rate,
// round trip, random loss) and prints, for each, the share of the link rate both calls reached
// (median of five, with the range), the chunks the board received twice, and what the framing
// and two round trips allow at best; then times the reading and checking of a 16 MiB image's HEX
// file against objcopy turning the same file into binary.
#include "boardemulatorprocess.h"
#include "ihexreader.h"
#include "ihexwriter.h"
#include "qorethw.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRuns = 5;
constexpr std::size_t kImageSize = 1024 * 1024;
// 1448 bytes of image in each 1500-byte frame.
constexpr double kCeiling = 1448.0 / 1500.0;

struct Link
{
    const char *name;
    double mbit;
    double rttMs;
    double lossPct;
    const char *goal;
    int window = 0;   // the board's; 0 for its default
    int burstKib = 0; // a token bucket of this burst (20 ms queue) instead of a deep queue
};

const Link kAllLinks[] = {
    {"100 Mbit/s, 1 ms", 100, 1, 0, ">= 0.93"},
    {"100 Mbit/s, 1 ms, bucket 32 KiB", 100, 1, 0, ">= 0.92", 0, 32},
    {"10 Mbit/s, 1 ms", 10, 1, 0, ">= 0.93, none resent"},
    {"100 Mbit/s, 50 ms", 100, 50, 0, ">= 0.92 of bound"},
    {"100 Mbit/s, 1 ms, 1 % loss", 100, 1, 1, ">= 0.85"},
    {"100 Mbit/s, 1 ms, 10 % loss", 100, 1, 10, ">= 0.70"},
    {"100 Mbit/s, 100 ms", 100, 100, 0, "-"},
    {"100 Mbit/s, 1 ms, window 8", 100, 1, 0, "-", 8},
};

std::vector<std::uint8_t> pattern(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t x = 2463534242u;
    for (auto &b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = std::uint8_t(x);
    }
    return bytes;
}

bool writeHex(const QString &path, std::size_t size)
{
    ihex::Image image;
    image.segments.push_back({0x08000000, pattern(size)});
    const std::string text = ihex::write(image);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(text.data(), qint64(text.size())) == qint64(text.size());
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Result
{
    std::vector<double> fractions; // of the link rate, whole call
    std::vector<double> boardMs;   // upload begin to image in flash, as the board saw it
    std::vector<int> repeated;     // chunks that reached the board twice
    int failed = 0;
};

bool measure(const Link &link, const QString &path, Result &result)
{
    QStringList args{
        QStringLiteral("--revision"), QStringLiteral("0x0200"), QStringLiteral("--restart-ms"),
        QStringLiteral("30"), QStringLiteral("--link-mbit"), QString::number(link.mbit),
        QStringLiteral("--link-latency-ms"), QString::number(link.rttMs),
        // No state files: the disk is not what is measured.
        QStringLiteral("--state"), QString(), QStringLiteral("--firmware-out"), QString()};
    if (link.lossPct > 0)
        args << QStringLiteral("--drop") << QString::number(link.lossPct);
    if (link.window)
        args << QStringLiteral("--window") << QString::number(link.window);
    if (link.burstKib)
        args << QStringLiteral("--link-burst-kib") << QString::number(link.burstKib);
    BoardEmulatorProcess board(args);
    if (!board.start()) {
        std::fprintf(stderr, "emulator: %s\n", qPrintable(board.errorString()));
        return false;
    }
    const QByteArray host = board.hostText().toLatin1();
    for (int run = 0; run < kRuns; ++run) {
        // The board restarts after each image it takes: that wait is not what is measured.
        if (QEW_HANDLE up = QEW_Connect(host.constData(), QEW_MODE_STATUS))
            QEW_Disconnect(up);
        QElapsedTimer timer;
        timer.start();
        QEW_HANDLE handle = QEW_Connect(host.constData(), QEW_MODE_UPLOAD);
        if (!handle) {
            std::fprintf(stderr, "cannot connect to the emulator\n");
            return false;
        }
        const uint32_t status = QEW_UploadFirmwareFile(handle, path.toLocal8Bit().constData());
        const double seconds = timer.nsecsElapsed() / 1e9;
        QEW_Disconnect(handle);
        if (status != 0) {
            std::fprintf(stderr, "upload over %s failed: %u\n", link.name, status);
            ++result.failed;
            continue;
        }
        result.fractions.push_back(double(kImageSize) * 8 / seconds / (link.mbit * 1e6));
    }
    static const QRegularExpression committed(
        QStringLiteral("\\((\\d+) chunks, (\\d+) repeated\\) in (\\d+) ms"));
    const QString log = board.log();
    for (auto it = committed.globalMatch(log); it.hasNext();) {
        const auto match = it.next();
        result.repeated.push_back(match.captured(2).toInt());
        result.boardMs.push_back(match.captured(3).toDouble());
    }
    return true;
}

int benchUpload(const QTemporaryDir &dir, const QString &only)
{
    const QString path = dir.filePath(QStringLiteral("upload.hex"));
    if (!writeHex(path, kImageSize)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    std::printf(
        "QEW_Connect and an upload of 1 MiB through QEW_UploadFirmwareFile, as a share of the "
        "link rate\n(median of %d runs and range; framing ceiling %.3f; 'bound': the ceiling "
        "with two round trips\nadded, what any sender that waits for the board's word "
        "reaches at best; 'board': upload begin\nto image in flash as the board saw "
        "it; 'of bound': the median over the bound; 'first': the first upload over the "
        "bound,\nbefore the library knows the path; 'resent': chunks that reached the "
        "board\ntwice; "
        "'failed': uploads that failed)\n\n",
        kRuns, kCeiling);
    std::printf("%-32s %6s %15s %6s %8s %6s %6s %6s %9s  %s\n", "link", "median", "range", "bound",
                "of bound", "first", "board", "failed", "resent", "goal");
    for (const Link &link : kAllLinks) {
        if (!only.isEmpty() && !QString::fromLatin1(link.name).contains(only))
            continue;
        Result r;
        if (!measure(link, path, r))
            return 1;
        if (r.fractions.empty()) {
            std::printf("%-32s every upload failed\n", link.name);
            continue;
        }
        const auto [lo, hi] = std::minmax_element(r.fractions.begin(), r.fractions.end());
        const double lineMs = double(kImageSize) * 8 / (link.mbit * 1e3);
        const double bound = lineMs / (lineMs / kCeiling + 2 * link.rttMs);
        QString resent;
        for (int n : r.repeated)
            resent += QString::number(n) + QLatin1Char(' ');
        const double board = r.boardMs.empty() ? 0 : lineMs / median(r.boardMs);
        std::printf("%-32s %6.3f %6.3f - %6.3f %6.3f %8.3f %6.3f %6.3f %6d %9s  %s\n", link.name,
                    median(r.fractions), *lo, *hi, bound, median(r.fractions) / bound,
                    r.fractions.front() / bound, board, r.failed, qPrintable(resent.trimmed()),
                    link.goal);
        std::fflush(stdout);
    }
    return 0;
}

int benchValidation(const QTemporaryDir &dir)
{
    const QString objcopy = QStandardPaths::findExecutable(QStringLiteral("objcopy"));
    if (objcopy.isEmpty()) {
        std::printf("validation: objcopy not found, skipped\n");
        return 0;
    }
    const QString path = dir.filePath(QStringLiteral("validate.hex"));
    const QString binary = dir.filePath(QStringLiteral("validate.bin"));
    if (!writeHex(path, 16 * 1024 * 1024))
        return 1;
    std::vector<double> ours, theirs;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        ihex::Image image;
        ihex::Error error;
        if (!ihex::parseFile(path.toStdString(), image, error))
            return 1;
        const auto flat = image.flatten(0);
        ours.push_back(timer.nsecsElapsed() / 1e9);

        QProcess process;
        timer.restart();
        process.start(objcopy, {QStringLiteral("-I"), QStringLiteral("ihex"), QStringLiteral("-O"),
                                QStringLiteral("binary"), path, binary});
        if (!process.waitForFinished(120000) || process.exitCode() != 0)
            return 1;
        theirs.push_back(timer.nsecsElapsed() / 1e9);
        if (run == 0 && QFileInfo(binary).size() != qint64(flat.size()))
            return 1;
    }
    const double a = median(ours), b = median(theirs);
    std::printf("validation of a 16 MiB image's HEX file (median of 3):\n");
    std::printf("  ours %.0f ms, objcopy %.0f ms: ours takes %.2f of objcopy's time\n", a * 1e3,
                b * 1e3, a / b);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qputenv("QORETHW_LOOPBACK_ONLY", "1");
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    // An argument picks the links whose names contain it, e.g. "50 ms".
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (const int r = benchUpload(dir, only))
        return r;
    return benchValidation(dir);
}
