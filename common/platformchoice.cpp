#include "platformchoice.h"

#include <QByteArray>
#include <QFileInfo>
#include <QString>

#include <cstdio>

namespace {

bool platformChosenOnCommandLine(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        QByteArray arg(argv[i]);
        if (arg.startsWith("--"))
            arg.remove(0, 1);
        if (arg == "-platform" || arg.startsWith("-platform="))
            return true;
    }
    return false;
}

} // namespace

void ChooseWindowingPlatform(int argc, char **argv, const char *consequence)
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || platformChosenOnCommandLine(argc, argv))
        return;
    const bool wayland =
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qgetenv("XDG_SESSION_TYPE") == "wayland";
    if (!wayland)
        return;
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
        return;
    }
    qputenv("QT_QPA_PLATFORM", "wayland");
    const QString program =
        argc > 0 ? QFileInfo(QString::fromLocal8Bit(argv[0])).fileName() : QString();
    std::fprintf(stderr, "%s: Wayland session without an X server: %s.\n", qPrintable(program),
                 consequence);
}
