#include "positionsfeature.h"

#include "panelhooks.h"
#include "positionlist.h"
#include "positionswindow.h"

#include <QAction>

PositionsFeature::PositionsFeature(PanelHooks &panel, QSettings &store, const QString &instanceName,
                                   QWidget *window)
    : QObject(window)
    , panel(panel)
    , instanceName(instanceName)
    , window(window)
    , positionList(std::make_unique<PositionList>(store))
{
    actionPositions = new QAction(tr("Positions"), window);
    actionPositions->setObjectName(QStringLiteral("actionPositions"));
    connect(actionPositions, &QAction::triggered, this, &PositionsFeature::showPositions);
}

PositionsFeature::~PositionsFeature()
{
    delete positionsWindow; // before the list it shows
}

void PositionsFeature::showPositions()
{
    if (!positionsWindow) {
        positionsWindow = new PositionsWindow(*positionList, *this, window);
        positionsWindow->setInstanceName(instanceName);
    }
    positionsWindow->refresh();
    positionsWindow->show();
    positionsWindow->raise();
    positionsWindow->activateWindow();
}

void PositionsFeature::positionReceived(double micrometres)
{
    position = micrometres;
    rest.position(micrometres);
    refresh();
}

void PositionsFeature::motionStarted()
{
    rest.motionStarted();
    refresh(); // a home among them
}

void PositionsFeature::portChanged()
{
    position.reset();
    rest.clear();
    refresh();
}

void PositionsFeature::refresh()
{
    if (positionsWindow && positionsWindow->isVisible())
        positionsWindow->refresh();
}

std::optional<double> PositionsFeature::currentPosition() const
{
    if (!panel.linkState().connected)
        return std::nullopt;
    return position;
}

QString PositionsFeature::moveRefusal(double micrometres) const
{
    switch (panel.allows(PanelHooks::Motion::Move, micrometres)) {
    case PanelHooks::Outcome::Done:
        return QString();
    case PanelHooks::Outcome::NotConnected:
        return tr("Not connected");
    case PanelHooks::Outcome::OutsideLimits: {
        const ScriptablePanel::State state = panel.linkState();
        return tr("Outside the limits, %1 to %2 \u00b5m").arg(state.minimum).arg(state.maximum);
    }
    case PanelHooks::Outcome::NotHomed:
    case PanelHooks::Outcome::NotReady:
        break;
    }
    return tr("Home the stage first");
}

bool PositionsFeature::moveTo(double micrometres)
{
    if (panel.allows(PanelHooks::Motion::Move, micrometres) != PanelHooks::Outcome::Done
        || !panel.approveMove(micrometres))
        return false;
    panel.moveTo(micrometres);
    return true;
}

bool PositionsFeature::atRest() const
{
    return panel.linkState().connected && rest.atRest();
}

QString PositionsFeature::controllerSerial() const
{
    return panel.controllerSerial();
}
