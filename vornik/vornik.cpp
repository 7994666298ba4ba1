// Vornik, the board's firmware uploader.
#include "mainunit.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vornik"));
    TMainForm MainForm;
    MainForm.show();
    return application.exec();
}
