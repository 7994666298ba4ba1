#include "tsetupsupporter.h"

#include "errorreport.h"
#include "llqorwdm.h"
#include "rtfreader.h"
#include "tboardimage.h"
#include "tsupportforms.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimerEvent>

#include <cmath>
#include <stdexcept>

namespace {

const char CRLF[] = "\r\n";

// The dialogs as they are laid out, before fitting to their controls and scaling.
constexpr int DialogMargin = 8; // around the memos, and below the Start button
constexpr int TextWidth = 305;  // the help text and the memos
constexpr int MemoHeight = 89;
constexpr int HelpTextTop = 24;
constexpr int HelpTextHeight = 72;
constexpr int CloseTop = DialogMargin + MemoHeight + DialogMargin;
constexpr int CloseWidth = 73;
constexpr int CloseHeight = 25;
constexpr int TechCloseLeft = 165;
constexpr int StartWidth = 172;
constexpr int StartHeight = 24;
constexpr int StartGap = 16; // between the help text and Start
// The screen the dialogs are drawn for, when no screen is known.
constexpr QSize DesignScreen(800, 600);
// The dialogs grow with screens larger than this in both directions.
constexpr QSize ScaleFromScreen(800, 450);
// The timer's period: the help dialog's delay and the calibration polling.
constexpr int TimerPeriodMs = 100;
// Font sizes in points.
constexpr int HeaderPoints = 18;
constexpr int HelpTitlePoints = 12;
constexpr int CardsPoints = 10;

// Property texts go into the help text verbatim, except for the three
// characters that would change its structure.
QString rtfEscaped(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('{') || c == QLatin1Char('}')) {
            out += QLatin1Char('\\');
            out += c;
        } else if (c.unicode() > 0x7F) {
            out += QStringLiteral("\\u%1?").arg(qint16(c.unicode()));
        } else {
            out += c;
        }
    }
    return out;
}

QPushButton *newButton(QWidget *parent, const QString &name, const QString &caption,
                       const QRect &geometry)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    return button;
}

QPlainTextEdit *newMemo(QWidget *parent, const QString &name, const QRect &geometry)
{
    auto *memo = new QPlainTextEdit(parent);
    memo->setObjectName(name);
    memo->setGeometry(geometry);
    memo->setReadOnly(true);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return memo;
}

QFont namedFont(const QString &family, int points, bool bold)
{
    QFont font(family);
    font.setPointSize(points);
    font.setBold(bold);
    return font;
}

// The text grows with the dialog; the button keeps to its bottom, centred when asked.
void anchorTextAndButton(TSupportForm *form, QWidget *text, QPushButton *button, bool centre)
{
    form->anchor(text, TSupportForm::akLeft | TSupportForm::akTop | TSupportForm::akRight |
                           TSupportForm::akBottom);
    if (centre)
        button->move((form->width() - button->width()) / 2, button->y());
    form->anchor(button, TSupportForm::akBottom);
}

} // namespace

// The hidden window that receives the supporter's timer messages.
class TSupporterTimerWindow : public QObject
{
public:
    explicit TSupporterTimerWindow(TSetupSupporter *owner) : m_owner(owner) {}

protected:
    void timerEvent(QTimerEvent *) override
    {
        // A tick that opened a message box must not be entered again from
        // the box's own event loop.
        if (m_inTick)
            return;
        m_inTick = true;
        try {
            m_owner->TimerTick();
        } catch (const std::exception &e) {
            ShowErrorReport(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            ShowErrorReport(QStringLiteral("Unexpected error in the support timer"));
        }
        m_inTick = false;
    }

private:
    TSetupSupporter *m_owner;
    bool m_inTick = false;
};

TSetupSupporter::TSetupSupporter(QObject *owner)
    : QObject(owner), m_timerWindow(new TSupporterTimerWindow(this))
{
}

TSetupSupporter::~TSetupSupporter()
{
    // Only stop here: restarting a timer for a pending help dialog could
    // throw out of a destructor.
    m_calibrating = false;
    m_showHelpPending = false;
    if (m_timerId)
        m_timerWindow->killTimer(m_timerId);
    m_timerId = 0;
    delete m_timerWindow;
}

void TSetupSupporter::setOnBeginCalib(TNotifyEvent handler)
{
    m_onBeginCalib = std::move(handler);
    UpdateTimer();
}

QString TSetupSupporter::productName() const
{
    return m_useCardNameB ? m_cardNameB : m_cardNameA;
}

QString TSetupSupporter::seriesSuffix() const
{
    return m_bSeries ? QStringLiteral(" Series") : QString();
}

QString TSetupSupporter::helpText() const
{
    const QString product = rtfEscaped(productName());
    QString t;
    t += QStringLiteral(
        "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl{\\f0\\fswiss\\fprq2\\fcharset0 "
        "Verdana;}}{\\colortbl\\red64\\green64\\blue64;\\red255\\green255\\blue64;"
        "\\red64\\green64\\blue255;"
        "\\red255\\green64\\blue64;}\\viewkind4\\uc1\\pard\\f0\\cf0");
    t += CRLF;
    t += QStringLiteral("\\fs32 {\\b ");
    t += rtfEscaped(m_companyName) + QLatin1Char(' ') + product + seriesSuffix() +
         QStringLiteral(" Settings Program}\\fs24");
    t += CRLF;
    t += QStringLiteral(
        "\\par\\par This program will help you configure the option jumpers and settings "
        "associated "
        "with this product. You should have the product in-hand when first using this program.");
    t += CRLF;
    t += QStringLiteral("\\par\\par {\\cf1\\fs24\\b Yellow circles} provide information on "
                        "configuring jumpers and switches.");
    t += CRLF;
    t += QStringLiteral("\\par\\par {\\cf2\\fs24\\b Blue circles} are informational only. They "
                        "provide information on "
                        "standard and optional features of the product family.");
    t += CRLF;
    t += QStringLiteral("\\par\\par {\\cf3\\fs24\\b Red circles} handle calibration and types of "
                        "configuration that "
                        "require actually controlling the hardware device. Run this settings "
                        "program again once the "
                        "card is installed. ");
    t += QStringLiteral("Repeat the {\\cf1 setup circles} (using the same settings) to configure "
                        "this program, then "
                        "perform the {\\cf3 calibration circles}.");
    t += CRLF;
    t += QStringLiteral("\\par\\par Mouse over the highlight circles to see configuration or "
                        "information popups for "
                        "{\\cf1 setup}, {\\cf2 features}, and {\\cf3 calibration}. Click a "
                        "highlight circle to make its "
                        "popup remain on-screen. ");
    t += QStringLiteral(
        "You can have all or as many of these popups onscreen at the same time as you desire.");
    if (m_multiPort) {
        t += CRLF;
        t += QStringLiteral("\\par\\par {\\fs32\\b Note:} Make sure to set the jumpers for each "
                            "option group \\emdash  "
                            "the configuration options for each port are handled identically; ");
        t += QStringLiteral(
            "this program only shows the setup once, but you need to perform this setup for each "
            "group of options on your device.");
    }
    if (m_onGetCardString) {
        t += CRLF;
        t += QStringLiteral("\\par\\par To see a list of ") + product +
             QStringLiteral(" cards installed, click ") + QLatin1Char('"') +
             QStringLiteral("Display ") + product + QStringLiteral(" Cards Installed") +
             QLatin1Char('"') + QStringLiteral(" under the File menu.");
    }
    t += QLatin1Char('}');
    return t;
}

QString TSetupSupporter::supportText() const
{
    return QStringLiteral("There are several ways to get technical support. First and fastest is "
                          "to skim the relevant "
                          "sections of the manual. However, some questions require personal "
                          "assistance, and ") +
           m_companyName + QStringLiteral(" stands ready to provide that help. You can call us ") +
           m_callHow + QStringLiteral(" for any of your product questions.") + QLatin1String(CRLF) +
           QLatin1String(CRLF) +
           QStringLiteral("In order to provide the best and fastest support possible, we ask that "
                          "you be at your "
                          "computer when you call, and have the ") +
           m_companyName + QStringLiteral(" product manual and Software Master CD at hand.");
}

double TSetupSupporter::screenScale(const QSize &screen)
{
    const double s = std::min(screen.width() / double(ScaleFromScreen.width()),
                              screen.height() / double(ScaleFromScreen.height()));
    return s < 1.0 ? 1.0 : s;
}

QWidget *TSetupSupporter::mainWindow() const
{
    if (auto *w = qobject_cast<QWidget *>(parent()))
        return w->window();
    const QList<QWidget *> tops = QApplication::topLevelWidgets();
    for (QWidget *w : tops)
        if (qobject_cast<QMainWindow *>(w))
            return w;
    return nullptr;
}

QWidget *TSetupSupporter::clientArea() const
{
    QWidget *main = mainWindow();
    if (auto *mw = qobject_cast<QMainWindow *>(main))
        if (mw->centralWidget())
            return mw->centralWidget();
    return main;
}

QLabel *TSetupSupporter::HeaderLabel() const
{
    return m_headerLabel;
}

THelpForm *TSetupSupporter::HelpForm() const
{
    return m_helpForm;
}

TTechForm *TSetupSupporter::TechForm() const
{
    return m_techForm;
}

TPCIForm *TSetupSupporter::PCIForm() const
{
    return m_pciForm;
}

QTextEdit *TSetupSupporter::HelpRich() const
{
    return m_helpForm ? m_helpForm->HelpRich : nullptr;
}

void TSetupSupporter::BuildDialogs()
{
    QWidget *main = mainWindow();
    if (!main)
        throw std::runtime_error("The setup supporter needs the application's main window");

    buildHeaderLabel(main);
    buildHelpForm(main);
    buildTechForm(main);
    const bool found = m_onGetCardString ? buildPCIForm(main) : true;

    const QString product = productName();
    if (found) {
        m_headerLabel->setText(product + seriesSuffix() + QStringLiteral(" Settings Program"));
    } else {
        m_pciForm->PCIMemo->setPlainText(QStringLiteral("No Card Found"));
        m_headerLabel->setText(QStringLiteral("No ") + product +
                               (m_bSeries ? QStringLiteral(" Series Card") : QString()) +
                               QStringLiteral(" Found"));
    }

    m_showHelpPending = true;
    UpdateTimer();
}

void TSetupSupporter::buildHeaderLabel(QWidget *)
{
    QWidget *area = clientArea();
    auto *label = new QLabel(area);
    label->setObjectName(QStringLiteral("HeaderLabel"));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setFont(namedFont(QStringLiteral("Tahoma"), HeaderPoints, true));
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(pal);
    label->setGeometry(0, 0, area->width(), label->sizeHint().height());
    // A label is drawn on the window itself, beneath its windowed controls:
    // where the board picture reaches the top it covers the label, and the
    // hotspots there stay within reach of the mouse.
    label->lower();
    // Across the full width of the client area, whatever its size later.
    area->installEventFilter(this);
    label->show();
    m_headerLabel = label;
}

bool TSetupSupporter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize && m_headerLabel &&
        watched == m_headerLabel->parentWidget())
        m_headerLabel->resize(m_headerLabel->parentWidget()->width(), m_headerLabel->height());
    return QObject::eventFilter(watched, event);
}

void TSetupSupporter::buildHelpForm(QWidget *main)
{
    auto *form = new THelpForm(main);
    form->setObjectName(QStringLiteral("HelpForm"));
    form->setWindowTitle(QStringLiteral("Instructions for Settings utility"));

    auto *label = new QLabel(QStringLiteral("How to use this program"), form);
    label->setObjectName(QStringLiteral("HelpLabel"));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setFont(namedFont(QStringLiteral("Verdana"), HelpTitlePoints, true));
    label->setGeometry(0, 0, form->width(), label->sizeHint().height());
    form->anchor(label, TSupportForm::akLeft | TSupportForm::akTop | TSupportForm::akRight);
    form->HelpLabel = label;

    auto *rich = new QTextEdit(form);
    rich->setObjectName(QStringLiteral("HelpRich"));
    // Screen readers name the texts after the caption above them or their dialog's title.
    rich->setAccessibleName(label->text());
    rich->setGeometry(0, HelpTextTop, TextWidth, HelpTextHeight);
    rich->setReadOnly(true);
    rich->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette pal = rich->palette();
    pal.setColor(QPalette::Base, QColor(0xDD, 0xDD, 0xDD));
    rich->setPalette(pal);
    RtfReader::read(helpText().toLatin1(), rich->document());
    // Reading moved the view's cursor along to the end; the text starts at its title.
    rich->moveCursor(QTextCursor::Start);
    form->HelpRich = rich;

    auto *start = addCancelButton(
        form, rich, QStringLiteral("StartButton"), QStringLiteral("Start"),
        QRect(0, label->height() + rich->height() + StartGap, StartWidth, StartHeight),
        &TSetupSupporter::StartButtonClick);
    start->setDefault(true);
    form->StartButton = start;

    form->setClientSize(QSize(rich->width(), form->height()));
    form->fitToControls();
    form->setClientSize(QSize(form->width(), start->y() + start->height() + DialogMargin));
    anchorTextAndButton(form, rich, start, true);

    // Fonts stay; the text view simply grows with the screen.
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double s = screenScale(screen ? screen->size() : DesignScreen);
    form->setClientSize(
        QSize(int(std::nearbyint(form->width() * s)), int(std::nearbyint(form->height() * s))));
    m_helpForm = form;
}

void TSetupSupporter::buildTechForm(QWidget *main)
{
    auto *form = new TTechForm(main);
    form->setObjectName(QStringLiteral("TechForm"));
    form->setWindowTitle(QStringLiteral("Technical Support"));

    const TMemoAndClose pair = addMemoAndClose(form, QStringLiteral("TechMemo"), TechCloseLeft);
    pair.memo->setPlainText(supportText());
    form->TechMemo = pair.memo;
    form->CloseButton = pair.close;

    form->fitToControls();
    anchorTextAndButton(form, pair.memo, pair.close, true);
    m_techForm = form;
}

bool TSetupSupporter::buildPCIForm(QWidget *main)
{
    const QString product = productName();
    addCardsMenuEntry(main, product);

    auto *form = new TPCIForm(main);
    form->setObjectName(QStringLiteral("PCIForm"));
    form->setWindowTitle(product + QStringLiteral(" Cards installed"));
    form->show();

    const TMemoAndClose pair =
        addMemoAndClose(form, QStringLiteral("PCIMemo"), (form->width() - CloseWidth) / 2);
    QPlainTextEdit *memo = pair.memo;
    memo->setFont(namedFont(QStringLiteral("Tahoma"), CardsPoints, true));
    form->PCIMemo = memo;
    form->CloseButton = pair.close;
    memo->show();
    pair.close->show();

    form->fitToControls();
    anchorTextAndButton(form, memo, pair.close, false);
    m_pciForm = form;

    LLQORWDM::BindCardDriver();
    const qint32 n = LLQORWDM::InstalledCardCount();
    if (n <= 0)
        return false;
    memo->clear();
    QString text;
    for (qint32 index = 0; index < n; ++index)
        text = m_onGetCardString(this, index);
    if (text.isEmpty())
        return false;
    memo->appendPlainText(text);
    return true;
}

void TSetupSupporter::addCardsMenuEntry(QWidget *main, const QString &product)
{
    auto *mw = qobject_cast<QMainWindow *>(main);
    if (!mw)
        return;
    if (auto *bar = qobject_cast<QMenuBar *>(mw->menuWidget())) {
        for (QAction *item : bar->actions()) {
            if (item->text() != QLatin1String("&File") || !item->menu())
                continue;
            QMenu *file = item->menu();
            auto *entry = new QAction(
                QStringLiteral("Display ") + product + QStringLiteral(" Cards Installed"), file);
            entry->setObjectName(QStringLiteral("DisplayPCI"));
            connect(entry, &QAction::triggered, this, &TSetupSupporter::DisplayCardsClick);
            file->insertAction(file->actions().value(0, nullptr), entry);
            break;
        }
    }
}

TSetupSupporter::TMemoAndClose
TSetupSupporter::addMemoAndClose(TSupportForm *form, const QString &memoName, int closeLeft)
{
    auto *memo = newMemo(form, memoName, QRect(DialogMargin, DialogMargin, TextWidth, MemoHeight));
    // Screen readers name the memo after its dialog's title.
    memo->setAccessibleName(form->windowTitle());
    auto *close = addCancelButton(
        form, memo, QStringLiteral("CloseButton"), QStringLiteral("Close"),
        QRect(closeLeft, CloseTop, CloseWidth, CloseHeight), &TSetupSupporter::CloseButtonClick);
    return {memo, close};
}

QPushButton *TSetupSupporter::addCancelButton(TSupportForm *form, QWidget *text,
                                              const QString &name, const QString &caption,
                                              const QRect &geometry,
                                              void (TSetupSupporter::*handler)())
{
    auto *button = newButton(form, name, caption, geometry);
    form->setCancelButton(button);
    QWidget::setTabOrder(button, text);
    connect(button, &QPushButton::clicked, this, handler);
    return button;
}

void TSetupSupporter::UpdateTimer()
{
    if (m_timerId)
        m_timerWindow->killTimer(m_timerId);
    m_timerId = 0;
    if (m_showHelpPending || m_calibrating) {
        m_timerId = startTimerWindowTimer(m_timerWindow, TimerPeriodMs);
        if (!m_timerId)
            throw std::runtime_error("Not enough timers available");
    }
}

int TSetupSupporter::startTimerWindowTimer(QObject *window, int intervalMs)
{
    return window->startTimer(intervalMs);
}

void TSetupSupporter::SetCalibrating(bool on)
{
    if (on == m_calibrating)
        return;
    m_calibrating = on;
    UpdateTimer();
}

void TSetupSupporter::TimerTick()
{
    if (m_showHelpPending) {
        if (m_helpForm) {
            m_helpForm->setVisible(true);
            m_helpForm->raise();
            m_helpForm->activateWindow();
        }
        m_showHelpPending = false;
        UpdateTimer();
        return;
    }
    if (m_calibrating)
        calibrationTick();
}

void TSetupSupporter::calibrationTick()
{
    if (m_onBeginCalib)
        m_onBeginCalib(this);

    if (!m_onGetCalibString) {
        SetCalibrating(false);
        QMessageBox box(
            QMessageBox::Warning, QStringLiteral("OnGetCalibString Not Assigned"),
            QStringLiteral("Error: calibration begun, but OnGetCalibString isn't assigned."),
            QMessageBox::Ok, mainWindow());
        box.setObjectName(QStringLiteral("CalibrationMessage"));
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
        box.exec();
        ResetStartButtons();
        return;
    }

    for (const TCalibControls &group : std::as_const(m_calibControls))
        if (group.HideControl)
            group.HideControl->hide();

    bool itsAllBad = true;
    for (int channel = 0; channel < m_channels; ++channel) {
        const QString text = m_onGetCalibString(this, quint8(channel), itsAllBad);
        ShowChannelResult(channel, text);
    }

    if (itsAllBad) {
        SetCalibrating(false);
        QMessageBox box(
            QMessageBox::Warning, QStringLiteral("Total A/D failure"),
            QStringLiteral(
                "Total A/D failure. The card may not be installed, or it may be installed at a "
                "different base address."),
            QMessageBox::Retry | QMessageBox::Cancel, mainWindow());
        box.setObjectName(QStringLiteral("CalibrationMessage"));
        box.setDefaultButton(QMessageBox::Cancel);
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
        if (box.exec() == QMessageBox::Retry)
            SetCalibrating(true);
        else
            ResetStartButtons();
    }
}

void TSetupSupporter::ShowChannelResult(int channel, const QString &text)
{
    if (channel < 0)
        return;
    const QString line =
        QStringLiteral("Channel ") + QString::number(channel) + QLatin1Char('\t') + text;
    for (const TCalibControls &group : std::as_const(m_calibControls)) {
        if (!group.Memo)
            continue;
        QStringList lines = group.Memo->toPlainText().split(QLatin1Char('\n'));
        if (group.Memo->document()->isEmpty())
            lines.clear();
        // A memo with fewer lines grows to the channel's line.
        while (lines.size() <= channel)
            lines.append(QString());
        lines[channel] = line;
        group.Memo->setPlainText(lines.join(QLatin1Char('\n')));
    }
}

void TSetupSupporter::ResetStartButtons()
{
    if (m_changeButtons) {
        for (const TCalibControls &group : std::as_const(m_calibControls)) {
            QAbstractButton *button = group.Button;
            if (!button)
                continue;
            button->setText(QStringLiteral("Start"));
            disconnect(button, &QAbstractButton::clicked, nullptr, nullptr);
            // The button takes the handler assigned now; an empty one leaves it without.
            if (const TNotifyEvent handler = m_onStartButtonClick)
                connect(button, &QAbstractButton::clicked, this,
                        [handler, button] { handler(button); });
        }
    }
    SetCalibrating(false);
}

void TSetupSupporter::StartButtonClick()
{
    if (m_helpForm)
        m_helpForm->hide();
    QWidget *main = mainWindow();
    if (!main)
        return;
    QList<QWidget *> places{clientArea()};
    if (places.first() != main)
        places.append(main);
    for (QWidget *place : places) {
        for (QObject *child : place->children()) {
            if (auto *image = qobject_cast<TBoardImage *>(child)) {
                QEvent tour(WM_STARTTOUR);
                QCoreApplication::sendEvent(image, &tour);
                return;
            }
        }
    }
}

void TSetupSupporter::CloseButtonClick()
{
    if (auto *button = qobject_cast<QWidget *>(sender()))
        button->window()->hide();
}

void TSetupSupporter::DisplayCardsClick()
{
    if (m_pciForm)
        m_pciForm->setVisible(true);
}
