// Where the features added beside the design are put together, each in a section of its own.
// Each is a class of its own that owns its state and reaches the window only through its hooks
// (PanelHooks, LinkHost) and the signals the window emits:
//   the operator's side  the session record and the position plot (RecordingFeature, operator/),
//                        the stop key (StopKey), the motion indicator (MotionIndicator), the
//                        guard for long moves (MoveGuard), warnings (standard error headless)
//   link supervision     LinkSupervisor (link/): stale read-out, lost devices, a controller that
//                        may have restarted, automatic reconnection and port recovery
//   named positions      PositionsFeature (positions/): the list, its window, the stage it sees
//   scripts              ScriptingFeature (scripting/): the script server, the operations
//                        scripts may ask for, the operator first, the watch on reference runs
//   remembered settings  RememberedSettings (settings/): what the operator changes, written for
//                        the next run, and read back at start-up
// This file also holds the window's side of those hooks.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "console.h"
#include "errorboxes.h"
#include "linksupervisor.h"
#include "motionindicator.h"
#include "moveguard.h"
#include "panelsettings.h"
#include "positionlist.h"
#include "positionsfeature.h"
#include "protocol.h"
#include "recordingfeature.h"
#include "rememberedsettings.h"
#include "scriptingfeature.h"
#include "scriptserver.h"
#include "sessionrecorder.h"
#include "stopkey.h"

#include <QAction>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTextBlock>
#include <QTimer>

#include <cstdio>

void MainWindow::assembleFeatures()
{
    // The record first: the other features note their events in it.
    assembleOperatorSide();
    assembleLink();
    assembleScripting();
    assembleRemembered();
}

// The operator's side.
void MainWindow::assembleOperatorSide()
{
    recording = new RecordingFeature(*this, *remembered, *menuFile, *menuView);
    SessionRecorder *recorder = &recording->recorder();
    errorBoxes->setRecorder(recorder);
    connect(this, &MainWindow::lineSent, recorder, &SessionRecorder::recordSent);
    connect(this, &MainWindow::lineReceived, recorder, &SessionRecorder::recordReceived);
    connect(this, &MainWindow::portOpened, recording, &RecordingFeature::connected);
    connect(this, &MainWindow::controllerIdentified, recorder, [recorder](const QString &v) {
        recorder->recordEvent(QStringLiteral("identified ") + v);
    });
    connect(this, &MainWindow::connectionLost, recorder, [recorder](const QString &errorText) {
        recorder->recordEvent(QStringLiteral("lost ") + errorText);
    });
    connect(this, &MainWindow::controllerMayHaveRestarted, recorder, [recorder](int seconds) {
        recorder->recordEvent(QStringLiteral("no reply for %1 s, home again").arg(seconds));
    });
    connect(this, &MainWindow::reconnecting, recorder,
            [recorder] { recorder->recordEvent(QStringLiteral("reconnecting")); });
    connect(this, &MainWindow::portClosed, recorder,
            [recorder] { recorder->recordEvent(QStringLiteral("disconnected")); });
    recording->setLimits(minPosition, maxPosition);
    connect(this, &MainWindow::positionReceived, recording, &RecordingFeature::addPosition);
    connect(this, &MainWindow::targetSet, recording, &RecordingFeature::setTarget);
    connect(this, &MainWindow::limitsChanged, recording, &RecordingFeature::setLimits);
    connect(recording, &RecordingFeature::warning, this,
            [this](const QString &text) { warn(text, true); });

    auto *motion = new MotionIndicator(this);
    ui->statusBar->addPermanentWidget(motion);
    connect(this, &MainWindow::portOpened, motion, &MotionIndicator::connected);
    connect(this, &MainWindow::portClosed, motion, &MotionIndicator::disconnected);
    connect(this, &MainWindow::connectionLost, motion, &MotionIndicator::disconnected);
    connect(this, &MainWindow::motionStarted, motion, &MotionIndicator::motionStarted);
    connect(this, &MainWindow::positionReceived, motion, &MotionIndicator::position);

    auto *stopKey = new StopKey(*this, *menuConnection);
    connect(stopKey, &StopKey::stopRequested, this, &MainWindow::stop);
    connect(this, &MainWindow::portOpened, stopKey, [stopKey] { stopKey->setConnected(true); });
    connect(this, &MainWindow::portClosed, stopKey, [stopKey] { stopKey->setConnected(false); });
    connect(this, &MainWindow::connectionLost, stopKey,
            [stopKey] { stopKey->setConnected(false); });

    moveGuard = new MoveGuard(*this, *remembered, *menuConnection);

    connect(remembered.get(), &PanelSettings::writeFailed, this, [this](const QString &reason) {
        warn(tr("Settings not saved: %1").arg(reason), false);
    });
}

// Link supervision.
void MainWindow::assembleLink()
{
    link = new LinkSupervisor(*this, *serial, this);
    connect(this, &MainWindow::linkCheckDue, link, &LinkSupervisor::checkLink);
    connect(this, &MainWindow::homeSent, link, &LinkSupervisor::stageHomed);
    connect(actionReconnect, &QAction::toggled, link, &LinkSupervisor::setReconnectAutomatically);
    connect(link, &LinkSupervisor::connectionLost, this, &MainWindow::connectionLost);
    connect(link, &LinkSupervisor::reconnectingStarted, this, &MainWindow::reconnecting);
    connect(link, &LinkSupervisor::controllerMayHaveRestarted, this,
            &MainWindow::controllerMayHaveRestarted);
    SessionRecorder *recorder = &recording->recorder();
    connect(link, &LinkSupervisor::openRefused, recorder, [recorder](const QString &reason) {
        recorder->recordEvent(QStringLiteral("open failed ") + reason);
    });
}

// Named positions and scripts.
void MainWindow::assembleScripting()
{
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
        recording->recorder().recordEvent(QStringLiteral("homing stopped"));
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
}

// Remembered settings.
void MainWindow::assembleRemembered()
{
    rememberedSettings = new RememberedSettings(*this, *remembered, *settings);
    actionReconnect->setChecked(remembered->reconnect());
    ui->doubleSpinBox_mrstp->setValue(remembered->stepSize());
    rememberedSettings->restorePlace();
    connect(actionReconnect, &QAction::triggered, rememberedSettings,
            &RememberedSettings::reconnectChosen);
    connect(ui->doubleSpinBox_mrstp, QOverload<double>::of(&QDoubleSpinBox::valueChanged),
            rememberedSettings, &RememberedSettings::stepChosen);
    // Once the loop runs, so that --listen has had its say first.
    QTimer::singleShot(0, this, &MainWindow::resumeRemembered);
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
    requireHomingAgain();
    statusLabel->setText(text);
    consoleNote(text);
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

void MainWindow::setSimulatedPort(const QString &path)
{
    rememberedSettings->setSimulatedPort(path);
}

void MainWindow::warn(const QString &text, bool lasting)
{
    if (errorBoxes->isHeadless()) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        std::fflush(stderr);
    } else if (lasting) {
        statusLabel->setText(text);
    } else {
        ui->statusBar->showMessage(text, 15000);
    }
}

bool MainWindow::approveMove(double target)
{
    return moveGuard->approve(position, target);
}

bool MainWindow::startRecording(const QString &path, bool replaceExisting, QString *error)
{
    return recording->start(path, replaceExisting, error);
}

void MainWindow::discardRecording()
{
    recording->recorder().discard();
}
