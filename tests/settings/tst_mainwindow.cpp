// The settings main window built from its layout: components, start-up, menus, the tour and the
// option panels. The device library is the stand-in "full" (or none), so nothing leaves the box.
#include "fakeqorethw.h"
#include "mainwindowtest.h"
#include "powerscrew.h"
#include "thotspotmenu.h"
#include "tjumper.h"
#include "tpaintbox.h"

#include <QAbstractEventDispatcher>
#include <QAccessible>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextEdit>

using namespace MainWindowTest;

class MainWindowTest_ : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // layout
    void layoutWindow();
    void layoutGeometry_data();
    void layoutGeometry();
    void layoutTexts_data();
    void layoutTexts();
    void layoutHotspots_data();
    void layoutHotspots();
    void layoutPanels_data();
    void layoutPanels();
    void layoutInitialStates();
    void layoutChannelTagsAndControls();
    void layoutIpTabOrder();
    void layoutSupporterValues();
    void layoutPicturesLoaded();

    // start-up
    void startupMenuBarBeforeFirstPaint();
    void startupMenuBarAfterFirstPaint();
    void startupIdleHandlerRunsOnce();
    void startupBoundLibraryText();
    void startupLibraryAbsent();
    void startupHeaderLabel();

    // menus
    void menuHelpEntriesShowTheirDialogs();
    void menuHelpEntriesBeforeDialogsDoNothing();
    void menuExitEndsTheProgram();

    // tour and popups
    void tourStartWalksTheOptionsPopupsWithNext();
    void popupsPlacedFromPanelPositions_data();
    void popupsPlacedFromPanelPositions();

    // option panels
    void filterJumperClickFollowsRadios();
    void filterPlainRadioOpensOnlyItsJumper();
    void filterAllPlainThenAllFiltered();
    void filterUserClicksOnRadios();
    void resetJumperClicksMoveRadios();
    void resetRadiosMoveJumper();
    void powerDrawingAtLayoutSize();

    // accessibility
    void accessibilityControlsSpeakUsefulNames();

private:
    std::unique_ptr<TMainForm> m_w;
    std::unique_ptr<FakeQorethw> m_fake;

    void createShown(const QString &folder);
    const Ui::MainForm &f() const { return *m_w->form(); }
};

void MainWindowTest_::init()
{
    m_fake = std::make_unique<FakeQorethw>(QStringLiteral("full"));
    QVERIFY(m_fake->loaded());
    m_fake->reset();
}

void MainWindowTest_::cleanup()
{
    m_w.reset();
}

void MainWindowTest_::createShown(const QString &folder)
{
    m_w = Create(folder);
    QVERIFY(ShowAndSettle(*m_w));
}

// ---- layout ----

void MainWindowTest_::layoutWindow()
{
    m_w = Create(FakeQorethw::folder("full"));
    QCOMPARE(m_w->objectName(), QStringLiteral("MainForm"));
    QCOMPARE(m_w->windowTitle(), QStringLiteral("Settings"));
    QVERIFY(m_w->windowState() & Qt::WindowMaximized);
    // Restored, or with nothing to maximise it, the window stays reachable on a small screen.
    QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(m_w->geometry()));
    QCOMPARE(m_w->palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(m_w->font().family(), QStringLiteral("MS Sans Serif"));
    QCOMPARE(m_w->menuBar(), f().MainMenu1);
    QCOMPARE(f().BoardImage1->menu(), f().MainMenu1);
    QCOMPARE(f().BoardImage1->first(), f().PowerHighlight0);
    QVERIFY(f().BoardImage1->stretch());
    QVERIFY(!f().BoardImage1->autoSize());
}

void MainWindowTest_::layoutGeometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("PowerHighlight0") << "PowerHighlight0" << QRect(300, 496, 81, 74);
    QTest::newRow("PowerHighlight1") << "PowerHighlight1" << QRect(384, 490, 76, 107);
    QTest::newRow("ETHHighlight") << "ETHHighlight" << QRect(176, 456, 111, 144);
    QTest::newRow("ResetHighlight") << "ResetHighlight" << QRect(88, 416, 49, 49);
    QTest::newRow("FilterHighlight") << "FilterHighlight" << QRect(224, 24, 46, 265);
    QTest::newRow("ConnHighlight") << "ConnHighlight" << QRect(132, 512, 25, 33);
    QTest::newRow("LedHighlight") << "LedHighlight" << QRect(99, 484, 33, 113);
    QTest::newRow("DIOHighlight") << "DIOHighlight" << QRect(472, 64, 81, 441);
    QTest::newRow("IPHighlight") << "IPHighlight" << QRect(125, 310, 102, 102);
    QTest::newRow("InputHighlight") << "InputHighlight" << QRect(0, 60, 41, 265);
    QTest::newRow("PowerPanel") << "PowerPanel" << QRect(-72, 504, 201, 161);
    QTest::newRow("ETHPanel") << "ETHPanel" << QRect(-72, 352, 201, 9);
    QTest::newRow("LEDPanel") << "LEDPanel" << QRect(-72, 48, 201, 9);
    QTest::newRow("IPPanel") << "IPPanel" << QRect(264, 160, 345, 121);
    QTest::newRow("ResetNetPanel") << "ResetNetPanel" << QRect(744, 504, 201, 97);
    QTest::newRow("FilterPanel") << "FilterPanel" << QRect(696, 64, 201, 305);
    QTest::newRow("ConnLEDPanel") << "ConnLEDPanel" << QRect(-72, 200, 201, 9);
    QTest::newRow("InputPanel") << "InputPanel" << QRect(144, 0, 201, 9);
    QTest::newRow("RelayPanel") << "RelayPanel" << QRect(456, 0, 201, 9);
    QTest::newRow("Image1") << "Image1" << QRect(44, 104, 112, 48);
    QTest::newRow("PowerScrewPaint") << "PowerScrewPaint" << QRect(72, 8, 57, 65);
    QTest::newRow("OrLabel") << "OrLabel" << QRect(80, 80, 41, 17);
    QTest::newRow("Label2") << "Label2" << QRect(0, 16, 65, 17);
    QTest::newRow("Label3") << "Label3" << QRect(0, 48, 65, 17);
    QTest::newRow("Label1") << "Label1" << QRect(80, 8, 49, 21);
    QTest::newRow("Label10") << "Label10" << QRect(8, 88, 121, 21);
    QTest::newRow("ConnectButton") << "ConnectButton" << QRect(8, 8, 73, 25);
    QTest::newRow("IPEdit") << "IPEdit" << QRect(136, 8, 121, 21);
    QTest::newRow("GatewayEdit") << "GatewayEdit" << QRect(136, 56, 121, 21);
    QTest::newRow("ChangeNetButton") << "ChangeNetButton" << QRect(264, 8, 73, 73);
    QTest::newRow("MACEdit") << "MACEdit" << QRect(136, 88, 121, 21);
    QTest::newRow("ChangeMACButton") << "ChangeMACButton" << QRect(264, 88, 73, 25);
    QTest::newRow("DisconnectButton") << "DisconnectButton" << QRect(8, 32, 73, 25);
    QTest::newRow("Label7") << "Label7" << QRect(72, 32, 57, 17);
    QTest::newRow("ResetNetJumper") << "ResetNetJumper" << QRect(80, 16, 43, 18);
    QTest::newRow("ThreeJumper1") << "ThreeJumper1" << QRect(80, -4, 43, 18);
    QTest::newRow("NormNetRadio") << "NormNetRadio" << QRect(32, 56, 137, 17);
    QTest::newRow("ResetNetRadio") << "ResetNetRadio" << QRect(32, 72, 137, 17);
    QTest::newRow("Label9") << "Label9" << QRect(0, 8, 64, 16);
    QTest::newRow("Label8") << "Label8" << QRect(0, 280, 64, 16);
    QTest::newRow("FilterJumper0") << "FilterJumper0" << QRect(16, 24, 32, 16);
    QTest::newRow("FilterJumperF") << "FilterJumperF" << QRect(16, 264, 32, 16);
    QTest::newRow("Panel1") << "Panel1" << QRect(56, 8, 145, 16);
    QTest::newRow("Label11") << "Label11" << QRect(104, 0, 40, 16);
    QTest::newRow("Panel2") << "Panel2" << QRect(56, 24, 145, 16);
    QTest::newRow("Panel4") << "Panel4" << QRect(56, 40, 145, 16);
    QTest::newRow("Panel18") << "Panel18" << QRect(56, 264, 145, 16);
    QTest::newRow("Label28") << "Label28" << QRect(16, 0, 40, 16);
    QTest::newRow("RelayRadioA") << "RelayRadioA" << QRect(80, 0, 16, 16);
    QTest::newRow("RelayRadioAF") << "RelayRadioAF" << QRect(104, 0, 16, 16);
    QTest::newRow("AllPlainButton") << "AllPlainButton" << QRect(120, 280, 32, 16);
    QTest::newRow("AllFilteredButton") << "AllFilteredButton" << QRect(160, 280, 32, 16);
}

void MainWindowTest_::layoutGeometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    m_w = Create(FakeQorethw::folder("full"));
    auto *widget = m_w->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), rect);
}

void MainWindowTest_::layoutTexts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("alignment");
    const int none = -1;
    const int rightVc = Qt::AlignRight | Qt::AlignVCenter;
    const int centreBottom = Qt::AlignHCenter | Qt::AlignBottom;
    QTest::newRow("OrLabel") << "OrLabel"
                             << "or" << int(Qt::AlignHCenter | Qt::AlignTop);
    QTest::newRow("Label2") << "Label2"
                            << "V In" << int(Qt::AlignRight | Qt::AlignTop);
    QTest::newRow("Label3") << "Label3"
                            << "Ground" << int(Qt::AlignRight | Qt::AlignTop);
    QTest::newRow("Label1") << "Label1"
                            << "IP" << rightVc;
    QTest::newRow("Label4") << "Label4"
                            << "Subnet" << rightVc;
    QTest::newRow("Label5") << "Label5"
                            << "Gateway" << rightVc;
    QTest::newRow("Label10") << "Label10"
                             << "MAC Address" << rightVc;
    QTest::newRow("ConnectButton") << "ConnectButton"
                                   << "Connect" << none;
    QTest::newRow("IPEdit") << "IPEdit"
                            << "192.168.1.174" << none;
    QTest::newRow("SubnetEdit") << "SubnetEdit"
                                << "255.255.0.0" << none;
    QTest::newRow("GatewayEdit") << "GatewayEdit"
                                 << "192.168.1.1" << none;
    QTest::newRow("ChangeNetButton") << "ChangeNetButton"
                                     << "Change" << none;
    QTest::newRow("MACEdit") << "MACEdit"
                             << "02-00-00-00-00-01" << none;
    QTest::newRow("ChangeMACButton") << "ChangeMACButton"
                                     << "Change" << none;
    QTest::newRow("DisconnectButton") << "DisconnectButton"
                                      << "Disconnect" << none;
    QTest::newRow("Label7") << "Label7"
                            << "OPT1" << centreBottom;
    QTest::newRow("NormNetRadio") << "NormNetRadio"
                                  << "Normal Operation" << none;
    QTest::newRow("ResetNetRadio") << "ResetNetRadio"
                                   << "Reset Networking" << none;
    QTest::newRow("Label9") << "Label9"
                            << "FLT 0" << centreBottom;
    QTest::newRow("Label8") << "Label8"
                            << "FLT 15" << int(Qt::AlignHCenter | Qt::AlignTop);
    QTest::newRow("Label12") << "Label12"
                             << "Relay" << centreBottom;
    QTest::newRow("Label6") << "Label6"
                            << "Plain" << int(Qt::AlignRight | Qt::AlignBottom);
    QTest::newRow("Label11") << "Label11"
                             << "Filtered" << int(Qt::AlignLeft | Qt::AlignBottom);
    QTest::newRow("Label13") << "Label13"
                             << "0" << centreBottom;
    QTest::newRow("Label23") << "Label23"
                             << "10" << centreBottom;
    QTest::newRow("Label28") << "Label28"
                             << "15" << centreBottom;
    QTest::newRow("AllPlainButton") << "AllPlainButton"
                                    << "All" << none;
    QTest::newRow("AllFilteredButton") << "AllFilteredButton"
                                       << "All" << none;
}

void MainWindowTest_::layoutTexts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(int, alignment);
    m_w = Create(FakeQorethw::folder("full"));
    QObject *o = m_w->findChild<QObject *>(name);
    QVERIFY(o);
    QCOMPARE(o->property("text").toString(), text);
    if (alignment >= 0)
        QCOMPARE(int(qobject_cast<QLabel *>(o)->alignment()), alignment);
}

void MainWindowTest_::layoutHotspots_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QString>("title");
    const int o = TBoardHighlight::htOptions, s = TBoardHighlight::htSettings;
    QTest::newRow("PowerHighlight0") << "PowerHighlight0" << o << "PowerPanel"
                                     << "Main/VBB &Power";
    QTest::newRow("PowerHighlight1") << "PowerHighlight1" << o << "PowerPanel"
                                     << "Main/VBB &Power";
    QTest::newRow("ETHHighlight") << "ETHHighlight" << o << "ETHPanel"
                                  << "&Ethernet Connector";
    QTest::newRow("ResetHighlight") << "ResetHighlight" << s << "ResetNetPanel"
                                    << "Reset &Networking";
    QTest::newRow("FilterHighlight") << "FilterHighlight" << s << "FilterPanel"
                                     << "Input &Filters";
    QTest::newRow("ConnHighlight") << "ConnHighlight" << o << "ConnLEDPanel"
                                   << "&Connection LED";
    QTest::newRow("LedHighlight") << "LedHighlight" << o << "LEDPanel"
                                  << "Power/Activity &LED";
    QTest::newRow("DIOHighlight") << "DIOHighlight" << o << "RelayPanel"
                                  << "&Relay Outputs";
    QTest::newRow("IPHighlight") << "IPHighlight" << s << "IPPanel"
                                 << "&IP Address";
    QTest::newRow("InputHighlight") << "InputHighlight" << o << "InputPanel"
                                    << "&Isolated Inputs";
}

void MainWindowTest_::layoutHotspots()
{
    QFETCH(QString, name);
    QFETCH(int, type);
    QFETCH(QString, panel);
    QFETCH(QString, title);
    m_w = Create(FakeQorethw::folder("full"));
    auto *h = m_w->findChild<TBoardHighlight *>(name);
    QVERIFY(h);
    QCOMPARE(h->parent(), f().BoardImage1);
    QCOMPARE(int(h->highlightType()), type);
    QVERIFY(h->radioPanel());
    QCOMPARE(h->radioPanel()->objectName(), panel);
    QCOMPARE(h->title(), title);
    QVERIFY(h->createPopup());
    // stored order: the hotspots are the board image's children in the table's order
    QCOMPARE(f().BoardImage1->children().indexOf(h), int(Hotspots(*m_w).indexOf(h)));
}

void MainWindowTest_::layoutPanels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("PowerPanel")
        << "PowerPanel"
        << QStringList{"5V power is provided via one or the other of these connectors."};
    QTest::newRow("ETHPanel")
        << "ETHPanel"
        << QStringList{"The ethernet connector on this board is a standard RJ-45 socket."};
    QTest::newRow("LEDPanel")
        << "LEDPanel"
        << QStringList{"This LED is on to indicate power, and flickers to indicate activity."};
    QTest::newRow("ResetNetPanel")
        << "ResetNetPanel"
        << QStringList{"If you lose track of the device's networking, you can reset it by moving "
                       "this jumper to the reset postion, then back, while the device is "
                       "operating.",
                       "",
                       "This will reset it to IP 192.168.1.174, subnet mask 255.255.255.0, "
                       "gateway 192.168.1.94."};
    QTest::newRow("FilterPanel")
        << "FilterPanel"
        << QStringList{"Each isolated input can have a low-pass filter applied. This is intended "
                       "to filter out transient noise in an industrial environment. However, the "
                       "filter is incompatible with fast signals, they'll be filtered out as "
                       "noise."};
    QTest::newRow("ConnLEDPanel")
        << "ConnLEDPanel"
        << QStringList{"This red LED is on to indicate an open ethernet connection."};
    QTest::newRow("InputPanel") << "InputPanel"
                                << QStringList{"The isolated inputs are on this 34-pin header."};
    QTest::newRow("RelayPanel") << "RelayPanel"
                                << QStringList{"The relays are on this 50-pin header."};
}

void MainWindowTest_::layoutPanels()
{
    QFETCH(QString, name);
    QFETCH(QStringList, lines);
    m_w = Create(FakeQorethw::folder("full"));
    auto *panel = m_w->findChild<TRadioPanel *>(name);
    QVERIFY(panel);
    QCOMPARE(panel->parentWidget(), m_w->centralWidget());
    QVERIFY(panel->isHidden());
    QCOMPARE(panel->memoHeight(), 58);
    QVERIFY(!panel->radioEnabled());
    QCOMPARE(panel->lines(), lines);
}

void MainWindowTest_::layoutInitialStates()
{
    m_w = Create(FakeQorethw::folder("full"));
    QVERIFY(f().ConnectButton->isEnabled());
    QVERIFY(!f().ChangeNetButton->isEnabled());
    QVERIFY(!f().ChangeMACButton->isEnabled());
    QVERIFY(!f().DisconnectButton->isEnabled());
    for (QLineEdit *e : {f().IPEdit, f().SubnetEdit, f().GatewayEdit, f().MACEdit})
        QVERIFY(e->isEnabled());
    QCOMPARE(f().ResetNetJumper->jumperState(), TThreeJumper::jsLeft);
    QVERIFY(!f().ResetNetJumper->allowOpen());
    QCOMPARE(f().ThreeJumper1->jumperState(), TThreeJumper::jsLeft);
    QVERIFY(!f().ThreeJumper1->isEnabled());
    QVERIFY(f().NormNetRadio->isChecked());
    QVERIFY(!f().ResetNetRadio->isChecked());
    for (const TChannelControl &c : m_w->channelControls()) {
        QVERIFY(c.Jumper->closed());
        QVERIFY(c.Filtered->isChecked());
        QVERIFY(!c.Plain->isChecked());
    }
}

void MainWindowTest_::layoutChannelTagsAndControls()
{
    m_w = Create(FakeQorethw::folder("full"));
    const QString hex = QStringLiteral("0123456789ABCDEF");
    for (int i = 0; i < 16; ++i) {
        const TChannelControl &c = m_w->channelControls()[size_t(i)];
        QVERIFY(c.Jumper && c.Plain && c.Filtered);
        QCOMPARE(c.Jumper->objectName(), QStringLiteral("FilterJumper") + hex[i]);
        QCOMPARE(c.Plain->objectName(), QStringLiteral("RelayRadio") + hex[i]);
        QCOMPARE(c.Filtered->objectName(), QStringLiteral("RelayRadio") + hex[i] + 'F');
        QCOMPARE(c.Jumper->tag(), i);
        QCOMPARE(c.Plain->property("Tag").toInt(), i);
        QCOMPARE(c.Filtered->property("Tag").toInt(), i);
        // one row panel per channel, so only the pair excludes each other
        QCOMPARE(c.Plain->parentWidget(), c.Filtered->parentWidget());
        QCOMPARE(c.Plain->parentWidget()->objectName(),
                 i == 0 ? QStringLiteral("Panel2") : QStringLiteral("Panel%1").arg(i + 3));
        QCOMPARE(c.Jumper->parentWidget(), f().FilterPanel);
    }
}

void MainWindowTest_::layoutIpTabOrder()
{
    m_w = Create(FakeQorethw::folder("full"));
    const QList<QWidget *> order{f().ConnectButton,   f().IPEdit,          f().SubnetEdit,
                                 f().GatewayEdit,     f().ChangeNetButton, f().MACEdit,
                                 f().ChangeMACButton, f().DisconnectButton};
    for (int i = 0; i + 1 < order.size(); ++i)
        QCOMPARE(order[i]->nextInFocusChain(), order[i + 1]);
}

void MainWindowTest_::layoutSupporterValues()
{
    m_w = Create(FakeQorethw::folder("full"));
    TSetupSupporter *s = m_w->setSup();
    QVERIFY(s);
    QCOMPARE(s->objectName(), QStringLiteral("SetSup"));
    QCOMPARE(s->parent(), m_w.get());
    QCOMPARE(s->companyName(), QStringLiteral("Kestrune"));
    QCOMPARE(s->cardNameA(), QStringLiteral("NET-RLX-16/NET-INX-16"));
    QCOMPARE(s->cardNameB(), QStringLiteral("NET-DX32-EM/SS"));
    QVERIFY(!s->useCardNameB());
    QVERIFY(s->changeButtons());
    QVERIFY(!s->bSeries());
    QVERIFY(!s->multiPort());
    QVERIFY(!s->onGetCardString());
    QVERIFY(s->callHow().contains(QLatin1String("Time")));
    QVERIFY(s->callHow().contains(QLatin1String("1-800-")));
    QVERIFY(s->supportText().contains(QStringLiteral("You can call us ") + s->callHow() +
                                      QStringLiteral(" for any of your product questions.")));
}

void MainWindowTest_::layoutPicturesLoaded()
{
    m_w = Create(FakeQorethw::folder("full"));
    const TPicture &pic = f().BoardImage1->picture();
    QCOMPARE(pic.kind(), TPicture::gkJpeg);
    QCOMPARE(QSize(pic.width(), pic.height()), QSize(549, 600));
    QCOMPARE(f().BoardImage1->size(), QSize(549, 600));
    QCOMPARE(f().BoardImage1->aspectRatio(), 600.0 / 549.0);
    QVERIFY(f().BoardImage1->isOpaque());
    QCOMPARE(f().Image1->pixmap().size(), QSize(112, 48));
}

// ---- start-up ----

static QStringList TopLevel(QMenuBar *bar)
{
    QStringList texts;
    for (QAction *a : bar->actions())
        texts << a->text();
    return texts;
}

void MainWindowTest_::startupMenuBarBeforeFirstPaint()
{
    m_w = Create(FakeQorethw::folder("full"));
    QCOMPARE(TopLevel(f().MainMenu1), (QStringList{"&File", "&Help"}));
    QCOMPARE(f().File1->objectName(), QStringLiteral("File1"));
    QCOMPARE(f().File1->actions(), QList<QAction *>{f().Exit2});
    QCOMPARE(f().Exit2->text(), QStringLiteral("&Exit"));
    QCOMPARE(f().Help1->actions(),
             (QList<QAction *>{f().Howtousethisprogram1, f().TechnicalSupport1}));
    QCOMPARE(f().Howtousethisprogram1->text(), QStringLiteral("H&ow to use this program"));
    QCOMPARE(f().TechnicalSupport1->text(), QStringLiteral("&Technical Support"));
}

void MainWindowTest_::startupMenuBarAfterFirstPaint()
{
    createShown(FakeQorethw::folder("full"));
    QCOMPARE(TopLevel(f().MainMenu1), (QStringList{"&File", "&Settings", "&Options", "&Help"}));
    const QList<QAction *> top = f().MainMenu1->actions();
    QMenu *settings = top[1]->menu();
    QMenu *options = top[2]->menu();
    QVERIFY(settings && options);
    QCOMPARE(settings->objectName(), QStringLiteral("Settings1"));
    QCOMPARE(options->objectName(), QStringLiteral("Options1"));
    auto entries = [](QMenu *m) {
        QStringList list;
        for (QAction *a : m->actions())
            list << a->text() + '|' + a->objectName();
        return list;
    };
    QCOMPARE(entries(settings),
             (QStringList{"Reset &Networking|ResetNetworking1", "Input &Filters|InputFilters1",
                          "&IP Address|IPAddress1"}));
    QCOMPARE(entries(options),
             (QStringList{"Main/VBB &Power|MainVBBPower1", "&Ethernet Connector|EthernetConnector1",
                          "&Connection LED|ConnectionLED1", "Power/Activity &LED|PowerActivityLED1",
                          "&Relay Outputs|RelayOutputs1", "&Isolated Inputs|IsolatedInputs1"}));
    QCOMPARE(f().File1->actions(), QList<QAction *>{f().Exit2}); // no cards entry
}

void MainWindowTest_::startupIdleHandlerRunsOnce()
{
    createShown(FakeQorethw::folder("full"));
    THelpForm *help = m_w->setSup()->HelpForm();
    QLabel *header = m_w->setSup()->HeaderLabel();
    QVERIFY(help && header);
    // many more idle moments
    for (int i = 0; i < 20; ++i)
        Spin(5);
    QCOMPARE(m_w->setSup()->HelpForm(), help);
    QCOMPARE(m_w->findChildren<THelpForm *>().size(), 1);
    QCOMPARE(m_w->findChildren<QLabel *>(QStringLiteral("HeaderLabel")).size(), 1);
    QVERIFY(!m_w->setSup()->timerRunning());
}

void MainWindowTest_::startupBoundLibraryText()
{
    createShown(FakeQorethw::folder("full"));
    QVERIFY(m_w->network().ethLibrary().bound());
    QVERIFY(f().ConnectButton->isEnabled());
    QVERIFY(m_w->setSup()->HelpRich());
    QStringList t1 = Lf(TNetworkPanel::IpPanelText()).split('\n');
    t1.removeLast(); // the closing line break ends the last line
    QCOMPARE(f().IPPanel->lines(), t1);
    QVERIFY(!m_w->setSup()->HelpRich()->toPlainText().contains(QLatin1String("QORETHW.dll")));
    // the popup first shows the panel's text
    OpenIpPopup(*m_w);
    QCOMPARE(MemoText(*m_w), t1.join('\n'));
}

void MainWindowTest_::startupLibraryAbsent()
{
    QTemporaryDir empty;
    createShown(empty.path());
    QVERIFY(!m_w->network().ethLibrary().bound());
    QVERIFY(!f().ConnectButton->isEnabled());
    QCOMPARE(f().IPPanel->lines(),
             QStringList{"Once drivers are installed and a device is plugged in, you can connect "
                         "to it and change its network settings here."});
    QVERIFY(m_w->setSup()->HelpRich());
    const QString help = m_w->setSup()->HelpRich()->toPlainText();
    QVERIFY2(help.endsWith(QStringLiteral("\n\n\n") + TNetworkPanel::LibraryNotFoundLine()),
             qPrintable(help.right(200)));
    QVERIFY(help.startsWith(QLatin1String("Kestrune NET-RLX-16/NET-INX-16 Settings Program")));
    // The added line reads as body text (12 point, regular), not as the 16 point bold title.
    QTextCursor last(m_w->setSup()->HelpRich()->document());
    last.movePosition(QTextCursor::End);
    last.movePosition(QTextCursor::StartOfBlock);
    last.movePosition(QTextCursor::NextCharacter);
    QCOMPARE(last.charFormat().fontPointSize(), 12.0);
    QCOMPARE(last.charFormat().fontWeight(), int(QFont::Normal));

    // the network handlers do nothing
    OpenIpPopup(*m_w);
    const QString before = MemoText(*m_w);
    m_w->ConnectButtonClick();
    m_w->ChangeMACButtonClick();
    m_w->ChangeNetButtonClick();
    m_w->DisconnectButtonClick();
    QCOMPARE(MemoText(*m_w), before);
    QVERIFY(!m_w->network().deviceHandle());
}

void MainWindowTest_::startupHeaderLabel()
{
    createShown(FakeQorethw::folder("full"));
    QCOMPARE(m_w->setSup()->HeaderLabel()->text(),
             QStringLiteral("NET-RLX-16/NET-INX-16 Settings Program"));
}

// ---- menus ----

void MainWindowTest_::menuHelpEntriesShowTheirDialogs()
{
    createShown(FakeQorethw::folder("full"));
    THelpForm *help = m_w->setSup()->HelpForm();
    help->hide();
    f().Howtousethisprogram1->trigger();
    QVERIFY(help->isVisible());
    TTechForm *tech = m_w->setSup()->TechForm();
    QVERIFY(!tech->isVisible());
    f().TechnicalSupport1->trigger();
    QVERIFY(tech->isVisible());
    QVERIFY(tech->TechMemo->toPlainText().contains(m_w->setSup()->callHow()));
}

void MainWindowTest_::menuHelpEntriesBeforeDialogsDoNothing()
{
    m_w = Create(FakeQorethw::folder("full"));
    f().Howtousethisprogram1->trigger();
    f().TechnicalSupport1->trigger();
    QVERIFY(!m_w->setSup()->HelpForm());
    QVERIFY(!m_w->setSup()->TechForm());
}

void MainWindowTest_::menuExitEndsTheProgram()
{
    createShown(FakeQorethw::folder("full"));
    // popups and dialogs open must not keep the program alive
    OpenHeld(f().FilterHighlight);
    f().TechnicalSupport1->trigger();
    bool timedOut = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    watchdog.start(5000);
    QTimer::singleShot(0, f().Exit2, &QAction::trigger);
    const bool quitOnClose = QGuiApplication::quitOnLastWindowClosed();
    QGuiApplication::setQuitOnLastWindowClosed(true);
    const int code = QCoreApplication::exec();
    QGuiApplication::setQuitOnLastWindowClosed(quitOnClose);
    QVERIFY(!timedOut);
    QCOMPARE(code, 0);
    QVERIFY(!m_w->isVisible());
}

// ---- tour and popups ----

static TPopupForm *VisiblePopup(TMainForm &w)
{
    TPopupForm *found = nullptr;
    for (TBoardHighlight *h : Hotspots(w))
        if (h->popup() && h->popup()->isVisible()) {
            if (found && found != h->popup())
                return nullptr; // more than one
            found = h->popup();
        }
    return found;
}

void MainWindowTest_::tourStartWalksTheOptionsPopupsWithNext()
{
    createShown(FakeQorethw::folder("full"));
    THelpForm *help = m_w->setSup()->HelpForm();
    help->StartButton->click();
    QVERIFY(!help->isVisible());
    QVERIFY(f().PowerHighlight0->held());
    QVERIFY(f().PowerHighlight0->hovered() && f().PowerHighlight1->hovered());

    const QStringList captions{"Main/VBB Power",     "Ethernet Connector", "Connection LED",
                               "Power/Activity LED", "Relay Outputs",      "Isolated Inputs",
                               "Main/VBB Power"};
    for (int i = 0; i < captions.size(); ++i) {
        TPopupForm *popup = VisiblePopup(*m_w);
        QVERIFY2(popup, qPrintable(QString::number(i)));
        QCOMPARE(popup->windowTitle(), captions[i]);
        QVERIFY(qobject_cast<TBoardHighlight *>(popup->parent())->held());
        QAction *entry =
            HotspotMenu::FindEntry(f().MainMenu1, qobject_cast<TBoardHighlight *>(popup->parent()));
        QVERIFY(entry && entry->isChecked());
        if (i + 1 < captions.size())
            popup->findChild<QPushButton *>(QStringLiteral("NextButton"))->click();
    }
}

void MainWindowTest_::popupsPlacedFromPanelPositions_data()
{
    QTest::addColumn<QString>("hotspot");
    QTest::addColumn<QSize>("client");
    QTest::newRow("IP") << "IPHighlight" << QSize(345, 121 + 58 + 51);
    QTest::newRow("Filter") << "FilterHighlight" << QSize(201, 305 + 58 + 51);
    QTest::newRow("Reset") << "ResetHighlight" << QSize(201, 97 + 58 + 51);
    QTest::newRow("Power") << "PowerHighlight1" << QSize(201, 161 + 58 + 51);
    QTest::newRow("Relay") << "DIOHighlight" << QSize(201, 9 + 58 + 51);
}

void MainWindowTest_::popupsPlacedFromPanelPositions()
{
    QFETCH(QString, hotspot);
    QFETCH(QSize, client);
    createShown(FakeQorethw::folder("full"));
    auto *h = m_w->findChild<TBoardHighlight *>(hotspot);
    TRadioPanel *panel = h->radioPanel();
    const QPoint stored = panel->pos();
    TPopupForm *popup = OpenHeld(h);
    QVERIFY(popup && popup->isVisible());
    QCOMPARE(panel->parentWidget(), popup);
    QCOMPARE(panel->pos(), QPoint(0, 0));
    QCOMPARE(popup->size(), client);
    TBoardImage *image = f().BoardImage1;
    QCOMPARE(QPoint(image->designLeft(), image->designTop()), QPoint(142, 80));
    const QPoint moved(image->x() - image->designLeft(), image->y() - image->designTop());
    QPoint expected = stored + moved;
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    const QRect outer = popup->outerRect();
    expected.setX(qBound(0, expected.x(), screen.width() - outer.width()));
    expected.setY(qBound(0, expected.y(), screen.height() - outer.height()));
    QCOMPARE(outer.topLeft(), expected);
}

// ---- option panels ----

void MainWindowTest_::filterJumperClickFollowsRadios()
{
    createShown(FakeQorethw::folder("full"));
    OpenHeld(f().FilterHighlight);
    TTwoJumper *j = f().FilterJumper5;
    QVERIFY(j->isVisible());
    QTest::mouseClick(j, Qt::LeftButton);
    QVERIFY(!j->closed());
    QVERIFY(f().RelayRadio5->isChecked());
    QVERIFY(!f().RelayRadio5F->isChecked());
    QTest::mouseClick(j, Qt::LeftButton);
    QVERIFY(j->closed());
    QVERIFY(f().RelayRadio5F->isChecked());
    for (int i = 0; i < 16; ++i) // the others never moved
        QVERIFY(m_w->channelControls()[size_t(i)].Jumper->closed());
}

void MainWindowTest_::filterPlainRadioOpensOnlyItsJumper()
{
    createShown(FakeQorethw::folder("full"));
    f().RelayRadioA->setChecked(true);
    for (int i = 0; i < 16; ++i) {
        const TChannelControl &c = m_w->channelControls()[size_t(i)];
        QCOMPARE(c.Jumper->closed(), i != 10);
        QCOMPARE(c.Plain->isChecked(), i == 10);
        QCOMPARE(c.Filtered->isChecked(), i != 10);
    }
    f().RelayRadioAF->setChecked(true);
    QVERIFY(f().FilterJumperA->closed());
}

void MainWindowTest_::filterAllPlainThenAllFiltered()
{
    createShown(FakeQorethw::folder("full"));
    f().RelayRadio3->setChecked(true);
    f().RelayRadio7->setChecked(true);
    QList<std::shared_ptr<QSignalSpy>> becamePlain;
    for (const TChannelControl &c : m_w->channelControls())
        becamePlain << std::make_shared<QSignalSpy>(c.Plain, &QRadioButton::toggled);
    f().AllPlainButton->click();
    int changed = 0;
    for (int i = 0; i < 16; ++i) {
        const TChannelControl &c = m_w->channelControls()[size_t(i)];
        QVERIFY(!c.Jumper->closed());
        QVERIFY(c.Plain->isChecked());
        changed += becamePlain[i]->count();
        QCOMPARE(becamePlain[i]->count(), (i == 3 || i == 7) ? 0 : 1);
    }
    QCOMPARE(changed, 14);
    f().AllFilteredButton->click();
    for (const TChannelControl &c : m_w->channelControls()) {
        QVERIFY(c.Jumper->closed());
        QVERIFY(c.Filtered->isChecked());
    }
}

void MainWindowTest_::filterUserClicksOnRadios()
{
    createShown(FakeQorethw::folder("full"));
    OpenHeld(f().FilterHighlight);
    QTest::mouseClick(f().RelayRadioC, Qt::LeftButton, {}, QPoint(8, 8));
    QVERIFY(f().RelayRadioC->isChecked());
    QVERIFY(!f().FilterJumperC->closed());
    // clicking the checked one changes nothing
    QTest::mouseClick(f().RelayRadioC, Qt::LeftButton, {}, QPoint(8, 8));
    QVERIFY(f().RelayRadioC->isChecked());
    QVERIFY(!f().FilterJumperC->closed());
    QTest::mouseClick(f().RelayRadioCF, Qt::LeftButton, {}, QPoint(8, 8));
    QVERIFY(f().FilterJumperC->closed());
    QVERIFY(!f().RelayRadioC->isChecked());
}

void MainWindowTest_::resetJumperClicksMoveRadios()
{
    createShown(FakeQorethw::folder("full"));
    OpenHeld(f().ResetHighlight);
    TThreeJumper *j = f().ResetNetJumper;
    QTest::mouseClick(j, Qt::LeftButton);
    QCOMPARE(j->jumperState(), TThreeJumper::jsRight);
    QVERIFY(f().ResetNetRadio->isChecked());
    QVERIFY(!f().NormNetRadio->isChecked());
    QTest::mouseClick(j, Qt::LeftButton);
    QCOMPARE(j->jumperState(), TThreeJumper::jsLeft);
    QVERIFY(f().NormNetRadio->isChecked());
    // the second, disabled picture takes no part
    QTest::mouseClick(f().ThreeJumper1, Qt::LeftButton, {}, QPoint(20, 10));
    QCOMPARE(f().ThreeJumper1->jumperState(), TThreeJumper::jsLeft);
    QVERIFY(f().NormNetRadio->isChecked());
}

void MainWindowTest_::resetRadiosMoveJumper()
{
    createShown(FakeQorethw::folder("full"));
    f().ResetNetRadio->setChecked(true);
    QCOMPARE(f().ResetNetJumper->jumperState(), TThreeJumper::jsRight);
    f().NormNetRadio->setChecked(true);
    QCOMPARE(f().ResetNetJumper->jumperState(), TThreeJumper::jsLeft);
}

void MainWindowTest_::powerDrawingAtLayoutSize()
{
    createShown(FakeQorethw::folder("full"));
    OpenHeld(f().PowerHighlight0);
    TPaintBox *box = f().PowerScrewPaint;
    QVERIFY(box->isVisible());
    QCOMPARE(box->size(), QSize(57, 65));
    const QImage shown = box->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), QSize(57, 65));
    QImage expected(57, 65, QImage::Format_RGB32);
    QPainter p(&expected);
    PaintPowerScrew(p, QRect(0, 0, 57, 65));
    p.end();
    QCOMPARE(shown, expected);
    QCOMPARE(shown.pixel(28, 16), qRgb(0xC0, 0xC0, 0xC0));
    QCOMPARE(shown.pixel(22, 23), qRgb(0xFF, 0xFF, 0xFF));
    QCOMPARE(shown.pixel(43, 6), qRgb(0, 0, 0));
}

// ---- accessibility ----

void MainWindowTest_::accessibilityControlsSpeakUsefulNames()
{
    createShown(FakeQorethw::folder("full"));
    const auto nameOf = [](QObject *control) {
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(control);
        return a ? a->text(QAccessible::Name) : QStringLiteral("<no interface>");
    };
    const auto roleOf = [](QObject *control) {
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(control);
        return a ? a->role() : QAccessible::NoRole;
    };
    const struct
    {
        QObject *control;
        const char *name;
        QAccessible::Role role;
    } expected[] = {
        {f().IPEdit, "IP", QAccessible::EditableText},
        {f().SubnetEdit, "Subnet", QAccessible::EditableText},
        {f().GatewayEdit, "Gateway", QAccessible::EditableText},
        {f().MACEdit, "MAC Address", QAccessible::EditableText},
        {f().ConnectButton, "Connect", QAccessible::Button},
        {f().DisconnectButton, "Disconnect", QAccessible::Button},
        {f().ChangeNetButton, "Change IP settings", QAccessible::Button},
        {f().ChangeMACButton, "Change MAC address", QAccessible::Button},
        {f().RelayRadio0, "Input 0 plain", QAccessible::RadioButton},
        {f().RelayRadio5, "Input 5 plain", QAccessible::RadioButton},
        {f().RelayRadio5F, "Input 5 filtered", QAccessible::RadioButton},
        {f().RelayRadioAF, "Input 10 filtered", QAccessible::RadioButton},
        {f().FilterJumper5, "Filter jumper 5, closed", QAccessible::Button},
        {f().FilterJumperF, "Filter jumper 15, closed", QAccessible::Button},
        {f().AllPlainButton, "All plain", QAccessible::Button},
        {f().AllFilteredButton, "All filtered", QAccessible::Button},
        {f().ResetNetJumper, "Reset networking jumper, left pair closed", QAccessible::Button},
        {f().NormNetRadio, "Normal Operation", QAccessible::RadioButton},
        {f().ResetNetRadio, "Reset Networking", QAccessible::RadioButton},
        {f().IPHighlight, "IP Address", QAccessible::Button},
        {f().PowerHighlight1, "Main/VBB Power", QAccessible::Button},
        {f().LedHighlight, "Power/Activity LED", QAccessible::Button},
        {m_w->setSup()->HelpRich(), "How to use this program", QAccessible::EditableText},
        {m_w->setSup()->TechForm()->findChild<QPlainTextEdit *>(QStringLiteral("TechMemo")),
         "Technical Support", QAccessible::EditableText},
    };
    for (const auto &e : expected) {
        QCOMPARE(nameOf(e.control), QString::fromUtf8(e.name));
        QCOMPARE(roleOf(e.control), e.role);
    }

    // Every ring is a button named by its popup's caption; every control of every panel has a
    // name of its own within its panel.
    for (TBoardHighlight *h : Hotspots(*m_w)) {
        QCOMPARE(roleOf(h), QAccessible::Button);
        QCOMPARE(nameOf(h), h->popupCaption());
    }
    const auto panels = m_w->findChildren<TRadioPanel *>();
    QCOMPARE(panels.size(), 9);
    for (TRadioPanel *panel : panels) {
        QSet<QString> names;
        const auto widgets = panel->findChildren<QWidget *>();
        for (QWidget *w : widgets) {
            if (!qobject_cast<QAbstractButton *>(w) && !qobject_cast<QLineEdit *>(w) &&
                !qobject_cast<TJumperBase *>(w))
                continue;
            const QString name = nameOf(w);
            QVERIFY2(!name.isEmpty(), qPrintable(w->objectName()));
            QVERIFY2(!names.contains(name), qPrintable(name));
            names.insert(name);
        }
    }

    // A jumper's name follows its state, and pressing it through the interface is a click.
    QAccessibleInterface *jumper = QAccessible::queryAccessibleInterface(f().FilterJumper5);
    QVERIFY(jumper->state().checkable && jumper->state().checked);
    QVERIFY(jumper->actionInterface());
    jumper->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QVERIFY(!f().FilterJumper5->closed());
    QVERIFY(f().RelayRadio5->isChecked());
    QCOMPARE(jumper->text(QAccessible::Name), QStringLiteral("Filter jumper 5, open"));
    QVERIFY(!jumper->state().checked);
    f().ResetNetRadio->setChecked(true);
    QCOMPARE(nameOf(f().ResetNetJumper),
             QStringLiteral("Reset networking jumper, right pair closed"));
    // The unused jumper takes no clicks, from a screen reader either.
    QAccessible::queryAccessibleInterface(f().ThreeJumper1)
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(f().ThreeJumper1->jumperState(), TThreeJumper::jsLeft);

    // Pressing a ring opens its popup and holds it there.
    QAccessibleInterface *ring = QAccessible::queryAccessibleInterface(f().IPHighlight);
    QVERIFY(ring->actionInterface());
    ring->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QVERIFY(f().IPHighlight->popup() && f().IPHighlight->popup()->isVisible());
    QVERIFY(f().IPHighlight->held());
}

QTEST_MAIN(MainWindowTest_)
#include "tst_mainwindow.moc"
