// Vornik, the board's firmware uploader.
#include "mainunit.h"
#include "platformchoice.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    ChooseWindowingPlatform(argc, argv, "the window cannot be centred on the screen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vornik"));
    TMainForm MainForm;
    MainForm.show();
    return application.exec();
}
