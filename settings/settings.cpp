// The settings program: the board's setup guide.
#include "template.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TMainForm MainForm;
    MainForm.show();
    return app.exec();
}
