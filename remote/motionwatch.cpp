#include "motionwatch.h"

#include <algorithm>

void MotionWatch::position(double micrometres)
{
    if (count == int(recent.size()))
        std::rotate(recent.begin(), recent.begin() + 1, recent.end());
    else
        ++count;
    recent[count - 1] = micrometres;
    if (atRest())
        started = false;
}

double MotionWatch::spread() const
{
    if (count < 2)
        return 0.0;
    const auto [low, high] = std::minmax_element(recent.begin(), recent.begin() + count);
    return *high - *low;
}
