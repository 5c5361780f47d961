#include "motionindicator.h"

MotionIndicator::MotionIndicator(QWidget *parent)
    : QLabel(parent)
{
    setObjectName(QStringLiteral("motionIndicator"));
    setVisible(false);
}

void MotionIndicator::connected()
{
    watch.clear();
    showState();
    setVisible(true);
}

void MotionIndicator::disconnected()
{
    watch.clear();
    setVisible(false);
}

void MotionIndicator::motionStarted()
{
    watch.motionStarted();
    showState();
}

void MotionIndicator::position(double micrometres)
{
    watch.position(micrometres);
    showState();
}

void MotionIndicator::showState()
{
    const QString text = watch.moving() ? tr("Moving") : tr("At rest");
    // Set only on a change: every position reply comes here.
    if (text != QLabel::text())
        setText(text);
}
