// The settings program: the board's setup guide.
#include "appinfo.h"
#include "platformchoice.h"
#include "template.h"

#include <QApplication>

static const ProgramInfo Info = {"com.kestrune.BoardSettings",
                                 "Setup guide of the Ethernet digital I/O board."};

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = AnswerCommandLine(argc, argv, Info))
        return *status;
    ChooseWindowingPlatform(argc, argv, "popups cannot be placed next to their rings");
    QApplication app(argc, argv);
    SetDesktopIdentity(Info);
    TMainForm MainForm;
    MainForm.show();
    return app.exec();
}
