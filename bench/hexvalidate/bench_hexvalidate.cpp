// Validating a firmware file must not be slower than converting it with objcopy: times
// ihex::parseFile against `objcopy -I ihex -O binary` on the HEX file of a 16 MiB image.
//   bench_hexvalidate [repetitions, default 5] [image MiB, default 16]
#include "ihexreader.h"
#include "ihexwriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Firmware-like content: mostly random code bytes with erased (FF) stretches, so the file has
// the usual mix of digits; fixed seed so every run measures the same file.
ihex::Image makeImage(std::size_t size)
{
    ihex::Image image;
    ihex::Segment segment;
    segment.address = 0x08000000;
    segment.bytes.resize(size);
    std::mt19937 random(20805);
    for (std::size_t i = 0; i < size; i += 4) {
        const std::uint32_t word = (i / 4096) % 8 == 7 ? 0xffffffffu : std::uint32_t(random());
        for (std::size_t k = 0; k < 4 && i + k < size; ++k)
            segment.bytes[i + k] = std::uint8_t(word >> (8 * k));
    }
    image.segments.push_back(std::move(segment));
    image.startAddress = 0x08000101;
    return image;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::size_t mebibytes = argc > 2 ? std::size_t(std::max(1, std::atoi(argv[2]))) : 16;

    const QString objcopy = QStandardPaths::findExecutable(QStringLiteral("objcopy"));
    if (objcopy.isEmpty()) {
        std::fprintf(stderr, "objcopy not found (GNU binutils)\n");
        return 2;
    }
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 2;
    }
    const QString hexPath = dir.filePath(QStringLiteral("image.hex"));
    const QString binPath = dir.filePath(QStringLiteral("image.bin"));

    const ihex::Image image = makeImage(mebibytes << 20);
    {
        const std::string text = ihex::write(image);
        QFile file(hexPath);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(text.data(), qint64(text.size())) != qint64(text.size())) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(hexPath));
            return 2;
        }
        std::printf("HEX file of a %zu MiB image: %zu bytes, %s\n", mebibytes, text.size(),
                    qPrintable(hexPath));
    }

    std::vector<double> parseMs, objcopyMs;
    const std::vector<std::uint8_t> expected = image.flatten();
    for (int run = 0; run < repetitions; ++run) {
        QElapsedTimer timer;
        timer.start();
        ihex::Image parsed;
        ihex::Error error;
        const bool ok = ihex::parseFile(hexPath.toStdString(), parsed, error);
        parseMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (!ok || parsed.dataSize() != expected.size()) {
            std::fprintf(stderr, "parseFile failed: %s\n", ihex::describe(error).c_str());
            return 1;
        }

        QFile::remove(binPath);
        QProcess process;
        timer.restart();
        process.start(objcopy, {QStringLiteral("-I"), QStringLiteral("ihex"), QStringLiteral("-O"),
                                QStringLiteral("binary"), hexPath, binPath});
        const bool finished = process.waitForFinished(120000);
        objcopyMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            std::fprintf(stderr, "objcopy failed: %s\n",
                         process.readAllStandardError().constData());
            return 1;
        }
        std::printf("run %d: parseFile %8.1f ms   objcopy %8.1f ms\n", run + 1, parseMs.back(),
                    objcopyMs.back());
    }
    QFile bin(binPath);
    if (!bin.open(QIODevice::ReadOnly) ||
        bin.readAll() != QByteArray(reinterpret_cast<const char *>(expected.data()),
                                    qsizetype(expected.size()))) {
        std::fprintf(stderr, "objcopy's binary differs from the image\n");
        return 1;
    }

    const double ours = median(parseMs);
    const double theirs = median(objcopyMs);
    std::printf("median of %d: parseFile %.1f ms, objcopy %.1f ms, objcopy/parseFile %.2f\n",
                repetitions, ours, theirs, theirs / ours);
    return 0;
}
