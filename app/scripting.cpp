// The panel as scripts see it: the script server, started by --listen or "Allow scripts", and
// the operations it may ask for. Each goes through the operator's own action, button or
// command path, under the rules that enable them, so a script is echoed in the console,
// followed by the read-out and can do nothing that the operator could not do at that moment.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "console.h"
#include "linksupervisor.h"
#include "panelsettings.h"
#include "protocol.h"
#include "scriptserver.h"

#include <QAction>
#include <QInputDialog>
#include <QLineEdit>
#include <QStatusBar>
#include <QTimer>

namespace {

// Beyond this many bytes waiting for the controller, scripts may add nothing but a stop.
constexpr qint64 scriptBacklogLimit = 4096;

// How long a failure to listen stays in the status bar.
constexpr int listenMessageMs = 10000;

} // namespace

void MainWindow::setUpScripting()
{
    scriptServer = new ScriptServer(*this, this);
    connect(this, &MainWindow::controllerIdentified, scriptServer,
            &ScriptServer::controllerIdentified);
    connect(this, &MainWindow::controllerNotFound, scriptServer,
            [this] { scriptServer->connectFailed(QStringLiteral("No Device found")); });
    connect(this, &MainWindow::openFailed, scriptServer, &ScriptServer::connectFailed);
    connect(this, &MainWindow::connectionLost, scriptServer, &ScriptServer::connectFailed);
    // Disconnecting before the controller has identified itself ends a script's connect.
    connect(ui->actionDisconnect, &QAction::triggered, scriptServer,
            [this] { scriptServer->connectFailed(QStringLiteral("not connected")); });
    connect(this, &MainWindow::positionReceived, scriptServer, &ScriptServer::positionReceived);
    connect(this, &MainWindow::motionStarted, scriptServer, &ScriptServer::motionStarted);
    connect(this, &MainWindow::portClosed, scriptServer, &ScriptServer::connectionEnded);
    connect(actionAllowScripts, &QAction::triggered, this, &MainWindow::allowScripts);
    scriptServer->setListenGroup(remembered->scriptGroup());
    connect(actionScriptGroup, &QAction::triggered, this, &MainWindow::chooseScriptGroup);
}

void MainWindow::setListenGroup(const QString &name)
{
    scriptServer->setListenGroup(name);
}

void MainWindow::chooseScriptGroup()
{
    bool ok = false;
    const QString name
        = QInputDialog::getText(this, tr("Script group"),
                                tr("Members of this group may reach the script socket and do all "
                                   "that scripts may (empty: only you):"),
                                QLineEdit::Normal, scriptServer->listenGroup(), &ok)
              .trimmed();
    if (!ok)
        return;
    gid_t gid = 0;
    QString error;
    if (!name.isEmpty() && !SocketPath::groupId(name, &gid, &error)) {
        ui->statusBar->showMessage(error, listenMessageMs);
        return;
    }
    remembered->setScriptGroup(name);
    scriptServer->setListenGroup(name);
    // A socket open already is made again, so that the choice holds at once.
    if (scriptServer->isListening() && !listenForScripts(scriptServer->path(), &error))
        ui->statusBar->showMessage(error, listenMessageMs);
}

bool MainWindow::listenForScripts(const QString &path, QString *error)
{
    const bool listening = scriptServer->listen(path);
    actionAllowScripts->setChecked(listening);
    if (!listening) {
        *error = scriptServer->errorString();
        return false;
    }
    console->appendData(QStringLiteral("Listening on %1\r").arg(path).toUtf8());
    return true;
}

void MainWindow::allowScripts(bool on)
{
    // The operator's choice is remembered, with the path it took.
    if (!on) {
        scriptServer->close();
        remembered->setScripts(false, QString());
        return;
    }
    // Again where --listen, the last use or the remembered choice put it.
    QString path = scriptServer->path();
    if (path.isEmpty())
        path = remembered->socketPath();
    if (path.isEmpty())
        path = ScriptServer::defaultPath(instanceName);
    QString error;
    const bool listening = listenForScripts(path, &error);
    // A path that --listen gave holds for its run only: what is written is the remembered
    // path, or the instance's default.
    const QString kept = remembered->socketPath();
    remembered->setScripts(listening,
                           kept.isEmpty() ? ScriptServer::defaultPath(instanceName) : kept);
    if (!listening)
        ui->statusBar->showMessage(error, listenMessageMs);
}

ScriptablePanel::State MainWindow::panelState() const
{
    State state;
    state.connected = serial->isOpen() && !link->waitingForIdentity();
    if (state.connected) {
        state.firmware = firmwareVersion;
        if (statusCode == QLatin1String("1"))
            state.calibrated = 0;
        else if (statusCode == QLatin1String("9"))
            state.calibrated = 1;
    }
    state.homed = homed;
    state.stale = link->readoutStale(); // grey while reconnecting too: the last value is not live
    state.reconnecting = link->reconnecting();
    state.minimum = minPosition;
    state.maximum = maxPosition;
    return state;
}

bool MainWindow::connectStage()
{
    if (!ui->actionConnect->isEnabled())
        return false;
    ui->actionConnect->trigger();
    return true;
}

void MainWindow::disconnectStage()
{
    if (ui->actionDisconnect->isEnabled())
        ui->actionDisconnect->trigger();
}

ScriptablePanel::Outcome MainWindow::homeStage()
{
    const Outcome rule = allows(Motion::Home);
    if (rule == Outcome::Done)
        home();
    return rule;
}

ScriptablePanel::Outcome MainWindow::stopStage()
{
    // A script's stop goes out whenever the port is open, the button offered or not: it is
    // how a calibration or a reference run is stopped from afar.
    if (!serial->isOpen())
        return Outcome::NotConnected;
    stop();
    return Outcome::Done;
}

ScriptablePanel::Outcome MainWindow::calibrateStage()
{
    const Outcome rule = allows(Motion::Calibrate);
    if (rule == Outcome::Done)
        calibrate();
    return rule;
}

ScriptablePanel::Outcome MainWindow::moveStageTo(double micrometres)
{
    const Outcome rule = allows(Motion::Move, micrometres);
    if (rule != Outcome::Done)
        return rule;
    sendMove(Protocol::absoluteMove(micrometres));
    emit targetSet(micrometres);
    return Outcome::Done;
}

ScriptablePanel::Outcome MainWindow::stepStage(double micrometres)
{
    // The step buttons' rules: open once homed, no limit check.
    const Outcome rule = allows(Motion::Step);
    if (rule != Outcome::Done)
        return rule;
    sendMove(Protocol::relativeMove(micrometres, true));
    return Outcome::Done;
}

bool MainWindow::lineBusy() const
{
    return serial->bytesToWrite() > scriptBacklogLimit;
}
