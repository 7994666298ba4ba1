#pragma once

#include "setupctrls_export.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>

#include <functional>

class QAbstractButton;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRect;
class QTextEdit;
class QWidget;
class THelpForm;
class TPCIForm;
class TSupportForm;
class TTechForm;

// Event types of the support component. Sender is the supporter.
using TNotifyEvent = std::function<void(QObject *Sender)>;
using TPCIEvent = std::function<QString(QObject *Sender, qint32 CardIndex)>;
using TCalibEvent = std::function<QString(QObject *Sender, quint8 Channel, bool &ItsAllBad)>;

// A host's calibration controls: per-channel lines go to Memo, Button starts
// calibration, HideControl is hidden while polling.
struct TCalibControls
{
    QPointer<QPlainTextEdit> Memo;
    QPointer<QAbstractButton> Button;
    QPointer<QWidget> HideControl;
    QPointer<QWidget> Spare;
};

// The non-visual support component of a setup guide: builds the title label
// and the help, technical-support and (for hosts that supply card texts)
// cards dialogs around the main window, shows the help dialog shortly after
// start-up, and polls calibration for hosts that calibrate hardware.
//
// Events are std::function members: an empty function is an unassigned
// event, so "OnGetCardString is assigned" reads bool(onGetCardString()).
class SETUPCTRLS_EXPORT TSetupSupporter : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString CompanyName READ companyName WRITE setCompanyName)
    Q_PROPERTY(QString CardNameA READ cardNameA WRITE setCardNameA)
    Q_PROPERTY(QString CardNameB READ cardNameB WRITE setCardNameB)
    Q_PROPERTY(bool UseCardNameB READ useCardNameB WRITE setUseCardNameB)
    Q_PROPERTY(QString CallHow READ callHow WRITE setCallHow)
    Q_PROPERTY(bool MultiPort READ multiPort WRITE setMultiPort)
    Q_PROPERTY(uint Channels READ channels WRITE setChannels)
    // Stored default False, constructor value True: a layout that leaves it
    // out gets True.
    Q_PROPERTY(bool ChangeButtons READ changeButtons WRITE setChangeButtons)
    Q_PROPERTY(bool bSeries READ bSeries WRITE setBSeries)
    Q_PROPERTY(int Tag READ tag WRITE setTag)

public:
    explicit TSetupSupporter(QObject *owner = nullptr);
    ~TSetupSupporter() override;

    QString companyName() const { return m_companyName; }
    void setCompanyName(const QString &name) { m_companyName = name; }
    QString cardNameA() const { return m_cardNameA; }
    void setCardNameA(const QString &name) { m_cardNameA = name; }
    QString cardNameB() const { return m_cardNameB; }
    void setCardNameB(const QString &name) { m_cardNameB = name; }
    bool useCardNameB() const { return m_useCardNameB; }
    void setUseCardNameB(bool use) { m_useCardNameB = use; }
    QString callHow() const { return m_callHow; }
    void setCallHow(const QString &text) { m_callHow = text; }
    bool multiPort() const { return m_multiPort; }
    void setMultiPort(bool on) { m_multiPort = on; }
    // An 8-bit count; larger values keep their low byte.
    uint channels() const { return m_channels; }
    void setChannels(uint channels) { m_channels = quint8(channels); }
    bool changeButtons() const { return m_changeButtons; }
    void setChangeButtons(bool on) { m_changeButtons = on; }
    bool bSeries() const { return m_bSeries; }
    void setBSeries(bool on) { m_bSeries = on; }
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    TNotifyEvent onBeginCalib() const { return m_onBeginCalib; }
    // Assigning it re-evaluates the timer.
    void setOnBeginCalib(TNotifyEvent handler);
    TPCIEvent onGetCardString() const { return m_onGetCardString; }
    void setOnGetCardString(TPCIEvent handler) { m_onGetCardString = std::move(handler); }
    TCalibEvent onGetCalibString() const { return m_onGetCalibString; }
    void setOnGetCalibString(TCalibEvent handler) { m_onGetCalibString = std::move(handler); }
    TNotifyEvent onStopButtonClick() const { return m_onStopButtonClick; }
    void setOnStopButtonClick(TNotifyEvent handler) { m_onStopButtonClick = std::move(handler); }
    TNotifyEvent onStartButtonClick() const { return m_onStartButtonClick; }
    void setOnStartButtonClick(TNotifyEvent handler) { m_onStartButtonClick = std::move(handler); }

    // CardNameB or CardNameA, as UseCardNameB says; the series suffix.
    QString productName() const;
    QString seriesSuffix() const;
    QString helpText() const;
    QString supportText() const;

    // The factor the help dialog grows by on a screen of this size.
    static double screenScale(const QSize &screen);

    // Builds the header label and the dialogs on the application's main
    // window (the owner's window when the owner is a widget). Call once,
    // after the main window has been shown. Throws std::runtime_error when
    // no timer is available.
    void BuildDialogs();

    QLabel *HeaderLabel() const;
    THelpForm *HelpForm() const;
    TTechForm *TechForm() const;
    TPCIForm *PCIForm() const;
    // The help dialog's text view; hosts may append lines to it.
    QTextEdit *HelpRich() const;

    QList<TCalibControls> &CalibControls() { return m_calibControls; }

    bool showHelpPending() const { return m_showHelpPending; }
    bool calibrating() const { return m_calibrating; }
    bool timerRunning() const { return m_timerId != 0; }

    // Stops the timer and starts it again at 100 ms while the help dialog
    // waits or calibration polls. Throws std::runtime_error("Not enough
    // timers available") when the system refuses one.
    void UpdateTimer();
    void SetCalibrating(bool on);
    void ShowChannelResult(int channel, const QString &text);
    void ResetStartButtons();

public Q_SLOTS:
    void StartButtonClick();
    void CloseButtonClick();
    void DisplayCardsClick();

protected:
    // Starts the periodic timer on the timer window; 0 when refused.
    virtual int startTimerWindowTimer(QObject *window, int intervalMs);
    // One timer message. Errors escaping it go to the error report.
    void TimerTick();
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class TSupporterTimerWindow;

    QWidget *mainWindow() const;
    QWidget *clientArea() const;
    void buildHeaderLabel(QWidget *main);
    void buildHelpForm(QWidget *main);
    void buildTechForm(QWidget *main);
    bool buildPCIForm(QWidget *main);
    void addCardsMenuEntry(QWidget *main, const QString &product);
    // A read-only memo with a Close button under it that Escape presses.
    struct TMemoAndClose
    {
        QPlainTextEdit *memo;
        QPushButton *close;
    };
    TMemoAndClose addMemoAndClose(TSupportForm *form, const QString &memoName, int closeLeft);
    // A button that Escape presses, before text in the tab order.
    QPushButton *addCancelButton(TSupportForm *form, QWidget *text, const QString &name,
                                 const QString &caption, const QRect &geometry,
                                 void (TSetupSupporter::*handler)());
    void calibrationTick();

    QString m_companyName;
    QString m_cardNameA;
    QString m_cardNameB;
    bool m_useCardNameB = false;
    QString m_callHow;
    bool m_multiPort = false;
    quint8 m_channels = 8;
    bool m_changeButtons = true;
    bool m_bSeries = true;
    int m_tag = 0;

    TNotifyEvent m_onBeginCalib;
    TPCIEvent m_onGetCardString;
    TCalibEvent m_onGetCalibString;
    TNotifyEvent m_onStopButtonClick;
    TNotifyEvent m_onStartButtonClick;

    bool m_showHelpPending = false;
    bool m_calibrating = false;
    QObject *m_timerWindow = nullptr;
    int m_timerId = 0;

    QPointer<QLabel> m_headerLabel;
    QPointer<THelpForm> m_helpForm;
    QPointer<TTechForm> m_techForm;
    QPointer<TPCIForm> m_pciForm;
    QList<TCalibControls> m_calibControls;
};
