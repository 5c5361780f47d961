#include "panelfeatures.h"

#include "errorboxes.h"
#include "linksupervisor.h"
#include "mainwindow.h"
#include "motionindicator.h"
#include "moveguard.h"
#include "panelsettings.h"
#include "portrecovery.h"
#include "positionlist.h"
#include "positionsfeature.h"
#include "recordingfeature.h"
#include "rememberedsettings.h"
#include "scriptingfeature.h"
#include "scriptserver.h"
#include "sessionrecorder.h"
#include "stopkey.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>

namespace {

// How long the start-up notes stay in the status bar.
constexpr int noticeMs = 15000;

} // namespace

PanelFeatures::PanelFeatures(const QString &instanceName)
    : instanceName(instanceName)
    , remembered(std::make_unique<PanelSettings>(instanceName))
{ }

PanelFeatures::~PanelFeatures() = default;

QString PanelFeatures::rememberedPort() const
{
    const QString port = remembered->port();
    if (port.isEmpty())
        return QString();
    for (const PortRecord &listed : listedPorts()) {
        if (listed.portName == port || listed.systemLocation == port)
            return port;
    }
    return QFileInfo::exists(port) ? port : QString();
}

void PanelFeatures::assemble(MainWindow &window, const FeatureSites &sites)
{
    boxes = new ErrorBoxes(&window);
    linkSupervisor = new LinkSupervisor(window, sites.port, &window);
    reconnectAction = &sites.reconnect;
    // The record first: the other features note their events in it.
    assembleOperatorSide(window, sites);
    assembleLink(window, sites);
    assembleScripting(window, sites);
    assembleRemembered(window, sites);
}

// The operator's side.
void PanelFeatures::assembleOperatorSide(MainWindow &window, const FeatureSites &sites)
{
    recording = new RecordingFeature(window, *remembered, sites.fileMenu, sites.viewMenu);
    SessionRecorder *recorder = &recording->recorder();
    boxes->setRecorder(recorder);
    connect(&window, &MainWindow::lineSent, recorder, &SessionRecorder::recordSent);
    connect(&window, &MainWindow::lineReceived, recorder, &SessionRecorder::recordReceived);
    connect(&window, &MainWindow::portOpened, recording, &RecordingFeature::connected);
    connect(&window, &MainWindow::controllerIdentified, recorder, [recorder](const QString &v) {
        recorder->recordEvent(QStringLiteral("identified ") + v);
    });
    connect(&window, &MainWindow::connectionLost, recorder, [recorder](const QString &errorText) {
        recorder->recordEvent(QStringLiteral("lost ") + errorText);
    });
    connect(&window, &MainWindow::controllerMayHaveRestarted, recorder, [recorder](int seconds) {
        recorder->recordEvent(QStringLiteral("no reply for %1 s, home again").arg(seconds));
    });
    connect(&window, &MainWindow::reconnecting, recorder,
            [recorder] { recorder->recordEvent(QStringLiteral("reconnecting")); });
    connect(&window, &MainWindow::portClosed, recorder,
            [recorder] { recorder->recordEvent(QStringLiteral("disconnected")); });
    const ScriptablePanel::State state = window.linkState();
    recording->setLimits(state.minimum, state.maximum);
    connect(&window, &MainWindow::positionReceived, recording, &RecordingFeature::addPosition);
    connect(&window, &MainWindow::targetSet, recording, &RecordingFeature::setTarget);
    connect(&window, &MainWindow::limitsChanged, recording, &RecordingFeature::setLimits);
    connect(recording, &RecordingFeature::warning, &window,
            [&window](const QString &text) { window.warn(text, true); });

    auto *motion = new MotionIndicator(&window);
    window.statusBar()->addPermanentWidget(motion);
    connect(&window, &MainWindow::portOpened, motion, &MotionIndicator::connected);
    connect(&window, &MainWindow::portClosed, motion, &MotionIndicator::disconnected);
    connect(&window, &MainWindow::connectionLost, motion, &MotionIndicator::disconnected);
    connect(&window, &MainWindow::motionStarted, motion, &MotionIndicator::motionStarted);
    connect(&window, &MainWindow::positionReceived, motion, &MotionIndicator::position);

    auto *stopKey = new StopKey(window, sites.connectionMenu);
    connect(stopKey, &StopKey::stopRequested, &window, &MainWindow::stop);
    connect(&window, &MainWindow::portOpened, stopKey, [stopKey] { stopKey->setConnected(true); });
    connect(&window, &MainWindow::portClosed, stopKey, [stopKey] { stopKey->setConnected(false); });
    connect(&window, &MainWindow::connectionLost, stopKey,
            [stopKey] { stopKey->setConnected(false); });

    guard = new MoveGuard(window, *remembered, sites.connectionMenu);

    connect(remembered.get(), &PanelSettings::writeFailed, &window,
            [&window](const QString &reason) {
                window.warn(tr("Settings not saved: %1").arg(reason), false);
            });
}

// Link supervision.
void PanelFeatures::assembleLink(MainWindow &window, const FeatureSites &sites)
{
    LinkSupervisor *link = linkSupervisor;
    connect(&window, &MainWindow::linkCheckDue, link, &LinkSupervisor::checkLink);
    connect(&window, &MainWindow::homeSent, link, &LinkSupervisor::stageHomed);
    connect(&sites.reconnect, &QAction::toggled, link, &LinkSupervisor::setReconnectAutomatically);
    connect(link, &LinkSupervisor::connectionLost, &window, &MainWindow::connectionLost);
    connect(link, &LinkSupervisor::reconnectingStarted, &window, &MainWindow::reconnecting);
    connect(link, &LinkSupervisor::controllerMayHaveRestarted, &window,
            &MainWindow::controllerMayHaveRestarted);
    SessionRecorder *recorder = &recording->recorder();
    connect(link, &LinkSupervisor::openRefused, recorder, [recorder](const QString &reason) {
        recorder->recordEvent(QStringLiteral("open failed ") + reason);
    });
}

// Named positions and scripts.
void PanelFeatures::assembleScripting(MainWindow &window, const FeatureSites &sites)
{
    // Named positions.
    positions
        = std::make_unique<PositionsFeature>(window, remembered->store(), instanceName, &window);
    sites.viewMenu.addAction(positions->action());
    PositionsFeature *named = positions.get();
    connect(&window, &MainWindow::positionReceived, named, &PositionsFeature::positionReceived);
    connect(&window, &MainWindow::motionStarted, named, &PositionsFeature::motionStarted);
    connect(&window, &MainWindow::portOpened, named, &PositionsFeature::portChanged);
    connect(&window, &MainWindow::portClosed, named, &PositionsFeature::portChanged);
    connect(&window, &MainWindow::limitsChanged, named, &PositionsFeature::refresh);
    connect(&window, &MainWindow::controllerIdentified, named, &PositionsFeature::refresh);

    // Scripts.
    scripting = std::make_unique<ScriptingFeature>(window, *remembered, positions->list(),
                                                   instanceName, &window);
    sites.connectionMenu.addAction(scripting->allowAction());
    sites.connectionMenu.addAction(scripting->groupAction());
    // Reference runs: a stop before the stage has come to rest after Home finds no reference.
    // Fed before the server, so that a script's state behind a wait sees the run ended.
    HomingWatch *homing = &scripting->homing();
    connect(&window, &MainWindow::homeSent, homing, &HomingWatch::homeSent);
    connect(&window, &MainWindow::stopSent, homing, &HomingWatch::stopSent);
    connect(&window, &MainWindow::positionReceived, homing, &HomingWatch::position);
    connect(&window, &MainWindow::portOpened, homing, &HomingWatch::clear);
    connect(&window, &MainWindow::portClosed, homing, &HomingWatch::clear);
    connect(homing, &HomingWatch::homingStopped, &window, [this, &window] {
        recording->recorder().recordEvent(QStringLiteral("homing stopped"));
        window.forgetHome(tr("Homing was stopped: home the stage again"));
    });

    ScriptServer *server = &scripting->server();
    connect(&window, &MainWindow::controllerIdentified, server,
            &ScriptServer::controllerIdentified);
    connect(&window, &MainWindow::controllerNotFound, server,
            [server] { server->connectFailed(QStringLiteral("No Device found")); });
    connect(&window, &MainWindow::openFailed, server, &ScriptServer::connectFailed);
    connect(&window, &MainWindow::connectionLost, server, &ScriptServer::connectFailed);
    // Disconnecting before the controller has identified itself ends a script's connect.
    connect(&window, &MainWindow::disconnectChosen, server,
            [server] { server->connectFailed(QStringLiteral("not connected")); });
    connect(&window, &MainWindow::positionReceived, server, &ScriptServer::positionReceived);
    connect(&window, &MainWindow::motionStarted, server, &ScriptServer::motionStarted);
    connect(&window, &MainWindow::portClosed, server, &ScriptServer::connectionEnded);
}

// Remembered settings.
void PanelFeatures::assembleRemembered(MainWindow &window, const FeatureSites &sites)
{
    rememberedSettings = new RememberedSettings(window, *remembered, sites.dialog);
    sites.reconnect.setChecked(remembered->reconnect());
    window.setStepSize(remembered->stepSize());
    rememberedSettings->restorePlace();
    connect(&sites.reconnect, &QAction::triggered, rememberedSettings,
            &RememberedSettings::reconnectChosen);
    connect(&window, &MainWindow::stepSizeChanged, rememberedSettings,
            &RememberedSettings::stepChosen);
    // Once the loop runs, so that --listen has had its say first.
    QTimer::singleShot(0, this, [this, &window] { resumeRemembered(window); });
}

// The notes on what could not be taken back at start-up (the settings file, the positions, the
// script socket).
void PanelFeatures::resumeRemembered(MainWindow &window)
{
    QStringList notes;
    if (!remembered->notice().isEmpty())
        notes.append(remembered->notice());
    if (positions->list().leftOut() > 0)
        notes.append(tr("%n saved position entries not valid and left out", nullptr,
                        positions->list().leftOut()));
    if (remembered->allowScripts() && !scripting->isListening()) {
        const QString path = remembered->socketPath().isEmpty() ? scripting->defaultPath()
                                                                : remembered->socketPath();
        QString error;
        if (!listenForScripts(path, &error))
            notes.append(tr("Scripts are not allowed: %1").arg(error));
    }
    // In full in the console, where the status bar would cut them short; headless, a line each
    // on standard error.
    for (const QString &note : qAsConst(notes)) {
        window.consoleNote(note);
        if (boxes->isHeadless())
            window.warn(note, false);
    }
    if (!notes.isEmpty() && !boxes->isHeadless())
        window.statusBar()->showMessage(notes.join(QStringLiteral("; ")), noticeMs);
}

void PanelFeatures::endScripts()
{
    scripting.reset();
}

void PanelFeatures::setHeadless(bool on)
{
    boxes->setHeadless(on);
    linkSupervisor->setHeadless(on);
}

void PanelFeatures::setSimulatedPort(const QString &path)
{
    rememberedSettings->setSimulatedPort(path);
}

void PanelFeatures::setReconnectAutomatically(bool on)
{
    reconnectAction->setChecked(on);
}

bool PanelFeatures::startRecording(const QString &path, bool replaceExisting, QString *error)
{
    return recording->start(path, replaceExisting, error);
}

void PanelFeatures::discardRecording()
{
    recording->recorder().discard();
}

bool PanelFeatures::listenForScripts(const QString &path, QString *error)
{
    return scripting->listenForScripts(path, error);
}

void PanelFeatures::setListenGroup(const QString &name)
{
    scripting->setListenGroup(name);
}
