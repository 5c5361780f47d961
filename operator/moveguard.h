#ifndef MOVEGUARD_H
#define MOVEGUARD_H

// The operator's guard against large moves, off unless chosen: "Confirm moves over…" sets a
// distance in micrometres (remembered per instance); a target, slider or named move longer
// than that asks first, Enter confirming and Esc cancelling.

#include <QObject>

class QAction;
class QMenu;
class QWidget;
class PanelSettings;

// Whether a move from one position to another is longer than the threshold (0: none is).
bool needsConfirming(double threshold, double from, double to);

class MoveGuard : public QObject
{
    Q_OBJECT

public:
    MoveGuard(QWidget &window, PanelSettings &settings, QMenu &connectionMenu);
    QAction &action() const { return *chooseAction; }
    // True when the move may go out: short enough, or confirmed.
    bool approve(double from, double to);
    void chooseThreshold();

private:
    QWidget &window;
    PanelSettings &remembered;
    QAction *chooseAction = nullptr;
};

#endif // MOVEGUARD_H
