// Takes the uploader's screenshots for docs/, on a real X server:
//
//   xvfb-run -a -s '-screen 0 1280x1024x24' <build>/bin/vornik-screenshots <folder>
//
// docs/vornik-openbox.png is the whole 1024 x 768 screen with the program just started under a
// window manager, centred with its frame:
//
//   tests/support/with-openbox.sh sh -c '<build>/bin/Vornik & sleep 2;
//       import -window root docs/vornik-openbox.png; kill $!'
//
// The window talks to an emulated board at revision 1.0 on a loopback address of its own, so
// the upload runs the whole bootstrap path. Settings and temporary files stay in private folders.
#include "boardemulatorprocess.h"
#include "ihexwriter.h"
#include "vorniktest.h"

#include <QScreen>

#include <cstdio>

using namespace vorniktest;

namespace {

bool Save(QWidget *window, const QString &folder, const QString &name)
{
    QTest::qWait(200);
    QPixmap shot = window->screen()->grabWindow(0);
    shot = shot.copy(window->frameGeometry().intersected(shot.rect()));
    const QString path = QDir(folder).filePath(name);
    if (!shot.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// A 2.0 firmware image the emulated board takes, as the user would pick it.
bool WriteFirmware(const QString &path)
{
    std::vector<std::uint8_t> image = {'Q', 'O', 'R', 'F', 0x02, 0x00};
    for (int i = int(image.size()); i < 4096; ++i)
        image.push_back(std::uint8_t((i * 7 + 3) & 0xFF));
    ihex::Image hex;
    hex.segments.push_back({0, image});
    const std::string text = ihex::write(hex);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(text.data(), qint64(text.size())) == qint64(text.size());
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vornik"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: vornik-screenshots <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    qputenv("QORETHW_LOOPBACK_ONLY", "1");
    // A short, readable path for the upload's status text, before TMPDIR turns private.
    const QString pickFolder = QDir::temp().filePath(QStringLiteral("vornik-shots"));
    TPrivateFolders folders;
    QDir().mkpath(pickFolder);
    const QString firmware = pickFolder + QStringLiteral("/board-firmware-2.0.hex");
    if (!WriteFirmware(firmware)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(firmware));
        return 1;
    }

    BoardEmulatorProcess board({QStringLiteral("--revision"), QStringLiteral("0x0100")});
    if (!board.start()) {
        std::fprintf(stderr, "emulator: %s\n", qPrintable(board.errorString()));
        return 1;
    }

    TMainForm window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;

    auto *host = Control<QLineEdit>(&window, "HostEdit");
    host->clear();
    QTest::keyClicks(host, board.hostText());
    Click(&window, "ConnectButton");
    bool ok = Save(&window, folder, QStringLiteral("vornik-connected.png"));

    auto *file = Control<QLineEdit>(&window, "FirmEdit");
    file->clear();
    QTest::keyClicks(file, firmware);
    Click(&window, "UploadButton");
    if (StatusText(&window) != QStringLiteral("Uploaded ") + firmware + QLatin1Char('!'))
        std::fprintf(stderr, "upload: %s\n", qPrintable(StatusText(&window)));
    ok &= Save(&window, folder, QStringLiteral("vornik-uploaded.png"));

    QDir(pickFolder).removeRecursively();
    return ok ? 0 : 1;
}
