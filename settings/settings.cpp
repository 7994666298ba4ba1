// The settings program: the board's setup guide.
#include "platformchoice.h"
#include "template.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    ChooseWindowingPlatform(argc, argv, "popups cannot be placed next to their rings");
    QApplication app(argc, argv);
    TMainForm MainForm;
    MainForm.show();
    return app.exec();
}
