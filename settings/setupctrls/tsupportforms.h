#pragma once

#include "setupctrls_export.h"

#include "anchorlayout.h"

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTextEdit;

// The setup supporter's dialogs: resizable, always on top, laid out in code
// with fixed geometries and edge anchors, and hidden (never destroyed) when
// closed.
class SETUPCTRLS_EXPORT TSupportForm : public QDialog, public TAnchorKinds
{
    Q_OBJECT

public:
    explicit TSupportForm(QWidget *owner);

    // Ties a control to edges of the client area from its present geometry;
    // a control tied to neither edge of an axis keeps its centre at the same
    // relative place on that axis.
    void anchor(QWidget *control, TAnchors anchors);
    // Resizes the client area and moves anchored controls at once (a hidden
    // widget gets its resize event only when shown).
    void setClientSize(const QSize &size);

    // Moves every visible control by one offset so that their common
    // bounding box starts at the client area's top-left corner, then makes
    // the client area exactly that box.
    void fitToControls();

    // Escape presses this button.
    void setCancelButton(QPushButton *button) { m_cancelButton = button; }
    QPushButton *cancelButton() const { return m_cancelButton; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    TAnchorLayout *m_anchors;
    QPushButton *m_cancelButton = nullptr;
};

class SETUPCTRLS_EXPORT THelpForm : public TSupportForm
{
    Q_OBJECT

public:
    explicit THelpForm(QWidget *owner);

    QTextEdit *HelpRich = nullptr;
    QLabel *HelpLabel = nullptr;
    QPushButton *StartButton = nullptr;

    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent *event) override;
};

class SETUPCTRLS_EXPORT TTechForm : public TSupportForm
{
    Q_OBJECT

public:
    explicit TTechForm(QWidget *owner);

    QPlainTextEdit *TechMemo = nullptr;
    QPushButton *CloseButton = nullptr;
};

class SETUPCTRLS_EXPORT TPCIForm : public TSupportForm
{
    Q_OBJECT

public:
    explicit TPCIForm(QWidget *owner);

    QPlainTextEdit *PCIMemo = nullptr;
    QPushButton *CloseButton = nullptr;
};
