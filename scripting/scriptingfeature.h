#ifndef SCRIPTINGFEATURE_H
#define SCRIPTINGFEATURE_H

// The script side of the panel: the script server (started by --listen or "Allow scripts",
// reachable by a chosen group), the operations scripts may ask for, and the rule that the
// operator comes first. Each operation obeys the window's own rules (PanelHooks::allows), so a
// script can do nothing the operator could not do at that moment; while a dialog holds the
// operator, only looks and a stop go through. It also watches reference runs: "homed" holds
// for scripts only once the stage has come to rest after a home, and a run stopped before
// then clears it everywhere.

#include "homingwatch.h"
#include "scriptablepanel.h"

#include <QObject>
#include <QPointer>

class QAction;
class QWidget;
class PanelHooks;
class PanelSettings;
class PositionList;
class ScriptServer;

class ScriptingFeature : public QObject, public ScriptablePanel
{
    Q_OBJECT

public:
    // window: the parent of the feature's actions and dialogs; instanceName chooses the
    // default socket.
    ScriptingFeature(PanelHooks &panel, PanelSettings &remembered, PositionList &positions,
                     const QString &instanceName, QWidget *window);
    ~ScriptingFeature() override;

    ScriptServer &server() const { return *scriptServer; }
    HomingWatch &homing() { return homingWatch; }
    QAction *allowAction() const { return actionAllowScripts; }
    QAction *groupAction() const { return actionScriptGroup; }

    // Lets scripts drive the stage through a local socket at path, as "Allow scripts" does.
    // False, with *error set, when the path cannot be listened on.
    bool listenForScripts(const QString &path, QString *error);
    // The group that may reach the socket from the next listen on, for this run.
    void setListenGroup(const QString &name);
    bool isListening() const;
    QString defaultPath() const;

    // ScriptablePanel
    State panelState() const override;
    bool connectStage() override;
    void disconnectStage() override;
    Outcome homeStage() override;
    Outcome stopStage() override;
    Outcome calibrateStage() override;
    Outcome moveStageTo(double micrometres) override;
    Outcome stepStage(double micrometres) override;
    QList<QPair<QString, double>> namedPositions() const override;
    std::optional<double> namedPosition(const QString &name) const override;
    QString saveNamedPosition(const QString &name, double micrometres) override;
    bool lineBusy() const override;
    bool operatorDialogOpen() const override;

private:
    void allowScripts(bool on);
    void chooseScriptGroup();

    PanelHooks &panel;
    PanelSettings &remembered;
    PositionList &positions;
    QString instanceName;
    QPointer<QWidget> window;
    HomingWatch homingWatch;
    ScriptServer *scriptServer = nullptr;
    QAction *actionAllowScripts = nullptr;
    QAction *actionScriptGroup = nullptr;
};

#endif // SCRIPTINGFEATURE_H
