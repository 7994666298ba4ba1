#include "errorreport.h"
#include "llqorwdm.h"
#include "rtfreader.h"
#include "supportertestwindow.h"
#include "tsetupsupporter.h"
#include "tsupportforms.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>

#include <cmath>
#include <functional>
#include <stdexcept>

namespace {

const QString CallHow = QStringLiteral("weekdays 8 to 5 at 555-0100");

// The values the settings program's layout gives its support component.
void applySettingsLayout(TSetupSupporter &s)
{
    s.setCompanyName(QStringLiteral("Kestrune"));
    s.setCardNameA(QStringLiteral("NET-RLX-16/NET-INX-16"));
    s.setCardNameB(QStringLiteral("NET-DX32-EM/SS"));
    s.setCallHow(CallHow);
    s.setChangeButtons(true);
    s.setBSeries(false);
}

QString expectedSettingsHelpText()
{
    return QStringLiteral("{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl{"
                          "\\f0\\fswiss\\fprq2\\fcharset0 Verdana;}}"
                          "{\\colortbl\\red64\\green64\\blue64;\\red255\\green255\\blue64;"
                          "\\red64\\green64\\blue255;"
                          "\\red255\\green64\\blue64;}\\viewkind4\\uc1\\pard\\f0\\cf0\r\n"
                          "\\fs32 {\\b Kestrune NET-RLX-16/NET-INX-16 Settings Program}\\fs24\r\n"
                          "\\par\\par This program will help you configure the option jumpers and "
                          "settings associated with "
                          "this product. You should have the product in-hand when first using this "
                          "program.\r\n"
                          "\\par\\par {\\cf1\\fs24\\b Yellow circles} provide information on "
                          "configuring jumpers and "
                          "switches.\r\n"
                          "\\par\\par {\\cf2\\fs24\\b Blue circles} are informational only. They "
                          "provide information on "
                          "standard and optional features of the product family.\r\n"
                          "\\par\\par {\\cf3\\fs24\\b Red circles} handle calibration and types of "
                          "configuration that "
                          "require actually controlling the hardware device. Run this settings "
                          "program again once the card "
                          "is installed. Repeat the {\\cf1 setup circles} (using the same "
                          "settings) to configure this "
                          "program, then perform the {\\cf3 calibration circles}.\r\n"
                          "\\par\\par Mouse over the highlight circles to see configuration or "
                          "information popups for "
                          "{\\cf1 setup}, {\\cf2 features}, and {\\cf3 calibration}. Click a "
                          "highlight circle to make its "
                          "popup remain on-screen. You can have all or as many of these popups "
                          "onscreen at the same time as "
                          "you desire.") +
           QStringLiteral("}");
}

QSize clientSize(QWidget *w)
{
    return w->size();
}

// Calls back when a widget is shown.
class ShowWatcher : public QObject
{
public:
    ShowWatcher(QWidget *widget, std::function<void()> shown) : m_shown(std::move(shown))
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            m_shown();
        return false;
    }

private:
    std::function<void()> m_shown;
};

// A supporter whose system refuses every timer.
class NoTimerSupporter : public TSetupSupporter
{
public:
    using TSetupSupporter::TSetupSupporter;

protected:
    int startTimerWindowTimer(QObject *, int) override { return 0; }
};

} // namespace

class TestSetupSupporter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    // --- properties and texts ---
    void constructorSetsTheDocumentedValues();
    void headerTextFollowsTheProductSettings_data();
    void headerTextFollowsTheProductSettings();
    void helpTextForTheSettingsProgramIsExact();
    void helpTextMultiPortAddsTheNote();
    void helpTextEscapesPropertyTextThatWouldBreakIt();
    void supportTextIsExact();
    void screenScale_data();
    void screenScale();

    // --- dialogs ---
    void settingsProgramBuildsLabelHelpAndSupportOnly();
    void headerLabelSpansTheClientAreaTop();
    void headerLabelLiesBeneathTheBoardImage();
    void helpDialogLayoutAfterFitting();
    void helpDialogRendersTheTitleAndColours();
    void helpDialogHostMayAppendPlainLines();
    void techDialogLayoutAfterFitting();
    void techDialogGrowsWithItsAnchors();
    void closeButtonAndEscapeHideTheirDialog();

    // --- help timer and tour ---
    void helpDialogAppearsOnlyAfterBuildDialogsReturns();
    void startButtonHidesAndStartsTheTour();
    void escapeInHelpDialogStartsTheTour();
    void enterInHelpDialogPressesStart();
    void startWithoutBoardImageOnlyHides();
    void refusedTimerRaisesNotEnoughTimers();

    // --- cards dialog ---
    void cardsDialogMenuEntryAndLayout();
    void cardsDialogMenuWithoutExactFileGetsNoEntry_data();
    void cardsDialogMenuWithoutExactFileGetsNoEntry();
    void cardsDialogThreeCardsKeepsOnlyTheLastText();
    void cardsDialogEmptyLastTextIsNoCardFound();

    // --- calibration ---
    void calibrationWithoutCalibStringWarnsAndResetsButtons();
    void calibrationAllBadCancelStopsPolling();
    void calibrationAllBadRetryResumesPolling();
    void calibrationGoodTickWritesChannelLinesAndHides();
    void calibrationNoChannelsCountsAsAllBad();
    void timerTickErrorIsReportedAndTimerKeepsWorking();
    void showChannelResultReplacesOrAddsTheLine();
    void destroyingWithPendingHelpStopsTheTimer();
};

void TestSetupSupporter::cleanup()
{
    // Boxes left open by a failing test must not block the next one.
    while (QWidget *w = QApplication::activeModalWidget())
        w->close();
}

void TestSetupSupporter::constructorSetsTheDocumentedValues()
{
    TSetupSupporter s;
    QCOMPARE(s.property("CompanyName").toString(), QString());
    QCOMPARE(s.property("CardNameA").toString(), QString());
    QCOMPARE(s.property("UseCardNameB").toBool(), false);
    QCOMPARE(s.property("MultiPort").toBool(), false);
    QCOMPARE(s.property("Channels").toUInt(), 8u);
    QCOMPARE(s.property("ChangeButtons").toBool(), true);
    QCOMPARE(s.property("bSeries").toBool(), true);
    QVERIFY(!s.onGetCardString());
    QVERIFY(!s.showHelpPending());
    QVERIFY(!s.calibrating());
    QVERIFY(!s.timerRunning());
    QVERIFY(!s.HelpForm() && !s.TechForm() && !s.PCIForm() && !s.HeaderLabel());
    s.setChannels(300);
    QCOMPARE(s.channels(), 44u);
}

void TestSetupSupporter::headerTextFollowsTheProductSettings_data()
{
    QTest::addColumn<bool>("useB");
    QTest::addColumn<bool>("series");
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("title");
    QTest::newRow("settings program") << false << false << "NET-RLX-16/NET-INX-16 Settings Program"
                                      << "Kestrune NET-RLX-16/NET-INX-16 Settings Program";
    QTest::newRow("second name") << true << false << "NET-DX32-EM/SS Settings Program"
                                 << "Kestrune NET-DX32-EM/SS Settings Program";
    QTest::newRow("series") << false << true << "NET-RLX-16/NET-INX-16 Series Settings Program"
                            << "Kestrune NET-RLX-16/NET-INX-16 Series Settings Program";
}

void TestSetupSupporter::headerTextFollowsTheProductSettings()
{
    QFETCH(bool, useB);
    QFETCH(bool, series);
    QFETCH(QString, header);
    QFETCH(QString, title);
    HostWindow host = makeHostWindow();
    auto *s = new TSetupSupporter(host.window.get());
    applySettingsLayout(*s);
    s->setUseCardNameB(useB);
    s->setBSeries(series);
    s->BuildDialogs();
    QCOMPARE(s->HeaderLabel()->text(), header);
    QCOMPARE(s->HelpRich()->document()->begin().text(), title);
}

void TestSetupSupporter::helpTextForTheSettingsProgramIsExact()
{
    TSetupSupporter s;
    applySettingsLayout(s);
    QCOMPARE(s.helpText(), expectedSettingsHelpText());
}

void TestSetupSupporter::helpTextMultiPortAddsTheNote()
{
    TSetupSupporter s;
    applySettingsLayout(s);
    s.setMultiPort(true);
    QVERIFY(s.helpText().endsWith(QStringLiteral(
        "desire.\r\n\\par\\par {\\fs32\\b Note:} Make sure to set the jumpers for each option "
        "group \\emdash  the "
        "configuration options for each port are handled identically; this program only shows the "
        "setup once, "
        "but you need to perform this setup for each group of options on your device.}")));
    QTextEdit view;
    RtfReader::read(s.helpText().toLatin1(), view.document());
    const QTextBlock note = view.document()->lastBlock();
    QVERIFY(note.text().startsWith(QStringLiteral("Note: Make sure")));
    QVERIFY(note.text().contains(QStringLiteral("group \u2014 the configuration")));
    const QTextCharFormat heading = note.begin().fragment().charFormat();
    QCOMPARE(heading.fontPointSize(), 16.0);
    QCOMPARE(heading.fontWeight(), int(QFont::Bold));
}

void TestSetupSupporter::helpTextEscapesPropertyTextThatWouldBreakIt()
{
    TSetupSupporter s;
    applySettingsLayout(s);
    s.setCompanyName(QStringLiteral("Odd {Co}\\"));
    QTextEdit view;
    RtfReader::read(s.helpText().toLatin1(), view.document());
    QCOMPARE(view.document()->begin().text(),
             QStringLiteral("Odd {Co}\\ NET-RLX-16/NET-INX-16 Settings Program"));
    QVERIFY(
        view.document()->toPlainText().endsWith(QStringLiteral("at the same time as you desire.")));

    // Letters beyond ASCII, those beyond 16 bits included, reach the title intact.
    s.setCompanyName(QStringLiteral("K\u00e9strune \U0001F6E0"));
    RtfReader::read(s.helpText().toLatin1(), view.document());
    QCOMPARE(view.document()->begin().text(),
             QStringLiteral("K\u00e9strune \U0001F6E0 NET-RLX-16/NET-INX-16 Settings Program"));
}

void TestSetupSupporter::supportTextIsExact()
{
    TSetupSupporter s;
    applySettingsLayout(s);
    QCOMPARE(
        s.supportText(),
        QStringLiteral(
            "There are several ways to get technical support. First and fastest is to skim the "
            "relevant sections of the manual. However, some questions require personal assistance, "
            "and Kestrune stands ready to provide that help. You can call us ") +
            CallHow +
            QStringLiteral(
                " for any of your product questions.\r\n\r\nIn order to provide the best and "
                "fastest support possible, we ask that you be at your computer when you call, and "
                "have the Kestrune product manual and Software Master CD at hand."));
}

void TestSetupSupporter::screenScale_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("width");
    QTest::newRow("800x600") << QSize(800, 600) << 1.0 << 305;
    QTest::newRow("1024x768") << QSize(1024, 768) << 1.28 << 390;
    QTest::newRow("1920x1080") << QSize(1920, 1080) << 2.4 << 732;
    QTest::newRow("smaller screens do not shrink it") << QSize(640, 400) << 1.0 << 305;
    QTest::newRow("height decides on wide screens") << QSize(2560, 900) << 2.0 << 610;
}

void TestSetupSupporter::screenScale()
{
    QFETCH(QSize, screen);
    QFETCH(double, scale);
    QFETCH(int, width);
    const double s = TSetupSupporter::screenScale(screen);
    QVERIFY(qFuzzyCompare(s, scale));
    QCOMPARE(int(std::nearbyint(305 * s)), width);
}

void TestSetupSupporter::settingsProgramBuildsLabelHelpAndSupportOnly()
{
    HostWindow host = makeHostWindow();
    auto *s = new TSetupSupporter(host.window.get());
    applySettingsLayout(*s);
    s->BuildDialogs();
    QVERIFY(s->HeaderLabel());
    QVERIFY(s->HelpForm());
    QVERIFY(s->TechForm());
    QVERIFY(!s->PCIForm());
    QCOMPARE(s->HeaderLabel()->parent(), host.clientArea);
    QCOMPARE(s->HelpForm()->parent(), host.window.get());
    QCOMPARE(s->TechForm()->parent(), host.window.get());
    QCOMPARE(s->HelpForm()->objectName(), QStringLiteral("HelpForm"));
    QCOMPARE(s->TechForm()->objectName(), QStringLiteral("TechForm"));
    const QString help = s->HelpRich()->toPlainText();
    QVERIFY(!help.contains(QStringLiteral("Note:")));
    QVERIFY(!help.contains(QStringLiteral("To see a list of")));
    QVERIFY(!host.window->findChild<QAction *>(QStringLiteral("DisplayPCI")));
    QCOMPARE(host.fileMenu->actions().size(), 1);
    QCOMPARE(LLQORWDM::LoadAttempts(), 0);
    QVERIFY(s->showHelpPending());
    QVERIFY(s->timerRunning());
}

void TestSetupSupporter::headerLabelSpansTheClientAreaTop()
{
    HostWindow host = makeHostWindow();
    auto *s = new TSetupSupporter(host.window.get());
    applySettingsLayout(*s);
    s->BuildDialogs();
    QLabel *label = s->HeaderLabel();
    QCOMPARE(label->objectName(), QStringLiteral("HeaderLabel"));
    QCOMPARE(label->pos(), QPoint(0, 0));
    QCOMPARE(label->width(), host.clientArea->width());
    QVERIFY(label->isVisible());
    QVERIFY(label->alignment() & Qt::AlignHCenter);
    QCOMPARE(label->font().family(), QStringLiteral("Tahoma"));
    QCOMPARE(label->font().pointSize(), 18);
    QVERIFY(label->font().bold());
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::black));
    host.window->resize(700, 500);
    QTRY_COMPARE(label->width(), host.clientArea->width());
}

void TestSetupSupporter::headerLabelLiesBeneathTheBoardImage()
{
    HostWindow host = makeHostWindow();
    // A board image that reaches the top of the client area, as on a small screen.
    host.boardImage->setCenterOnForm(false);
    host.boardImage->setGeometry(100, 0, 200, 200);
    auto *s = new TSetupSupporter(host.window.get());
    applySettingsLayout(*s);
    s->BuildDialogs();
    const QRect overlap = s->HeaderLabel()->geometry() & host.boardImage->geometry();
    QVERIFY(!overlap.isEmpty());
    QCOMPARE(host.clientArea->childAt(overlap.center()), host.boardImage);
    // Elsewhere along the top the label is there as before.
    QCOMPARE(host.clientArea->childAt(QPoint(400, overlap.center().y())), s->HeaderLabel());
}

void TestSetupSupporter::helpDialogLayoutAfterFitting()
{
    HostWindow host = makeHostWindow();
    auto *s = new TSetupSupporter(host.window.get());
    applySettingsLayout(*s);
    s->BuildDialogs();
    THelpForm *help = s->HelpForm();
    QCOMPARE(help->windowTitle(), QStringLiteral("Instructions for Settings utility"));
    QVERIFY(help->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(help->HelpLabel->text(), QStringLiteral("How to use this program"));
    QCOMPARE(help->HelpLabel->font().family(), QStringLiteral("Verdana"));
    QCOMPARE(help->HelpLabel->font().pointSize(), 12);
    QVERIFY(help->HelpLabel->font().bold());
    QCOMPARE(help->StartButton->text(), QStringLiteral("Start"));
    QVERIFY(help->StartButton->isDefault());
    QCOMPARE(help->cancelButton(), help->StartButton);
    QVERIFY(help->HelpRich->isReadOnly());
    QCOMPARE(help->HelpRich->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(help->HelpRich->palette().color(QPalette::Base), QColor(0xDD, 0xDD, 0xDD));

    const double scale = TSetupSupporter::screenScale(QGuiApplication::primaryScreen()->size());
    const int labelHeight = help->HelpLabel->height();
    const int startTop = labelHeight + 72 + 16;
    const QSize unscaled(305, startTop + 24 + 8);
    const QSize expected(int(std::nearbyint(unscaled.width() * scale)),
                         int(std::nearbyint(unscaled.height() * scale)));
    QCOMPARE(clientSize(help), expected);
    const int grownBy = expected.height() - unscaled.height();
    QCOMPARE(help->HelpRich->geometry(), QRect(0, 24, expected.width(), 72 + grownBy));
    QCOMPARE(help->StartButton->size(), QSize(172, 24));
    QCOMPARE(help->StartButton->y(), startTop + grownBy);
    QCOMPARE(help->StartButton->x() + 86, expected.width() / 2);
    QCOMPARE(help->HelpLabel->geometry(), QRect(0, 0, expected.width(), labelHeight));
}

void TestSetupSupporter::helpDialogRendersTheTitleAndColours()
{
    HostWindow host = makeHostWindow();
    auto *s = new TSetupSupporter(host.window.get());
    applySettingsLayout(*s);
    s->BuildDialogs();
    QTextDocument *doc = s->HelpRich()->document();
    const QTextCharFormat title = doc->begin().begin().fragment().charFormat();
    QCOMPARE(title.fontFamilies().toStringList(), QStringList{QStringLiteral("Verdana")});
    QCOMPARE(title.fontPointSize(), 16.0);
    QCOMPARE(title.fontWeight(), int(QFont::Bold));
    QCOMPARE(title.foreground().color(), QColor(64, 64, 64));
    QCOMPARE(doc->findBlockByNumber(1).text(), QString());
    const QTextBlock yellow = doc->findBlockByNumber(4);
    QVERIFY(yellow.text().startsWith(QStringLiteral("Yellow circles provide")));
    const QTextCharFormat y = yellow.begin().fragment().charFormat();
    QCOMPARE(y.foreground().color(), QColor(255, 255, 64));
    QCOMPARE(y.fontPointSize(), 12.0);
    QCOMPARE(y.fontWeight(), int(QFont::Bold));
    QCOMPARE(doc->findBlockByNumber(6).begin().fragment().charFormat().foreground().color(),
             QColor(64, 64, 255));
    QCOMPARE(doc->findBlockByNumber(8).begin().fragment().charFormat().foreground().color(),
             QColor(255, 64, 64));
    QCOMPARE(doc->blockCount(), 11);
    // The view opens at the title, not at the end of the text.
    QCOMPARE(s->HelpRich()->textCursor().position(), 0);
    QCOMPARE(s->HelpRich()->verticalScrollBar()->value(), 0);
}

void TestSetupSupporter::helpDialogHostMayAppendPlainLines()
{
    HostWindow host = makeHostWindow();
    auto *s = new TSetupSupporter(host.window.get());
    applySettingsLayout(*s);
    s->BuildDialogs();
    s->HelpRich()->append(QString());
    s->HelpRich()->append(QString());
    s->HelpRich()->append(QStringLiteral("A library was not found."));
    QVERIFY(s->HelpRich()->toPlainText().endsWith(
        QStringLiteral("desire.\n\n\nA library was not found.")));
}

void TestSetupSupporter::techDialogLayoutAfterFitting()
{
    HostWindow host = makeHostWindow();
    auto *s = new TSetupSupporter(host.window.get());
    applySettingsLayout(*s);
    s->BuildDialogs();
    TTechForm *tech = s->TechForm();
    QCOMPARE(tech->windowTitle(), QStringLiteral("Technical Support"));
    QVERIFY(tech->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!tech->isVisible());
    QCOMPARE(clientSize(tech), QSize(305, 122));
    QCOMPARE(tech->TechMemo->geometry(), QRect(0, 0, 305, 89));
    QCOMPARE(tech->CloseButton->geometry(), QRect(116, 97, 73, 25));
    QCOMPARE(tech->CloseButton->text(), QStringLiteral("Close"));
    QCOMPARE(tech->cancelButton(), tech->CloseButton);
    QVERIFY(tech->TechMemo->isReadOnly());
    QCOMPARE(tech->TechMemo->toPlainText(),
             QString(s->supportText()).replace(QStringLiteral("\r\n"), "\n"));
}

void TestSetupSupporter::techDialogGrowsWithItsAnchors()
{
    HostWindow host = makeHostWindow();
    auto *s = new TSetupSupporter(host.window.get());
    applySettingsLayout(*s);
    s->BuildDialogs();
    TTechForm *tech = s->TechForm();
    tech->setClientSize(QSize(405, 222));
    QCOMPARE(tech->TechMemo->geometry(), QRect(0, 0, 405, 189));
    // Tied to the bottom only: keeps its bottom distance and stays centred.
    QCOMPARE(tech->CloseButton->geometry(), QRect(166, 197, 73, 25));
}

void TestSetupSupporter::closeButtonAndEscapeHideTheirDialog()
{
    HostWindow host = makeHostWindow();
    auto *s = new TSetupSupporter(host.window.get());
    applySettingsLayout(*s);
    s->BuildDialogs();
    TTechForm *tech = s->TechForm();
    tech->setVisible(true);
    QVERIFY(QTest::qWaitForWindowExposed(tech));
    QTest::mouseClick(tech->CloseButton, Qt::LeftButton);
    QVERIFY(!tech->isVisible());
    tech->setVisible(true);
    QTest::keyClick(tech, Qt::Key_Escape);
    QVERIFY(!tech->isVisible());
    // Hidden, not destroyed: the host shows it again.
    tech->setVisible(true);
    QVERIFY(tech->isVisible());
}

void TestSetupSupporter::helpDialogAppearsOnlyAfterBuildDialogsReturns()
{
    HostWindow host = makeHostWindow();
    auto *s = new TSetupSupporter(host.window.get());
    applySettingsLayout(*s);
    s->BuildDialogs();
    QElapsedTimer sinceBuilt;
    sinceBuilt.start();
    QVERIFY(!s->HelpForm()->isVisible());
    QVERIFY(s->showHelpPending());
    qint64 shownAfter = -1;
    ShowWatcher watcher(s->HelpForm(), [&] { shownAfter = sinceBuilt.elapsed(); });
    QTRY_VERIFY(s->HelpForm()->isVisible());
    // One tick of the 100 ms timer (coarse timers may fire 5 % early).
    QVERIFY2(shownAfter >= 90, qPrintable(QString::number(shownAfter)));
    QVERIFY(!s->showHelpPending());
    QVERIFY(!s->timerRunning());
    // Centred over the main window.
    // Centred over the main window (give or take the window frame).
    const QPoint offset =
        s->HelpForm()->frameGeometry().center() - host.window->frameGeometry().center();
    QVERIFY2(std::abs(offset.x()) <= 8 && std::abs(offset.y()) <= 8,
             qPrintable(QString::number(offset.x())));
}

void TestSetupSupporter::startButtonHidesAndStartsTheTour()
{
    HostWindow host = makeHostWindow();
    auto *s = new TSetupSupporter(host.window.get());
    applySettingsLayout(*s);
    s->BuildDialogs();
    QTRY_VERIFY(s->HelpForm()->isVisible());
    QTest::mouseClick(s->HelpForm()->StartButton, Qt::LeftButton);
    QVERIFY(!s->HelpForm()->isVisible());
    QCOMPARE(host.boardImage->tours, 1);
}

void TestSetupSupporter::escapeInHelpDialogStartsTheTour()
{
    HostWindow host = makeHostWindow();
    auto *s = new TSetupSupporter(host.window.get());
    applySettingsLayout(*s);
    s->BuildDialogs();
    QTRY_VERIFY(s->HelpForm()->isVisible());
    QTest::keyClick(s->HelpForm(), Qt::Key_Escape);
    QVERIFY(!s->HelpForm()->isVisible());
    QCOMPARE(host.boardImage->tours, 1);
}

void TestSetupSupporter::enterInHelpDialogPressesStart()
{
    HostWindow host = makeHostWindow();
    auto *s = new TSetupSupporter(host.window.get());
    applySettingsLayout(*s);
    s->BuildDialogs();
    QTRY_VERIFY(s->HelpForm()->isVisible());
    QTest::keyClick(s->HelpForm(), Qt::Key_Return);
    QVERIFY(!s->HelpForm()->isVisible());
    QCOMPARE(host.boardImage->tours, 1);
}

void TestSetupSupporter::startWithoutBoardImageOnlyHides()
{
    HostWindow host = makeHostWindow(QStringLiteral("&File"), false);
    auto *s = new TSetupSupporter(host.window.get());
    applySettingsLayout(*s);
    s->BuildDialogs();
    QTRY_VERIFY(s->HelpForm()->isVisible());
    s->StartButtonClick();
    QVERIFY(!s->HelpForm()->isVisible());
}

void TestSetupSupporter::refusedTimerRaisesNotEnoughTimers()
{
    HostWindow host = makeHostWindow();
    auto *s = new NoTimerSupporter(host.window.get());
    applySettingsLayout(*s);
    QString message;
    try {
        s->BuildDialogs();
    } catch (const std::runtime_error &e) {
        message = QString::fromLatin1(e.what());
    }
    QCOMPARE(message, QStringLiteral("Not enough timers available"));
    QVERIFY(!s->timerRunning());
    // Stopping needs no timer.
    s->SetCalibrating(false);
}

void TestSetupSupporter::cardsDialogMenuEntryAndLayout()
{
    HostWindow host = makeHostWindow();
    auto *s = new TSetupSupporter(host.window.get());
    applySettingsLayout(*s);
    s->setOnGetCardString([](QObject *, qint32) { return QStringLiteral("card"); });
    s->BuildDialogs();
    QAction *entry = host.window->findChild<QAction *>(QStringLiteral("DisplayPCI"));
    QVERIFY(entry);
    QCOMPARE(entry->parent(), host.fileMenu);
    QCOMPARE(host.fileMenu->actions().first(), entry);
    QCOMPARE(entry->text(), QStringLiteral("Display NET-RLX-16/NET-INX-16 Cards Installed"));
    QVERIFY(s->HelpRich()->toPlainText().endsWith(
        QStringLiteral("To see a list of NET-RLX-16/NET-INX-16 cards installed, click \"Display "
                       "NET-RLX-16/NET-INX-16 Cards "
                       "Installed\" under the File menu.")));

    TPCIForm *pci = s->PCIForm();
    QVERIFY(pci);
    QCOMPARE(pci->objectName(), QStringLiteral("PCIForm"));
    QCOMPARE(pci->windowTitle(), QStringLiteral("NET-RLX-16/NET-INX-16 Cards installed"));
    QVERIFY(pci->isVisible());
    QCOMPARE(clientSize(pci), QSize(305, 122));
    QCOMPARE(pci->PCIMemo->geometry(), QRect(0, 0, 305, 89));
    QCOMPARE(pci->CloseButton->geometry(), QRect(115, 97, 73, 25));
    QCOMPARE(pci->PCIMemo->font().family(), QStringLiteral("Tahoma"));
    QCOMPARE(pci->PCIMemo->font().pointSize(), 10);
    QVERIFY(pci->PCIMemo->font().bold());
    QTest::mouseClick(pci->CloseButton, Qt::LeftButton);
    QVERIFY(!pci->isVisible());
    entry->trigger();
    QVERIFY(pci->isVisible());
}

void TestSetupSupporter::cardsDialogMenuWithoutExactFileGetsNoEntry_data()
{
    QTest::addColumn<QString>("title");
    QTest::newRow("without ampersand") << "File";
    QTest::newRow("other accelerator") << "F&ile";
}

void TestSetupSupporter::cardsDialogMenuWithoutExactFileGetsNoEntry()
{
    QFETCH(QString, title);
    HostWindow host = makeHostWindow(title);
    auto *s = new TSetupSupporter(host.window.get());
    applySettingsLayout(*s);
    s->setOnGetCardString([](QObject *, qint32) { return QStringLiteral("card"); });
    s->BuildDialogs();
    QVERIFY(!host.window->findChild<QAction *>(QStringLiteral("DisplayPCI")));
    QCOMPARE(host.fileMenu->actions().size(), 1);
    QVERIFY(s->PCIForm());
    QVERIFY(s->PCIForm()->isVisible());
}

void TestSetupSupporter::cardsDialogThreeCardsKeepsOnlyTheLastText()
{
    HostWindow host = makeHostWindow();
    auto *s = new TSetupSupporter(host.window.get());
    applySettingsLayout(*s);
    s->setBSeries(true);
    QList<qint32> asked;
    QObject *sender = nullptr;
    s->setOnGetCardString([&](QObject *from, qint32 index) {
        asked << index;
        sender = from;
        return QStringLiteral("Card %1 at slot 4\r\nsecond line").arg(index);
    });
    s->BuildDialogs();
    QCOMPARE(asked, (QList<qint32>{0, 1, 2}));
    QCOMPARE(sender, s);
    QCOMPARE(s->PCIForm()->PCIMemo->toPlainText(), QStringLiteral("Card 2 at slot 4\nsecond line"));
    QCOMPARE(s->PCIForm()->PCIMemo->document()->blockCount(), 2);
    QCOMPARE(s->HeaderLabel()->text(),
             QStringLiteral("NET-RLX-16/NET-INX-16 Series Settings Program"));
}

void TestSetupSupporter::cardsDialogEmptyLastTextIsNoCardFound()
{
    HostWindow host = makeHostWindow();
    auto *s = new TSetupSupporter(host.window.get());
    applySettingsLayout(*s);
    s->setUseCardNameB(true);
    s->setOnGetCardString(
        [](QObject *, qint32 index) { return index < 2 ? QStringLiteral("x") : QString(); });
    s->BuildDialogs();
    QCOMPARE(s->PCIForm()->PCIMemo->toPlainText(), QStringLiteral("No Card Found"));
    QCOMPARE(s->HeaderLabel()->text(), QStringLiteral("No NET-DX32-EM/SS Found"));
    QCOMPARE(s->PCIForm()->windowTitle(), QStringLiteral("NET-DX32-EM/SS Cards installed"));
}

void TestSetupSupporter::calibrationWithoutCalibStringWarnsAndResetsButtons()
{
    TSetupSupporter s;
    QPushButton button(QStringLiteral("Stop"));
    QPlainTextEdit memo;
    int starts = 0;
    QObject *clickedBy = nullptr;
    s.setOnStartButtonClick([&](QObject *sender) {
        ++starts;
        clickedBy = sender;
    });
    s.CalibControls().append({&memo, &button, nullptr, nullptr});
    QString text, title;
    bool onTop = false;
    answerNextModal([&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        QVERIFY(box);
        text = box->text();
        title = box->windowTitle();
        onTop = box->windowFlags() & Qt::WindowStaysOnTopHint;
        QCOMPARE(box->icon(), QMessageBox::Warning);
        QVERIFY(!s.calibrating());
        box->button(QMessageBox::Ok)->click();
    });
    s.SetCalibrating(true);
    QTRY_COMPARE(text,
                 QStringLiteral("Error: calibration begun, but OnGetCalibString isn't assigned."));
    QCOMPARE(title, QStringLiteral("OnGetCalibString Not Assigned"));
    QVERIFY(onTop);
    QTRY_COMPARE(button.text(), QStringLiteral("Start"));
    QVERIFY(!s.calibrating());
    QVERIFY(!s.timerRunning());
    // The button keeps the handler it was given, whatever is assigned later.
    int later = 0;
    s.setOnStartButtonClick([&](QObject *) { ++later; });
    button.click();
    QCOMPARE(starts, 1);
    QCOMPARE(clickedBy, &button);
    QCOMPARE(later, 0);
}

void TestSetupSupporter::calibrationAllBadCancelStopsPolling()
{
    TSetupSupporter s;
    s.setChannels(3);
    QPlainTextEdit memo;
    QPushButton button(QStringLiteral("Stop"));
    s.CalibControls().append({&memo, &button, nullptr, nullptr});
    QList<int> channels;
    s.setOnGetCalibString([&](QObject *, quint8 channel, bool &) {
        channels << channel;
        return QStringLiteral("bad");
    });
    QString text;
    answerNextModal([&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        text = box->text();
        QCOMPARE(box->windowTitle(), QStringLiteral("Total A/D failure"));
        QCOMPARE(box->standardButtons(), QMessageBox::Retry | QMessageBox::Cancel);
        QCOMPARE(box->defaultButton(), box->button(QMessageBox::Cancel));
        box->button(QMessageBox::Cancel)->click();
    });
    s.SetCalibrating(true);
    QTRY_COMPARE(text,
                 QStringLiteral(
                     "Total A/D failure. The card may not be installed, or it may be installed at "
                     "a different base address."));
    QTRY_COMPARE(button.text(), QStringLiteral("Start"));
    QCOMPARE(channels, (QList<int>{0, 1, 2}));
    QCOMPARE(memo.toPlainText(), QStringLiteral("Channel 0\tbad\nChannel 1\tbad\nChannel 2\tbad"));
    QVERIFY(!s.calibrating());
    QVERIFY(!s.timerRunning());
}

void TestSetupSupporter::calibrationAllBadRetryResumesPolling()
{
    TSetupSupporter s;
    s.setChannels(1);
    s.setChangeButtons(false);
    QPushButton button(QStringLiteral("Stop"));
    s.CalibControls().append({nullptr, &button, nullptr, nullptr});
    int ticks = 0;
    s.setOnGetCalibString([&](QObject *, quint8, bool &allBad) {
        ++ticks;
        // Good from the second tick on.
        if (ticks > 1)
            allBad = false;
        return QString();
    });
    answerNextModal(
        [](QWidget *w) { qobject_cast<QMessageBox *>(w)->button(QMessageBox::Retry)->click(); });
    s.SetCalibrating(true);
    QTRY_VERIFY(ticks >= 3);
    QVERIFY(s.calibrating());
    QVERIFY(s.timerRunning());
    s.SetCalibrating(false);
    QVERIFY(!s.timerRunning());
    QCOMPARE(button.text(), QStringLiteral("Stop"));
}

void TestSetupSupporter::calibrationGoodTickWritesChannelLinesAndHides()
{
    TSetupSupporter s;
    s.setChannels(2);
    QPlainTextEdit memo;
    QWidget hidden;
    hidden.show();
    s.CalibControls().append({&memo, nullptr, &hidden, nullptr});
    int begun = 0;
    s.setOnBeginCalib([&](QObject *sender) {
        QCOMPARE(sender, &s);
        ++begun;
    });
    s.setOnGetCalibString([](QObject *, quint8 channel, bool &allBad) {
        allBad = false;
        return QStringLiteral("%1.00 V").arg(channel);
    });
    s.SetCalibrating(true);
    QTRY_VERIFY(begun >= 2);
    s.SetCalibrating(false);
    QCOMPARE(memo.toPlainText(), QStringLiteral("Channel 0\t0.00 V\nChannel 1\t1.00 V"));
    QVERIFY(hidden.isHidden());
}

void TestSetupSupporter::calibrationNoChannelsCountsAsAllBad()
{
    TSetupSupporter s;
    s.setChannels(0);
    int calls = 0;
    s.setOnGetCalibString([&](QObject *, quint8, bool &) {
        ++calls;
        return QString();
    });
    bool boxShown = false;
    answerNextModal([&](QWidget *w) {
        boxShown = true;
        qobject_cast<QMessageBox *>(w)->button(QMessageBox::Cancel)->click();
    });
    s.SetCalibrating(true);
    QTRY_VERIFY(boxShown);
    QTRY_VERIFY(!s.calibrating());
    QCOMPARE(calls, 0);
}

void TestSetupSupporter::timerTickErrorIsReportedAndTimerKeepsWorking()
{
    TSetupSupporter s;
    s.setChannels(1);
    int begun = 0;
    s.setOnBeginCalib([&](QObject *) {
        if (++begun == 1)
            throw std::runtime_error("Calibration hardware went away");
    });
    int reads = 0;
    s.setOnGetCalibString([&](QObject *, quint8, bool &allBad) {
        ++reads;
        allBad = false;
        return QString();
    });
    QString reported;
    answerNextModal([&](QWidget *w) {
        QCOMPARE(w->objectName(), QStringLiteral("ErrorReport"));
        reported = qobject_cast<QMessageBox *>(w)->text();
        w->close();
    });
    s.SetCalibrating(true);
    QTRY_COMPARE(reported, ErrorReportText(QStringLiteral("Calibration hardware went away")));
    QTRY_VERIFY(reads >= 2);
    QVERIFY(s.calibrating());
    s.SetCalibrating(false);
}

void TestSetupSupporter::showChannelResultReplacesOrAddsTheLine()
{
    TSetupSupporter s;
    QPlainTextEdit a, b;
    a.setPlainText(QStringLiteral("zero\none\ntwo"));
    s.CalibControls().append({&a, nullptr, nullptr, nullptr});
    s.CalibControls().append({&b, nullptr, nullptr, nullptr});
    s.ShowChannelResult(1, QStringLiteral("fine"));
    QCOMPARE(a.toPlainText(), QStringLiteral("zero\nChannel 1\tfine\ntwo"));
    QCOMPARE(b.toPlainText(), QStringLiteral("\nChannel 1\tfine"));
    s.ShowChannelResult(12, QStringLiteral("x"));
    QCOMPARE(a.document()->blockCount(), 13);
    QCOMPARE(a.document()->findBlockByNumber(12).text(), QStringLiteral("Channel 12\tx"));
}

void TestSetupSupporter::destroyingWithPendingHelpStopsTheTimer()
{
    HostWindow host = makeHostWindow();
    QPointer<QWidget> help;
    {
        TSetupSupporter s(host.window.get());
        applySettingsLayout(s);
        s.BuildDialogs();
        help = s.HelpForm();
        QVERIFY(s.timerRunning());
    }
    QTest::qWait(250);
    // The dialogs belong to the main window and stay; nobody shows them.
    QVERIFY(help);
    QVERIFY(!help->isVisible());
}

QTEST_MAIN(TestSetupSupporter)
#include "tst_setupsupporter.moc"
