#ifndef HOMINGWATCH_H
#define HOMINGWATCH_H

// Whether a reference run is under way: from a home until the stage has come to rest after it
// (the rule of a script's wait). A stop sent before then means the reference was never found,
// which homingStopped() tells; whoever shows "homed" clears it then.

#include "motionwatch.h"

#include <QObject>

class HomingWatch : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    bool running() const { return homing; }

    void homeSent();
    void stopSent();
    void position(double micrometres);
    void clear(); // the port closed or opened: no run goes on

signals:
    void homingStopped();

private:
    MotionWatch rest;
    bool homing = false;
};

#endif // HOMINGWATCH_H
