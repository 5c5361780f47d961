#ifndef STAGEMOTION_H
#define STAGEMOTION_H

// The stage's one axis: where it is and where it is going, at a finite speed.
// A moving stage's position is computed from the time since the move began, so nothing ticks
// while it moves or rests; a single-shot timer announces the arrival.

#include <QElapsedTimer>
#include <QObject>

class QTimer;

class StageMotion : public QObject
{
    Q_OBJECT

public:
    explicit StageMotion(double speedUmPerS, QObject *parent = nullptr);

    double position() const; // um, at this moment
    double target() const { return goal; }
    bool isMoving() const { return moving; }
    double speed() const { return umPerS; }

    // Starts a move from wherever the stage is now; arrived() follows, also for no distance.
    void moveTo(double um);
    // Stops where the stage is now; a stopped move does not arrive.
    void stop();
    // Stands still at um at once, as after a power cycle.
    void placeAt(double um);

signals:
    void arrived(double um);

private:
    void checkArrival();
    void scheduleArrival();

    double umPerS;
    double from = 0.0;
    double goal = 0.0;
    bool moving = false;
    QElapsedTimer clock;
    QTimer *arrival = nullptr;
};

#endif // STAGEMOTION_H
