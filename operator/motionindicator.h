#ifndef MOTIONINDICATOR_H
#define MOTIONINDICATOR_H

// The status bar's lasting word on the stage while connected: "Moving" or "At rest", by the
// rule a script's state reports as moving (motionwatch.h). Hidden while not connected.

#include "motionwatch.h"

#include <QLabel>

class MotionIndicator : public QLabel
{
    Q_OBJECT

public:
    explicit MotionIndicator(QWidget *parent = nullptr);

    void connected();
    void disconnected();
    void motionStarted();
    void position(double micrometres);

private:
    void showState();

    MotionWatch watch;
};

#endif // MOTIONINDICATOR_H
