#ifndef SCRIPTABLEPANEL_H
#define SCRIPTABLEPANEL_H

// What a script may ask of the panel: the few operations the script server needs, each taking
// the same path and obeying the same rules as the operator's control for it. The panel
// implements it; the server knows the panel only through it. What happens afterwards on the
// line (identification, positions, loss) reaches the server through its notification slots.

#include <QList>
#include <QPair>
#include <QString>

#include <optional>

class ScriptablePanel
{
public:
    enum class Outcome {
        Done,
        NotConnected,
        NotHomed,
        OutsideLimits,
        NotReady, // connected, but the control is not enabled yet
    };

    struct State
    {
        bool connected = false;
        QString firmware; // empty until the controller has identified itself
        bool homed = false;
        int calibrated = -1; // 0 or 1 as the controller reports it, -1 when unknown
        double minimum = 0.0; // the travel's limits, micrometres
        double maximum = 0.0;
        bool stale = false; // the read-out is grey: no position reply for a while
        bool reconnecting = false; // automatic reconnection is trying to open the port
    };

    virtual State panelState() const = 0;
    // As the Connect action; false when that action is not available (already connected).
    // The outcome comes later, through the server's notifications.
    virtual bool connectStage() = 0;
    virtual void disconnectStage() = 0; // as the Disconnect action, when it is available
    virtual Outcome homeStage() = 0;
    virtual Outcome stopStage() = 0;
    virtual Outcome calibrateStage() = 0;
    virtual Outcome moveStageTo(double micrometres) = 0; // as a target typed in the box
    virtual Outcome stepStage(double micrometres) = 0; // signed, as the step buttons
    // The named positions, in the operator's order; one of them by name.
    virtual QList<QPair<QString, double>> namedPositions() const = 0;
    virtual std::optional<double> namedPosition(const QString &name) const = 0;
    // Saves under name, replacing one of that name; empty when saved, otherwise why not, as a
    // script is told it ("bad name", "position out of range", "cannot save: <reason>", ...).
    virtual QString saveNamedPosition(const QString &name, double micrometres) = 0;
    // True while more waits to be written to the controller than a script may add to.
    virtual bool lineBusy() const = 0;
    // True while a modal window (an error box, a file dialog, About) holds the operator:
    // scripts then may not act, since the operator cannot reach Stop.
    virtual bool operatorDialogOpen() const = 0;

protected:
    ~ScriptablePanel() = default;
};

#endif // SCRIPTABLEPANEL_H
