#ifndef POSITIONSSTAGE_H
#define POSITIONSSTAGE_H

// What the positions window needs of the stage: the position to save, whether and why a move
// to a saved one would be refused (the target box's rules), the move itself, whether the stage
// has come to rest, and the connected controller's serial number. The panel implements it; the
// window knows the panel only so.

#include <QString>

#include <optional>

class PositionsStage
{
public:
    // The last position the controller reported in this connection; none before one.
    virtual std::optional<double> currentPosition() const = 0;
    // Why a move there would not go out now; empty when it would.
    virtual QString moveRefusal(double micrometres) const = 0;
    // False when the move did not go out.
    virtual bool moveTo(double micrometres) = 0;
    // The rule of a script's wait: three position replies in a row, all after the last move,
    // step or home went out, agree within 0.1 um. False while not connected.
    virtual bool atRest() const = 0;
    // The USB serial number of the connected controller; empty when unknown or not connected.
    virtual QString controllerSerial() const = 0;

protected:
    ~PositionsStage() = default;
};

#endif // POSITIONSSTAGE_H
