#include "tjumper.h"

#include <QAccessible>
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

constexpr uint ButtonFaceColor = 0x8000000F;
constexpr uint BlackColor = 0x000000;

bool isHorizontal(TJumperBase::TOrientationType o)
{
    return o == TJumperBase::otUp || o == TJumperBase::otDown;
}

// Only a content panel of exactly that class counts, not a derived one.
bool onRadioPanel(const QWidget *w)
{
    const QWidget *p = w->parentWidget();
    return p && qstrcmp(p->metaObject()->className(), "TRadioPanel") == 0;
}

// Pixel (x, y) belongs to the shape when its centre lies inside the
// rectangle [l, r) x [t, b) with elliptic corners of radii rx, ry. Working
// from pixel centres keeps every shape symmetric and inside its box, which
// Qt's aliased path rasterizer does not guarantee for curves.
bool insideShape(const QRect &box, double rx, double ry, int x, int y)
{
    const double l = box.left(), t = box.top();
    const double r = box.left() + box.width(), b = box.top() + box.height();
    const double xc = x + 0.5, yc = y + 0.5;
    if (xc < l || xc > r || yc < t || yc > b)
        return false;
    if (rx <= 0 || ry <= 0)
        return true;
    double dx = 0, dy = 0;
    if (xc < l + rx)
        dx = xc - (l + rx);
    else if (xc > r - rx)
        dx = xc - (r - rx);
    if (yc < t + ry)
        dy = yc - (t + ry);
    else if (yc > b - ry)
        dy = yc - (b - ry);
    return (dx / rx) * (dx / rx) + (dy / ry) * (dy / ry) <= 1.0;
}

// Fills a rectangle, rounded rectangle or ellipse given as (left, top,
// right, bottom) with the right column and bottom row excluded. The 1 px
// outline is the shape's own edge (pixels with a 4-neighbour outside), so
// the figure never grows beyond its box; no pen means the fill covers it all.
// On a picture of a higher device pixel ratio the shape is scaled by that
// ratio and so is the outline's width: a sharp copy of the same figure.
void drawShape(QImage &picture, int l, int t, int r, int b, double rx, double ry,
               const std::optional<QColor> &pen, const QColor &brush)
{
    if (r <= l || b <= t)
        return;
    const qreal ratio = picture.devicePixelRatio();
    int outlineWidth = 1;
    if (ratio != 1) {
        const auto scaled = [ratio](int v) { return qRound(v * ratio); };
        l = scaled(l);
        t = scaled(t);
        r = scaled(r);
        b = scaled(b);
        rx *= ratio;
        ry *= ratio;
        outlineWidth = std::max(1, qRound(ratio));
    }
    const QRect box(l, t, r - l, b - t);
    const QRgb fill = brush.rgb();
    const QRgb outline = pen ? pen->rgb() : fill;
    // Shapes may reach past the picture (a pin on a tiny jumper): only its own pixels are set.
    const QRect clip = box.intersected(picture.rect());
    for (int y = clip.top(); y <= clip.bottom(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = clip.left(); x <= clip.right(); ++x) {
            if (!insideShape(box, rx, ry, x, y))
                continue;
            bool edge = false;
            for (int k = 1; k <= outlineWidth && !edge; ++k)
                edge = !insideShape(box, rx, ry, x - k, y) || !insideShape(box, rx, ry, x + k, y) ||
                       !insideShape(box, rx, ry, x, y - k) || !insideShape(box, rx, ry, x, y + k);
            row[x] = edge ? outline : fill;
        }
    }
}

} // namespace

TJumperBase::TJumperBase(QWidget *parent) : QWidget(parent) {}

void TJumperBase::announceState(bool checkedChanged)
{
    // The accessible name carries the state, so a screen reader hears every change.
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent nameChanged(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&nameChanged);
    if (!checkedChanged)
        return;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent stateChanged(this, changed);
    QAccessible::updateAccessibility(&stateChanged);
}

TJumperBase::~TJumperBase() = default;

void TJumperBase::setBaseColor(uint color)
{
    if (color == m_baseColor)
        return;
    m_baseColor = color;
    pictureChanged();
}

void TJumperBase::setPinColor(uint color)
{
    if (color == m_pinColor)
        return;
    m_pinColor = color;
    pictureChanged();
}

void TJumperBase::setJumperColor(uint color)
{
    if (color == m_jumperColor)
        return;
    m_jumperColor = color;
    pictureChanged();
}

void TJumperBase::setOrientation(TOrientationType orientation)
{
    if (orientation == m_orientation)
        return;
    if (isHorizontal(orientation) != isHorizontal(m_orientation))
        m_swapPending = true;
    m_orientation = orientation;
    pictureChanged();
    announceState();
}

void TJumperBase::setBorderStyle(TBorderStyle style)
{
    if (style == m_borderStyle)
        return;
    m_borderStyle = style;
    pictureChanged();
}

QColor TJumperBase::toQColor(uint bgr)
{
    if (bgr & 0x80000000u) {
        const QPalette pal = QApplication::palette();
        switch (bgr & 0xFF) {
        case 5: // window background
            return pal.color(QPalette::Base);
        case 15: // button face
            return pal.color(QPalette::Button);
        default:
            return pal.color(QPalette::Window);
        }
    }
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

int TJumperBase::roundHalfEven(double value)
{
    const double f = std::floor(value);
    const double d = value - f;
    if (d > 0.5)
        return int(f) + 1;
    if (d < 0.5)
        return int(f);
    return (int(f) % 2 == 0) ? int(f) : int(f) + 1;
}

QColor TJumperBase::outlineColor(uint fill) const
{
    return toQColor(m_borderStyle == bsSingle ? BlackColor : fill);
}

void TJumperBase::composeBitmaps()
{
    const bool horizontal = isHorizontal(m_orientation);
    const int w = horizontal ? width() : height();
    const int h = horizontal ? height() : width();
    // The geometry stays in logical pixels; on a high-DPI screen the pictures hold the device
    // pixels, and the shapes scale themselves to them.
    const qreal ratio = devicePixelRatioF();
    const QSize deviceSize(std::max(qRound(w * ratio), 0), std::max(qRound(h * ratio), 0));

    if (m_upright.size() != deviceSize)
        m_upright = QImage(deviceSize, QImage::Format_RGB32);
    if (m_upright.isNull()) {
        m_rotated = QImage();
        return;
    }
    m_upright.setDevicePixelRatio(ratio);

    // The panel's own colour, so the picture blends into the popup; anywhere else the button
    // face.
    const QColor background =
        onRadioPanel(this) ? parentWidget()->palette().color(parentWidget()->backgroundRole())
                           : toQColor(ButtonFaceColor);
    m_upright.fill(background.rgb());
    drawUpright(m_upright, w, h);

    const int pw = m_upright.width();
    const int ph = m_upright.height();
    const QSize rotatedSize = horizontal ? QSize(pw, ph) : QSize(ph, pw);
    if (m_rotated.size() != rotatedSize)
        m_rotated = QImage(rotatedSize, QImage::Format_RGB32);
    m_rotated.setDevicePixelRatio(ratio);

    if (m_orientation == otUp) {
        m_rotated = m_upright.copy();
        return;
    }
    uchar *const bits = m_rotated.bits();
    const qsizetype stride = m_rotated.bytesPerLine();
    const auto at = [bits, stride](int x, int y) -> QRgb & {
        return reinterpret_cast<QRgb *>(bits + y * stride)[x];
    };
    for (int y = 0; y < ph; ++y) {
        const QRgb *src = reinterpret_cast<const QRgb *>(m_upright.constScanLine(y));
        for (int x = 0; x < pw; ++x) {
            switch (m_orientation) {
            case otDown:
                at(pw - 1 - x, ph - 1 - y) = src[x];
                break;
            case otLeft:
                at(y, pw - 1 - x) = src[x];
                break;
            case otRight:
                at(ph - 1 - y, x) = src[x];
                break;
            case otUp:
                break;
            }
        }
    }
}

QImage TJumperBase::composedPicture()
{
    composeBitmaps();
    return m_rotated;
}

void TJumperBase::swapSize()
{
    resize(height(), width());
}

void TJumperBase::pictureChanged()
{
    if (!isVisible())
        return;
    composeBitmaps();
    update();
}

bool TJumperBase::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    // Moving to a screen of another pixel ratio needs a picture of that many device pixels.
    if (event->type() == QEvent::ScreenChangeInternal)
        pictureChanged();
    return handled;
}

void TJumperBase::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // The background is the panel's colour in its current colour group, or the button face.
    switch (event->type()) {
    case QEvent::ParentChange:
    case QEvent::PaletteChange:
    case QEvent::ApplicationPaletteChange:
    case QEvent::StyleChange:
    case QEvent::EnabledChange:
    case QEvent::ActivationChange:
        pictureChanged();
        break;
    default:
        break;
    }
}

void TJumperBase::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    composeBitmaps();
}

void TJumperBase::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // What changed while hidden, and the pixel ratio of the screen it now shows on.
    composeBitmaps();
}

void TJumperBase::settlePaintState()
{
    if (m_swapPending) {
        m_swapPending = false;
        // Resizing from inside a paint would fight the paint cycle; the
        // resize repaints the control in its new shape.
        if (m_paintedOnce)
            QTimer::singleShot(0, this, &TJumperBase::swapSize);
    }
    m_paintedOnce = true;
}

void TJumperBase::paintEvent(QPaintEvent *)
{
    settlePaintState();
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), m_rotated);
}

void TJumperBase::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_leftPressed = true;
    QWidget::mousePressEvent(event);
}

void TJumperBase::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const bool wasPressed = m_leftPressed;
        m_leftPressed = false;
        if (wasPressed && rect().contains(event->position().toPoint()))
            click();
    }
    QWidget::mouseReleaseEvent(event);
}

void TJumperBase::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double-click is not the start of a click,
    // whether it arrives as this event alone or after a plain press.
    m_leftPressed = false;
    event->accept();
}

// --- TTwoJumper ----------------------------------------------------------

TTwoJumper::TTwoJumper(QWidget *parent) : TJumperBase(parent)
{
    resize(34, 18);
}

void TTwoJumper::setClosed(bool closed)
{
    if (closed == m_closed)
        return;
    m_closed = closed;
    pictureChanged();
    announceState(true);
}

void TTwoJumper::click()
{
    // A panel hears of its jumpers once they are polished; a jumper clicked
    // before it was ever shown gets there now.
    ensurePolished();
    setClosed(!m_closed);
    emit toggledByClick();
    emit clicked();
}

void TTwoJumper::drawUpright(QImage &picture, int w, int h)
{
    if (m_closed) {
        drawShape(picture, 0, 0, w, h, 0, 0, outlineColor(jumperColor()), toQColor(jumperColor()));
    } else {
        const double radius = (h / 2) / 2.0;
        drawShape(picture, 1, 1, w - 1, h - 1, radius, radius, outlineColor(baseColor()),
                  toQColor(baseColor()));
    }

    const int a = roundHalfEven(w / 3.5);
    const int e = a + 1;
    const int r = std::min(a / 3, roundHalfEven(h / 4.0));
    const int cy = h / 2;
    for (int c : {e, w - e})
        drawShape(picture, c - r, cy - r, c + r, cy + r, r, r, std::nullopt, toQColor(pinColor()));
}

// --- TThreeJumper --------------------------------------------------------

TThreeJumper::TThreeJumper(QWidget *parent) : TJumperBase(parent)
{
    resize(43, 18);
}

void TThreeJumper::setJumperState(TJumperState state)
{
    if (state == m_state)
        return;
    if (state == jsOpen && !m_allowOpen)
        return;
    m_state = state;
    pictureChanged();
    announceState();
}

void TThreeJumper::setAllowOpen(bool allow)
{
    if (allow == m_allowOpen)
        return;
    m_allowOpen = allow;
    if (!m_allowOpen && m_state == jsOpen)
        setJumperState(jsLeft);
    pictureChanged();
}

void TThreeJumper::click()
{
    switch (m_state) {
    case jsOpen:
        setJumperState(jsLeft);
        break;
    case jsLeft:
        setJumperState(jsRight);
        break;
    case jsRight:
        setJumperState(m_allowOpen ? jsOpen : jsLeft);
        break;
    }
    emit clicked();
}

void TThreeJumper::drawUpright(QImage &picture, int w, int h)
{
    const double radius = (h / 2) / 2.0;
    drawShape(picture, 1, 1, w - 1, h - 1, radius, radius, outlineColor(baseColor()),
              toQColor(baseColor()));

    const int a = roundHalfEven((w - 2) / 4.5);
    const int p = a + 1;
    const int r = std::min(a / 3, roundHalfEven((h - 2) / 4.0));
    const int cx = w / 2;
    const int cy = h / 2;
    const int q = cx - p + 2;

    // The shunt keeps a black outline whatever the border style.
    const QColor shunt = toQColor(jumperColor());
    if (m_state == jsLeft)
        drawShape(picture, 0, 0, cx + q / 2, h, 0, 0, toQColor(BlackColor), shunt);
    else if (m_state == jsRight)
        drawShape(picture, cx - q / 2, 0, w, h, 0, 0, toQColor(BlackColor), shunt);

    for (int c : {p, cx, w - p})
        drawShape(picture, c - r, cy - r, c + r, cy + r, r, r, std::nullopt, toQColor(pinColor()));
}
