#ifndef MOTIONWATCH_H
#define MOTIONWATCH_H

// Whether the stage is at rest, by the position replies: at rest once three in a row agree
// within 0.1 um (the rule of a script's wait), moving from a move, step or home until then,
// and moving whenever the newest replies differ by more.

#include <array>

class MotionWatch
{
public:
    // A move, step or home went out: moving until three replies after it agree.
    void motionStarted()
    {
        started = true;
        count = 0;
    }
    void position(double micrometres);
    // Forgets the replies (a new wait, a closed connection) and any motion started.
    void clear()
    {
        started = false;
        count = 0;
    }
    // The last three replies agree.
    bool atRest() const { return count == int(recent.size()) && spread() <= tolerance; }
    bool moving() const { return started || spread() > tolerance; }

private:
    static constexpr double tolerance = 0.1 + 1e-9;
    double spread() const; // of the replies kept, 0 for fewer than two

    std::array<double, 3> recent {}; // oldest first
    int count = 0;
    bool started = false;
};

#endif // MOTIONWATCH_H
