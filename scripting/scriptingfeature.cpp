#include "scriptingfeature.h"

#include "panelhooks.h"
#include "panelsettings.h"
#include "positionlist.h"
#include "positionscsv.h"
#include "scriptserver.h"

#include <QAction>
#include <QInputDialog>
#include <QLineEdit>

namespace {

// Beyond this many bytes waiting for the controller, scripts may add nothing but a stop.
constexpr qint64 scriptBacklogLimit = 4096;

} // namespace

ScriptingFeature::ScriptingFeature(PanelHooks &panel, PanelSettings &remembered,
                                   PositionList &positions, const QString &instanceName,
                                   QWidget *window)
    : QObject(window)
    , panel(panel)
    , remembered(remembered)
    , positions(positions)
    , instanceName(instanceName)
    , window(window)
{
    scriptServer = new ScriptServer(*this, this);
    actionAllowScripts = new QAction(tr("Allow scripts"), window);
    actionAllowScripts->setObjectName(QStringLiteral("actionAllowScripts"));
    actionAllowScripts->setCheckable(true);
    actionScriptGroup = new QAction(tr("Script group..."), window);
    actionScriptGroup->setObjectName(QStringLiteral("actionScriptGroup"));
    connect(actionAllowScripts, &QAction::triggered, this, &ScriptingFeature::allowScripts);
    connect(actionScriptGroup, &QAction::triggered, this, &ScriptingFeature::chooseScriptGroup);
    scriptServer->setListenGroup(remembered.scriptGroup());
}

ScriptingFeature::~ScriptingFeature()
{
    scriptServer->close();
}

QString ScriptingFeature::defaultPath() const
{
    return ScriptServer::defaultPath(instanceName);
}

bool ScriptingFeature::isListening() const
{
    return scriptServer->isListening();
}

void ScriptingFeature::setListenGroup(const QString &name)
{
    scriptServer->setListenGroup(name);
}

void ScriptingFeature::chooseScriptGroup()
{
    bool ok = false;
    const QString name
        = QInputDialog::getText(window, tr("Script group"),
                                tr("Members of this group may reach the script socket and do all "
                                   "that scripts may (empty: only you):"),
                                QLineEdit::Normal, scriptServer->listenGroup(), &ok)
              .trimmed();
    if (!ok)
        return;
    gid_t gid = 0;
    QString error;
    if (!name.isEmpty() && !SocketPath::groupId(name, &gid, &error)) {
        panel.warn(error);
        return;
    }
    remembered.setScriptGroup(name);
    scriptServer->setListenGroup(name);
    // A socket open already is made again, so that the choice holds at once.
    if (scriptServer->isListening() && !listenForScripts(scriptServer->path(), &error))
        panel.warn(error);
}

bool ScriptingFeature::listenForScripts(const QString &path, QString *error)
{
    const bool listening = scriptServer->listen(path);
    actionAllowScripts->setChecked(listening);
    if (!listening) {
        *error = scriptServer->errorString();
        return false;
    }
    panel.consoleNote(QStringLiteral("Listening on %1").arg(path));
    return true;
}

void ScriptingFeature::allowScripts(bool on)
{
    // The operator's choice is remembered, with the path it took.
    if (!on) {
        scriptServer->close();
        remembered.setScripts(false, QString());
        return;
    }
    // Again where --listen, the last use or the remembered choice put it.
    QString path = scriptServer->path();
    if (path.isEmpty())
        path = remembered.socketPath();
    if (path.isEmpty())
        path = defaultPath();
    QString error;
    const bool listening = listenForScripts(path, &error);
    // A path that --listen gave holds for its run only: what is written is the remembered
    // path, or the instance's default.
    const QString kept = remembered.socketPath();
    remembered.setScripts(listening, kept.isEmpty() ? defaultPath() : kept);
    if (!listening)
        panel.warn(error);
}

ScriptablePanel::State ScriptingFeature::panelState() const
{
    State state = panel.linkState();
    // The window shows homed from the click on; a reference is found only once the stage has
    // come to rest after it.
    state.homed = state.homed && !homingWatch.running();
    return state;
}

bool ScriptingFeature::connectStage()
{
    return panel.connectPort();
}

void ScriptingFeature::disconnectStage()
{
    panel.disconnectPort();
}

ScriptablePanel::Outcome ScriptingFeature::homeStage()
{
    const Outcome rule = panel.allows(PanelHooks::Motion::Home);
    if (rule == Outcome::Done)
        panel.home();
    return rule;
}

ScriptablePanel::Outcome ScriptingFeature::stopStage()
{
    // A script's stop goes out whenever the port is open, the button offered or not: it is
    // how a calibration or a reference run is stopped from afar.
    if (!panel.linkState().connected)
        return Outcome::NotConnected;
    panel.stop();
    return Outcome::Done;
}

ScriptablePanel::Outcome ScriptingFeature::calibrateStage()
{
    const Outcome rule = panel.allows(PanelHooks::Motion::Calibrate);
    if (rule == Outcome::Done)
        panel.calibrate();
    return rule;
}

ScriptablePanel::Outcome ScriptingFeature::moveStageTo(double micrometres)
{
    const Outcome rule = panel.allows(PanelHooks::Motion::Move, micrometres);
    if (rule == Outcome::Done)
        panel.moveTo(micrometres);
    return rule;
}

ScriptablePanel::Outcome ScriptingFeature::stepStage(double micrometres)
{
    // The step buttons' rules: open once homed, no limit check.
    const Outcome rule = panel.allows(PanelHooks::Motion::Step);
    if (rule == Outcome::Done)
        panel.step(micrometres);
    return rule;
}

QList<QPair<QString, double>> ScriptingFeature::namedPositions() const
{
    QList<QPair<QString, double>> all;
    for (const NamedPosition &named : positions.positions())
        all.append({ named.name, named.micrometres });
    return all;
}

std::optional<double> ScriptingFeature::namedPosition(const QString &name) const
{
    return positions.find(name);
}

QString ScriptingFeature::saveNamedPosition(const QString &name, double micrometres)
{
    if (!isValidPositionName(name))
        return QStringLiteral("bad name");
    double stored = 0.0;
    if (!readPositionNumber(formatPosition(micrometres), &stored))
        return QStringLiteral("position out of range");
    const QString refusal = positions.saveRefusal(name, micrometres);
    if (!refusal.isEmpty())
        return refusal;
    positions.save(name, micrometres, panel.controllerSerial());
    // The list in memory keeps the position, so the operator loses nothing before acting.
    if (!remembered.commit())
        return QStringLiteral("cannot save: ") + remembered.writeError();
    return QString();
}

bool ScriptingFeature::lineBusy() const
{
    return panel.bytesToWrite() > scriptBacklogLimit;
}

bool ScriptingFeature::operatorDialogOpen() const
{
    return panel.dialogOpen();
}
