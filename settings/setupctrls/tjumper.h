#pragma once

#include "setupctrls_export.h"

#include <QImage>
#include <QWidget>

// Shared frame of the two jumper pictures: the jumper is drawn upright into
// UprightBitmap, turned pixel by pixel into RotatedBitmap, and that is what
// reaches the screen. The enumerations live here so that both
// TTwoJumper::otLeft and TThreeJumper::otLeft name them (uic qualifies enum
// values of a .ui with the widget's class).
class SETUPCTRLS_EXPORT TJumperBase : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int Tag READ tag WRITE setTag)

public:
    enum TOrientationType { otUp, otDown, otLeft, otRight };
    Q_ENUM(TOrientationType)
    enum TJumperState { jsOpen, jsLeft, jsRight };
    Q_ENUM(TJumperState)
    enum TBorderStyle { bsNone, bsSingle };
    Q_ENUM(TBorderStyle)

    explicit TJumperBase(QWidget *parent = nullptr);
    ~TJumperBase() override;

    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    // 0x00BBGGRR values, as stored in layouts.
    uint baseColor() const { return m_baseColor; }
    void setBaseColor(uint color);
    uint pinColor() const { return m_pinColor; }
    void setPinColor(uint color);
    uint jumperColor() const { return m_jumperColor; }
    void setJumperColor(uint color);
    TOrientationType orientation() const { return m_orientation; }
    void setOrientation(TOrientationType orientation);
    TBorderStyle borderStyle() const { return m_borderStyle; }
    void setBorderStyle(TBorderStyle style);

    bool swapPending() const { return m_swapPending; }
    bool paintedOnce() const { return m_paintedOnce; }

    // The picture as it reaches the screen, composed for the current size
    // and orientation (what the next paint copies). A hidden control gets its
    // pending size only when shown, so this composes anew.
    QImage composedPicture();
    const QImage &uprightBitmap() const { return m_upright; }
    const QImage &rotatedBitmap() const { return m_rotated; }

    // Called by a left-button press and release inside the control.
    virtual void click() = 0;

Q_SIGNALS:
    void clicked();

protected:
    // Draws body, shunt and pins upright on a W x H picture whose
    // background is already filled.
    virtual void drawUpright(QImage &picture, int w, int h) = 0;

    // Tells assistive technology that the state shown, and so the accessible name, changed;
    // checkedChanged when a two-pin jumper opened or closed.
    void announceState(bool checkedChanged = false);

    // Composes the picture again and schedules a paint of it; a hidden
    // control waits until it is shown.
    void pictureChanged();

    QColor outlineColor(uint fill) const;
    static QColor toQColor(uint bgr);
    static int roundHalfEven(double value);

    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void composeBitmaps();
    // The paint-time bookkeeping of an orientation change: the first paint
    // after it queues the swap of width and height, unless nothing was
    // painted before.
    void settlePaintState();
    void swapSize();

    int m_tag = 0;
    uint m_baseColor = 0x808080;
    uint m_pinColor = 0x00FFFF;
    uint m_jumperColor = 0x000080;
    TOrientationType m_orientation = otUp;
    TBorderStyle m_borderStyle = bsSingle;
    QImage m_upright;
    QImage m_rotated;
    bool m_swapPending = false;
    bool m_paintedOnce = false;
    bool m_leftPressed = false;
};

class SETUPCTRLS_EXPORT TTwoJumper : public TJumperBase
{
    Q_OBJECT
    Q_PROPERTY(bool Closed READ closed WRITE setClosed)
    Q_PROPERTY(uint BaseColor READ baseColor WRITE setBaseColor)
    Q_PROPERTY(uint PinColor READ pinColor WRITE setPinColor)
    Q_PROPERTY(uint JumperColor READ jumperColor WRITE setJumperColor)
    Q_PROPERTY(TOrientationType Orientation READ orientation WRITE setOrientation)
    Q_PROPERTY(TBorderStyle BorderStyle READ borderStyle WRITE setBorderStyle)

public:
    explicit TTwoJumper(QWidget *parent = nullptr);

    bool closed() const { return m_closed; }
    void setClosed(bool closed);

    // Toggles, emits toggledByClick() (an enclosing radio panel selects it
    // then), then clicked().
    void click() override;

Q_SIGNALS:
    void toggledByClick();

protected:
    void drawUpright(QImage &picture, int w, int h) override;

private:
    bool m_closed = false;
};

class SETUPCTRLS_EXPORT TThreeJumper : public TJumperBase
{
    Q_OBJECT
    Q_PROPERTY(TJumperState JumperState READ jumperState WRITE setJumperState)
    Q_PROPERTY(uint BaseColor READ baseColor WRITE setBaseColor)
    Q_PROPERTY(uint PinColor READ pinColor WRITE setPinColor)
    Q_PROPERTY(uint JumperColor READ jumperColor WRITE setJumperColor)
    Q_PROPERTY(TOrientationType Orientation READ orientation WRITE setOrientation)
    Q_PROPERTY(TBorderStyle BorderStyle READ borderStyle WRITE setBorderStyle)
    Q_PROPERTY(bool AllowOpen READ allowOpen WRITE setAllowOpen)

public:
    explicit TThreeJumper(QWidget *parent = nullptr);

    TJumperState jumperState() const { return m_state; }
    void setJumperState(TJumperState state);
    bool allowOpen() const { return m_allowOpen; }
    void setAllowOpen(bool allow);

    // Moves the state on (open, left, right), then emits clicked().
    void click() override;

protected:
    void drawUpright(QImage &picture, int w, int h) override;

private:
    TJumperState m_state = jsOpen;
    bool m_allowOpen = true;
};

using TOrientationType = TJumperBase::TOrientationType;
using TJumperState = TJumperBase::TJumperState;
