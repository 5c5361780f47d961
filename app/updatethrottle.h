#ifndef UPDATETHROTTLE_H
#define UPDATETHROTTLE_H

// Lets a display follow a value that may change far more often than anyone can see: asked
// on every change, it signals due() once the current batch of events is handled when the
// last one was an interval ago, and otherwise when the interval is up; once, however many
// asks came in between. The newest value is thus shown at most an interval late, and
// repainted at most once an interval.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class UpdateThrottle : public QObject
{
    Q_OBJECT

public:
    explicit UpdateThrottle(int intervalMs, QObject *parent = nullptr);

    void request();

signals:
    void due();

private:
    void fire();

    int interval;
    bool scheduled = false;
    QTimer timer;
    QElapsedTimer sinceLast;
};

#endif // UPDATETHROTTLE_H
