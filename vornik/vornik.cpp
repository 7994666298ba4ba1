// Vornik, the board's firmware uploader.
#include "appinfo.h"
#include "mainunit.h"
#include "platformchoice.h"

#include <QApplication>

static const ProgramInfo Info = {"com.kestrune.Vornik",
                                 "Firmware uploader of the Ethernet digital I/O board."};

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = AnswerCommandLine(argc, argv, Info))
        return *status;
    ChooseWindowingPlatform(argc, argv, "the window cannot be centred on the screen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vornik"));
    SetDesktopIdentity(Info);
    TMainForm MainForm;
    MainForm.show();
    return application.exec();
}
