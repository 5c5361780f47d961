#ifndef MAINWINDOW_H
#define MAINWINDOW_H

// The panel's architecture in brief.
//
// MainWindow is the hub: it owns the generated form, the console pane, the one serial port,
// the settings dialog, the status label and the poll timer, and its members are the state
// that the connection, the command set, the reply parser and the positioning controls
// share. Everything runs on the GUI thread. Its operations are split by concern:
//   mainwindow.cpp   construction, wiring and destruction (the shell)
//   menus.cpp        the menu bar and the About box
//   errorboxes.h     ErrorBoxes, the one sink of failures: a box in a window, shown after
//                    the call that found it has ended; headless, standard error and the record
//   features.cpp     where the features beside the design are put together, and the hooks
//                    they reach (PanelHooks, LinkHost)
//   connection.cpp   opening and closing the port, port errors, hand-typed console lines
//   commands.cpp     every command line written to the controller, and the poll
//   replies.cpp      cutting the received bytes into lines and interpreting them
//   readout.cpp      showing the position and the limits, paced to what an eye can follow
//   positioning.cpp  home, stop, calibrate, moves, keyboard jog, slider, console toggle
//   remembering.cpp  the remembered port offered first, and the start-up notes
// The wire formats themselves are free functions in protocol.h, so that tests reach them
// without a window.

#include "linkhost.h"
#include "panelhooks.h"

#include <QByteArray>
#include <QMainWindow>
#include <QSerialPort>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QKeyEvent;
class QMenu;
class QTimer;
class Console;
class ErrorBoxes;
class LinkSupervisor;
class PanelSettings;
class MoveGuard;
class PositionsFeature;
class RecordingFeature;
class RememberedSettings;
class ScriptingFeature;
class SettingsDialog;
class UpdateThrottle;

namespace Ui {
class MainWindow;
}
namespace Protocol {
enum class Grammar;
}

class MainWindow : public QMainWindow, public PanelHooks, public LinkHost
{
    Q_OBJECT

public:
    // firstPort, when given, is offered first (and so selected) in the settings dialog;
    // otherwise the port remembered, when it is there. instanceName (empty: the default
    // instance) chooses the remembered settings, the title and the default socket.
    explicit MainWindow(QWidget *parent = nullptr, const QString &firstPort = QString(),
                        const QString &instanceName = QString());
    ~MainWindow() override;

    // Whether a lost device is opened again by itself (the "Reconnect automatically" action).
    void setReconnectAutomatically(bool on);
    // Records the session to path from now on; false, with the reason in *error, when the
    // file cannot be created (or, unless replaceExisting, already exists).
    bool startRecording(const QString &path, bool replaceExisting, QString *error = nullptr);
    // Ends the record started above and removes its file, when the run it was for ends
    // before it began.
    void discardRecording();
    // Lets scripts drive the stage through a local socket at path, as "Allow scripts" does.
    // False, with *error set, when the path cannot be listened on.
    bool listenForScripts(const QString &path, QString *error);
    // The group that may reach the script socket from the next listen on, for this run
    // (--listen-group); the remembered one otherwise.
    void setListenGroup(const QString &name);
    // Headless: the window is never shown and no modal box ever opens; what a box would say
    // goes to standard error and to the record instead.
    void setHeadless(bool on);
    // The simulator's pseudo-terminal, which is never remembered as the chosen port.
    void setSimulatedPort(const QString &path);

    // PanelHooks: the window as its features reach it (features.cpp).
    Outcome allows(Motion motion, double micrometres = 0.0) const override;
    ScriptablePanel::State linkState() const override;
    bool connectPort() override;
    void disconnectPort() override;
    void home() override;
    void stop() override;
    void calibrate() override;
    void moveTo(double micrometres) override;
    void step(double micrometres) override;
    qint64 bytesToWrite() const override;
    bool dialogOpen() const override;
    QString controllerSerial() const override;
    void forgetHome(const QString &text) override;
    void consoleNote(const QString &text) override; // a line of the panel's own in the console
    void warn(const QString &text) override { warn(text, false); }
    bool approveMove(double target) override; // not too long, or confirmed

signals:
    // What happens on the link, for the parts that watch it (the session record, the plot,
    // the script server) without knowing the window's insides.
    void lineSent(const QByteArray &line); // every command as written, moves without CR
    // Every reply line with its CR; shownPosition is the number the read-out shows for a
    // position reply, null otherwise.
    void lineReceived(const QByteArray &line, const QString &shownPosition);
    void positionReceived(double micrometres);
    void targetSet(double micrometres); // an absolute or slider move went out
    void motionStarted(); // a move, a step or a home went out
    void limitsChanged(double minimum, double maximum);
    void portOpened(const QString &portName);
    void openFailed(const QString &errorText);
    void controllerIdentified(const QString &firmwareVersion);
    void controllerNotFound();
    void connectionLost(const QString &errorText);
    void reconnecting(); // automatic reconnection tries to open the lost port again
    // Replies came back after this long a silence behind an open port: the controller may
    // have restarted, so the stage has to be homed again.
    void controllerMayHaveRestarted(int silentSeconds);
    void homeSent(); // a reference run began
    void stopSent(); // a stop went out, by the button, a key, a script or Tango
    void portClosed();
    void linkCheckDue(); // on every poll tick, between the position query and the version check

protected:
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void openSerialPort();
    void closeSerialPort();
    void writeData(const QByteArray &data);
    void readData();
    void handleError(QSerialPort::SerialPortError error);

    void on_pushButton_home_clicked();
    void on_pushButton_SliderMinus_clicked();
    void on_pushButton_SliderPlus_clicked();
    void on_doubleSpinBox_Position_editingFinished();
    void on_doubleSpinBox_mrstp_editingFinished();
    void on_pushButton_Console_clicked();
    void on_pushButton_AutoCalibrate_clicked();
    void on_pushButton_stop_clicked();

    void getPosition();
    void checkVersion();
    void blockSlider();
    void goToSliderPosition();

private:
    friend class PanelProbe; // lets the tests read the shared state

    void connectActions();
    void assembleFeatures();
    void buildMenus();
    void assembleLink();
    void assembleOperatorSide();
    void assembleRemembered();
    void assembleScripting();
    // A warning the status bar shows (headless: a line on standard error); a lasting one stays
    // in the status label until the next change.
    void warn(const QString &text, bool lasting);
    QString rememberedPortIfPresent() const;
    void resumeRemembered();

    // Every error box goes through errorBoxes (errorboxes.h).
    void showErrorBox(const QString &title, const QString &text,
                      const std::function<void()> &afterClosed = {}) override;

    // LinkHost: what link supervision may see and do.
    QString statusText() const override;
    void showStatus(const QString &text) override;
    void showReadoutLive(bool live) override;
    bool controllerKnown() const override { return identified; }
    void requireHomingAgain() override;
    void askIdentity() override;
    // Opens the port under this name with the dialog's line settings; a quiet open (an
    // automatic reconnection try) shows no box when it fails.
    bool openPort(const QString &portName, bool quiet) override;
    void closePort() override { closeSerialPort(); }
    void offerDisconnect(bool offered) override;

    void showAbout();
    // Enables the controls by allows(), after every change of the state it reads.
    void applyRules();
    QList<QWidget *> motionControls() const; // the six that home enables
    // Sets a style sheet only when it changes: restyling repolishes and repaints the widget,
    // which on every poll tick would be most of the panel's idle cost.
    static void setStyle(QWidget *widget, const QString &styleSheet);

    // Command set: a fixed command is echoed to the console, then written; a move is echoed
    // with a CR for the console's sake and written without one.
    void sendCommand(const QByteArray &command, bool echo = true);
    void sendMove(const QByteArray &move);
    void sendRelativeStep(bool forward);

    // Reply parser.
    void takeInBytes(const QByteArray &bytes);
    // Returns the number text that the read-out shows for a position line, else null.
    QString processReply(const QByteArray &line);
    QString updatePosition(const QString &line, Protocol::Grammar grammar);
    void updateStatus(const QString &line);
    void updateOffset(const QByteArray &line);
    void passThrough(const QByteArray &line);

    // Read-out: the parser's state is shown through a throttle, not line by line.
    void setUpReadout();
    void requestReadout(bool limits);
    void showReadout();
    void showLimits();
    int readoutWidth(const QString &text) const;

    QTimer *pollTimer = nullptr;
    int pollInterval = 150;
    double travelRange = 6500.0;
    double minPosition = -250.0;
    double maxPosition = 6250.0;
    double position = 0.0;
    bool positionEchoRequested = false;
    bool homed = false;
    bool identified = false; // the first poll tick found the controller's version
    bool answered = false; // with its version on a tick, or with its calibration state
    bool consoleShown = false;
    QString firmwareVersion;
    QString statusCode;
    QString offsetText;
    QString shownPosition; // the number text of the newest position reply
    UpdateThrottle *readoutThrottle = nullptr;
    bool positionPending = false;
    bool limitsPending = false;
    bool limitsAfterPosition = false; // the newest change waiting is a limit change
    Ui::MainWindow *ui = nullptr;
    QLabel *statusLabel = nullptr;
    Console *console = nullptr;
    SettingsDialog *settings = nullptr;
    QSerialPort *serial = nullptr;
    QMenu *menuFile = nullptr;
    QMenu *menuConnection = nullptr;
    QMenu *menuView = nullptr;
    QMenu *menuHelp = nullptr;
    QAction *actionReconnect = nullptr;
    RecordingFeature *recording = nullptr; // the record and the plot
    MoveGuard *moveGuard = nullptr;
    QByteArray rxBuffer;
    int lineEnd = 0;
    // After an over-long partial line is dropped, its tail up to the next CR goes too.
    bool discardingOverlongLine = false;

    LinkSupervisor *link = nullptr; // stale read-out, losses, reconnection

    // What this instance remembers, and the features (declared after the settings they
    // keep their state in, so that they go first).
    QString instanceName;
    std::unique_ptr<PanelSettings> remembered;
    RememberedSettings *rememberedSettings = nullptr; // the operator's changes written
    std::unique_ptr<PositionsFeature> positions;
    std::unique_ptr<ScriptingFeature> scripting;

    ErrorBoxes *errorBoxes = nullptr;
};

#endif // MAINWINDOW_H
