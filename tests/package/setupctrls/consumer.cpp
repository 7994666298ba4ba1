// Builds a board image with a hotspot and its panel from the installed headers, then loads the
// installed Designer plugin the way Designer does and lists the widgets it offers.
#include <tboardhighlight.h>
#include <tboardimage.h>
#include <tradiopanel.h>

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QPluginLoader>
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget form;
    auto *board = new TBoardImage(&form);
    auto *hotspot = new TBoardHighlight(board);
    auto *panel = new TRadioPanel(&form);
    panel->setObjectName(QStringLiteral("Panel"));
    hotspot->setRadioPanel(QStringLiteral("Panel"));
    if (hotspot->radioPanel() != panel)
        return 1;
    const QString dir = QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/designer");
    QPluginLoader loader(QDir(dir).filePath(QStringLiteral("libsetupctrlsplugin.so")));
    auto *plugins = qobject_cast<QDesignerCustomWidgetCollectionInterface *>(loader.instance());
    if (!plugins) {
        std::fprintf(stderr, "%s\n", qPrintable(loader.errorString()));
        return 2;
    }
    QStringList names;
    for (QDesignerCustomWidgetInterface *widget : plugins->customWidgets())
        names << widget->name();
    std::printf("%d x %d board, plugin offers %s\n", board->width(), board->height(),
                qPrintable(names.join(QLatin1Char(' '))));
    return 0;
}
