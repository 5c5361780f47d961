#include "stagemotion.h"

#include <QTimer>

#include <climits>
#include <cmath>

StageMotion::StageMotion(double speedUmPerS, QObject *parent)
    : QObject(parent)
    , umPerS(speedUmPerS)
    , arrival(new QTimer(this))
{
    arrival->setSingleShot(true);
    // A coarse timer may fire a little early, and the arrival line must not precede the
    // position reaching the target.
    arrival->setTimerType(Qt::PreciseTimer);
    connect(arrival, &QTimer::timeout, this, &StageMotion::checkArrival);
}

double StageMotion::position() const
{
    if (!moving)
        return from;
    const double distance = goal - from;
    const double travelled = umPerS * double(clock.nsecsElapsed()) / 1e9;
    if (travelled >= std::fabs(distance))
        return goal;
    return from + std::copysign(travelled, distance);
}

void StageMotion::moveTo(double um)
{
    from = position();
    goal = um;
    moving = true;
    clock.start();
    scheduleArrival();
}

void StageMotion::stop()
{
    from = position();
    goal = from;
    moving = false;
    arrival->stop();
}

void StageMotion::placeAt(double um)
{
    stop();
    from = goal = um;
}

void StageMotion::scheduleArrival()
{
    const double remainingMs = std::fabs(goal - position()) / umPerS * 1000.0;
    // A very slow stage may need longer than one timer can wait; checkArrival() re-arms it.
    const double ms = std::ceil(std::min(remainingMs, double(INT_MAX)));
    arrival->start(int(ms));
}

void StageMotion::checkArrival()
{
    if (!moving)
        return;
    if (position() != goal) {
        scheduleArrival();
        return;
    }
    from = goal;
    moving = false;
    emit arrived(goal);
}
