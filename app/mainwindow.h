#ifndef MAINWINDOW_H
#define MAINWINDOW_H

// The panel's architecture in brief.
//
// MainWindow holds the design: the generated form, the console pane, the one serial port, the
// settings dialog, the status label and the poll timer, and as its members the state that the
// connection, the command set, the reply parser and the positioning controls share. Its
// operations are split by concern:
//   mainwindow.cpp   construction, wiring and destruction; menus.cpp the menu bar
//   connection.cpp   opening and closing the port, port errors, hand-typed console lines
//   commands.cpp     every command line written to the controller, and the poll
//   replies.cpp      cutting the received bytes into lines and interpreting them
//   positioning.cpp  home, stop, calibrate, moves, keyboard jog, slider, console toggle
//   windowhooks.cpp  the hooks below, as the features reach the window
// Readout shows the position paced to what an eye can follow; the wire formats are free
// functions in protocol.h. Everything else is a feature beside the design, put together in
// PanelFeatures (panelfeatures.h), which reaches the window only through its hooks: PanelHooks,
// LinkHost, the public operations and the signals. Everything runs on the GUI thread.

#include "linkhost.h"
#include "panelhooks.h"

#include <QByteArray>
#include <QMainWindow>
#include <QSerialPort>
#include <QString>

#include <functional>
#include <memory>

class QLabel;
class QTimer;
class Console;
struct FeatureSites;
class PanelFeatures;
class Readout;
class SettingsDialog;

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

    PanelFeatures &features() const { return *panelFeatures; } // and the options of a run
    void setStepSize(double micrometres);

    // PanelHooks (windowhooks.cpp).
    Outcome allows(Motion motion, double micrometres = 0.0) const override;
    ScriptablePanel::State linkState() const override;
    bool connectPort() override;
    void disconnectPort() override;
    void home() override;
    void stop() override;
    void calibrate() override;
    void moveTo(double micrometres) override;
    void step(double micrometres) override;
    bool approveMove(double target) override;
    qint64 bytesToWrite() const override;
    bool dialogOpen() const override;
    QString controllerSerial() const override;
    void forgetHome(const QString &text) override;
    void consoleNote(const QString &text) override;
    void warn(const QString &text, bool lasting = false) override;

signals:
    // What happens on the link, for the features that watch it.
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
    void controllerMayHaveRestarted(int silentSeconds); // replies after so long a silence
    void homeSent(); // a reference run began
    void stopSent(); // a stop went out, by the button, a key, a script or Tango
    void disconnectChosen(); // the Disconnect action, after the port has closed
    void portClosed();
    void linkCheckDue(); // on every poll tick, between the position query and the version check
    void stepSizeChanged(double micrometres);

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
    friend class PanelProbe; // lets the tests read the design's members

    void connectActions();
    FeatureSites buildMenus(); // and where in them the features go
    void showAbout();
    void showErrorBox(const QString &title, const QString &text,
                      const std::function<void()> &afterClosed = {}) override;

    // LinkHost: what link supervision may see and do.
    QString statusText() const override;
    void showStatus(const QString &text) override;
    void showReadoutLive(bool live) override;
    bool controllerKnown() const override { return identified; }
    void requireHomingAgain() override;
    void askIdentity() override;
    bool openPort(const QString &portName, bool quiet) override;
    void closePort() override { closeSerialPort(); }
    void offerDisconnect(bool offered) override;

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

    // Reply parser; processReply returns the number text shown for a position line, else null.
    void takeInBytes(const QByteArray &bytes);
    QString processReply(const QByteArray &line);
    QString updatePosition(const QString &line, Protocol::Grammar grammar, bool &usable);
    void updateStatus(const QString &line);
    void updateOffset(const QByteArray &line);
    void passThrough(const QByteArray &line);

    QTimer *pollTimer = nullptr;
    int pollInterval = 150;
    double travelRange = 6500.0;
    double minPosition = -250.0;
    double maxPosition = 6250.0;
    double position = 0.0;
    bool positionEchoRequested = false;
    bool homed = false;
    bool consoleShown = false;
    QString firmwareVersion;
    QString statusCode;
    QString offsetText;
    Ui::MainWindow *ui = nullptr;
    QLabel *statusLabel = nullptr;
    Console *console = nullptr;
    SettingsDialog *settings = nullptr;
    QSerialPort *serial = nullptr;
    QByteArray rxBuffer;
    int lineEnd = 0;

    // Beside the design's members: what the rules ask, the state of the line, the read-out's
    // pacing, and the features, declared last so that they go first.
    bool identified = false; // the controller has identified itself on a tick on this port
    bool answered = false; // with its version or its calibration state
    bool discardingOverlongLine = false; // up to the next CR
    Readout *readout = nullptr;
    std::unique_ptr<PanelFeatures> panelFeatures;
};

#endif // MAINWINDOW_H
