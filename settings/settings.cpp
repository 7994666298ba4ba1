// The settings program: the board's setup guide.
#include "appinfo.h"
#include "template.h"

#include <QApplication>

static const ProgramInfo Info = {"com.kestrune.BoardSettings",
                                 "Setup guide of the Ethernet digital I/O board."};

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = AnswerCommandLine(argc, argv, Info))
        return *status;
    QApplication app(argc, argv);
    SetDesktopIdentity(Info);
    TMainForm MainForm;
    MainForm.show();
    return app.exec();
}
