// Named positions: the list kept with this instance's settings, the "Positions" window that
// shows it (View > Positions), and the named positions scripts reach. A move to one obeys the
// target box's rules, whoever asks for it.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "panelsettings.h"
#include "positionlist.h"
#include "positionswindow.h"

#include <QAction>

void MainWindow::setUpPositions()
{
    positionList = std::make_unique<PositionList>(remembered->store());
    connect(actionPositions, &QAction::triggered, this, &MainWindow::showPositions);
    connect(this, &MainWindow::positionReceived, this, [this](double micrometres) {
        positionKnown = true;
        positionsRest.position(micrometres);
    });
    connect(this, &MainWindow::motionStarted, this, [this] { positionsRest.motionStarted(); });
    const auto forget = [this] {
        positionKnown = false;
        positionsRest.clear();
    };
    connect(this, &MainWindow::portClosed, this, forget);
    connect(this, &MainWindow::portOpened, this, forget);
}

void MainWindow::showPositions()
{
    if (!positionsWindow) {
        positionsWindow = new PositionsWindow(*positionList, *this, this);
        positionsWindow->setInstanceName(instanceName);
        // Whatever changes the rules of a move, or the position to save.
        const auto refresh = [this] {
            if (positionsWindow->isVisible())
                positionsWindow->refresh();
        };
        connect(this, &MainWindow::positionReceived, positionsWindow, refresh);
        connect(this, &MainWindow::limitsChanged, positionsWindow, refresh);
        connect(this, &MainWindow::portOpened, positionsWindow, refresh);
        connect(this, &MainWindow::portClosed, positionsWindow, refresh);
        connect(this, &MainWindow::controllerIdentified, positionsWindow, refresh);
        connect(this, &MainWindow::motionStarted, positionsWindow, refresh); // a home among them
    }
    positionsWindow->refresh();
    positionsWindow->show();
    positionsWindow->raise();
    positionsWindow->activateWindow();
}

std::optional<double> MainWindow::currentPosition() const
{
    if (!serial->isOpen() || !positionKnown)
        return std::nullopt;
    return position;
}

QString MainWindow::moveRefusal(double micrometres) const
{
    switch (allows(Motion::Move, micrometres)) {
    case Outcome::Done:
        return QString();
    case Outcome::NotConnected:
        return tr("Not connected");
    case Outcome::OutsideLimits:
        return tr("Outside the limits, %1 to %2 \u00b5m").arg(minPosition).arg(maxPosition);
    case Outcome::NotHomed:
    case Outcome::NotReady:
        break;
    }
    return tr("Home the stage first");
}

bool MainWindow::moveTo(double micrometres)
{
    if (allows(Motion::Move, micrometres) == Outcome::Done && !moveApproved(micrometres))
        return false;
    return moveStageTo(micrometres) == Outcome::Done;
}

bool MainWindow::atRest() const
{
    return serial->isOpen() && positionsRest.atRest();
}

QString MainWindow::controllerSerial() const
{
    return serial->isOpen() ? openedPort.serialNumber : QString();
}

QList<QPair<QString, double>> MainWindow::namedPositions() const
{
    QList<QPair<QString, double>> all;
    for (const NamedPosition &named : positionList->positions())
        all.append({ named.name, named.micrometres });
    return all;
}

std::optional<double> MainWindow::namedPosition(const QString &name) const
{
    return positionList->find(name);
}

bool MainWindow::saveNamedPosition(const QString &name, double micrometres)
{
    return positionList->save(name, micrometres, controllerSerial());
}
