#include "homingwatch.h"

void HomingWatch::homeSent()
{
    homing = true;
    rest.clear();
    rest.motionStarted();
}

void HomingWatch::stopSent()
{
    if (!homing)
        return;
    homing = false;
    emit homingStopped();
}

void HomingWatch::position(double micrometres)
{
    if (!homing)
        return;
    rest.position(micrometres);
    if (rest.atRest())
        homing = false;
}

void HomingWatch::clear()
{
    homing = false;
    rest.clear();
}
