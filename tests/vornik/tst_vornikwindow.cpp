// The uploader's window as laid out, its font, the remembered texts and the file dialog.
#include "fakeqorethw.h"
#include "messagefont.h"
#include "settingsstore.h"
#include "vorniktest.h"

#include <QAccessible>
#include <QFileDialog>
#include <QGroupBox>
#include <QListWidget>
#include <QScreen>
#include <QSettings>

using namespace vorniktest;
namespace fake = fakeqorethw;

namespace {

const QString DefaultHost = QStringLiteral("192.168.1.174");
const QString DefaultFirmware =
    QStringLiteral("M:\\DEV\\Ethernet\\NET-OX-8\\Firmware\\NET-OX-8.hex");

void WriteStore(const QString &file, const QByteArray &lines)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile ini(file);
    if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate) || ini.write(lines) != lines.size())
        qFatal("cannot write %s", qPrintable(file));
}

// A file in a folder no file dialog has seen yet (the dialogs cache what they have listed).
QString FreshFile(const QString &folder, const QString &name)
{
    static int serial = 0;
    const QString dir = folder + QStringLiteral("/pick%1").arg(++serial);
    QDir().mkpath(dir);
    QFile file(dir + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot create %s", qPrintable(file.fileName()));
    return file.fileName();
}

// Runs `act` on the file dialog once it is open, from the event loop of its exec().
void WhenDialogOpens(std::function<void(QFileDialog *)> act)
{
    auto *poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(dialog);
        }
    });
    poll->start();
}

} // namespace

class TestVornikWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void controlsSitWhereTheLayoutPutsThem_data();
    void controlsSitWhereTheLayoutPutsThem();
    void windowHasItsClientAreaCaptionAndPlace();
    void controlsStartWithLayoutTextsAndStates();
    void tabOrderFollowsTheLayout();
    void controlsSpeakTheirCaptions();
    void controlsFollowTheWindowWidth_data();
    void controlsFollowTheWindowWidth();
    void windowFontIsTheMessageFont();
    void firstRunKeepsDefaultsAndCreatesNothing();
    void rememberedHostAndFileAppearAtNextStart();
    void storedValueThatIsNoStringIsReported_data();
    void storedValueThatIsNoStringIsReported();
    void unreadableStoreIsReportedAndWindowStillOpens();
    void storeOfOtherScopesIsNeitherReadNorReported_data();
    void storeOfOtherScopesIsNeitherReadNorReported();
    void browseDialogIsSetUpForHexFiles();
    void browseCancelledLeavesFirmEditUnchanged();
    void browseConfirmedTakesFullPath();
    void browseAddsDefaultExtension();
    void browseStartsFromFirmEdit();

private:
    TPrivateFolders folders_;
    std::unique_ptr<TMainForm> window_;
};

void TestVornikWindow::initTestCase()
{
    QApplication::setApplicationName(QStringLiteral("Vornik"));
}

void TestVornikWindow::init()
{
    folders_.clear();
    ResetProgramState();
    fake::Reset();
}

void TestVornikWindow::cleanup()
{
    window_.reset();
}

void TestVornikWindow::controlsSitWhereTheLayoutPutsThem_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("GroupBox1") << "GroupBox1"
                               << "QGroupBox"
                               << "ClientArea" << QRect(0, 0, 299, 49);
    QTest::newRow("HostEdit") << "HostEdit"
                              << "QLineEdit"
                              << "GroupBox1" << QRect(8, 16, 123, 21);
    QTest::newRow("ConnectButton") << "ConnectButton"
                                   << "QPushButton"
                                   << "GroupBox1" << QRect(138, 16, 73, 25);
    QTest::newRow("DisconnectButton") << "DisconnectButton"
                                      << "QPushButton"
                                      << "GroupBox1" << QRect(218, 16, 73, 25);
    QTest::newRow("GroupBox2") << "GroupBox2"
                               << "QGroupBox"
                               << "ClientArea" << QRect(0, 49, 299, 96);
    QTest::newRow("FirmVerLabel") << "FirmVerLabel"
                                  << "QLabel"
                                  << "GroupBox2" << QRect(8, 16, 283, 17);
    QTest::newRow("FirmEdit") << "FirmEdit"
                              << "QLineEdit"
                              << "GroupBox2" << QRect(8, 40, 283, 21);
    QTest::newRow("BrowseButton") << "BrowseButton"
                                  << "QPushButton"
                                  << "GroupBox2" << QRect(8, 64, 73, 25);
    QTest::newRow("UploadButton") << "UploadButton"
                                  << "QPushButton"
                                  << "GroupBox2" << QRect(218, 64, 73, 25);
    QTest::newRow("BootstrapList") << "BootstrapList"
                                   << "QListWidget"
                                   << "GroupBox2" << QRect(88, 56, 121, 30);
    QTest::newRow("MainStatus") << "MainStatus"
                                << "QStatusBar"
                                << "MainForm" << QRect(0, 162, 299, 19);
}

void TestVornikWindow::controlsSitWhereTheLayoutPutsThem()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    window_ = OpenWindow();
    auto *control = window_->findChild<QWidget *>(name);
    QVERIFY(control);
    QCOMPARE(QString::fromLatin1(control->metaObject()->className()), className);
    QCOMPARE(control->parentWidget()->objectName(), parent);
    QCOMPARE(control->geometry(), geometry);
    // Nothing cut off by the box it sits in.
    QVERIFY(control->parentWidget()->rect().contains(control->geometry()));
}

void TestVornikWindow::windowHasItsClientAreaCaptionAndPlace()
{
    window_ = OpenWindow();
    QCOMPARE(window_->objectName(), QStringLiteral("MainForm"));
    QCOMPARE(window_->windowTitle(), QStringLiteral("Vornik"));
    QCOMPARE(window_->size(), QSize(299, 181));
    QCOMPARE(window_->statusBar()->objectName(), QStringLiteral("MainStatus"));
    QVERIFY(window_->statusBar()->isSizeGripEnabled());
    const QPoint screenCentre = window_->screen()->geometry().center();
    const QPoint centre = window_->frameGeometry().center();
    QVERIFY2((centre - screenCentre).manhattanLength() <= 2,
             qPrintable(QStringLiteral("window centre %1,%2").arg(centre.x()).arg(centre.y())));
    // Resizable: no fixed size.
    QVERIFY(window_->minimumWidth() < 299);
    QVERIFY(window_->maximumWidth() > 299);
}

void TestVornikWindow::controlsStartWithLayoutTextsAndStates()
{
    window_ = OpenWindow();
    QCOMPARE(Control<QGroupBox>(window_.get(), "GroupBox1")->title(), QStringLiteral("Connection"));
    QCOMPARE(Control<QGroupBox>(window_.get(), "GroupBox2")->title(), QStringLiteral("Firmware"));
    QCOMPARE(Button(window_.get(), "ConnectButton")->text(), QStringLiteral("&Connect"));
    QCOMPARE(Button(window_.get(), "DisconnectButton")->text(), QStringLiteral("&Disconnect"));
    QCOMPARE(Button(window_.get(), "BrowseButton")->text(), QStringLiteral("&Browse..."));
    QCOMPARE(Button(window_.get(), "UploadButton")->text(), QStringLiteral("&Upload"));
    QCOMPARE(Control<QLineEdit>(window_.get(), "HostEdit")->text(), DefaultHost);
    QCOMPARE(Control<QLineEdit>(window_.get(), "FirmEdit")->text(), DefaultFirmware);
    QCOMPARE(RevisionText(window_.get()), QString());
    QCOMPARE(StatusText(window_.get()), QString());
    QCOMPARE(ButtonStates(window_.get()), QStringLiteral("C--"));
    QVERIFY(Button(window_.get(), "BrowseButton")->isEnabled());
    QVERIFY(!Control<QListWidget>(window_.get(), "BootstrapList")->isVisible());
    QVERIFY(Control<QListWidget>(window_.get(), "BootstrapList")->count() > 0);
    QVERIFY(fake::Calls().empty());
}

void TestVornikWindow::tabOrderFollowsTheLayout()
{
    window_ = OpenWindow();
    QStringList chain;
    QWidget *start = Control<QLineEdit>(window_.get(), "HostEdit");
    QWidget *widget = start;
    do {
        if (widget->focusPolicy() & Qt::TabFocus)
            chain << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != start);
    const QStringList expected = {"HostEdit",     "ConnectButton", "DisconnectButton",
                                  "BrowseButton", "UploadButton",  "FirmEdit",
                                  "BootstrapList"};
    QCOMPARE(chain.mid(0, expected.size()), expected);
}

void TestVornikWindow::controlsSpeakTheirCaptions()
{
    window_ = OpenWindow();
    const struct
    {
        const char *control;
        const char *name;
        QAccessible::Role role;
    } expected[] = {
        {"GroupBox1", "Connection", QAccessible::Grouping},
        {"HostEdit", "Board address", QAccessible::EditableText},
        {"ConnectButton", "Connect", QAccessible::Button},
        {"DisconnectButton", "Disconnect", QAccessible::Button},
        {"GroupBox2", "Firmware", QAccessible::Grouping},
        {"FirmEdit", "Firmware file", QAccessible::EditableText},
        {"BrowseButton", "Browse...", QAccessible::Button},
        {"UploadButton", "Upload", QAccessible::Button},
    };
    for (const auto &e : expected) {
        QWidget *control = window_->findChild<QWidget *>(QLatin1String(e.control));
        QVERIFY2(control, e.control);
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(control);
        QVERIFY2(a, e.control);
        QCOMPARE(a->text(QAccessible::Name), QString::fromUtf8(e.name));
        QCOMPARE(a->role(), e.role);
    }
    // The status line is read as it changes.
    auto *status = window_->findChild<QLabel *>(QStringLiteral("MainStatusText"));
    QVERIFY(status);
    status->setText(QStringLiteral("Not connected."));
    QCOMPARE(QAccessible::queryAccessibleInterface(status)->text(QAccessible::Name),
             QStringLiteral("Not connected."));
}

void TestVornikWindow::controlsFollowTheWindowWidth_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    // 100 pixels wider, 40 taller: stretched and right-edge controls move, the rest stay.
    QTest::newRow("HostEdit") << "HostEdit" << QRect(8, 16, 223, 21);
    QTest::newRow("ConnectButton") << "ConnectButton" << QRect(238, 16, 73, 25);
    QTest::newRow("DisconnectButton") << "DisconnectButton" << QRect(318, 16, 73, 25);
    QTest::newRow("FirmVerLabel") << "FirmVerLabel" << QRect(8, 16, 383, 17);
    QTest::newRow("FirmEdit") << "FirmEdit" << QRect(8, 40, 383, 21);
    QTest::newRow("BrowseButton") << "BrowseButton" << QRect(8, 64, 73, 25);
    QTest::newRow("UploadButton") << "UploadButton" << QRect(318, 64, 73, 25);
    QTest::newRow("BootstrapList") << "BootstrapList" << QRect(88, 56, 121, 30);
    QTest::newRow("GroupBox1") << "GroupBox1" << QRect(0, 0, 399, 49);
    QTest::newRow("GroupBox2") << "GroupBox2" << QRect(0, 49, 399, 96);
    QTest::newRow("MainStatus") << "MainStatus" << QRect(0, 202, 399, 19);
}

void TestVornikWindow::controlsFollowTheWindowWidth()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    window_ = OpenWindow();
    window_->resize(399, 221);
    QTRY_COMPARE(window_->findChild<QWidget *>(name)->geometry(), geometry);
    window_->resize(299, 181);
    QTRY_COMPARE(window_->findChild<QWidget *>(QStringLiteral("HostEdit"))->geometry(),
                 QRect(8, 16, 123, 21));
}

void TestVornikWindow::windowFontIsTheMessageFont()
{
    window_ = OpenWindow();
    const auto message = SystemMessageFont();
    const QFont font = window_->font();
    if (message) {
        QCOMPARE(font.family(), message->face);
        QCOMPARE(font.pixelSize(), MessageFontSize(message->height));
    } else {
        QCOMPARE(font.family(), QStringLiteral("Tahoma"));
    }
    // Every control draws with it.
    QCOMPARE(Control<QLineEdit>(window_.get(), "HostEdit")->font().pixelSize(), font.pixelSize());
}

void TestVornikWindow::firstRunKeepsDefaultsAndCreatesNothing()
{
    window_ = OpenWindow();
    QCOMPARE(Control<QLineEdit>(window_.get(), "HostEdit")->text(), DefaultHost);
    QCOMPARE(Control<QLineEdit>(window_.get(), "FirmEdit")->text(), DefaultFirmware);
    QVERIFY(LastHost.isEmpty());
    QVERIFY(LastPath.isEmpty());
    QCOMPARE(SettingsFileName(), folders_.settingsFile());
    QVERIFY(!QFile::exists(folders_.settingsFile()));
    QVERIFY(QDir(folders_.configFolder()).isEmpty());
}

void TestVornikWindow::rememberedHostAndFileAppearAtNextStart()
{
    // One run connects and uploads; the next run starts with its host and file.
    window_ = OpenWindow();
    Control<QLineEdit>(window_.get(), "HostEdit")->setText(QStringLiteral("127.0.0.7"));
    Control<QLineEdit>(window_.get(), "FirmEdit")->setText(QStringLiteral("/srv/fw/board 2.0.hex"));
    Click(window_.get(), "ConnectButton");
    Click(window_.get(), "UploadButton");
    QCOMPARE(StatusText(window_.get()), QStringLiteral("Uploaded /srv/fw/board 2.0.hex!"));
    window_.reset();

    ResetProgramState();
    window_ = OpenWindow();
    QCOMPARE(Control<QLineEdit>(window_.get(), "HostEdit")->text(), QStringLiteral("127.0.0.7"));
    QCOMPARE(Control<QLineEdit>(window_.get(), "FirmEdit")->text(),
             QStringLiteral("/srv/fw/board 2.0.hex"));
    QCOMPARE(LastHost, QByteArray("127.0.0.7"));
    QCOMPARE(LastPath, QByteArray("/srv/fw/board 2.0.hex"));
}

void TestVornikWindow::storedValueThatIsNoStringIsReported_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("name");
    QTest::newRow("LastPath a list")
        << QByteArray("[Software]\nKestrune\\Vornik\\1.0\\LastPath=a, b\n"
                      "Kestrune\\Vornik\\1.0\\LastHost=127.0.0.3\n")
        << "LastPath";
    QTest::newRow("LastHost a number")
        << QByteArray("[Software]\nKestrune\\Vornik\\1.0\\LastPath=/fw.hex\n"
                      "Kestrune\\Vornik\\1.0\\LastHost=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)\n")
        << "LastHost";
}

void TestVornikWindow::storedValueThatIsNoStringIsReported()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, name);
    WriteStore(folders_.settingsFile(), ini);
    TErrorReports reports;
    window_ = OpenWindow();

    QCOMPARE(reports.texts().size(), 1);
    QVERIFY2(reports.texts().first().contains(name), qPrintable(reports.texts().first()));
    QCOMPARE(reports.titles().first(), QStringLiteral("Vornik"));
    // The window opens all the same, with the layout's texts.
    QVERIFY(window_->isVisible());
    QCOMPARE(Control<QLineEdit>(window_.get(), "HostEdit")->text(), DefaultHost);
    QCOMPARE(Control<QLineEdit>(window_.get(), "FirmEdit")->text(), DefaultFirmware);
}

void TestVornikWindow::unreadableStoreIsReportedAndWindowStillOpens()
{
    WriteStore(folders_.settingsFile(), "[Software\nthis is no INI file\n\x01\x02");
    TErrorReports reports;
    window_ = OpenWindow();
    QCOMPARE(reports.texts().size(), 1);
    QVERIFY2(reports.texts().first().contains(folders_.settingsFile()),
             qPrintable(reports.texts().first()));
    QCOMPARE(Control<QLineEdit>(window_.get(), "HostEdit")->text(), DefaultHost);
}

void TestVornikWindow::storeOfOtherScopesIsNeitherReadNorReported_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("ini");
    const QByteArray values("[Software]\nKestrune\\Vornik\\1.0\\LastPath=/shared/fw.hex\n"
                            "Kestrune\\Vornik\\1.0\\LastHost=127.0.0.5\n");
    QTest::newRow("organisation-wide") << "config/Kestrune.ini" << values;
    QTest::newRow("system-wide") << "system/Kestrune/Vornik.ini" << values;
    QTest::newRow("system-wide, not a string")
        << "system/Kestrune/Vornik.ini"
        << QByteArray("[Software]\nKestrune\\Vornik\\1.0\\LastHost=a, b\n");
}

void TestVornikWindow::storeOfOtherScopesIsNeitherReadNorReported()
{
    // Only the current user's own settings count, as under a registry's current-user root.
    QFETCH(QString, file);
    QFETCH(QByteArray, ini);
    const QString configRoot = QFileInfo(folders_.configFolder()).absolutePath();
    WriteStore(configRoot + QLatin1Char('/') + file, ini);
    TErrorReports reports;
    window_ = OpenWindow();

    QCOMPARE(reports.texts(), QStringList());
    QCOMPARE(Control<QLineEdit>(window_.get(), "HostEdit")->text(), DefaultHost);
    QCOMPARE(Control<QLineEdit>(window_.get(), "FirmEdit")->text(), DefaultFirmware);
    QVERIFY(LastHost.isEmpty());
    QVERIFY(LastPath.isEmpty());
}

void TestVornikWindow::browseDialogIsSetUpForHexFiles()
{
    window_ = OpenWindow();
    auto *dialog = window_->findChild<QFileDialog *>(QStringLiteral("OpenEm"));
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Select Firmware..."));
    QCOMPARE(dialog->nameFilters(), (QStringList{"Intel Hex Files(*.hex)", "All Files(*.*)"}));
    QCOMPARE(dialog->defaultSuffix(), QStringLiteral("hex"));
    QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
    QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
    QVERIFY(dialog->isSizeGripEnabled());

    QString selectedFilter;
    WhenDialogOpens([&](QFileDialog *open) {
        selectedFilter = open->selectedNameFilter();
        open->reject();
    });
    Click(window_.get(), "BrowseButton");
    QCOMPARE(selectedFilter, QStringLiteral("Intel Hex Files(*.hex)"));
}

void TestVornikWindow::browseCancelledLeavesFirmEditUnchanged()
{
    window_ = OpenWindow();
    WhenDialogOpens([](QFileDialog *open) { open->reject(); });
    Click(window_.get(), "BrowseButton");
    QCOMPARE(Control<QLineEdit>(window_.get(), "FirmEdit")->text(), DefaultFirmware);
}

void TestVornikWindow::browseConfirmedTakesFullPath()
{
    const QString chosen = FreshFile(folders_.tempFolder(), QStringLiteral("board-2.1.hex"));
    window_ = OpenWindow();
    WhenDialogOpens([&](QFileDialog *open) {
        // Typed as a user would: the full name of an existing file.
        open->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(chosen);
        static_cast<QDialog *>(open)->accept();
    });
    Click(window_.get(), "BrowseButton");
    QCOMPARE(Control<QLineEdit>(window_.get(), "FirmEdit")->text(), chosen);
}

void TestVornikWindow::browseAddsDefaultExtension()
{
    const QString chosen = FreshFile(folders_.tempFolder(), QStringLiteral("newest.hex"));
    window_ = OpenWindow();
    WhenDialogOpens([&](QFileDialog *open) {
        auto *name = open->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        name->setText(QFileInfo(chosen).absolutePath() + QStringLiteral("/newest"));
        static_cast<QDialog *>(open)->accept();
    });
    Click(window_.get(), "BrowseButton");
    QCOMPARE(Control<QLineEdit>(window_.get(), "FirmEdit")->text(), chosen);
}

void TestVornikWindow::browseStartsFromFirmEdit()
{
    const QString current = FreshFile(folders_.tempFolder(), QStringLiteral("current.hex"));
    window_ = OpenWindow();
    Control<QLineEdit>(window_.get(), "FirmEdit")->setText(current);
    QStringList offered;
    WhenDialogOpens([&](QFileDialog *open) {
        offered = open->selectedFiles();
        open->reject();
    });
    Click(window_.get(), "BrowseButton");
    QCOMPARE(offered, QStringList{current});
    QCOMPARE(Control<QLineEdit>(window_.get(), "FirmEdit")->text(), current);
}

QTEST_MAIN(TestVornikWindow)
#include "tst_vornikwindow.moc"
