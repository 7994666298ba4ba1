#ifndef TPOPUPFORM_H
#define TPOPUPFORM_H

#include "tboardhighlight.h"
#include "tradiopanel.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class QStatusBar;

// The small always-on-top tool window of a hotspot. It is only ever hidden,
// never destroyed, until its hotspot goes.
class TPopupForm : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int Tag READ tag WRITE setTag)
    Q_PROPERTY(bool CloseOnLeave READ closeOnLeave WRITE setCloseOnLeave)

public:
    explicit TPopupForm(TBoardHighlight *highlight);
    ~TPopupForm() override;

    TBoardHighlight *Highlight() const { return m_highlight; }
    // The hotspot is going away: no more calls back into it.
    void forgetHighlight() { m_highlight = nullptr; }
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
    // Keeps child at its distances to the anchored edges when the popup resizes.
    void setChildAnchors(QWidget *child, TRadioPanel::TAnchors anchors);
    TRadioPanel::TAnchors childAnchors(const QWidget *child) const;

Q_SIGNALS:
    void OnActivate(QObject *Sender);
    void OnDeactivate(QObject *Sender);

protected:
    void changeEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Anchored
    {
        QPointer<QWidget> widget;
        TRadioPanel::TAnchors anchors;
        QRect rect;       // geometry when anchored
        QSize clientSize; // popup client size at that moment
    };

    QPointer<TBoardHighlight> m_highlight;
    QStatusBar *m_popupStatus = nullptr;
    bool m_closeOnLeave = false;
    int m_tag = 0;
    QList<Anchored> m_anchored;
};

#endif // TPOPUPFORM_H
