#include "updatethrottle.h"

UpdateThrottle::UpdateThrottle(int intervalMs, QObject *parent)
    : QObject(parent)
    , interval(intervalMs)
{
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &UpdateThrottle::fire);
}

void UpdateThrottle::request()
{
    if (scheduled)
        return; // the update to come shows this change too
    scheduled = true;
    const qint64 since = sinceLast.isValid() ? sinceLast.elapsed() : interval;
    if (since >= interval) {
        // Queued rather than at once, so that the rest of a read's lines come first and
        // the update shows the newest of them.
        QMetaObject::invokeMethod(this, &UpdateThrottle::fire, Qt::QueuedConnection);
    } else {
        timer.start(int(interval - since));
    }
}

void UpdateThrottle::fire()
{
    if (!scheduled)
        return;
    scheduled = false;
    timer.stop();
    sinceLast.start();
    emit due();
}
