#ifndef PANELHOOKS_H
#define PANELHOOKS_H

// The window as its added features reach it: the state of the link, the operations that carry
// the design's rules, and the few places where a feature may say something. The window
// implements it; the features (scripts, named positions) know the window only through it and
// through the signals it emits.

#include "scriptablepanel.h"

#include <QString>

class PanelHooks
{
public:
    using Outcome = ScriptablePanel::Outcome;
    enum class Motion { Home, Calibrate, Stop, Move, Step };

    // What may go out now, answered from the panel's state alone (connected, answered,
    // homed, limits): the buttons' enabling, scripts and the positions window all ask here.
    virtual Outcome allows(Motion motion, double micrometres = 0.0) const = 0;
    // The link as the window holds it; homed as its Home button shows it.
    virtual ScriptablePanel::State linkState() const = 0;
    // As the Connect action; false when that action is not available.
    virtual bool connectPort() = 0;
    virtual void disconnectPort() = 0; // as the Disconnect action, when it is available
    // The operations themselves, unchecked: callers ask allows() first.
    virtual void home() = 0;
    virtual void stop() = 0;
    virtual void calibrate() = 0;
    virtual void moveTo(double micrometres) = 0; // as a target typed in the box
    virtual void step(double micrometres) = 0; // signed, as the step buttons
    // The operator's own guard for long moves: true when the move is short enough, or confirmed.
    // Scripts never ask it.
    virtual bool approveMove(double target) = 0;
    virtual qint64 bytesToWrite() const = 0; // waiting for the controller
    // A modal window (an error box, a file dialog, About) holds the operator.
    virtual bool dialogOpen() const = 0;
    // The USB serial number of the connected controller; empty when unknown or not connected.
    virtual QString controllerSerial() const = 0;
    // The reference is lost: Home red, the motion controls as before a home, text in the
    // status bar and the console.
    virtual void forgetHome(const QString &text) = 0;
    virtual void consoleNote(const QString &text) = 0; // a line of the panel's own
    // A passing message in the status bar, or a lasting one that stays until the next status;
    // headless, a line on standard error.
    virtual void warn(const QString &text, bool lasting = false) = 0;

protected:
    ~PanelHooks() = default;
};

#endif // PANELHOOKS_H
