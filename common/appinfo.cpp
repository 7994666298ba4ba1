#include "appinfo.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>

namespace {

bool AsksForHelpOrVersion(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--") == 0)
            return false;
        for (const char *option : {"-h", "--help", "-?", "--help-all", "-v", "--version"}) {
            if (std::strcmp(arg, option) == 0)
                return true;
        }
    }
    return false;
}

} // namespace

std::optional<int> AnswerCommandLine(int argc, char *argv[], const ProgramInfo &info)
{
    if (!AsksForHelpOrVersion(argc, argv))
        return std::nullopt;
    // A core application is enough to answer, so this works without a display.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(BOARD_VERSION));
    QCommandLineParser parser;
    // Qt's options are single-dash words ("-platform"); never read them as bundled letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QString::fromUtf8(info.summary) +
        QStringLiteral("\n\nQt's own options, such as -platform, -style and -display, apply as "
                       "well."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    // Options meant for QApplication are unknown here; they do not matter for these answers.
    parser.parse(QCoreApplication::arguments());
    const QString answer = parser.isSet(version) && !parser.isSet(help)
                               ? QCoreApplication::applicationName() + ' ' +
                                     QCoreApplication::applicationVersion() + '\n'
                               : parser.helpText();
    std::fputs(qPrintable(answer), stdout);
    return 0;
}

void SetDesktopIdentity(const ProgramInfo &info)
{
    const QString id = QString::fromUtf8(info.desktopId);
    QIcon builtIn;
    const QDir sizes(QStringLiteral(":/icons"));
    for (const QString &size : sizes.entryList(QDir::Dirs))
        builtIn.addFile(sizes.filePath(size + QStringLiteral("/apps/") + id + ".png"));
    QGuiApplication::setWindowIcon(QIcon::fromTheme(id, builtIn));
    QGuiApplication::setDesktopFileName(id);
}
