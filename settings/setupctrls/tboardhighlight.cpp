#include "tboardhighlight.h"

#include "anchorlayout.h"
#include "popupgeometry.h"
#include "setupdesign.h"
#include "tboardimage.h"
#include "thotspotmenu.h"
#include "tpopupform.h"
#include "tradiopanel.h"
#include "windowframe.h"

#include <QAccessible>
#include <QApplication>
#include <QCursor>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QWindow>

#include <array>
#include <cmath>

namespace {

constexpr int NewHotspotSize = 65;

struct TypeRow
{
    uint color;
    float idle;
    float lit;
    float rim;
    const char *category;
};

TypeRow rowFor(THighlightType type)
{
    switch (type) {
    case TBoardHighlight::htOptions:
        return {0x00FF0000, 0.25f, 0.5f, 1.0f, "&Options"};
    case TBoardHighlight::htCalibration:
        return {0x000000FF, 0.5f, 0.75f, 1.0f, "&Calibration"};
    case TBoardHighlight::htSettings:
        break;
    }
    return {0x0000FFFF, 0.5f, 0.75f, 1.0f, "&Settings"};
}

bool isIdentStart(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_';
}

bool isIdentPart(QChar c)
{
    const ushort u = c.unicode();
    return isIdentStart(c) || (u >= '0' && u <= '9');
}

bool isExactHighlight(const QObject *object)
{
    return object && object->metaObject() == &TBoardHighlight::staticMetaObject;
}

// (1 - m) * base + m * colour, rounded to nearest with halves to even.
inline int blend(float m, int base, int colour)
{
    const float value = (1.0f - m) * float(base) + m * float(colour);
    // Adding and taking away 1.5 * 2^23 leaves no bits for a fraction, so the FPU's own
    // round-to-nearest-even does the rounding, as nearbyint would, without a library call per
    // channel (exact for |value| < 2^22; -ffp-contract=off keeps the two steps apart).
    const float magic = 12582912.0f;
    const int rounded = int((value + magic) - magic);
    return rounded < 0 ? 0 : (rounded > 255 ? 255 : rounded);
}

} // namespace

TBoardHighlight::TBoardHighlight(QWidget *parent) : QWidget(parent)
{
    resize(NewHotspotSize, NewHotspotSize);
    // A paint copies a full state image; nothing of the parent shows through.
    setAttribute(Qt::WA_OpaquePaintEvent);
    applyHighlightType();
    // Long before the first popup opens, so that it need not wait for the answer.
    AskFrameInAdvance(TPopupForm::WindowKind);
}

TBoardHighlight::~TBoardHighlight()
{
    // The popup is deleted before this object stops being a hotspot, so its
    // deactivation cannot call back into a half-destroyed one.
    if (m_popup) {
        m_popup->disconnect(this);
        delete m_popup;
        m_popup = nullptr;
    }
}

void TBoardHighlight::applyHighlightType()
{
    const TypeRow row = rowFor(m_highlightType);
    m_ringColor = row.color;
    m_idleAlpha = row.idle;
    m_litAlpha = row.lit;
    m_rimAlpha = row.rim;
}

void TBoardHighlight::setHighlightType(THighlightType type)
{
    if (m_highlightType == type)
        return;
    m_highlightType = type;
    applyHighlightType();
    update();
}

TRadioPanel *TBoardHighlight::radioPanel() const
{
    if (!m_radioPanel && !m_radioPanelName.isEmpty())
        const_cast<TBoardHighlight *>(this)->resolveRadioPanel();
    return m_radioPanel;
}

QString TBoardHighlight::radioPanelName() const
{
    return m_radioPanel ? m_radioPanel->objectName() : m_radioPanelName;
}

TBoardHighlight *TBoardHighlight::unlinkedOwnerOf(const TRadioPanel *panel) const
{
    QWidget *parent = parentWidget();
    if (!parent)
        return nullptr;
    const QString name = panel->objectName();
    for (QObject *child : parent->children()) {
        if (child == this || !isExactHighlight(child))
            continue;
        auto *other = static_cast<TBoardHighlight *>(child);
        // A sibling not resolved yet counts by the name it holds.
        const bool owns =
            other->m_radioPanel == panel ||
            (!other->m_radioPanel && !name.isEmpty() && other->m_radioPanelName == name);
        if (owns && (other->m_title != m_title || other->m_highlightType != m_highlightType))
            return other;
    }
    return nullptr;
}

void TBoardHighlight::setRadioPanel(TRadioPanel *panel)
{
    if (m_radioPanel == panel && (panel || m_radioPanelName.isEmpty()))
        return;
    // A panel can move into one popup only, so it may be shared by linked
    // hotspots alone.
    if (panel && unlinkedOwnerOf(panel))
        return;
    m_radioPanel = panel;
    m_radioPanelName = panel ? panel->objectName() : QString();
}

void TBoardHighlight::setRadioPanel(const QString &name)
{
    if (name == radioPanelName())
        return;
    if (!name.isEmpty() && SetupDesign::IsDesigned(this) && !SetupDesign::IsLoading(this)) {
        designRadioPanel(name);
        return;
    }
    m_radioPanel = nullptr;
    m_radioPanelName = name;
}

void TBoardHighlight::resolveRadioPanel()
{
    TRadioPanel *panel = SetupDesign::Resolve<TRadioPanel>(this, "RadioPanel", m_radioPanelName,
                                                           m_radioPanelReported);
    if (!panel)
        return;
    // Refused as an assignment is: the hotspot keeps no panel.
    if (unlinkedOwnerOf(panel))
        m_radioPanelName.clear();
    else
        m_radioPanel = panel;
}

void TBoardHighlight::designRadioPanel(const QString &name)
{
    auto *panel = qobject_cast<TRadioPanel *>(SetupDesign::FindNamed(this, name));
    if (panel) {
        if (TBoardHighlight *owner = unlinkedOwnerOf(panel)) {
            QMessageBox::critical(window(), tr("Error"),
                                  panel->objectName() +
                                      QStringLiteral(" has already been assigned to ") +
                                      owner->objectName() + QStringLiteral("."),
                                  QMessageBox::Ok);
            return;
        }
    }
    m_radioPanel = panel;
    m_radioPanelName = name;
    if (!panel)
        return;
    for (TBoardHighlight *linked : linkedHotspots()) {
        if (linked == this || linked->radioPanel() == panel)
            continue;
        const QString question =
            objectName() +
            QStringLiteral("'s RadioPanel property changed. Synchronize linked component ") +
            linked->objectName() + QStringLiteral("?");
        if (QMessageBox::question(window(), tr("Confirm"), question,
                                  QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            continue;
        linked->m_radioPanel = panel;
        linked->m_radioPanelName = name;
        SetupDesign::NotifyChanged(linked, "RadioPanel");
    }
}

void TBoardHighlight::setTitle(const QString &title)
{
    if (m_title == title)
        return;
    m_title = title;
    m_popupCaption = PopupCaptionFor(title);
    m_menuIdent = MenuIdentFor(title);
    // Screen readers name the hotspot by its caption.
    if (QAccessible::isActive()) {
        QAccessibleEvent nameChanged(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&nameChanged);
    }
}

QString TBoardHighlight::menuCategory() const
{
    return QString::fromLatin1(rowFor(m_highlightType).category);
}

TPopupForm *TBoardHighlight::popup() const
{
    return m_popup;
}

QMenuBar *TBoardHighlight::menu() const
{
    return m_menu;
}

const QImage &TBoardHighlight::currentImage() const
{
    if (m_popupActive && m_hovered)
        return m_rimImage;
    if (m_popupActive || m_hovered)
        return m_litImage;
    return m_idleImage;
}

TBoardImage *TBoardHighlight::boardImage() const
{
    QWidget *parent = parentWidget();
    if (parent && parent->metaObject() == &TBoardImage::staticMetaObject)
        return static_cast<TBoardImage *>(parent);
    return nullptr;
}

bool TBoardHighlight::isLinkedTo(const TBoardHighlight *other) const
{
    if (!other)
        return false;
    if (other == this)
        return true;
    TBoardImage *board = boardImage();
    return board && other->boardImage() == board && isExactHighlight(other) &&
           other->m_title == m_title && other->m_highlightType == m_highlightType;
}

QList<TBoardHighlight *> TBoardHighlight::linkedHotspots() const
{
    QList<TBoardHighlight *> linked;
    TBoardImage *board = boardImage();
    if (!board) {
        linked.append(const_cast<TBoardHighlight *>(this));
        return linked;
    }
    for (QObject *child : board->children()) {
        if (isExactHighlight(child) && isLinkedTo(static_cast<TBoardHighlight *>(child)))
            linked.append(static_cast<TBoardHighlight *>(child));
    }
    return linked;
}

QString TBoardHighlight::PopupCaptionFor(const QString &title)
{
    QString caption = title;
    caption.remove(QLatin1Char('&'));
    return caption;
}

QString TBoardHighlight::MenuIdentFor(const QString &title)
{
    bool valid = !title.isEmpty() && isIdentStart(title.at(0));
    for (int i = 1; valid && i < title.size(); ++i)
        valid = isIdentPart(title.at(i));
    if (title.isEmpty() || valid)
        return title;
    int start = 0;
    while (start < title.size() && !isIdentStart(title.at(start)))
        ++start;
    QString ident;
    if (start < title.size())
        ident.append(title.at(start));
    for (int i = start + 1; i < title.size(); ++i) {
        if (isIdentPart(title.at(i)))
            ident.append(title.at(i));
    }
    return ident;
}

void TBoardHighlight::PaintRing(QImage &image, float alpha, uint color, bool rim)
{
    const int w = image.width();
    const int h = image.height();
    // The ring's scale divides by width - 1 and height - 1: a hotspot this
    // thin shows the board unchanged.
    if (w < 2 || h < 2)
        return;
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    const int colourBlue = int((color >> 16) & 0xFF);
    const int colourGreen = int((color >> 8) & 0xFF);
    const int colourRed = int(color & 0xFF);
    const float sx = 2.0f / float(w - 1);
    const float sy = 2.0f / float(h - 1);
    // Inside the ring the weight is one constant, so each channel's blend depends on the board's
    // value alone: look it up rather than work it out for most of the hotspot's pixels.
    const float innerWeight = 0.16f;
    const float innerM = innerWeight * alpha;
    std::array<quint8, 256> innerRed, innerGreen, innerBlue;
    for (int value = 0; value < 256; ++value) {
        innerRed[size_t(value)] = quint8(blend(innerM, value, colourRed));
        innerGreen[size_t(value)] = quint8(blend(innerM, value, colourGreen));
        innerBlue[size_t(value)] = quint8(blend(innerM, value, colourBlue));
    }
    for (int y = 0; y < h; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        const float v = float(y) * sy - 1.0f;
        for (int x = 0; x < w; ++x) {
            const float u = float(x) * sx - 1.0f;
            const float d = u * u + v * v;
            if (d >= 1.0f)
                continue;
            QRgb base = row[x];
            if (d < 0.5929f) {
                row[x] = qRgba(innerRed[size_t(qRed(base))], innerGreen[size_t(qGreen(base))],
                               innerBlue[size_t(qBlue(base))], qAlpha(base));
                continue;
            }
            float weight = 1.0f - 8.0f * std::fabs(std::sqrt(d) - 0.875f);
            if (rim) {
                weight = 2.0f * weight;
                if (weight > 1.0f) {
                    base = (base & 0xFF000000) | 0x00FFFFFF;
                    weight = 2.0f - weight;
                }
            }
            const float m = weight * alpha;
            row[x] = qRgba(blend(m, qRed(base), colourRed), blend(m, qGreen(base), colourGreen),
                           blend(m, qBlue(base), colourBlue), qAlpha(base));
        }
    }
}

void TBoardHighlight::BuildStateImages()
{
    // On a high-DPI screen the ring is worked out over the device pixels, so it stays as sharp
    // as the text beside it; the photograph under it is taken at that resolution too.
    const qreal ratio = devicePixelRatioF();
    QImage base(QSize(qRound(width() * ratio), qRound(height() * ratio)), QImage::Format_RGB32);
    base.setDevicePixelRatio(ratio);
    QWidget *parent = parentWidget();
    base.fill(parent ? parent->palette().color(parent->backgroundRole()) : QColor(Qt::black));
    // The parent's own drawing of this rectangle, without its other children.
    if (parent && !base.isNull())
        parent->render(&base, QPoint(0, 0), QRegion(geometry()), QWidget::DrawWindowBackground);
    m_idleImage = base;
    PaintRing(m_idleImage, m_idleAlpha, m_ringColor, false);
    m_rimImage = base;
    PaintRing(m_rimImage, m_rimAlpha, m_ringColor, true);
    m_litImage = base;
    PaintRing(m_litImage, m_litAlpha, m_ringColor, false);
}

void TBoardHighlight::firstPaint()
{
    BuildStateImages();
    if (TBoardImage *board = boardImage()) {
        m_menu = board->menu();
        RegisterMenuEntry();
    } else {
        m_menu = nullptr;
    }
    m_imagesBuilt = true;
}

bool TBoardHighlight::event(QEvent *event)
{
    // The form has been built by the time any of its widgets is polished.
    if (event->type() == QEvent::Polish)
        radioPanel();
    // The board's window is being mapped: long before the first popup opens.
    if (event->type() == QEvent::Show && !SetupDesign::IsDesigned(this))
        MeasureFrameInAdvance(window(), TPopupForm::WindowKind);
    return QWidget::event(event);
}

void TBoardHighlight::paintEvent(QPaintEvent *)
{
    // In a form editor the ring follows its type, size and the photograph under it.
    if (SetupDesign::IsDesigned(this))
        BuildStateImages();
    else if (!m_imagesBuilt)
        firstPaint();
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), currentImage());
}

void TBoardHighlight::enterEvent(QEnterEvent *event)
{
    QWidget::enterEvent(event);
    // In the form editor the pointer selects and edits: no popup may open over the editor.
    if (!SetupDesign::IsDesigned(this))
        MouseEntry(false);
}

void TBoardHighlight::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    MouseLeave(false);
}

void TBoardHighlight::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_leftPressed = true;
    QWidget::mousePressEvent(event);
}

void TBoardHighlight::mouseReleaseEvent(QMouseEvent *event)
{
    const bool wasPressed = m_leftPressed;
    if (event->button() == Qt::LeftButton)
        m_leftPressed = false;
    if (event->button() == Qt::LeftButton && wasPressed &&
        rect().contains(event->position().toPoint()))
        click();
    QWidget::mouseReleaseEvent(event);
}

void TBoardHighlight::MouseEntry(bool relayed)
{
    if (m_hovered)
        return;
    radioPanel(); // a panel named in the form is found before its popup is built
    m_hovered = true;
    update();
    if (m_createPopup)
        ShowPopup();
    if (relayed || !boardImage())
        return;
    for (TBoardHighlight *linked : linkedHotspots())
        linked->MouseEntry(true);
}

void TBoardHighlight::MouseLeave(bool relayed)
{
    if (!m_hovered)
        return;
    if (m_popup && !m_held) {
        if (m_popup->outerRect().contains(QCursor::pos())) {
            m_popup->setCloseOnLeave(true);
            Hold();
        } else {
            closePopup();
        }
    } else if (!m_popup && !m_createPopup && !linkedPopupOpen()) {
        // Without a popup nothing else would ever turn the ring off again;
        // an open popup of a linked hotspot unlights it when it closes.
        Unlight();
    }
    if (relayed || !boardImage())
        return;
    for (TBoardHighlight *linked : linkedHotspots())
        linked->MouseLeave(true);
}

bool TBoardHighlight::linkedPopupOpen() const
{
    const auto linked = linkedHotspots();
    for (const TBoardHighlight *hotspot : linked) {
        if (hotspot->m_popup && hotspot->m_popup->isVisible())
            return true;
    }
    return false;
}

void TBoardHighlight::click()
{
    emit clicked();
    Hold();
}

void TBoardHighlight::Hold()
{
    // A popup closed while the pointer stayed on the hotspot is not held by
    // a click: its entry would show a check mark for a closed popup.
    if (m_popup && m_popup->isVisible()) {
        m_held = true;
        CheckMenuEntry(true);
    }
    if (!boardImage())
        return;
    for (TBoardHighlight *linked : linkedHotspots()) {
        TPopupForm *popup = linked->m_popup;
        if (!popup || !popup->isVisible())
            continue;
        linked->m_held = true;
        linked->CheckMenuEntry(true);
        popup->raise();
        if (QGuiApplication::applicationState() == Qt::ApplicationActive)
            popup->activateWindow();
    }
}

void TBoardHighlight::SetPopupActive(bool active, bool relay)
{
    m_popupActive = active;
    raise();
    update();
    if (!relay || !boardImage())
        return;
    QWidget *parent = parentWidget();
    // Raising a hotspot moves it to the end of the child list: a raised one
    // keeps the index and shortens the walk, so each child is seen once.
    int index = 0;
    int count = parent->children().size();
    while (index < count) {
        QObject *child = parent->children().at(index);
        if (child != this && isExactHighlight(child) &&
            isLinkedTo(static_cast<TBoardHighlight *>(child))) {
            static_cast<TBoardHighlight *>(child)->SetPopupActive(active, false);
            --count;
        } else {
            ++index;
        }
    }
}

void TBoardHighlight::PopupClosed()
{
    CheckMenuEntry(false);
    if (m_popup)
        m_popup->setCloseOnLeave(false);
    Unlight();
    if (!boardImage())
        return;
    for (TBoardHighlight *linked : linkedHotspots()) {
        if (linked != this)
            linked->Unlight();
    }
}

void TBoardHighlight::Unlight()
{
    m_hovered = false;
    update();
}

void TBoardHighlight::closePopup()
{
    if (m_popup)
        m_popup->close();
}

void TBoardHighlight::ShowPopup()
{
    if (m_popup) {
        if (m_popup->isHidden())
            m_held = false;
        showPopupWindow();
        return;
    }
    // A linked hotspot already owns the popup of this caption and type. Any
    // window counts, hidden or not; menus and tooltips are not windows here.
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        const Qt::WindowType type = window->windowType();
        if (type != Qt::Window && type != Qt::Dialog && type != Qt::Tool)
            continue;
        // A window without a Tag has Tag 0.
        if (window->windowTitle() == m_popupCaption &&
            window->property("Tag").toInt() == int(m_highlightType))
            return;
    }
    buildPopup();
}

void TBoardHighlight::buildPopup()
{
    TPopupForm *popup = createPopupWindow();
    // Sizes and places below are the outer window's, frame and caption included.
    const QMargins frame = ExpectedFrameMargins(popup);
    TRadioPanel *panel = m_radioPanel;
    const int memoHeight = panel ? panel->memoHeight() : PopupGeometry::MemoHeight;
    const QPoint remembered = panel ? panel->pos() : QPoint(0, 0);
    if (panel)
        adoptPanel(popup, panel);
    else
        popup->resize(PopupGeometry::OuterWidth - (frame.left() + frame.right()),
                      PopupGeometry::BareOuterHeight - (frame.top() + frame.bottom()));
    const QSize inner = popup->size();
    const QSize client = settlePopupSize(popup, frame);
    QPushButton *done = addPopupControls(popup, client, memoHeight);
    if (panel) {
        auto *memo = popup->findChild<QPlainTextEdit *>(QStringLiteral("StatusMemo"));
        memo->setPlainText(panel->lines().join(QLatin1Char('\n')));
        panel->setStatusMemo(memo);
    }

    // Keep the whole window on the primary screen, clear of panels.
    const QSize wanted = panel ? QSize() : client.grownBy(frame);
    const QPoint place = popupPlace(remembered);
    QPoint pos = place;
    if (QScreen *screen = QGuiApplication::primaryScreen())
        pos = PopupGeometry::KeepOnScreen(pos, client.grownBy(frame), screen->availableGeometry());
    PlaceOuterRect(popup, pos, client, frame);

    showPopupWindow();
    if (panel)
        panel->setFocus();
    else
        done->setFocus();
    // The frame may differ from the one expected: the outer sizes still hold, the corner stays.
    WhenFramed(popup, [this, popup, frame, inner, wanted, place](const QMargins &real) {
        if (real != frame && popup == m_popup)
            refitPopup(real, wanted.isValid() ? wanted : inner.grownBy(real), place);
    });
}

void TBoardHighlight::refitPopup(const QMargins &frame, QSize outer, QPoint pos)
{
    outer = outer.expandedTo(QSize(PopupGeometry::OuterWidth, PopupGeometry::LeastOuterHeight));
    const QSize client = outer.shrunkBy(frame);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        pos = PopupGeometry::KeepOnScreen(pos, outer, screen->availableGeometry());
    m_popup->setMinimumSize(QSize(0, 0));
    // By the client area, the frame now known: Qt's own idea of the frame may be stale, and a
    // window manager that draws less than its frame window (mutter) would leave it wrong.
    m_popup->setGeometry(QRect(pos + QPoint(frame.left(), frame.top()), client));
    m_popup->setMinimumSize(client);
}

TPopupForm *TBoardHighlight::createPopupWindow()
{
    auto *popup = new TPopupForm(this);
    m_popup = popup;
    connect(popup, &TPopupForm::activeChanged, this,
            [this](bool active) { SetPopupActive(active, true); });
    connect(popup, &TPopupForm::closed, this, &TBoardHighlight::PopupClosed);
    m_held = false;
    return popup;
}

void TBoardHighlight::adoptPanel(TPopupForm *popup, TRadioPanel *panel)
{
    connect(popup, &TPopupForm::OnActivate, panel, &TRadioPanel::OnActivate);
    connect(popup, &TPopupForm::OnDeactivate, panel, &TRadioPanel::OnDeactivate);
    popup->resize(panel->width(), panel->height() + PopupGeometry::PanelToMemo +
                                      panel->memoHeight() + PopupGeometry::BelowMemo);
    panel->setParent(popup);
    panel->move(0, 0);
    panel->show();
    // Anchored at this size, so a panel anchored right or bottom grows with the minimum size
    // below.
    panel->enterPopup();
}

QSize TBoardHighlight::settlePopupSize(TPopupForm *popup, const QMargins &frame)
{
    popup->setWindowTitle(m_popupCaption);
    const QSize outer = popup->size().grownBy(frame).expandedTo(
        QSize(PopupGeometry::OuterWidth, PopupGeometry::LeastOuterHeight));
    const QSize client = outer.shrunkBy(frame);
    popup->resize(client);
    // The popup may grow but not shrink below what it was built at.
    popup->setMinimumSize(client);
    popup->setTag(int(m_highlightType));
    return client;
}

QPoint TBoardHighlight::popupPlace(QPoint remembered) const
{
    // Centring has moved the board image from where the layout put it; the panels' layout
    // positions move with it.
    QWidget *parent = parentWidget();
    TBoardImage *board = boardImage();
    if (m_radioPanel && board)
        return remembered +
               QPoint(board->x() - board->designLeft(), board->y() - board->designTop());
    if (m_radioPanel)
        return parent ? parent->pos() : QPoint();
    if (parent)
        return QPoint(parent->x(), parent->y() + parent->height() + PopupGeometry::BelowParent);
    return QPoint();
}

QPushButton *TBoardHighlight::addPopupControls(TPopupForm *popup, const QSize &client,
                                               int memoHeight)
{
    using namespace PopupGeometry;
    using A = TAnchorKinds;
    TAnchorLayout *anchors = TAnchorLayout::Of(popup);
    const int cw = client.width();
    const int ch = client.height();

    auto *status = new QStatusBar(popup);
    status->setObjectName(QStringLiteral("PopupStatus"));
    status->setStyleSheet(QStringLiteral("QStatusBar::item { border: none; }"));
    status->setGeometry(0, ch - StatusHeight, cw, StatusHeight);
    popup->setPopupStatus(status);
    anchors->setAnchors(status, A::akLeft | A::akRight | A::akBottom);

    const int buttonTop = ch - StatusHeight - ButtonHeight;
    addPopupButton(popup, QStringLiteral("Previous"),
                   QRect(Gap, buttonTop, ButtonWidth, ButtonHeight), A::akLeft | A::akBottom,
                   &TBoardHighlight::PreviousClick);
    addPopupButton(popup, QStringLiteral("Next"),
                   QRect((cw - ButtonWidth) / 2, buttonTop, ButtonWidth, ButtonHeight), A::akBottom,
                   &TBoardHighlight::NextClick);
    QPushButton *done =
        addPopupButton(popup, QStringLiteral("Done"),
                       QRect(cw - Gap - ButtonWidth, buttonTop, ButtonWidth, ButtonHeight),
                       A::akRight | A::akBottom, &TBoardHighlight::DoneClick);

    auto *memo = new QPlainTextEdit(popup);
    memo->setObjectName(QStringLiteral("StatusMemo"));
    memo->setAccessibleName(m_popupCaption + QStringLiteral(" information"));
    memo->setReadOnly(true);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setGeometry(Gap, buttonTop - Gap - memoHeight, cw - 2 * Gap, memoHeight);
    anchors->setAnchors(memo, A::akLeft | A::akTop | A::akRight | A::akBottom);
    return done;
}

QPushButton *TBoardHighlight::addPopupButton(TPopupForm *popup, const QString &text,
                                             const QRect &geometry, TAnchorKinds::TAnchors anchors,
                                             void (TBoardHighlight::*handler)())
{
    auto *button = new QPushButton(text, popup);
    button->setObjectName(text + QStringLiteral("Button"));
    button->setGeometry(geometry);
    TAnchorLayout::Of(popup)->setAnchors(button, anchors);
    connect(button, &QPushButton::clicked, this, handler);
    return button;
}

void TBoardHighlight::showPopupWindow()
{
    // Pointing at a ring while another program has the keyboard must leave it there.
    if (QGuiApplication::applicationState() != Qt::ApplicationActive) {
        ShowWithoutKeyboard(m_popup);
        m_popup->raise();
        return;
    }
    m_popup->setAttribute(Qt::WA_ShowWithoutActivating, false);
    ShowOutOfTaskBar(m_popup);
    m_popup->raise();
    m_popup->activateWindow();
}

void TBoardHighlight::DoneClick()
{
    closePopup();
}

void TBoardHighlight::RegisterMenuEntry()
{
    if (!m_menu)
        return;
    if (THotspotMenuEntry *entry = HotspotMenu::RegisterEntry(m_menu, this, this))
        connect(entry, &THotspotMenuEntry::picked, this, &TBoardHighlight::MenuEntryClick);
}

void TBoardHighlight::CheckMenuEntry(bool checked)
{
    if (!m_menu)
        return;
    if (QAction *entry = HotspotMenu::FindEntry(m_menu, this))
        entry->setChecked(checked);
}

void TBoardHighlight::MenuEntryClick(QObject *sender)
{
    auto *item = qobject_cast<QAction *>(sender);
    if (item && item->isChecked()) {
        if (m_popup) {
            closePopup();
            return;
        }
        for (TBoardHighlight *linked : linkedHotspots()) {
            if (linked != this && linked->m_popup)
                linked->MenuEntryClick(sender);
        }
        return;
    }
    MouseEntry(false);
    Hold();
    MouseLeave(false);
}

void TBoardHighlight::PreviousClick()
{
    navigate(false);
}

void TBoardHighlight::NextClick()
{
    navigate(true);
}

void TBoardHighlight::navigate(bool forward)
{
    if (!m_menu)
        return;
    THotspotMenuEntry *neighbour = HotspotMenu::Neighbour(m_menu, this, forward);
    if (!neighbour)
        return;
    QPointer<TBoardHighlight> target = qobject_cast<TBoardHighlight *>(neighbour->hotspot());
    closePopup();
    if (target)
        target->MenuEntryClick(this);
}
