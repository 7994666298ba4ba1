#pragma once

#include "setupctrls_export.h"

#include <QWidget>

class QStatusBar;

// The small always-on-top tool window of a hotspot. It is only ever hidden,
// never destroyed, until its hotspot goes.
class SETUPCTRLS_EXPORT TPopupForm : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int Tag READ tag WRITE setTag)
    Q_PROPERTY(bool CloseOnLeave READ closeOnLeave WRITE setCloseOnLeave)

public:
    // A sizeable tool window, always on top.
    static constexpr Qt::WindowFlags WindowKind = Qt::Tool | Qt::WindowStaysOnTopHint;

    // owner is the hotspot; it learns of activation and closing through the signals.
    explicit TPopupForm(QWidget *owner);
    ~TPopupForm() override;

    QStatusBar *PopupStatus() const { return m_popupStatus; }
    void setPopupStatus(QStatusBar *statusBar) { m_popupStatus = statusBar; }
    bool closeOnLeave() const { return m_closeOnLeave; }
    void setCloseOnLeave(bool on) { m_closeOnLeave = on; }
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    // Outer rectangle in screen coordinates, frame and caption included.
    QRect outerRect() const;
    // Frame and caption around the client area, as the platform reports them.
    QMargins frameMargins() const;

Q_SIGNALS:
    // Emitted before OnActivate or OnDeactivate, for the owning hotspot.
    void activeChanged(bool active);
    // Closed by any means; the popup is hidden, not destroyed.
    void closed();
    void OnActivate(QObject *Sender);
    void OnDeactivate(QObject *Sender);

protected:
    void changeEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QStatusBar *m_popupStatus = nullptr;
    bool m_closeOnLeave = false;
    int m_tag = 0;
};
