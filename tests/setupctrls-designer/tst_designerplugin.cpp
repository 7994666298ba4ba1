#include "setupdesign.h"
#include "tboardhighlight.h"
#include "tboardimage.h"
#include "tjumper.h"
#include "tpopupform.h"
#include "tradiopanel.h"
#include "ui_guide.h"
#include "ui_template.h"

#include <QtDesigner/QFormBuilder>
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>

#include <QBuffer>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QMetaProperty>
#include <QPluginLoader>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUiLoader>

#include <memory>

namespace {

QString pluginDir()
{
    return QFileInfo(QStringLiteral(SETUPCTRLS_PLUGIN)).absolutePath();
}

// Answers every message box that opens while it lives, keeping their texts.
struct BoxAnswerer
{
    QStringList texts;
    QTimer timer;

    explicit BoxAnswerer(QMessageBox::StandardButton answer)
    {
        QObject::connect(&timer, &QTimer::timeout, [this, answer] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                texts << box->text();
                box->button(answer) ? box->button(answer)->click() : box->reject();
            }
        });
        timer.start(10);
    }
};

// Every named widget of a form: class, geometry, whether hidden, the framework's own properties
// and the widgets its references resolve to.
QStringList describe(const QWidget *form, bool savedByFormBuilder = false)
{
    QStringList lines;
    const auto widgets = form->findChildren<QWidget *>();
    for (const QWidget *w : widgets) {
        if (w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_")))
            continue;
        // The settings program's own paint box is no widget of the plugin's; the loader makes a
        // plain widget of it.
        if (w->objectName() == QLatin1String("PowerScrewPaint"))
            continue;
        QString line = QStringLiteral("%1 %2 %3,%4 %5x%6 hidden=%7")
                           .arg(w->metaObject()->className(), w->objectName())
                           .arg(w->x())
                           .arg(w->y())
                           .arg(w->width())
                           .arg(w->height())
                           // Of the content panels only: the form builder saves every widget of
                           // a form not shown yet as hidden.
                           .arg(w->isHidden() && w->inherits("TRadioPanel"));
        const QMetaObject *meta = w->metaObject();
        for (int i = QWidget::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
            // Qt's form builder writes no enumerations and no pixmaps without their resource path
            // (Designer's own writer does both).
            const QMetaProperty property = meta->property(i);
            if (savedByFormBuilder &&
                (property.isEnumType() || property.name() == QByteArray("AspectRatio")))
                continue;
            const QVariant value = meta->property(i).read(w);
            line += QStringLiteral(" %1=%2").arg(QString::fromLatin1(meta->property(i).name()),
                                                 value.canConvert<QString>()
                                                     ? value.toString()
                                                     : QString::number(qHash(value.toString())));
        }
        if (auto *image = qobject_cast<const TBoardImage *>(w))
            line += QStringLiteral(" ->first=%1 ->menu=%2 picture=%3")
                        .arg(image->first() ? image->first()->objectName() : QString(),
                             image->menu() ? image->menu()->objectName() : QString())
                        .arg(savedByFormBuilder ? 0 : image->pictureImage().size().width());
        if (auto *hotspot = qobject_cast<const TBoardHighlight *>(w))
            line +=
                QStringLiteral(" ->panel=%1")
                    .arg(hotspot->radioPanel() ? hotspot->radioPanel()->objectName() : QString());
        lines << line;
    }
    lines.sort();
    return lines;
}

std::unique_ptr<QWidget> loadForm(QIODevice &device)
{
    QUiLoader loader;
    loader.clearPluginPaths();
    loader.addPluginPath(pluginDir());
    std::unique_ptr<QWidget> form(loader.load(&device));
    if (!form)
        qWarning("%s", qPrintable(loader.errorString()));
    return form;
}

} // namespace

class TestDesignerPlugin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pluginOffersTheWidgetsWithTheirMetadata();
    void designModeFollowsTheFormEditorsRules();
    void formLoaderAndUicWireAlike_data();
    void formLoaderAndUicWireAlike();
    void badReferencesAreReportedOnceAndLeaveNoPanel();
    void exampleGuideOpensEachHotspotsPopup();
};

void TestDesignerPlugin::pluginOffersTheWidgetsWithTheirMetadata()
{
    QPluginLoader loader(QStringLiteral(SETUPCTRLS_PLUGIN));
    QVERIFY2(loader.load(), qPrintable(loader.errorString()));
    QCOMPARE(loader.metaData().value(QLatin1String("IID")).toString(),
             QStringLiteral("org.qt-project.Qt.QDesignerCustomWidgetCollectionInterface"));
    auto *collection = qobject_cast<QDesignerCustomWidgetCollectionInterface *>(loader.instance());
    QVERIFY(collection);

    struct Expected
    {
        const char *name;
        const char *header;
        bool container;
        QSize size;
    };
    const QList<Expected> expected = {{"TBoardImage", "tboardimage.h", true, {105, 105}},
                                      {"TBoardHighlight", "tboardhighlight.h", false, {65, 65}},
                                      {"TRadioPanel", "tradiopanel.h", true, {194, 100}},
                                      {"TTwoJumper", "tjumper.h", false, {34, 18}},
                                      {"TThreeJumper", "tjumper.h", false, {43, 18}}};
    const auto widgets = collection->customWidgets();
    QCOMPARE(widgets.size(), expected.size());
    QWidget parent;
    for (int i = 0; i < widgets.size(); ++i) {
        QDesignerCustomWidgetInterface *w = widgets[i];
        QCOMPARE(w->name(), QString::fromLatin1(expected[i].name));
        QCOMPARE(w->includeFile(), QString::fromLatin1(expected[i].header));
        QCOMPARE(w->isContainer(), expected[i].container);
        QCOMPARE(w->group(), QStringLiteral("Board Setup"));
        QVERIFY(!w->toolTip().isEmpty() && !w->whatsThis().isEmpty() && !w->icon().isNull());
        QDomDocument dom;
        QVERIFY(dom.setContent(w->domXml()));
        const QDomElement widget =
            dom.documentElement().firstChildElement(QStringLiteral("widget"));
        QCOMPARE(widget.attribute(QStringLiteral("class")), w->name());
        const QDomElement rect = widget.firstChildElement(QStringLiteral("property"))
                                     .firstChildElement(QStringLiteral("rect"));
        QCOMPARE(QSize(rect.firstChildElement(QStringLiteral("width")).text().toInt(),
                       rect.firstChildElement(QStringLiteral("height")).text().toInt()),
                 expected[i].size);
        // Made outside a form window (a program's form loader), a widget is not designed.
        QWidget *made = w->createWidget(&parent);
        QCOMPARE(made->metaObject()->className(), expected[i].name);
        QCOMPARE(made->size(), expected[i].size);
        QVERIFY(!SetupDesign::IsDesigned(made));
    }
    auto *panel = qobject_cast<TRadioPanel *>(widgets[2]->createWidget(&parent));
    QVERIFY(panel->isHidden());
    QCOMPARE(panel->memoHeight(), 58);
    QVERIFY(widgets[2]->domXml().contains(QLatin1String("<number>58</number>")));
    // HighlightType shows as a combo box: an enumeration Designer can list.
    const QMetaObject &hotspot = TBoardHighlight::staticMetaObject;
    QVERIFY(hotspot.property(hotspot.indexOfProperty("HighlightType")).isEnumType());
}

void TestDesignerPlugin::designModeFollowsTheFormEditorsRules()
{
    // The form editor's answer, for widgets on this canvas only.
    static QWidget *canvas = nullptr;
    QWidget window;
    canvas = &window;
    SetupDesign::SetHostQuery([](const QWidget *w) { return w->window() == canvas; });
    window.resize(700, 500);
    auto *board = new TBoardImage(&window);
    board->move(30, 20);
    auto makeHotspot = [board](const char *name, const QString &title, THighlightType type) {
        auto *h = new TBoardHighlight(board);
        h->setObjectName(QString::fromLatin1(name));
        h->setTitle(title);
        h->setHighlightType(type);
        return h;
    };
    TBoardHighlight *power0 =
        makeHotspot("PowerHighlight0", QStringLiteral("&Power"), THighlightType::htOptions);
    TBoardHighlight *power1 =
        makeHotspot("PowerHighlight1", QStringLiteral("&Power"), THighlightType::htOptions);
    TBoardHighlight *eth =
        makeHotspot("ETHHighlight", QStringLiteral("&Ethernet"), THighlightType::htOptions);
    power1->move(70, 0);
    eth->move(140, 0);
    board->resize(300, 200);
    for (const char *name : {"PowerPanel", "ETHPanel"})
        (new TRadioPanel(&window))->setObjectName(QString::fromLatin1(name));
    // Read from a form before it is shown: nothing is asked.
    {
        BoxAnswerer boxes(QMessageBox::Yes);
        eth->setRadioPanel(QStringLiteral("ETHPanel"));
        QCOMPARE(eth->radioPanelName(), QStringLiteral("ETHPanel"));
        QVERIFY(boxes.texts.isEmpty());
    }
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(board->height(), 300); // no picture yet: a ratio of 1
    {
        BoxAnswerer boxes(QMessageBox::Ok);
        power0->setRadioPanel(QStringLiteral("ETHPanel"));
        QCOMPARE(boxes.texts, QStringList{QStringLiteral(
                                  "ETHPanel has already been assigned to ETHHighlight.")});
        QCOMPARE(power0->radioPanelName(), QString());
    }
    {
        BoxAnswerer boxes(QMessageBox::Yes);
        power0->setRadioPanel(QStringLiteral("PowerPanel"));
        QCOMPARE(boxes.texts, QStringList{QStringLiteral(
                                  "PowerHighlight0's RadioPanel property changed. Synchronize "
                                  "linked component PowerHighlight1?")});
        QCOMPARE(power1->radioPanelName(), QStringLiteral("PowerPanel"));
    }

    // The ring follows its type while designed.
    power0->repaint();
    const QImage yellowless = power0->idleImage();
    power0->setHighlightType(THighlightType::htCalibration);
    power0->repaint();
    QVERIFY(power0->idleImage() != yellowless);
    const QRgb rim = power0->idleImage().pixel(power0->width() / 2, 2);
    QVERIFY2(qRed(rim) > qBlue(rim), "a calibration ring is red");

    // The board image keeps its place and its height follows the width, rounded half to even.
    board->setPicture(QImage(200, 100, QImage::Format_RGB32));
    board->resize(301, 10);
    QCOMPARE(board->height(), 150);
    board->resize(303, 10);
    QCOMPARE(board->height(), 152);
    window.resize(900, 700);
    QTest::qWait(20);
    QCOMPARE(board->pos(), QPoint(30, 20));
    board->setPicture(QImage());
    QCOMPARE(board->grab().toImage().pixel(0, 0),
             window.palette().color(QPalette::WindowText).rgb());

    // A content panel hides itself at its first paint, once.
    auto *panel = window.findChild<TRadioPanel *>(QStringLiteral("PowerPanel"));
    panel->show();
    panel->repaint();
    QTRY_VERIFY(panel->isHidden());
    QVERIFY(panel->designHidden());
    panel->show();
    panel->repaint();
    QTest::qWait(20);
    QVERIFY(panel->isVisible());
    SetupDesign::SetHostQuery(nullptr);
}

void TestDesignerPlugin::formLoaderAndUicWireAlike_data()
{
    QTest::addColumn<QString>("uiFile");
    QTest::addColumn<QString>("references");
    QTest::newRow("example guide")
        << QStringLiteral(GUIDE_UI)
        << QStringLiteral("TBoardImage BoardImage;->first=AddressHighlight ->menu=MainMenu;"
                          "TBoardHighlight SensorHighlight1;->panel=SensorPanel");
    QTest::newRow("settings")
        << QStringLiteral(TEMPLATE_UI)
        << QStringLiteral("TBoardImage BoardImage1;->first=PowerHighlight0 ->menu=MainMenu1;"
                          "TBoardHighlight PowerHighlight1;->panel=PowerPanel");
}

void TestDesignerPlugin::formLoaderAndUicWireAlike()
{
    QFETCH(QString, uiFile);
    QFETCH(QString, references);
    QMainWindow built;
    Ui::SensorGuide guide;
    Ui::MainForm settings;
    uiFile == QStringLiteral(GUIDE_UI) ? guide.setupUi(&built) : settings.setupUi(&built);
    QFile file(uiFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    std::unique_ptr<QWidget> loaded = loadForm(file);
    QVERIFY(loaded);
    const QStringList expected = describe(&built);
    const QStringList refs = references.split(QLatin1Char(';'));
    for (int i = 0; i < refs.size(); i += 2) {
        const QString line = expected.filter(refs[i] + QLatin1Char(' ')).value(0);
        QVERIFY2(line.contains(refs[i + 1]), qPrintable(line));
    }
    QCOMPARE(describe(loaded.get()), expected);

    // Saved by the form builder and loaded again: the same form.
    QFormBuilder builder;
    builder.addPluginPath(pluginDir());
    QBuffer saved;
    saved.open(QIODevice::WriteOnly);
    auto *mainWindow = qobject_cast<QMainWindow *>(loaded.get());
    QVERIFY(mainWindow);
    builder.save(&saved, mainWindow->centralWidget());
    saved.close();
    saved.open(QIODevice::ReadOnly);
    auto again = std::make_unique<QMainWindow>();
    again->setObjectName(built.objectName());
    again->setMenuBar(mainWindow->menuBar());
    again->setCentralWidget(loadForm(saved).release());
    QVERIFY(again->centralWidget());
    QCOMPARE(describe(again.get(), true), describe(&built, true));
}

void TestDesignerPlugin::badReferencesAreReportedOnceAndLeaveNoPanel()
{
    QWidget form;
    auto *board = new TBoardImage(&form);
    auto *missing = new TBoardHighlight(board);
    missing->setObjectName(QStringLiteral("MissingHighlight"));
    missing->setRadioPanel(QStringLiteral("NoSuchPanel"));
    auto *wrong = new TBoardHighlight(board);
    wrong->setObjectName(QStringLiteral("WrongHighlight"));
    wrong->setRadioPanel(QStringLiteral("MissingHighlight"));
    board->setFirst(QStringLiteral("WrongHighlight"));
    QTest::ignoreMessage(QtWarningMsg,
                         "MissingHighlight: RadioPanel names \"NoSuchPanel\", but the "
                         "form has no widget of that name; the reference is left empty");
    QTest::ignoreMessage(QtWarningMsg,
                         "WrongHighlight: RadioPanel names \"MissingHighlight\", a "
                         "TBoardHighlight, not a TRadioPanel; the reference is left empty");
    for (int i = 0; i < 2; ++i) {
        QVERIFY(!missing->radioPanel());
        QVERIFY(!wrong->radioPanel());
    }
    QCOMPARE(board->first(), wrong);
    // Works as a hotspot without a panel: its popup opens with the Done button alone.
    form.show();
    wrong->MouseEntry(false);
    QVERIFY(wrong->popup() && wrong->popup()->isVisible());
    QVERIFY(wrong->popup()->findChild<QPushButton *>(QStringLiteral("DoneButton")));
    QVERIFY(!wrong->popup()->findChild<TRadioPanel *>());
    wrong->DoneClick();
}

void TestDesignerPlugin::exampleGuideOpensEachHotspotsPopup()
{
    // The program itself starts and keeps running.
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(GUIDE_PROGRAM), {QStringLiteral("--tour")});
    QVERIFY(program.waitForStarted(5000));
    QVERIFY(!program.waitForFinished(1500));
    program.kill();
    program.waitForFinished(5000);

    QMainWindow window;
    Ui::SensorGuide ui;
    ui.setupUi(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QList<QPair<TBoardHighlight *, TRadioPanel *>> expected = {
        {ui.SensorHighlight0, ui.SensorPanel},
        {ui.AddressHighlight, ui.AddressPanel},
        {ui.VoltageHighlight, ui.VoltagePanel},
        {ui.GainHighlight, ui.GainPanel}};
    for (const auto &[hotspot, panel] : expected) {
        QTest::mouseMove(hotspot, hotspot->rect().center());
        QTRY_VERIFY(hotspot->popup() && hotspot->popup()->isVisible());
        QCOMPARE(panel->parentWidget(), hotspot->popup());
        QVERIFY(panel->isVisible());
        hotspot->DoneClick();
        QTest::mouseMove(window.menuBar());
    }
    // The linked hotspot shows the popup its twin built.
    QTest::mouseMove(ui.SensorHighlight1, ui.SensorHighlight1->rect().center());
    QTRY_VERIFY(ui.SensorHighlight0->popup()->isVisible());
    QCOMPARE(ui.BoardImage->first(), ui.AddressHighlight);
}

QTEST_MAIN(TestDesignerPlugin)
#include "tst_designerplugin.moc"
