// A setup guide for the sensor board, made in Qt Designer: everything it shows and every link
// between hotspots, panels and the menu is in guide.ui. "--tour" starts at the first hotspot.
#include "taccessiblecontrols.h"
#include "tboardimage.h"
#include "ui_guide.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    InstallSetupCtrlsAccessibility();
    QMainWindow window;
    Ui::SensorGuide ui;
    ui.setupUi(&window);
    window.show();
    if (app.arguments().contains(QStringLiteral("--tour"))) {
        QEvent startTour(WM_STARTTOUR);
        QCoreApplication::sendEvent(ui.BoardImage, &startTour);
    }
    return app.exec();
}
