#include "tjumper.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr uint ButtonFaceColor = 0x8000000F;
constexpr uint BlackColor = 0x000000;

bool isHorizontal(TJumperBase::TOrientationType o)
{
    return o == TJumperBase::otUp || o == TJumperBase::otDown;
}

// The panel class is matched by name so that the jumpers need not know it
// (a derived panel does not count).
bool parentIsRadioPanel(const QWidget *w)
{
    const QWidget *p = w->parentWidget();
    return p && qstrcmp(p->metaObject()->className(), "TRadioPanel") == 0;
}

} // namespace

TJumperBase::TJumperBase(QWidget *parent) : QWidget(parent) {}

TJumperBase::~TJumperBase() = default;

void TJumperBase::setBaseColor(uint color)
{
    if (color == m_baseColor)
        return;
    m_baseColor = color;
    update();
}

void TJumperBase::setPinColor(uint color)
{
    if (color == m_pinColor)
        return;
    m_pinColor = color;
    update();
}

void TJumperBase::setJumperColor(uint color)
{
    if (color == m_jumperColor)
        return;
    m_jumperColor = color;
    update();
}

void TJumperBase::setOrientation(TOrientationType orientation)
{
    if (orientation == m_orientation)
        return;
    if (isHorizontal(orientation) != isHorizontal(m_orientation))
        m_swapPending = true;
    m_orientation = orientation;
    update();
}

void TJumperBase::setBorderStyle(TBorderStyle style)
{
    if (style == m_borderStyle)
        return;
    m_borderStyle = style;
    update();
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

    if (m_upright.size() != QSize(w, h))
        m_upright = QImage(std::max(w, 0), std::max(h, 0), QImage::Format_RGB32);
    if (m_upright.isNull()) {
        m_rotated = QImage();
        return;
    }

    {
        QPainter painter(&m_upright);
        painter.setRenderHint(QPainter::Antialiasing, false);
        // The panel's own colour, so the picture blends into the popup;
        // anywhere else the button face.
        const QColor background =
            parentIsRadioPanel(this)
                ? parentWidget()->palette().color(parentWidget()->backgroundRole())
                : toQColor(ButtonFaceColor);
        painter.fillRect(0, 0, w, h, background);
        drawUpright(painter, w, h);
    }

    const bool sameShape = horizontal;
    const QSize rotatedSize = sameShape ? QSize(w, h) : QSize(h, w);
    if (m_rotated.size() != rotatedSize)
        m_rotated = QImage(rotatedSize, QImage::Format_RGB32);

    if (m_orientation == otUp) {
        m_rotated = m_upright.copy();
        return;
    }
    for (int y = 0; y < h; ++y) {
        const QRgb *src = reinterpret_cast<const QRgb *>(m_upright.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            switch (m_orientation) {
            case otDown:
                m_rotated.setPixel(w - 1 - x, h - 1 - y, src[x]);
                break;
            case otLeft:
                m_rotated.setPixel(y, w - 1 - x, src[x]);
                break;
            case otRight:
                m_rotated.setPixel(h - 1 - y, x, src[x]);
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

void TJumperBase::paintEvent(QPaintEvent *)
{
    composeBitmaps();

    if (m_swapPending) {
        m_swapPending = false;
        // Resizing from inside a paint would fight the paint cycle; the
        // resize repaints the control in its new shape.
        if (m_paintedOnce)
            QTimer::singleShot(0, this, &TJumperBase::swapSize);
    }

    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), m_rotated);
    m_paintedOnce = true;
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
    // The second press of a double-click is not the start of a click.
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
    update();
}

void TTwoJumper::click()
{
    setClosed(!m_closed);
    emit clicked();
}

void TTwoJumper::drawUpright(QPainter &painter, int w, int h)
{
    // Rectangles below are (left, top, right, bottom) with the right column
    // and bottom row excluded; a 1 px aliased pen covers one pixel more than
    // the QRect's width and height, hence the -1.
    if (m_closed) {
        painter.setPen(QPen(outlineColor(jumperColor()), 1));
        painter.setBrush(toQColor(jumperColor()));
        painter.drawRect(QRect(0, 0, w - 1, h - 1));
    } else {
        const qreal radius = (h / 2) / 2.0;
        painter.setPen(QPen(outlineColor(baseColor()), 1));
        painter.setBrush(toQColor(baseColor()));
        painter.drawRoundedRect(QRect(1, 1, w - 3, h - 3), radius, radius);
    }

    const int a = roundHalfEven(w / 3.5);
    const int e = a + 1;
    const int r = std::min(a / 3, roundHalfEven(h / 4.0));
    const int cy = h / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(toQColor(pinColor()));
    for (int c : {e, w - e})
        painter.drawEllipse(QRect(c - r, cy - r, 2 * r, 2 * r));
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
    update();
}

void TThreeJumper::setAllowOpen(bool allow)
{
    if (allow == m_allowOpen)
        return;
    m_allowOpen = allow;
    if (!m_allowOpen && m_state == jsOpen)
        setJumperState(jsLeft);
    update();
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

void TThreeJumper::drawUpright(QPainter &painter, int w, int h)
{
    const qreal radius = (h / 2) / 2.0;
    painter.setPen(QPen(outlineColor(baseColor()), 1));
    painter.setBrush(toQColor(baseColor()));
    painter.drawRoundedRect(QRect(1, 1, w - 3, h - 3), radius, radius);

    const int a = roundHalfEven((w - 2) / 4.5);
    const int p = a + 1;
    const int r = std::min(a / 3, roundHalfEven((h - 2) / 4.0));
    const int cx = w / 2;
    const int cy = h / 2;
    const int q = cx - p + 2;

    if (m_state != jsOpen) {
        // The shunt keeps a black outline whatever the border style.
        painter.setPen(QPen(toQColor(0x000000), 1));
        painter.setBrush(toQColor(jumperColor()));
        if (m_state == jsLeft)
            painter.drawRect(QRect(0, 0, cx + q / 2 - 1, h - 1));
        else
            painter.drawRect(QRect(cx - q / 2, 0, w - (cx - q / 2) - 1, h - 1));
    }

    painter.setPen(Qt::NoPen);
    painter.setBrush(toQColor(pinColor()));
    for (int c : {p, cx, w - p})
        painter.drawEllipse(QRect(c - r, cy - r, 2 * r, 2 * r));
}
