#include "positionslider.h"

#include <QStyle>
#include <QStyleOptionSlider>

PositionSlider::PositionSlider(QWidget *parent)
    : QSlider(parent)
{ }

QRect PositionSlider::handleRect()
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
}

void PositionSlider::sliderChange(SliderChange change)
{
    // The base class only repaints; a value whose handle stays where it was painted shows
    // nothing new. Range and step changes repaint as usual (the ticks may move).
    if (change == SliderValueChange && !paintedHandle.isNull() && handleRect() == paintedHandle)
        return;
    QSlider::sliderChange(change);
}

void PositionSlider::paintEvent(QPaintEvent *event)
{
    paintedHandle = handleRect();
    QSlider::paintEvent(event);
}
