#include "tpaintbox.h"

TPaintBox::TPaintBox(QWidget *parent) : QWidget(parent)
{
    resize(105, 105);
}

void TPaintBox::paintEvent(QPaintEvent *)
{
    emit Paint();
}
