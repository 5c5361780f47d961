#include "updatethrottle.h"

UpdateThrottle::UpdateThrottle(int intervalMs, QObject *parent)
    : QObject(parent)
    , interval(intervalMs)
{
    timer.setSingleShot(true);
    // A coarse timer may fire 5 % late; at 16 ms that still keeps within 20 ms.
    connect(&timer, &QTimer::timeout, this, &UpdateThrottle::fire);
}

void UpdateThrottle::request()
{
    if (timer.isActive())
        return; // the pending update will show this change too
    const qint64 since = sinceLast.isValid() ? sinceLast.elapsed() : interval;
    if (since >= interval)
        fire();
    else
        timer.start(int(interval - since));
}

void UpdateThrottle::fire()
{
    timer.stop();
    sinceLast.start();
    emit due();
}
