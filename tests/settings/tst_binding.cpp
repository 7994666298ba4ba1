// Binding the device library by name, and the network popup's handlers against stand-in libraries
// that answer what the test sets (no network at all).
#include "fakeqorethw.h"
#include "mainwindowtest.h"
#include "malformedmacs.h"

#include <QBackingStore>
#include <QFile>
#include <QLibrary>
#include <QTemporaryDir>

using namespace MainWindowTest;

class BindingTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void candidatesOwnLibraryFolderBeforePlainName();
    void bindingVersionedNameBeforePlainName();
    void bindingFollowsEntryPoints_data();
    void bindingFollowsEntryPoints();
    void bindingUnboundLibraryIsReleased();

    void connectFillsAllFourEdits_data();
    void connectFillsAllFourEdits();
    void connectShortStatusChangesOnlyMacAndIp_data();
    void connectShortStatusChangesOnlyMacAndIp();
    void connectStatusLengthAboveBufferIsCut_data();
    void connectStatusLengthAboveBufferIsCut();
    void connectFailedStatusReadKeepsEdits();
    void connectFailureShowsLastError();
    void connectControlStates();
    void disconnectShowsPanelTextAndDisablesEdits();

    void changeNetSuccessClosesConnection();
    void changeNetFailureKeepsConnection();

    void changeMacSendsCanonicalCommandAndClearsArp();
    void changeMacReplies_data();
    void changeMacReplies();
    void changeMacParseErrorsShowBoxAndSendNothing_data();
    void changeMacParseErrorsShowBoxAndSendNothing();
    void changeMacNoArpForNonIpAddress();
    void progressTextIsOnScreenDuringTheCall_data();
    void progressTextIsOnScreenDuringTheCall();

private:
    std::unique_ptr<TMainForm> m_w;
    std::unique_ptr<FakeQorethw> m_fake;

    void openConnected(const QString &variant, const QByteArray &status);
    const Ui::MainForm &f() const { return *m_w->form(); }
};

// A board's status block: revision 1.2 at 3..4, MAC at 5..10, then IP, subnet, gateway.
static QByteArray Status()
{
    return QByteArray::fromHex("000000"
                               "0120"
                               "02aabbccddee"
                               "7f000063"
                               "ffffff00"
                               "7f000001");
}

void BindingTest::init()
{
    m_fake = std::make_unique<FakeQorethw>(QStringLiteral("full"));
    QVERIFY(m_fake->loaded());
    m_fake->reset();
}

void BindingTest::cleanup()
{
    m_w.reset();
}

void BindingTest::openConnected(const QString &variant, const QByteArray &status)
{
    m_fake = std::make_unique<FakeQorethw>(variant);
    QVERIFY(m_fake->loaded());
    m_fake->reset();
    m_fake->setStatus(status);
    m_w = Create(FakeQorethw::folder(variant));
    QVERIFY(ShowAndSettle(*m_w));
    QVERIFY(m_w->network().ethLibrary().bound());
    OpenIpPopup(*m_w);
    f().IPEdit->setText(QStringLiteral("127.0.0.99"));
    f().ConnectButton->click();
    QVERIFY(m_w->network().deviceHandle());
}

void BindingTest::candidatesOwnLibraryFolderBeforePlainName()
{
    const QString app = QCoreApplication::applicationDirPath();
    const QStringList candidates = EthLibCandidates();
    QVERIFY(candidates.size() >= 6);
    QCOMPARE(candidates.mid(0, 2), (QStringList{QDir::cleanPath(app + "/../lib/libQORETHW.so.1"),
                                                QDir::cleanPath(app + "/../lib/QORETHW")}));
    QCOMPARE(
        candidates.mid(candidates.size() - 4),
        (QStringList{app + "/libQORETHW.so.1", app + "/QORETHW", "libQORETHW.so.1", "QORETHW"}));
    SetEthLibFolders({"/x"}, false);
    QCOMPARE(EthLibCandidates(), (QStringList{"/x/libQORETHW.so.1", "/x/QORETHW"}));
    ResetEthLibFolders();
}

void BindingTest::bindingVersionedNameBeforePlainName()
{
    // A bindable libQORETHW.so.1 beside an unbindable libQORETHW.so: the versioned one decides.
    QTemporaryDir dir;
    QVERIFY(QFile::copy(FakeQorethw::folder("full") + "/libQORETHW.so",
                        dir.filePath("libQORETHW.so.1")));
    QVERIFY(QFile::copy(FakeQorethw::folder("no-strtostr") + "/libQORETHW.so",
                        dir.filePath("libQORETHW.so")));
    m_w = Create(dir.path());
    QVERIFY(m_w->network().ethLibrary().bound());
    QCOMPARE(m_w->network().ethLibrary().handle->fileName(), dir.filePath("libQORETHW.so.1"));
}

void BindingTest::bindingFollowsEntryPoints_data()
{
    QTest::addColumn<QString>("variant");
    QTest::addColumn<bool>("bound");
    QTest::newRow("all six") << "full" << true;
    QTest::newRow("only the extended status") << "no-getstatus" << true;
    QTest::newRow("only the plain status") << "no-getstatusex" << true;
    QTest::newRow("no status function") << "no-status" << false;
    QTest::newRow("no connect") << "no-connect" << false;
    QTest::newRow("no disconnect") << "no-disconnect" << false;
    QTest::newRow("no change networking") << "no-changenet" << false;
    QTest::newRow("no raw exchange") << "no-strtostr" << false;
}

void BindingTest::bindingFollowsEntryPoints()
{
    QFETCH(QString, variant);
    QFETCH(bool, bound);
    m_w = Create(FakeQorethw::folder(variant));
    QVERIFY(ShowAndSettle(*m_w));
    QCOMPARE(m_w->network().ethLibrary().bound(), bound);
    QCOMPARE(f().ConnectButton->isEnabled(), bound);
    const QString help = m_w->setSup()->HelpRich()->toPlainText();
    QCOMPARE(help.endsWith(QStringLiteral("\n\n\n") + TNetworkPanel::LibraryNotFoundLine()),
             !bound);
    const QString first = f().IPPanel->lines().value(0);
    QCOMPARE(first.startsWith(QLatin1String("Once drivers are installed")), !bound);
    QCOMPARE(first.startsWith(QLatin1String("Here you can connect")), bound);
    if (bound)
        QVERIFY(bool(m_w->network().ethLibrary().QEW_GetStatus) !=
                    bool(m_w->network().ethLibrary().QEW_GetStatusEx) ||
                variant == QLatin1String("full"));
}

static bool Mapped(const QString &path)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return false;
    return QString::fromLocal8Bit(maps.readAll()).contains(path);
}

void BindingTest::bindingUnboundLibraryIsReleased()
{
    const QString path = FakeQorethw::folder("no-strtostr") + "/libQORETHW.so";
    QVERIFY(QFile::exists(path));
    m_w = Create(FakeQorethw::folder("no-strtostr"));
    QVERIFY(!m_w->network().ethLibrary().bound());
    QVERIFY(!Mapped(path));
    // a bound one stays
    auto bound = Create(FakeQorethw::folder("no-getstatus"));
    QVERIFY(bound->network().ethLibrary().bound());
    QVERIFY(Mapped(FakeQorethw::folder("no-getstatus") + "/libQORETHW.so"));
}

void BindingTest::connectFillsAllFourEdits_data()
{
    QTest::addColumn<QString>("variant");
    QTest::addColumn<QString>("statusCall");
    QTest::newRow("extended status") << "full"
                                     << "GetStatusEx 1 256";
    QTest::newRow("plain status, zero byte in front") << "no-getstatusex"
                                                      << "GetStatus 256";
}

void BindingTest::connectFillsAllFourEdits()
{
    QFETCH(QString, variant);
    QFETCH(QString, statusCall);
    openConnected(variant, Status());
    QCOMPARE(m_fake->log(), "Connect 127.0.0.99 0\n" + statusCall + "\n");
    QCOMPARE(f().MACEdit->text(), QStringLiteral("02-AA-BB-CC-DD-EE"));
    QCOMPARE(f().IPEdit->text(), QStringLiteral("127.0.0.99"));
    QCOMPARE(f().SubnetEdit->text(), QStringLiteral("255.255.255.0"));
    QCOMPARE(f().GatewayEdit->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(MemoText(*m_w), Lf("Connected to 127.0.0.99." + TNetworkPanel::ConnectedTextTail()));
    QCOMPARE(m_w->network().connectedAddress(), QStringLiteral("127.0.0.99"));
}

void BindingTest::connectShortStatusChangesOnlyMacAndIp_data()
{
    QTest::addColumn<QString>("variant");
    QTest::newRow("extended status") << "full";
    QTest::newRow("plain status") << "no-getstatusex";
}

void BindingTest::connectShortStatusChangesOnlyMacAndIp()
{
    QFETCH(QString, variant);
    // 15 status bytes: 16 in the level-1 form, enough for MAC and IP only
    openConnected(variant, Status().left(15));
    QCOMPARE(f().MACEdit->text(), QStringLiteral("02-AA-BB-CC-DD-EE"));
    QCOMPARE(f().IPEdit->text(), QStringLiteral("127.0.0.99"));
    QCOMPARE(f().SubnetEdit->text(), QStringLiteral("255.255.0.0"));
    QCOMPARE(f().GatewayEdit->text(), QStringLiteral("192.168.1.1"));
}

void BindingTest::connectStatusLengthAboveBufferIsCut_data()
{
    QTest::addColumn<QString>("variant");
    QTest::newRow("extended status") << "full";
    QTest::newRow("plain status, zero byte in front") << "no-getstatusex";
}

void BindingTest::connectStatusLengthAboveBufferIsCut()
{
    QFETCH(QString, variant);
    m_fake = std::make_unique<FakeQorethw>(variant);
    QVERIFY(m_fake->loaded());
    m_fake->reset();
    // a library that claims more than the buffer holds
    m_fake->setStatus(Status() + QByteArray(400, '\x11'), 300);
    m_w = Create(FakeQorethw::folder(variant));
    QVERIFY(ShowAndSettle(*m_w));
    OpenIpPopup(*m_w);
    f().IPEdit->setText(QStringLiteral("127.0.0.99"));
    f().ConnectButton->click();
    QVERIFY(m_w->network().deviceHandle());
    QCOMPARE(f().MACEdit->text(), QStringLiteral("02-AA-BB-CC-DD-EE"));
    QCOMPARE(f().IPEdit->text(), QStringLiteral("127.0.0.99"));
    QCOMPARE(f().GatewayEdit->text(), QStringLiteral("127.0.0.1"));
}

void BindingTest::connectFailedStatusReadKeepsEdits()
{
    m_fake->setStatus(Status());
    m_fake->setResult(FakeQorethw::Status, 1460);
    m_w = Create(FakeQorethw::folder("full"));
    QVERIFY(ShowAndSettle(*m_w));
    OpenIpPopup(*m_w);
    f().IPEdit->setText(QStringLiteral("127.0.0.99"));
    f().ConnectButton->click();
    QVERIFY(m_w->network().deviceHandle());
    QCOMPARE(f().MACEdit->text(), QStringLiteral("02-00-00-00-00-01"));
    QCOMPARE(f().SubnetEdit->text(), QStringLiteral("255.255.0.0"));
    QCOMPARE(MemoText(*m_w), Lf("Connected to 127.0.0.99." + TNetworkPanel::ConnectedTextTail()));
}

void BindingTest::connectFailureShowsLastError()
{
    m_w = Create(FakeQorethw::folder("full"));
    QVERIFY(ShowAndSettle(*m_w));
    OpenIpPopup(*m_w);
    // the stand-in refuses anything outside 127/8 without sending a thing
    f().IPEdit->setText(QStringLiteral("board.invalid"));
    f().ConnectButton->click();
    QVERIFY(!m_w->network().deviceHandle());
    QCOMPARE(MemoText(*m_w), QStringLiteral("Error 1460 connecting to board.invalid."));
    QVERIFY(f().ConnectButton->isEnabled());
    QVERIFY(!f().DisconnectButton->isEnabled());
    QVERIFY(m_w->network().connectedAddress().isEmpty());
}

void BindingTest::connectControlStates()
{
    openConnected("full", Status());
    QVERIFY(!f().ConnectButton->isEnabled());
    QVERIFY(f().DisconnectButton->isEnabled());
    QVERIFY(f().ChangeNetButton->isEnabled());
    QVERIFY(f().ChangeMACButton->isEnabled());
    for (QLineEdit *e : {f().IPEdit, f().SubnetEdit, f().GatewayEdit, f().MACEdit})
        QVERIFY(e->isEnabled());
    QCOMPARE(f().MACEdit->palette().color(QPalette::Base),
             QApplication::palette().color(QPalette::Base));
}

void BindingTest::disconnectShowsPanelTextAndDisablesEdits()
{
    openConnected("full", Status());
    f().DisconnectButton->click();
    QVERIFY(!m_w->network().deviceHandle());
    QVERIFY(m_fake->log().endsWith(QLatin1String("Disconnect\n")));
    QCOMPARE(MemoText(*m_w), Lf(TNetworkPanel::IpPanelText()));
    QVERIFY(f().ConnectButton->isEnabled());
    QVERIFY(!f().DisconnectButton->isEnabled());
    QVERIFY(!f().ChangeNetButton->isEnabled());
    QVERIFY(!f().ChangeMACButton->isEnabled());
    QVERIFY(f().IPEdit->isEnabled());
    for (QLineEdit *e : {f().SubnetEdit, f().GatewayEdit, f().MACEdit}) {
        QVERIFY(!e->isEnabled());
        QCOMPARE(e->palette().color(QPalette::Disabled, QPalette::Base),
                 f().IPPanel->palette().color(QPalette::Window));
    }
    QCOMPARE(m_w->network().connectedAddress(), QStringLiteral("127.0.0.99")); // kept
    Spin(20);
    QVERIFY(!f().SubnetEdit->isEnabled());
}

void BindingTest::changeNetSuccessClosesConnection()
{
    openConnected("full", Status());
    f().IPEdit->setText(QStringLiteral(" 127.0.0.42"));
    f().SubnetEdit->setText(QStringLiteral("255.0.0.0"));
    f().GatewayEdit->setText(QStringLiteral("127.0.0.2"));
    m_fake->reset();
    f().ChangeNetButton->click();
    QCOMPARE(m_fake->log(),
             QStringLiteral("ChangeNetworking  127.0.0.42 255.0.0.0 127.0.0.2\nDisconnect\n"));
    QVERIFY(!m_w->network().deviceHandle());
    QCOMPARE(MemoText(*m_w), QStringLiteral("Device's network settings changed. In a moment, you "
                                            "can connect to it there."));
    QVERIFY(f().ConnectButton->isEnabled());
    QVERIFY(!f().MACEdit->isEnabled());
}

void BindingTest::changeNetFailureKeepsConnection()
{
    openConnected("full", Status());
    m_fake->setResult(FakeQorethw::ChangeNetworking, 87);
    f().ChangeNetButton->click();
    QVERIFY(m_w->network().deviceHandle());
    QCOMPARE(MemoText(*m_w), QStringLiteral("Error 87 changing the device's network settings."));
    QVERIFY(f().DisconnectButton->isEnabled());
    QVERIFY(!m_fake->log().contains(QLatin1String("Disconnect")));
}

void BindingTest::changeMacSendsCanonicalCommandAndClearsArp()
{
    openConnected("full", Status());
    QList<SystemCommand> runs;
    m_w->network().setArpRunner([&](const SystemCommand &c) { runs << c; });
    f().MACEdit->setText(QStringLiteral("  2-0-0-0-0-a "));
    m_fake->reset();
    f().ChangeMACButton->click();
    QCOMPARE(m_fake->log(), QStringLiteral("StrToStr 10 256 43 68 4D 43 02 00 00 00 00 0A\n"));
    QCOMPARE(f().MACEdit->text(), QStringLiteral("02-00-00-00-00-0A"));
    QCOMPARE(MemoText(*m_w), Lf(TNetworkPanel::MacChangedText()));
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs[0].arguments.last(), QStringLiteral("127.0.0.99"));
    QVERIFY(m_w->network().deviceHandle()); // the connection stays
    QVERIFY(f().ChangeMACButton->isEnabled());
}

void BindingTest::changeMacReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<uint>("result");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty reply") << QByteArray() << 0u << Lf(TNetworkPanel::MacChangedText());
    QTest::newRow("other reply") << QByteArray("OK") << 0u << Lf(TNetworkPanel::MacChangedText());
    QTest::newRow("refused 5") << QByteArray("_Err\x05\x00", 6) << 0u
                               << "Remote error 5 changing the device's MAC address.";
    QTest::newRow("refused, no code")
        << QByteArray("_Err") << 0u << "Remote error 0 changing the device's MAC address.";
    QTest::newRow("refused 4 bytes") << QByteArray("_Err\x01\x02\x03\x04\x05", 9) << 0u
                                     << "Remote error 67305985 changing the device's MAC address.";
    QTest::newRow("exchange failed")
        << QByteArray("_Err\x05", 5) << 1460u << "Error 1460 changing the device's MAC address.";
    QTest::newRow("reply above buffer") << QByteArray("_Err\x07") + QByteArray(400, '\0') << 0u
                                        << "Remote error 7 changing the device's MAC address.";
}

void BindingTest::changeMacReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(uint, result);
    QFETCH(QString, text);
    openConnected("full", Status());
    int arpRuns = 0;
    m_w->network().setArpRunner([&](const SystemCommand &) { ++arpRuns; });
    m_fake->setReply(reply);
    m_fake->setResult(FakeQorethw::StrToStr, result);
    f().MACEdit->setText(QStringLiteral("02-00-00-00-00-2a"));
    f().ChangeMACButton->click();
    QCOMPARE(MemoText(*m_w), text);
    QCOMPARE(f().MACEdit->text(), QStringLiteral("02-00-00-00-00-2A"));
    QCOMPARE(arpRuns, 1); // whatever the answer
    QVERIFY(m_w->network().deviceHandle());
}

void BindingTest::changeMacParseErrorsShowBoxAndSendNothing_data()
{
    AddMalformedMacRows("box", MacMessage::InErrorBox);
}

void BindingTest::changeMacParseErrorsShowBoxAndSendNothing()
{
    QFETCH(QString, text);
    QFETCH(QString, box);
    openConnected("full", Status());
    int arpRuns = 0;
    m_w->network().setArpRunner([&](const SystemCommand &) { ++arpRuns; });
    f().MACEdit->setText(text);
    const QString memo = MemoText(*m_w);
    m_fake->reset();
    const QString shown = ErrorBoxDuring([&] { f().ChangeMACButton->click(); });
    QCOMPARE(shown, box);
    QCOMPARE(m_fake->log(), QString());
    QCOMPARE(arpRuns, 0);
    QCOMPARE(f().MACEdit->text(), text);
    QCOMPARE(MemoText(*m_w), memo);
    QVERIFY(m_w->network().deviceHandle());
}

void BindingTest::changeMacNoArpForNonIpAddress()
{
    m_fake->setStatus(Status().left(5)); // keeps the typed address in the edit
    m_w = Create(FakeQorethw::folder("full"));
    QVERIFY(ShowAndSettle(*m_w));
    OpenIpPopup(*m_w);
    f().IPEdit->setText(QStringLiteral("127.0.0.99:20805"));
    f().ConnectButton->click();
    QCOMPARE(m_w->network().connectedAddress(), QStringLiteral("127.0.0.99:20805"));
    int arpRuns = 0;
    m_w->network().setArpRunner([&](const SystemCommand &) { ++arpRuns; });
    f().ChangeMACButton->click();
    QCOMPARE(arpRuns, 0);
    QCOMPARE(MemoText(*m_w), Lf(TNetworkPanel::MacChangedText()));
}

// What the call saw: the text area's text, and whether the window's back buffer (what reaches the
// screen) already showed it.
static QPlainTextEdit *g_memo = nullptr;
static QString g_call;
static QString g_seenText;
static bool g_seenOnScreen = false;

static void DuringCall(const char *call)
{
    if (!g_memo || !QString::fromLatin1(call).startsWith(g_call))
        return;
    g_seenText = g_memo->toPlainText();
    QWidget *view = g_memo->viewport();
    QWidget *top = view->window();
    QPaintDevice *device = top->backingStore() ? top->backingStore()->paintDevice() : nullptr;
    if (!device || device->devType() != QInternal::Image)
        return;
    const QImage &buffer = *static_cast<QImage *>(device);
    const QRect area(view->mapTo(top, QPoint(0, 0)), view->size());
    const QImage now = view->grab().toImage().convertToFormat(buffer.format());
    g_seenOnScreen = buffer.copy(area) == now;
}

void BindingTest::progressTextIsOnScreenDuringTheCall_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("text");
    QTest::newRow("connect") << "ConnectButton"
                             << "Connect"
                             << "Connecting...";
    QTest::newRow("change networking") << "ChangeNetButton"
                                       << "ChangeNetworking"
                                       << "Changing settings...";
    QTest::newRow("change MAC") << "ChangeMACButton"
                                << "StrToStr"
                                << "Changing MAC address...";
}

void BindingTest::progressTextIsOnScreenDuringTheCall()
{
    QFETCH(QString, button);
    QFETCH(QString, call);
    QFETCH(QString, text);
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        QSKIP("reads the offscreen platform's back buffer");
    if (call == QLatin1String("Connect")) {
        m_w = Create(FakeQorethw::folder("full"));
        QVERIFY(ShowAndSettle(*m_w));
        OpenIpPopup(*m_w);
        f().IPEdit->setText(QStringLiteral("127.0.0.99"));
    } else {
        openConnected("full", Status());
        m_w->network().setArpRunner([](const SystemCommand &) {});
    }
    Spin(50); // everything painted; the text area shows the previous text
    g_memo = Memo(*m_w);
    g_call = call;
    g_seenText.clear();
    g_seenOnScreen = false;
    m_fake->setHook(DuringCall);
    m_w->findChild<QPushButton *>(button)->click();
    m_fake->setHook(nullptr);
    g_memo = nullptr;
    QCOMPARE(g_seenText, text);
    QVERIFY(g_seenOnScreen);
}

QTEST_MAIN(BindingTest)
#include "tst_binding.moc"
