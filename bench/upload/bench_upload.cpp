// Uploads a 1 MiB image through the emulated board's 100 Mbit/s, 1 ms round-trip link and
// prints the throughput as a share of the link rate; then times the reading and checking of a
// 16 MiB image's HEX file against objcopy turning the same file into binary.
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

constexpr double kLinkMbit = 100;
constexpr int kRuns = 5;

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

int benchUpload(const QTemporaryDir &dir)
{
    const std::size_t size = 1024 * 1024;
    const QString path = dir.filePath(QStringLiteral("upload.hex"));
    if (!writeHex(path, size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    BoardEmulatorProcess board(
        {QStringLiteral("--revision"), QStringLiteral("0x0200"), QStringLiteral("--restart-ms"),
         QStringLiteral("50"), QStringLiteral("--link-mbit"), QString::number(kLinkMbit),
         QStringLiteral("--link-latency-ms"), QStringLiteral("1"),
         // No state files: the disk is not what is measured.
         QStringLiteral("--state"), QString(), QStringLiteral("--firmware-out"), QString()});
    if (!board.start()) {
        std::fprintf(stderr, "emulator: %s\n", qPrintable(board.errorString()));
        return 1;
    }
    // Reading and checking the file is part of the call; timed apart to show the transfer alone.
    std::vector<double> parseSeconds, callSeconds;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        ihex::Image image;
        ihex::Error error;
        if (!ihex::parseFile(path.toStdString(), image, error))
            return 1;
        parseSeconds.push_back(timer.nsecsElapsed() / 1e9);

        QEW_HANDLE handle = QEW_Connect(board.hostText().toLatin1().constData(), QEW_MODE_UPLOAD);
        if (!handle) {
            std::fprintf(stderr, "cannot connect to the emulator\n");
            return 1;
        }
        timer.restart();
        const uint32_t result = QEW_UploadFirmwareFile(handle, path.toLocal8Bit().constData());
        callSeconds.push_back(timer.nsecsElapsed() / 1e9);
        QEW_Disconnect(handle);
        if (result != 0) {
            std::fprintf(stderr, "upload failed: %u\n", result);
            return 1;
        }
    }
    const double call = median(callSeconds), parse = median(parseSeconds);
    const double bits = double(size) * 8;
    std::printf("upload of 1 MiB over %.0f Mbit/s, 1 ms round trip (median of %d runs):\n",
                kLinkMbit, kRuns);
    std::printf("  whole call      %7.1f ms  %6.2f Mbit/s  %.3f of the link rate\n", call * 1e3,
                bits / call / 1e6, bits / call / (kLinkMbit * 1e6));
    std::printf("  transfer alone  %7.1f ms  %6.2f Mbit/s  %.3f of the link rate\n",
                (call - parse) * 1e3, bits / (call - parse) / 1e6,
                bits / (call - parse) / (kLinkMbit * 1e6));
    std::printf("  (reading and checking the HEX file: %.1f ms)\n", parse * 1e3);
    // The board's own view: from upload begin to the image written to its flash.
    static const QRegularExpression took(QStringLiteral("committed.* in (\\d+) ms"));
    std::vector<double> boardMs;
    const QString log = board.log();
    for (auto it = took.globalMatch(log); it.hasNext();)
        boardMs.push_back(it.next().captured(1).toDouble());
    if (!boardMs.empty())
        std::printf("  board, upload begin to image in flash: %.0f ms (%.3f of the link rate)\n",
                    median(boardMs), bits / (median(boardMs) / 1e3) / (kLinkMbit * 1e6));
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
    if (const int r = benchUpload(dir))
        return r;
    return benchValidation(dir);
}
