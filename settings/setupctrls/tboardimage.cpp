#include "tboardimage.h"

#include "setupdesign.h"
#include "tboardhighlight.h"

#include <QImageReader>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QResizeEvent>

#include <cmath>

TBoardImage::TBoardImage(QWidget *parent) : QWidget(parent)
{
    resize(105, 105);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    watchParent();
}

TBoardImage::~TBoardImage() = default;

TBoardHighlight *TBoardImage::first() const
{
    return m_first.get(this, "First");
}

void TBoardImage::setFirst(TBoardHighlight *first)
{
    m_first.set(first);
}

void TBoardImage::setFirst(const QString &name)
{
    m_first.setName(name);
}

QString TBoardImage::firstName() const
{
    return m_first.name();
}

QMenuBar *TBoardImage::menu() const
{
    return m_menu.get(this, "Menu");
}

void TBoardImage::setMenu(QMenuBar *menu)
{
    m_menu.set(menu);
}

void TBoardImage::setMenu(const QString &name)
{
    m_menu.setName(name);
}

QString TBoardImage::menuName() const
{
    return m_menu.name();
}

void TBoardImage::setCenterOnForm(bool on)
{
    if (m_centerOnForm == on)
        return;
    m_centerOnForm = on;
    if (on && isVisible())
        CenterNow();
}

void TBoardImage::setScale(bool on)
{
    if (m_scale == on)
        return;
    m_scale = on;
    PictureChanged();
}

void TBoardImage::setCenter(bool on)
{
    if (m_center == on)
        return;
    m_center = on;
    PictureChanged();
}

void TBoardImage::setStretch(bool on)
{
    if (m_stretch == on)
        return;
    m_stretch = on;
    PictureChanged();
}

void TBoardImage::setTransparent(bool on)
{
    if (m_transparent == on)
        return;
    m_transparent = on;
    PictureChanged();
}

void TBoardImage::setAutoSize(bool on)
{
    if (m_autoSize == on)
        return;
    m_autoSize = on;
    if (on)
        resize(autoSizeFor(size()));
}

void TBoardImage::setPicture(const QImage &image, TPicture::TGraphicKind kind)
{
    setPicture(TPicture(image, image.isNull() ? TPicture::gkNone : kind));
}

void TBoardImage::setPicture(const TPicture &picture)
{
    // A picture given directly replaces the one a form named, unread.
    m_pictureSourcePending = false;
    m_picture = picture;
    PictureChanged();
}

void TBoardImage::setPicture(const QString &source)
{
    if (source == m_pictureSource)
        return;
    m_pictureSource = source;
    m_pictureSourcePending = !source.isEmpty();
    if (testAttribute(Qt::WA_WState_Polished))
        readPictureSource();
}

void TBoardImage::readPictureSource()
{
    if (!m_pictureSourcePending)
        return;
    m_pictureSourcePending = false;
    QImageReader reader(m_pictureSource);
    const QImage image = reader.read();
    // A form editor registers the form's resources only once the form is open: try again later.
    if (image.isNull() && SetupDesign::IsDesigned(this)) {
        m_pictureSourcePending = true;
        return;
    }
    if (image.isNull())
        qWarning("%s: Picture \"%s\" could not be read: %s", qPrintable(objectName()),
                 qPrintable(m_pictureSource), qPrintable(reader.errorString()));
    const bool jpeg = reader.format() == "jpeg";
    setPicture(TPicture(image, image.isNull() ? TPicture::gkNone
                                              : (jpeg ? TPicture::gkJpeg : TPicture::gkBitmap)));
}

const TPicture &TBoardImage::picture() const
{
    const_cast<TBoardImage *>(this)->readPictureSource();
    return m_picture;
}

double TBoardImage::aspectRatio() const
{
    const_cast<TBoardImage *>(this)->readPictureSource();
    return m_aspectRatio;
}

bool TBoardImage::isOpaque() const
{
    return testAttribute(Qt::WA_OpaquePaintEvent);
}

void TBoardImage::PictureChanged()
{
    const int pw = m_picture.width();
    const int ph = m_picture.height();
    if (pw > 0 && ph > 0) {
        const double ratio = double(ph) / double(pw);
        m_aspectRatio = std::isfinite(ratio) ? ratio : 1.0;
    }
    if (m_autoSize && pw > 0 && ph > 0)
        resize(pw, ph);
    designScale();
    if (m_picture.hasGraphic()) {
        const auto kind = m_picture.kind();
        if (kind != TPicture::gkMetafile && kind != TPicture::gkIcon)
            m_picture.setTransparent(m_transparent);
        // No background erase under a picture that covers the whole client
        // area: the photograph would flicker on every repaint otherwise.
        const bool covers = m_stretch || (pw >= width() && ph >= height());
        setAttribute(Qt::WA_OpaquePaintEvent, !m_picture.transparent() && covers);
        // Palette realisation has nothing to do on true-colour displays.
    } else {
        setAttribute(Qt::WA_OpaquePaintEvent, false);
    }
    if (!m_drawing)
        update();
}

QRect TBoardImage::DestRect() const
{
    if (m_stretch)
        return rect();
    const int pw = m_picture.width();
    const int ph = m_picture.height();
    if (m_center)
        return QRect((width() - pw) / 2, (height() - ph) / 2, pw, ph);
    return QRect(0, 0, pw, ph);
}

QSize TBoardImage::autoSizeFor(const QSize &proposed) const
{
    // An empty picture would shrink the control to nothing.
    if (!picture().hasGraphic())
        return proposed;
    return picture().image().size();
}

QSize TBoardImage::sizeHint() const
{
    if (picture().hasGraphic() && !picture().image().isNull())
        return picture().image().size();
    return QSize(105, 105);
}

void TBoardImage::recordDesignPosition()
{
    if (m_designPositionRecorded)
        return;
    m_designLeft = x();
    m_designTop = y();
    m_designPositionRecorded = true;
}

QSize TBoardImage::parentOuterSize() const
{
    QWidget *parent = parentWidget();
    if (!parent)
        return QSize();
    if (parent->isWindow())
        return parent->frameGeometry().size();
    // On a main window the central widget is the client area: measure the window.
    auto *mainWindow = qobject_cast<QMainWindow *>(parent->parentWidget());
    if (mainWindow && mainWindow->centralWidget() == parent)
        return mainWindow->frameGeometry().size();
    return parent->size();
}

void TBoardImage::designScale()
{
    if (!m_scale || !SetupDesign::IsDesigned(this))
        return;
    // Rounded half to even.
    const int height = int(std::nearbyint(width() * m_aspectRatio));
    if (height != this->height())
        resize(width(), height);
}

void TBoardImage::CenterNow()
{
    // In a form editor the image stays where the designer puts it.
    if (!m_centerOnForm || !parentWidget() || SetupDesign::IsDesigned(this))
        return;
    recordDesignPosition();
    const QSize outer = parentOuterSize();
    move((outer.width() - width()) / 2, (outer.height() - height()) / 2);
}

void TBoardImage::watchParent()
{
    QWidget *parent = parentWidget();
    QWidget *topLevel = parent ? parent->window() : nullptr;
    if (m_watchedParent != parent) {
        if (m_watchedParent)
            m_watchedParent->removeEventFilter(this);
        m_watchedParent = parent;
        if (parent)
            parent->installEventFilter(this);
    }
    if (m_watchedWindow != topLevel) {
        if (m_watchedWindow && m_watchedWindow != m_watchedParent)
            m_watchedWindow->removeEventFilter(this);
        m_watchedWindow = topLevel;
        if (topLevel && topLevel != parent)
            topLevel->installEventFilter(this);
    }
}

bool TBoardImage::event(QEvent *event)
{
    if (event->type() == WM_STARTTOUR) {
        StartTour();
        return true;
    }
    if (event->type() == QEvent::ParentChange)
        watchParent();
    if (event->type() == QEvent::Polish)
        readPictureSource();
    return QWidget::event(event);
}

bool TBoardImage::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == m_watchedParent || watched == m_watchedWindow) &&
        event->type() == QEvent::Resize && isVisible())
        CenterNow();
    return QWidget::eventFilter(watched, event);
}

void TBoardImage::showEvent(QShowEvent *event)
{
    watchParent();
    CenterNow();
    QWidget::showEvent(event);
}

void TBoardImage::resizeEvent(QResizeEvent *event)
{
    designScale();
    if (isVisible())
        CenterNow();
    QWidget::resizeEvent(event);
}

void TBoardImage::paintEvent(QPaintEvent *)
{
    recordDesignPosition();
    struct DrawingScope
    {
        bool &flag;
        bool saved;
        explicit DrawingScope(bool &f) : flag(f), saved(f) { flag = true; }
        ~DrawingScope() { flag = saved; }
    } scope(m_drawing);
    if (SetupDesign::IsDesigned(this))
        QMetaObject::invokeMethod(this, &TBoardImage::readPictureSource, Qt::QueuedConnection);
    QPainter painter(this);
    if (SetupDesign::IsDesigned(this)) {
        painter.setPen(QPen(palette().color(QPalette::WindowText), 0, Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    if (!m_picture.hasGraphic())
        return;
    m_picture.draw(painter, DestRect());
}

void TBoardImage::StartTour()
{
    TBoardHighlight *first = this->first();
    if (!first)
        return;
    first->MouseEntry(false);
    first->click();
    first->MouseLeave(false);
}
