// A paint box: a plain area whose owner draws it when it paints.
#pragma once

#include <QWidget>

class TPaintBox : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int Tag READ tag WRITE setTag)

public:
    explicit TPaintBox(QWidget *parent = nullptr);

    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

Q_SIGNALS:
    // Emitted from paintEvent: a handler may open a QPainter on the box.
    void Paint();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_tag = 0;
};
