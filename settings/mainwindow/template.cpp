#include "template.h"

#include "accessiblenames.h"
#include "errorreport.h"
#include "jpegimage.h"
#include "networkpanel.h"
#include "popupgeometry.h"
#include "powerscrew.h"
#include "taccessiblecontrols.h"
#include "tboardhighlight.h"
#include "tboardimage.h"
#include "tjumper.h"
#include "tradiopanel.h"
#include "tsetupsupporter.h"
#include "tsupportforms.h"
#include "ui_template.h"
#include "windowframe.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QFile>
#include <QPainter>
#include <QScreen>
#include <QTextCursor>
#include <QTextEdit>
#include <QWindow>
#include <exception>
#include <future>

static void InitPictures()
{
    Q_INIT_RESOURCE(pictures);
}

// The layout's font is a Windows face; where it is missing, a narrow sans keeps the texts inside
// the layout's sizes.
static void SubstituteLayoutFont()
{
    static const bool done = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Microsoft Sans Serif"),
                                    QStringLiteral("DejaVu Sans Condensed"),
                                    QStringLiteral("Liberation Sans Narrow")});
        return true;
    }();
    Q_UNUSED(done);
}

namespace {

struct Photograph
{
    QImage image;
    QString error;
};

Photograph DecodeBoardPhotograph()
{
    Photograph photo;
    QFile file(QStringLiteral(":/pictures/board.jpg"));
    if (file.open(QIODevice::ReadOnly))
        photo.image = DecodeJpeg(file.readAll(), &photo.error);
    else
        photo.error = file.errorString();
    return photo;
}

// The stored outer rectangle where it fits the screen's available area; else moved, and shrunk
// where larger, as little as it takes to fit: with no window manager to maximise the window, or
// once the user restores it, controls off the screen could not be reached.
QRect fittedToScreen(const QRect &stored)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return stored;
    const QRect area = screen->availableGeometry();
    const QSize size = stored.size().boundedTo(area.size());
    return QRect(PopupGeometry::KeepOnScreen(stored.topLeft(), size, area), size);
}

} // namespace

TMainForm::TMainForm(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainForm), m_network(new TNetworkPanel(*ui, this))
{
    // Answered while the form is built, where the window manager answers at all.
    AskFrameInAdvance(windowFlags());
    InstallSetupCtrlsAccessibility();
    InitPictures();
    SubstituteLayoutFont();
    // Decoding the photograph takes about as long as building the layout: do both at once.
    std::future<Photograph> photograph =
        std::async(std::launch::async | std::launch::deferred, DecodeBoardPhotograph);
    ui->setupUi(this);

    // ---- Stored layout, continued: what a .ui cannot hold, in stored order. ----
    {
        // A top-level's place is not kept by uic; the window opens maximised.
        const QMargins frame = ExpectedFrameMargins(this);
        const QRect outer = fittedToScreen(QRect(QPoint(305, 77), size().grownBy(frame)));
        resize(outer.size().shrunkBy(frame));
        move(outer.topLeft()); // the frame's corner, the window not created yet
        setWindowState(Qt::WindowMaximized);

        const Photograph photo = photograph.get();
        const QImage &picture = photo.image;
        if (picture.isNull())
            qWarning("board photograph not decoded: %s", qPrintable(photo.error));
        ui->BoardImage1->setPicture(picture, TPicture::gkJpeg);
        ui->BoardImage1->setStretch(true);

        // The panels keep the window's font when they move into their popups.
        for (TRadioPanel *panel :
             {ui->PowerPanel, ui->ETHPanel, ui->LEDPanel, ui->IPPanel, ui->ResetNetPanel,
              ui->FilterPanel, ui->ConnLEDPanel, ui->InputPanel, ui->RelayPanel})
            panel->setFont(font());

        SetSup = new TSetupSupporter(this);
        SetSup->setObjectName(QStringLiteral("SetSup"));
        SetSup->setCompanyName(QStringLiteral("Kestrune"));
        SetSup->setCardNameA(QStringLiteral("NET-RLX-16/NET-INX-16"));
        SetSup->setCardNameB(QStringLiteral("NET-DX32-EM/SS"));
        SetSup->setCallHow(QStringLiteral(
            "Monday through Friday from 8:00 a.m. to 5:00 p.m. Central Time, toll-free at "
            "1-800-555-0142,"));
        SetSup->setChangeButtons(true);
        SetSup->setBSeries(false);
    }
    // ---- End of the stored layout. ----

    FormCreate();
}

TMainForm::~TMainForm()
{
    if (m_idleConnection)
        disconnect(m_idleConnection);
    delete ui;
}

void TMainForm::FormCreate()
{
    m_idleConnection =
        connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
                &TMainForm::ApplicationIdle);

    const QString hex = QStringLiteral("0123456789ABCDEF");
    for (int i = 0; i < 16; ++i) {
        const QString h = hex.mid(i, 1);
        ChannelControls[size_t(i)] = {
            findChild<TTwoJumper *>(QStringLiteral("FilterJumper") + h),
            findChild<QRadioButton *>(QStringLiteral("RelayRadio") + h),
            findChild<QRadioButton *>(QStringLiteral("RelayRadio") + h + QLatin1Char('F'))};
    }
    NameForScreenReaders(*ui, ChannelControls);

    m_network->BindLibrary();
}

void TMainForm::ApplicationIdle()
{
    // The window paints before the program first goes idle; Qt may block before the window is
    // on screen, and that moment does not count.
    if (isVisible() && windowHandle() && !windowHandle()->isExposed())
        return;
    disconnect(m_idleConnection);
    m_idleConnection = {};
    try {
        SetSup->BuildDialogs();
    } catch (const std::exception &e) {
        ShowErrorReport(QString::fromLocal8Bit(e.what()), this);
        return;
    }
    if (!m_network->ethLibrary().bound()) {
        if (QTextEdit *rich = SetSup->HelpRich()) {
            // The text view's own cursor sits on the bold title; the help ends in body text,
            // whose format the added lines take.
            QTextCursor end(rich->document());
            end.movePosition(QTextCursor::End);
            const QTextCharFormat body = end.charFormat();
            for (int i = 0; i < 3; ++i)
                end.insertBlock(end.blockFormat(), body);
            end.insertText(TNetworkPanel::LibraryNotFoundLine(), body);
        }
    }
}

void TMainForm::Howtousethisprogram1Click()
{
    if (QWidget *help = SetSup->HelpForm())
        help->setVisible(true);
}

void TMainForm::TechnicalSupport1Click()
{
    if (QWidget *tech = SetSup->TechForm())
        tech->setVisible(true);
}

void TMainForm::Exit2Click()
{
    close();
}

// ---- Network settings ----

void TMainForm::ConnectButtonClick()
{
    m_network->ConnectButtonClick();
}

void TMainForm::DisconnectButtonClick()
{
    m_network->DisconnectButtonClick();
}

void TMainForm::ChangeNetButtonClick()
{
    m_network->ChangeNetButtonClick();
}

void TMainForm::ChangeMACButtonClick()
{
    m_network->ChangeMACButtonClick();
}

// ---- Option panels ----

int TMainForm::SenderChannel() const
{
    const QObject *from = sender();
    if (!from)
        return -1;
    bool ok = false;
    const int i = from->property("Tag").toInt(&ok);
    return ok && i >= 0 && i < 16 && ChannelControls[size_t(i)].Jumper ? i : -1;
}

void TMainForm::FilterJumperClick()
{
    const int i = SenderChannel();
    if (i < 0)
        return;
    const TChannelControl &c = ChannelControls[size_t(i)];
    if (c.Jumper->closed())
        c.Filtered->setChecked(true);
    else
        c.Plain->setChecked(true);
}

void TMainForm::RelayRadioPlainClick(bool checked)
{
    const int i = SenderChannel();
    if (!checked || i < 0)
        return;
    const TChannelControl &c = ChannelControls[size_t(i)];
    c.Jumper->setClosed(!c.Plain->isChecked());
}

void TMainForm::RelayRadioFilteredClick(bool checked)
{
    const int i = SenderChannel();
    if (!checked || i < 0)
        return;
    const TChannelControl &c = ChannelControls[size_t(i)];
    c.Jumper->setClosed(c.Filtered->isChecked());
}

void TMainForm::AllPlainButtonClick()
{
    for (const TChannelControl &c : ChannelControls)
        c.Plain->setChecked(true);
}

void TMainForm::AllFilteredButtonClick()
{
    for (const TChannelControl &c : ChannelControls)
        c.Filtered->setChecked(true);
}

void TMainForm::NetRadioClick(bool checked)
{
    if (!checked)
        return;
    ui->ResetNetJumper->setJumperState(ui->ResetNetRadio->isChecked() ? TThreeJumper::jsRight
                                                                      : TThreeJumper::jsLeft);
}

void TMainForm::ResetNetJumperClick()
{
    if (ui->ResetNetJumper->jumperState() == TThreeJumper::jsLeft)
        ui->NormNetRadio->setChecked(true);
    else
        ui->ResetNetRadio->setChecked(true);
}

void TMainForm::PowerScrewPaintPaint()
{
    QPainter painter(ui->PowerScrewPaint);
    PaintPowerScrew(painter, ui->PowerScrewPaint->rect());
}
