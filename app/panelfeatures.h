#ifndef PANELFEATURES_H
#define PANELFEATURES_H

// Where the features added beside the design are put together. Each is a class of its own that
// owns its state and reaches the window only through its hooks (PanelHooks, LinkHost, a few
// public operations) and the signals the window emits:
//   error boxes          ErrorBoxes (app/): the one sink of failures, a box in a window,
//                        standard error and the record headless
//   the operator's side  RecordingFeature (operator/): the session record and the position plot;
//                        StopKey (Esc), MotionIndicator ("Moving"), MoveGuard (long moves)
//   link supervision     LinkSupervisor (link/): stale read-out, lost devices, a controller that
//                        may have restarted, automatic reconnection and port recovery
//   named positions      PositionsFeature (positions/): the list, its window, the stage it sees
//   scripts              ScriptingFeature (scripting/): the script server, the operations
//                        scripts may ask for, the operator first, the watch on reference runs
//   remembered settings  PanelSettings and RememberedSettings (settings/): what the operator
//                        changes, written for the next run, and read back at start-up
// The options of a run (main()) reach the features here, not through the window.

#include <QObject>
#include <QString>

#include <memory>

class QAction;
class QMenu;
class QSerialPort;
class ErrorBoxes;
class LinkSupervisor;
class MainWindow;
class MoveGuard;
class PanelSettings;
class PositionsFeature;
class RecordingFeature;
class RememberedSettings;
class ScriptingFeature;
class SettingsDialog;

// What of the window the features are built into: its port and settings dialog, the menus
// they add their actions to, and the "Reconnect automatically" action in its place.
struct FeatureSites
{
    QSerialPort &port;
    SettingsDialog &dialog;
    QMenu &fileMenu;
    QMenu &connectionMenu;
    QMenu &viewMenu;
    QAction &reconnect;
};

class PanelFeatures : public QObject
{
    Q_OBJECT

public:
    // Reads what the instance remembers; the features are made by assemble().
    explicit PanelFeatures(const QString &instanceName);
    ~PanelFeatures() override;

    // The remembered port when it is there: listed by the system, or a device path that
    // exists (a bridge to a network serial server, a link); empty otherwise.
    QString rememberedPort() const;
    void assemble(MainWindow &window, const FeatureSites &sites);
    // Scripts go before anything else on the way out, so that none acts on it.
    void endScripts();

    // The options of this run; what is remembered stays as it is.
    void setHeadless(bool on);
    void setSimulatedPort(const QString &path); // never remembered as the chosen port
    void setReconnectAutomatically(bool on);
    // Records the session to path from now on; false, with the reason in *error, when the
    // file cannot be created (or, unless replaceExisting, already exists).
    bool startRecording(const QString &path, bool replaceExisting, QString *error = nullptr);
    void discardRecording(); // and removes its file, when the run ends before it began
    // Lets scripts drive the stage through a local socket at path, as "Allow scripts" does.
    bool listenForScripts(const QString &path, QString *error);
    void setListenGroup(const QString &name); // for this run (--listen-group)

    // What the window's own operations consult.
    LinkSupervisor &link() const { return *linkSupervisor; }
    ErrorBoxes &errorBoxes() const { return *boxes; }
    MoveGuard &moveGuard() const { return *guard; }

private:
    void assembleOperatorSide(MainWindow &window, const FeatureSites &sites);
    void assembleLink(MainWindow &window, const FeatureSites &sites);
    void assembleScripting(MainWindow &window, const FeatureSites &sites);
    void assembleRemembered(MainWindow &window, const FeatureSites &sites);
    void resumeRemembered(MainWindow &window);

    QString instanceName;
    std::unique_ptr<PanelSettings> remembered;
    // Owned by the window, as children that live as long as it does.
    ErrorBoxes *boxes = nullptr;
    RecordingFeature *recording = nullptr;
    MoveGuard *guard = nullptr;
    LinkSupervisor *linkSupervisor = nullptr;
    RememberedSettings *rememberedSettings = nullptr;
    QAction *reconnectAction = nullptr;
    // Declared after the settings they keep their state in, so that they go first.
    std::unique_ptr<PositionsFeature> positions;
    std::unique_ptr<ScriptingFeature> scripting;
};

#endif // PANELFEATURES_H
