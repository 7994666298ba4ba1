#pragma once

#include "setupctrls_export.h"

#include "anchorlayout.h"
#include "popupgeometry.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

class QPlainTextEdit;
class TTwoJumper;

// A content panel: designed hidden in the main window, moved for good into
// the popup of the hotspot that first shows it.
class SETUPCTRLS_EXPORT TRadioPanel : public QWidget, public TAnchorKinds
{
    Q_OBJECT
    Q_PROPERTY(bool RadioEnabled READ radioEnabled WRITE setRadioEnabled)
    Q_PROPERTY(QStringList Lines READ lines WRITE setLines)
    Q_PROPERTY(int MemoHeight READ memoHeight WRITE setMemoHeight)
    Q_PROPERTY(TAnchors FinalAnchors READ finalAnchors WRITE setFinalAnchors)
    Q_PROPERTY(TAnchors Anchors READ anchors WRITE setAnchors)
    Q_PROPERTY(int Tag READ tag WRITE setTag)

public:
    explicit TRadioPanel(QWidget *parent = nullptr);
    ~TRadioPanel() override;

    bool radioEnabled() const { return m_radioEnabled; }
    void setRadioEnabled(bool on) { m_radioEnabled = on; }
    QStringList lines() const { return m_lines; }
    // The popup's text area, once built, keeps what it was given.
    void setLines(const QStringList &lines) { m_lines = lines; }
    // Splits at CR LF, LF or CR, as a text assigned to a string list is.
    void setLinesText(const QString &text);
    int memoHeight() const { return m_memoHeight; }
    void setMemoHeight(int height) { m_memoHeight = height; }
    TAnchors finalAnchors() const { return m_finalAnchors; }
    void setFinalAnchors(TAnchors anchors);
    TAnchors anchors() const { return m_anchors; }
    void setAnchors(TAnchors anchors);
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    bool inPopup() const { return m_inPopup; }
    // Called once the panel sits in its popup, before the popup takes its
    // final size: takes FinalAnchors, so an anchored panel follows that size.
    void enterPopup();
    // The popup's text area, set once the popup has built it.
    void setStatusMemo(QPlainTextEdit *statusMemo);

    // The popup's text area ("StatusMemo"), or null before the popup exists.
    QPlainTextEdit *GetStatusMemo() const;

    // Closes jumper, opens every other two-pin jumper child; OnRadioChange
    // when any of them changed.
    void SelectJumper(TTwoJumper *jumper);

    // Design mode: the panel has hidden itself once.
    bool designHidden() const { return m_designHidden; }

Q_SIGNALS:
    void OnRadioChange(QObject *Sender);
    void OnActivate(QObject *Sender);
    void OnDeactivate(QObject *Sender);

protected:
    void paintEvent(QPaintEvent *event) override;
    // Hears of every two-pin jumper child once it is fully built.
    void childEvent(QChildEvent *event) override;

private:
    void jumperToggledByClick();

    bool m_radioEnabled = false;
    QStringList m_lines;
    QPointer<QPlainTextEdit> m_statusMemo;
    int m_memoHeight = PopupGeometry::MemoHeight;
    TAnchors m_finalAnchors = TAnchors(akLeft | akTop);
    TAnchors m_anchors = TAnchors(akLeft | akTop);
    bool m_inPopup = false;
    bool m_designHidden = false;
    int m_tag = 0;
};
