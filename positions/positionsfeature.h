#ifndef POSITIONSFEATURE_H
#define POSITIONSFEATURE_H

// Named positions beside the window: the list kept with the instance's settings, the
// "Positions" window that shows it (View > Positions, made when first shown) and the stage as
// that window sees it. A move to a saved position obeys the target box's rules
// (PanelHooks::allows), whoever asks for it. The window's signals feed it: positions, motion,
// the port's opening and closing, and whatever changes the rules of a move.

#include "motionwatch.h"
#include "positionsstage.h"

#include <QObject>
#include <QPointer>

#include <memory>

class QAction;
class QSettings;
class QWidget;
class PanelHooks;
class PositionList;
class PositionsWindow;

class PositionsFeature : public QObject, public PositionsStage
{
    Q_OBJECT

public:
    // store: the instance's settings, which outlive the feature.
    PositionsFeature(PanelHooks &panel, QSettings &store, const QString &instanceName,
                     QWidget *window);
    ~PositionsFeature() override;

    PositionList &list() const { return *positionList; }
    QAction *action() const { return actionPositions; }
    void showPositions();

    // Fed by the window's signals.
    void positionReceived(double micrometres);
    void motionStarted();
    void portChanged(); // opened or closed: no position known in this connection
    void refresh(); // the rules of a move, or the position to save, may have changed

    // PositionsStage
    std::optional<double> currentPosition() const override;
    QString moveRefusal(double micrometres) const override;
    bool moveTo(double micrometres) override;
    bool atRest() const override;
    QString controllerSerial() const override;

private:
    PanelHooks &panel;
    QString instanceName;
    QWidget *window;
    std::unique_ptr<PositionList> positionList;
    QPointer<PositionsWindow> positionsWindow;
    QAction *actionPositions = nullptr;
    std::optional<double> position; // the last position reply in this connection
    MotionWatch rest; // whether the stage has come to rest
};

#endif // POSITIONSFEATURE_H
