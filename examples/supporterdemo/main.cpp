// Shows the jumper pictures on a content panel and the support component's
// dialogs, as the settings program would. With --screenshots DIR it saves
// pictures of them there and quits.
#include "taccessiblecontrols.h"
#include "tboardimage.h"
#include "tjumper.h"
#include "tradiopanel.h"
#include "tsetupsupporter.h"
#include "tsupportforms.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

namespace {

QLabel *caption(QWidget *parent, const QString &text, int x, int y)
{
    auto *label = new QLabel(text, parent);
    label->move(x, y);
    return label;
}

// A panel of two- and three-pin jumpers in every orientation.
TRadioPanel *buildJumperPanel(QWidget *parent)
{
    auto *panel = new TRadioPanel(parent);
    panel->setObjectName(QStringLiteral("JumperPanel"));
    panel->setAutoFillBackground(true);
    panel->setGeometry(20, 60, 420, 200);

    const struct
    {
        TOrientationType orientation;
        const char *name;
    } turns[] = {{TJumperBase::otUp, "otUp"},
                 {TJumperBase::otDown, "otDown"},
                 {TJumperBase::otLeft, "otLeft"},
                 {TJumperBase::otRight, "otRight"}};
    int x = 70;
    for (const auto &turn : turns) {
        caption(panel, QString::fromLatin1(turn.name), x, 4);
        const bool vertical =
            turn.orientation == TJumperBase::otLeft || turn.orientation == TJumperBase::otRight;
        auto *two = new TTwoJumper(panel);
        // Sized as a layout stores a turned jumper: already in its final shape.
        two->setGeometry(x, 24, vertical ? 18 : 34, vertical ? 34 : 18);
        two->setOrientation(turn.orientation);
        two->setClosed(turn.orientation == TJumperBase::otUp);
        auto *three = new TThreeJumper(panel);
        three->setGeometry(x, 90, vertical ? 18 : 43, vertical ? 43 : 18);
        three->setOrientation(turn.orientation);
        three->setJumperState(TJumperBase::jsLeft);
        x += 85;
    }
    caption(panel, QStringLiteral("2 pins"), 8, 30);
    caption(panel, QStringLiteral("3 pins"), 8, 96);
    caption(panel, QStringLiteral("no border"), 8, 160);
    auto *plain = new TTwoJumper(panel);
    plain->move(70, 160);
    plain->setBorderStyle(TJumperBase::bsNone);
    auto *plainThree = new TThreeJumper(panel);
    plainThree->move(155, 160);
    plainThree->setBorderStyle(TJumperBase::bsNone);
    plainThree->setJumperState(TJumperBase::jsRight);
    panel->setRadioEnabled(true);
    panel->setVisible(true);
    return panel;
}

QImage zoomed(const QImage &image, int factor)
{
    return image.scaled(image.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    InstallSetupCtrlsAccessibility();
    QApplication::setApplicationName(QStringLiteral("supporterdemo"));
    QCommandLineParser options;
    options.addHelpOption();
    const QCommandLineOption shots(QStringLiteral("screenshots"),
                                   QStringLiteral("Save pictures in <dir> and quit."),
                                   QStringLiteral("dir"));
    options.addOption(shots);
    options.process(app);

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Setup framework demo"));
    auto *client = new QWidget;
    client->setObjectName(QStringLiteral("ClientArea"));
    window.setCentralWidget(client);
    auto *board = new TBoardImage(client);
    board->setGeometry(460, 60, 200, 200);
    QMenu *file = window.menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("E&xit"), &window, &QWidget::close);
    TRadioPanel *panel = buildJumperPanel(client);
    window.resize(700, 330);

    auto *supporter = new TSetupSupporter(&window);
    supporter->setCompanyName(QStringLiteral("Kestrune"));
    supporter->setCardNameA(QStringLiteral("NET-RLX-16/NET-INX-16"));
    supporter->setCardNameB(QStringLiteral("NET-DX32-EM/SS"));
    supporter->setCallHow(
        QStringLiteral("weekdays from 8:00 a.m. to 5:00 p.m. Central Time at 555-0100"));
    supporter->setBSeries(false);
    QMenu *help = window.menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("H&ow to use this program"), [supporter] {
        if (QWidget *w = supporter->HelpForm())
            w->setVisible(true);
    });
    help->addAction(QStringLiteral("&Technical Support"), [supporter] {
        if (QWidget *w = supporter->TechForm())
            w->setVisible(true);
    });

    window.show();
    QTimer::singleShot(0, &window, [supporter] { supporter->BuildDialogs(); });

    if (options.isSet(shots)) {
        const QDir dir(options.value(shots));
        QTimer::singleShot(1200, &window, [&, dir] {
            supporter->TechForm()->setVisible(true);
            QTimer::singleShot(300, &window, [&, dir] {
                THelpForm *helpForm = supporter->HelpForm();
                helpForm->grab().save(dir.filePath(QStringLiteral("setupsupporter-help.png")));
                // The paragraphs about the three circle colours.
                const QTextBlock colours = helpForm->HelpRich->document()->findBlockByNumber(4);
                helpForm->HelpRich->verticalScrollBar()->setValue(
                    int(helpForm->HelpRich->document()
                            ->documentLayout()
                            ->blockBoundingRect(colours)
                            .top()));
                helpForm->grab().save(
                    dir.filePath(QStringLiteral("setupsupporter-help-colours.png")));
                supporter->TechForm()->grab().save(
                    dir.filePath(QStringLiteral("setupsupporter-support.png")));
                const QPixmap jumpers = panel->grab();
                jumpers.save(dir.filePath(QStringLiteral("jumpers-panel.png")));
                zoomed(jumpers.toImage(), 3).save(dir.filePath(QStringLiteral("jumpers-zoom.png")));
                window.grab().save(dir.filePath(QStringLiteral("setupsupporter-window.png")));
                app.quit();
            });
        });
    }
    return app.exec();
}
