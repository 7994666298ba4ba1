#include "setupdesign.h"
#include "tboardhighlight.h"
#include "tboardimage.h"
#include "tpopupform.h"
#include "tradiopanel.h"
#include "ui_guide.h"
#include "ui_template.h"

#include <QtDesigner/QFormBuilder>
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>

#include <QBuffer>
#include <QFile>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QMetaProperty>
#include <QPluginLoader>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QUiLoader>
#include <QXmlStreamReader>

#include <memory>

namespace {

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

// Every named widget of a form: class, place, the framework's own properties and the widgets its
// references resolve to. Qt's form builder writes no enumerations, no pixmaps without their
// resource path and every widget of a form not yet shown as hidden (Designer's writer does none
// of this); savedByFormBuilder leaves those out.
QStringList describe(const QWidget *form, bool savedByFormBuilder = false)
{
    QStringList lines;
    for (const QWidget *w : form->findChildren<QWidget *>()) {
        // The settings program's paint box is no widget of the plugin's.
        if (w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_")) ||
            w->objectName() == QLatin1String("PowerScrewPaint"))
            continue;
        QString line = QStringLiteral("%1 %2 %3 panelhidden=%4")
                           .arg(w->metaObject()->className(), w->objectName(),
                                QVariant(w->geometry()).toString())
                           .arg(w->isHidden() && w->inherits("TRadioPanel"));
        const QMetaObject *meta = w->metaObject();
        for (int i = QWidget::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
            const QMetaProperty p = meta->property(i);
            if (!savedByFormBuilder || !(p.isEnumType() || p.name() == QByteArray("AspectRatio")))
                line += QStringLiteral(" %1=%2").arg(p.name(), p.read(w).toString());
        }
        if (auto *image = qobject_cast<const TBoardImage *>(w))
            line += QStringLiteral(" ->first=%1 ->menu=%2 picture=%3")
                        .arg(image->first() ? image->first()->objectName() : QString(),
                             image->menu() ? image->menu()->objectName() : QString())
                        .arg(savedByFormBuilder ? 0 : image->pictureImage().width());
        if (auto *hotspot = qobject_cast<const TBoardHighlight *>(w))
            line += QStringLiteral(" ->panel=") +
                    (hotspot->radioPanel() ? hotspot->radioPanel()->objectName() : QString());
        lines << line;
    }
    lines.sort();
    return lines;
}

std::unique_ptr<QWidget> loadForm(QIODevice &device)
{
    QUiLoader loader;
    loader.clearPluginPaths();
    loader.addPluginPath(QStringLiteral(SETUPCTRLS_PLUGIN_DIR));
    return std::unique_ptr<QWidget>(loader.load(&device));
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
        const char *name, *header;
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
        QVERIFY(w->domXml().contains(QStringLiteral("<widget class=\"%1\"").arg(w->name())));
        QVERIFY(w->domXml().contains(QStringLiteral("<width>%1</width><height>%2</height>")
                                         .arg(expected[i].size.width())
                                         .arg(expected[i].size.height())));
        QXmlStreamReader xml(w->domXml()); // the widget box drops a malformed one
        while (!xml.atEnd())
            xml.readNext();
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        // Made outside a form window (a program's form loader), a widget is not designed.
        QWidget *made = w->createWidget(&parent);
        QCOMPARE(made->size(), expected[i].size);
        QVERIFY(!SetupDesign::IsDesigned(made));
    }
    QVERIFY(widgets[2]->createWidget(&parent)->isHidden());
    QVERIFY(widgets[2]->domXml().contains(QLatin1String("<number>58</number>")));
    // References name objects: not offered for translation, checked as object names.
    QVERIFY(widgets[1]->domXml().contains(
        QLatin1String("name=\"RadioPanel\" notr=\"true\" type=\"objectname\"")));
}

void TestDesignerPlugin::designModeFollowsTheFormEditorsRules()
{
    // The form editor's answer, for widgets on this canvas only.
    static QWidget *canvas = nullptr;
    QWidget window;
    canvas = &window;
    SetupDesign::SetHostQuery([](const QWidget *w) { return w->window() == canvas; });
    auto *board = new TBoardImage(&window);
    board->move(30, 20);
    board->resize(300, 200);
    auto makeHotspot = [board](const char *name, const char *title, int left) {
        auto *h = new TBoardHighlight(board);
        h->setObjectName(QString::fromLatin1(name));
        h->setTitle(QString::fromLatin1(title));
        h->move(left, 0);
        return h;
    };
    TBoardHighlight *power0 = makeHotspot("PowerHighlight0", "&Power", 0);
    TBoardHighlight *power1 = makeHotspot("PowerHighlight1", "&Power", 70);
    TBoardHighlight *eth = makeHotspot("ETHHighlight", "&Ethernet", 140);
    for (const char *name : {"PowerPanel", "ETHPanel"})
        (new TRadioPanel(&window))->setObjectName(QString::fromLatin1(name));
    // Read from a form before it is shown: nothing is asked.
    {
        BoxAnswerer boxes(QMessageBox::Yes);
        eth->setRadioPanel(QStringLiteral("ETHPanel"));
        QVERIFY(boxes.texts.isEmpty());
    }
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
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

    // Pointing at a designed hotspot opens no popup over the editor.
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(eth, &enter);
    QVERIFY(!eth->popup());

    // The ring follows its type while designed.
    power0->repaint();
    const QImage yellow = power0->idleImage();
    power0->setHighlightType(THighlightType::htCalibration);
    power0->repaint();
    QVERIFY(power0->idleImage() != yellow);
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
    QTest::addColumn<QStringList>("references");
    QTest::newRow("example guide") << QStringLiteral(GUIDE_UI)
                                   << QStringList{"->first=AddressHighlight ->menu=MainMenu",
                                                  "SensorHighlight1 ", "->panel=SensorPanel"};
    QTest::newRow("settings") << QStringLiteral(TEMPLATE_UI)
                              << QStringList{"->first=PowerHighlight0 ->menu=MainMenu1",
                                             "PowerHighlight1 ", "->panel=PowerPanel"};
}

void TestDesignerPlugin::formLoaderAndUicWireAlike()
{
    QFETCH(QString, uiFile);
    QFETCH(QStringList, references);
    QMainWindow built;
    Ui::SensorGuide guide;
    Ui::MainForm settings;
    uiFile == QStringLiteral(GUIDE_UI) ? guide.setupUi(&built) : settings.setupUi(&built);
    QFile file(uiFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    std::unique_ptr<QWidget> loaded = loadForm(file);
    QVERIFY(loaded);
    const QStringList expected = describe(&built);
    QVERIFY(!expected.filter(references[0]).isEmpty());
    QVERIFY(expected.filter(references[1]).value(0).contains(references[2]));
    QCOMPARE(describe(loaded.get()), expected);

    // Saved by the form builder and loaded again: the same form.
    QFormBuilder builder;
    builder.addPluginPath(QStringLiteral(SETUPCTRLS_PLUGIN_DIR));
    QBuffer saved;
    saved.open(QIODevice::ReadWrite);
    auto *mainWindow = qobject_cast<QMainWindow *>(loaded.get());
    QVERIFY(mainWindow);
    builder.save(&saved, mainWindow->centralWidget());
    saved.seek(0);
    auto again = std::make_unique<QMainWindow>();
    again->setObjectName(built.objectName());
    again->setMenuBar(mainWindow->menuBar());
    again->setCentralWidget(loadForm(saved).release());
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
    QTest::ignoreMessage(QtWarningMsg,
                         "MissingHighlight: RadioPanel names \"NoSuchPanel\", but the "
                         "form has no widget of that name; the reference is left empty");
    QTest::ignoreMessage(QtWarningMsg,
                         "WrongHighlight: RadioPanel names \"MissingHighlight\", a "
                         "TBoardHighlight, not a TRadioPanel; the reference is left empty");
    QTest::failOnWarning(QRegularExpression(QStringLiteral("names")));
    QVERIFY(!missing->radioPanel() && !missing->radioPanel() && !wrong->radioPanel());
    QVERIFY(!wrong->radioPanel());
    // Works as a hotspot without a panel.
    form.show();
    wrong->MouseEntry(false);
    QVERIFY(wrong->popup() && wrong->popup()->isVisible());
    QVERIFY(!wrong->popup()->findChild<TRadioPanel *>());
    wrong->DoneClick();
}

void TestDesignerPlugin::exampleGuideOpensEachHotspotsPopup()
{
    // The program itself starts and keeps running.
    QProcess program;
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
}

QTEST_MAIN(TestDesignerPlugin)
#include "tst_designerplugin.moc"
