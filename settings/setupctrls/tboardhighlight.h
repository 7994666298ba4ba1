#pragma once

#include "setupctrls_export.h"

#include "thotspotmenu.h"
#include "tradiopanel.h"

#include <QImage>
#include <QList>
#include <QPointer>
#include <QWidget>

class QMenuBar;
class QPushButton;
class TBoardImage;
class TPopupForm;

// A hotspot: a translucent ring over one part of the board photograph. Its
// three appearances are prepared once, at the first paint, from the pixels
// under it; afterwards a paint is one image copy.
class SETUPCTRLS_EXPORT TBoardHighlight : public QWidget, public THotspotMenuSource
{
    Q_OBJECT
    Q_PROPERTY(bool CreatePopup READ createPopup WRITE setCreatePopup)
    Q_PROPERTY(THighlightType HighlightType READ highlightType WRITE setHighlightType)
    // The content panel's object name, resolved within the form once it has been built.
    Q_PROPERTY(QString RadioPanel READ radioPanelName WRITE setRadioPanel)
    Q_PROPERTY(QString Title READ title WRITE setTitle)
    Q_PROPERTY(int Tag READ tag WRITE setTag)

public:
    enum THighlightType { htOptions, htSettings, htCalibration };
    Q_ENUM(THighlightType)

    explicit TBoardHighlight(QWidget *parent = nullptr);
    ~TBoardHighlight() override;

    bool createPopup() const { return m_createPopup; }
    void setCreatePopup(bool on) { m_createPopup = on; }
    THighlightType highlightType() const { return m_highlightType; }
    void setHighlightType(THighlightType type);
    TRadioPanel *radioPanel() const;
    void setRadioPanel(TRadioPanel *panel);
    void setRadioPanel(const QString &name);
    QString radioPanelName() const;
    QString title() const override { return m_title; }
    void setTitle(const QString &title);
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    QString popupCaption() const { return m_popupCaption; }
    QString menuIdent() const override { return m_menuIdent; }
    // The caption of the menu its entry goes in, by its type.
    QString menuCategory() const override;
    uint ringColor() const { return m_ringColor; }
    float idleAlpha() const { return m_idleAlpha; }
    float rimAlpha() const { return m_rimAlpha; }
    float litAlpha() const { return m_litAlpha; }
    bool hovered() const { return m_hovered; }
    bool held() const { return m_held; }
    bool popupActive() const { return m_popupActive; }
    bool imagesBuilt() const { return m_imagesBuilt; }
    TPopupForm *popup() const;
    QMenuBar *menu() const;
    const QImage &idleImage() const { return m_idleImage; }
    const QImage &rimImage() const { return m_rimImage; }
    const QImage &litImage() const { return m_litImage; }
    // The image the next paint copies.
    const QImage &currentImage() const;

    // The parent, when it is exactly a board image (a derived class does not count).
    TBoardImage *boardImage() const;
    bool isLinkedTo(const TBoardHighlight *other) const;
    // This hotspot and its linked siblings, in child-list order.
    QList<TBoardHighlight *> linkedHotspots() const;

    static QString PopupCaptionFor(const QString &title);
    static QString MenuIdentFor(const QString &title);
    // Blends the ring into image (RGB32/ARGB32): single precision, halves to even.
    static void PaintRing(QImage &image, float alpha, uint color, bool rim);

    void BuildStateImages();
    // relayed is true when the notification comes from a linked hotspot.
    void MouseEntry(bool relayed);
    void MouseLeave(bool relayed);
    // The toolkit's click: emits clicked(), then holds.
    void click();
    void Hold();
    void SetPopupActive(bool active, bool relay = false);
    void PopupClosed();
    void Unlight();
    void ShowPopup();
    void RegisterMenuEntry();
    void CheckMenuEntry(bool checked);

public Q_SLOTS:
    // sender is the menu entry when the user picks it, or a hotspot handing over.
    void MenuEntryClick(QObject *sender);
    void PreviousClick();
    void NextClick();
    void DoneClick();

Q_SIGNALS:
    void clicked();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void applyHighlightType();
    // The first hotspot, other than this one and not linked to it, that has panel; null when none.
    TBoardHighlight *unlinkedOwnerOf(const TRadioPanel *panel) const;
    void resolveRadioPanel();
    // Design mode: the designer named a panel; refused and asked as a form editor does.
    void designRadioPanel(const QString &name);
    // Made once the hotspot is first seen: the ring images from the board under it, and its
    // menu entry in the board image's menu.
    void firstPaint();
    bool linkedPopupOpen() const;
    void closePopup();
    void showPopupWindow();
    void navigate(bool forward);
    void buildPopup();
    TPopupForm *createPopupWindow();
    void adoptPanel(TPopupForm *popup, TRadioPanel *panel);
    // Gives the popup its caption, tag and client size, and keeps it from shrinking below it.
    QSize settlePopupSize(TPopupForm *popup, const QMargins &frame);
    void refitPopup(const QMargins &frame, QSize outer, QPoint pos);
    // Outer top-left corner before it is kept on the screen.
    QPoint popupPlace(QPoint remembered) const;
    // Status bar, Previous, Next and Done, and the text area; returns Done.
    QPushButton *addPopupControls(TPopupForm *popup, const QSize &client, int memoHeight);
    QPushButton *addPopupButton(TPopupForm *popup, const QString &text, const QRect &geometry,
                                TAnchorKinds::TAnchors anchors, void (TBoardHighlight::*handler)());

    QImage m_idleImage;
    QImage m_rimImage;
    QImage m_litImage;
    float m_idleAlpha = 0.5f;
    float m_rimAlpha = 1.0f;
    float m_litAlpha = 0.75f;
    uint m_ringColor = 0x0000FFFF;
    THighlightType m_highlightType = htSettings;
    bool m_hovered = false;
    TPopupForm *m_popup = nullptr;
    QString m_title;
    QString m_popupCaption;
    QString m_menuIdent;
    QPointer<QMenuBar> m_menu;
    bool m_imagesBuilt = false;
    bool m_createPopup = true;
    bool m_held = false;
    QPointer<TRadioPanel> m_radioPanel;
    QString m_radioPanelName;
    QString m_radioPanelReported;
    bool m_popupActive = false;
    bool m_leftPressed = false;
    int m_tag = 0;
};

using THighlightType = TBoardHighlight::THighlightType;
