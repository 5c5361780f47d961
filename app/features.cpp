// Where the features added beside the design are put together. Each is a class of its own
// that owns its state and reaches the window only through its hooks (PanelHooks, LinkHost)
// and the signals the window emits:
//   link supervision  LinkSupervisor (link/): stale read-out, lost devices, a controller that
//                     may have restarted, automatic reconnection and port recovery
//   named positions   PositionsFeature (positions/): the list, its window, the stage it sees
//   scripts           ScriptingFeature (scripting/): the script server, the operations
//                     scripts may ask for, the operator first, and the watch on reference runs
// This file also holds the window's side of those hooks.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "console.h"
#include "errorboxes.h"
#include "linksupervisor.h"
#include "panelsettings.h"
#include "positionlist.h"
#include "positionsfeature.h"
#include "protocol.h"
#include "scriptingfeature.h"
#include "scriptserver.h"
#include "sessionrecorder.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTextBlock>
#include <QTimer>

#include <cstdio>

namespace {

// How long a feature's passing message stays in the status bar.
constexpr int warningMs = 10000;

} // namespace

void MainWindow::assembleFeatures()
{
    // Link supervision.
    link = new LinkSupervisor(*this, *serial, this);
    connect(this, &MainWindow::linkCheckDue, link, &LinkSupervisor::checkLink);
    connect(this, &MainWindow::homeSent, link, &LinkSupervisor::stageHomed);
    connect(actionReconnect, &QAction::toggled, link, &LinkSupervisor::setReconnectAutomatically);
    connect(link, &LinkSupervisor::connectionLost, this, &MainWindow::connectionLost);
    connect(link, &LinkSupervisor::reconnectingStarted, this, &MainWindow::reconnecting);
    connect(link, &LinkSupervisor::controllerMayHaveRestarted, this,
            &MainWindow::controllerMayHaveRestarted);
    connect(link, &LinkSupervisor::openRefused, recorder, [this](const QString &reason) {
        recorder->recordEvent(QStringLiteral("open failed ") + reason);
    });

    // Named positions.
    positions = std::make_unique<PositionsFeature>(*this, remembered->store(), instanceName, this);
    menuView->addAction(positions->action());
    PositionsFeature *named = positions.get();
    connect(this, &MainWindow::positionReceived, named, &PositionsFeature::positionReceived);
    connect(this, &MainWindow::motionStarted, named, &PositionsFeature::motionStarted);
    connect(this, &MainWindow::portOpened, named, &PositionsFeature::portChanged);
    connect(this, &MainWindow::portClosed, named, &PositionsFeature::portChanged);
    connect(this, &MainWindow::limitsChanged, named, &PositionsFeature::refresh);
    connect(this, &MainWindow::controllerIdentified, named, &PositionsFeature::refresh);

    // Scripts.
    scripting = std::make_unique<ScriptingFeature>(*this, *remembered, positions->list(),
                                                   instanceName, this);
    menuConnection->addAction(scripting->allowAction());
    menuConnection->addAction(scripting->groupAction());
    // Reference runs: a stop before the stage has come to rest after Home finds no reference.
    // Fed before the server, so that a script's state behind a wait sees the run ended.
    HomingWatch *homing = &scripting->homing();
    connect(this, &MainWindow::homeSent, homing, &HomingWatch::homeSent);
    connect(this, &MainWindow::stopSent, homing, &HomingWatch::stopSent);
    connect(this, &MainWindow::positionReceived, homing, &HomingWatch::position);
    connect(this, &MainWindow::portOpened, homing, &HomingWatch::clear);
    connect(this, &MainWindow::portClosed, homing, &HomingWatch::clear);
    connect(homing, &HomingWatch::homingStopped, this, [this] {
        recorder->recordEvent(QStringLiteral("homing stopped"));
        forgetHome(tr("Homing was stopped: home the stage again"));
    });

    ScriptServer *server = &scripting->server();
    connect(this, &MainWindow::controllerIdentified, server, &ScriptServer::controllerIdentified);
    connect(this, &MainWindow::controllerNotFound, server,
            [server] { server->connectFailed(QStringLiteral("No Device found")); });
    connect(this, &MainWindow::openFailed, server, &ScriptServer::connectFailed);
    connect(this, &MainWindow::connectionLost, server, &ScriptServer::connectFailed);
    // Disconnecting before the controller has identified itself ends a script's connect.
    connect(ui->actionDisconnect, &QAction::triggered, server,
            [server] { server->connectFailed(QStringLiteral("not connected")); });
    connect(this, &MainWindow::positionReceived, server, &ScriptServer::positionReceived);
    connect(this, &MainWindow::motionStarted, server, &ScriptServer::motionStarted);
    connect(this, &MainWindow::portClosed, server, &ScriptServer::connectionEnded);

    // A remembered setting or position that did not reach the disk is said at once.
    connect(remembered.get(), &PanelSettings::writeFailed, this,
            [this](const QString &reason) { warn(tr("Settings not saved: %1").arg(reason)); });
}

bool MainWindow::listenForScripts(const QString &path, QString *error)
{
    return scripting->listenForScripts(path, error);
}

void MainWindow::setListenGroup(const QString &name)
{
    scripting->setListenGroup(name);
}

ScriptablePanel::State MainWindow::linkState() const
{
    ScriptablePanel::State state;
    state.connected = serial->isOpen() && !link->waitingForIdentity();
    if (state.connected) {
        state.firmware = firmwareVersion;
        if (statusCode == QLatin1String("1"))
            state.calibrated = 0;
        else if (statusCode == QLatin1String("9"))
            state.calibrated = 1;
    }
    state.homed = homed;
    state.stale = link->readoutStale(); // grey while reconnecting too: not live
    state.reconnecting = link->reconnecting();
    state.minimum = minPosition;
    state.maximum = maxPosition;
    return state;
}

bool MainWindow::connectPort()
{
    if (!ui->actionConnect->isEnabled())
        return false;
    ui->actionConnect->trigger();
    return true;
}

void MainWindow::disconnectPort()
{
    if (ui->actionDisconnect->isEnabled())
        ui->actionDisconnect->trigger();
}

void MainWindow::moveTo(double micrometres)
{
    sendMove(Protocol::absoluteMove(micrometres));
    emit targetSet(micrometres);
}

void MainWindow::step(double micrometres)
{
    sendMove(Protocol::relativeMove(micrometres, true));
}

qint64 MainWindow::bytesToWrite() const
{
    return serial->bytesToWrite();
}

QString MainWindow::controllerSerial() const
{
    return serial->isOpen() ? link->openedPort().serialNumber : QString();
}

void MainWindow::forgetHome(const QString &text)
{
    homed = false;
    applyRules();
    setStyle(ui->pushButton_home, QStringLiteral("color: red"));
    statusLabel->setText(text);
    consoleNote(text);
}

void MainWindow::warn(const QString &text)
{
    ui->statusBar->showMessage(text, warningMs);
    if (errorBoxes->isHeadless())
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

void MainWindow::setReconnectAutomatically(bool on)
{
    actionReconnect->setChecked(on);
}

QString MainWindow::statusText() const
{
    return statusLabel->text();
}

void MainWindow::showStatus(const QString &text)
{
    statusLabel->setText(text);
}

void MainWindow::consoleNote(const QString &text)
{
    const bool lineOpen = !console->document()->lastBlock().text().isEmpty();
    console->appendData((lineOpen ? QStringLiteral("\r") : QString()).toUtf8() + text.toUtf8()
                        + QByteArrayLiteral("\r"));
}

void MainWindow::showReadoutLive(bool live)
{
    setStyle(ui->label_Position, live ? QString() : QStringLiteral("color: grey"));
}

void MainWindow::requireHomingAgain()
{
    homed = false;
    applyRules();
    setStyle(ui->pushButton_home, QStringLiteral("color: red"));
}

void MainWindow::askIdentity()
{
    sendCommand(Protocol::identify);
    sendCommand(Protocol::statusQuery);
}

void MainWindow::offerDisconnect(bool offered)
{
    ui->actionDisconnect->setEnabled(offered);
}
