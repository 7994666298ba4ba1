#pragma once

#include "setupctrls_export.h"

#include "setupdesign.h"
#include "tboardhighlight.h"
#include "tpicture.h"

#include <QEvent>
#include <QMenuBar>
#include <QPointer>
#include <QWidget>

// Sent synchronously (QCoreApplication::sendEvent) to start the hotspot tour.
// A fixed number rather than a registered type, so every sender agrees on it.
constexpr QEvent::Type WM_STARTTOUR = QEvent::Type(QEvent::User + 162);

// The board photograph that carries the hotspots as its children. It keeps
// itself centred on its window and remembers where the layout put it, so
// popups can be placed relative to that position.
class SETUPCTRLS_EXPORT TBoardImage : public QWidget
{
    Q_OBJECT
    // References are stored as object names, resolved within the form once it has been built.
    Q_PROPERTY(QString First READ firstName WRITE setFirst)
    Q_PROPERTY(QString Menu READ menuName WRITE setMenu)
    Q_PROPERTY(bool CenterOnForm READ centerOnForm WRITE setCenterOnForm)
    Q_PROPERTY(bool Scale READ scale WRITE setScale)
    Q_PROPERTY(bool Center READ center WRITE setCenter)
    // A form stores the picture's resource path or file name; it is read only when the image is
    // first shown or asked for, so a program that sets its picture itself never decodes it.
    Q_PROPERTY(QString Picture READ pictureSource WRITE setPicture)
    Q_PROPERTY(bool Stretch READ stretch WRITE setStretch)
    Q_PROPERTY(bool Transparent READ transparent WRITE setTransparent)
    Q_PROPERTY(bool AutoSize READ autoSize WRITE setAutoSize)
    Q_PROPERTY(int Tag READ tag WRITE setTag)
    Q_PROPERTY(double AspectRatio READ aspectRatio)
    Q_PROPERTY(int DesignLeft READ designLeft)
    Q_PROPERTY(int DesignTop READ designTop)

public:
    explicit TBoardImage(QWidget *parent = nullptr);
    ~TBoardImage() override;

    TBoardHighlight *first() const;
    void setFirst(TBoardHighlight *first);
    void setFirst(const QString &name);
    QString firstName() const;
    QMenuBar *menu() const;
    void setMenu(QMenuBar *menu);
    void setMenu(const QString &name);
    QString menuName() const;
    bool centerOnForm() const { return m_centerOnForm; }
    void setCenterOnForm(bool on);
    bool scale() const { return m_scale; }
    void setScale(bool on);
    bool center() const { return m_center; }
    void setCenter(bool on);
    bool stretch() const { return m_stretch; }
    void setStretch(bool on);
    bool transparent() const { return m_transparent; }
    void setTransparent(bool on);
    bool autoSize() const { return m_autoSize; }
    void setAutoSize(bool on);
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    const TPicture &picture() const;
    QImage pictureImage() const { return picture().image(); }
    // Copies the graphic in; the settings program passes its decoded JPEG
    // with kind gkJpeg.
    void setPicture(const QImage &image, TPicture::TGraphicKind kind = TPicture::gkBitmap);
    void setPicture(const TPicture &picture);
    void setPicture(const QString &source);
    QString pictureSource() const { return m_pictureSource; }

    double aspectRatio() const;
    bool drawing() const { return m_drawing; }
    bool designPositionRecorded() const { return m_designPositionRecorded; }
    int designLeft() const { return m_designLeft; }
    int designTop() const { return m_designTop; }
    // Whether the background is left unerased before painting.
    bool isOpaque() const;

    // Rectangle in client coordinates into which the picture is drawn.
    QRect DestRect() const;
    // The size the control takes for its picture when AutoSize is on.
    QSize autoSizeFor(const QSize &proposed) const;
    // Moves the image to the centre of its parent's outer size now.
    void CenterNow();

    QSize sizeHint() const override;

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void PictureChanged();
    // Reads the picture a form named, once.
    void readPictureSource();
    void StartTour();
    void recordDesignPosition();
    QSize parentOuterSize() const;
    void watchParent();
    // Design mode: with Scale on the height follows the width.
    void designScale();

    TPicture m_picture;
    QString m_pictureSource;
    bool m_pictureSourcePending = false;
    bool m_stretch = false;
    bool m_center = false;
    bool m_transparent = false;
    bool m_drawing = false;
    double m_aspectRatio = 1.0;
    bool m_scale = true;
    mutable SetupDesign::TReference<QMenuBar> m_menu;
    bool m_centerOnForm = true;
    bool m_designPositionRecorded = false;
    mutable SetupDesign::TReference<TBoardHighlight> m_first;
    int m_designLeft = 0;
    int m_designTop = 0;
    bool m_autoSize = true;
    int m_tag = 0;
    QPointer<QWidget> m_watchedParent;
    QPointer<QWidget> m_watchedWindow;
};
