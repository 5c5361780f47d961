#ifndef UPDATETHROTTLE_H
#define UPDATETHROTTLE_H

// Lets a display follow a value that may change far more often than anyone can see: asked
// for on every change, it signals due() at once when the last one was an interval ago, and
// otherwise once when the interval is up, however many asks came in between. The newest
// value is thus shown at most one interval late, and repainted at most once an interval.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class UpdateThrottle : public QObject
{
    Q_OBJECT

public:
    explicit UpdateThrottle(int intervalMs, QObject *parent = nullptr);

    void request();
    bool pending() const { return timer.isActive(); }

signals:
    void due();

private:
    void fire();

    int interval;
    QTimer timer;
    QElapsedTimer sinceLast;
};

#endif // UPDATETHROTTLE_H
