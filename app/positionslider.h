#ifndef POSITIONSLIDER_H
#define POSITIONSLIDER_H

// The slider that shows the stage's position and takes a target when dragged. A position
// changes far more finely than the handle can move (some tens of micrometres a pixel), so a
// new value repaints the slider only when its handle moves; the value itself is always
// the newest.

#include <QRect>
#include <QSlider>

class PositionSlider : public QSlider
{
    Q_OBJECT

public:
    explicit PositionSlider(QWidget *parent = nullptr);

protected:
    void sliderChange(SliderChange change) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QRect handleRect();

    QRect paintedHandle; // where the last paint put the handle
};

#endif // POSITIONSLIDER_H
