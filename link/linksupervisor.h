#ifndef LINKSUPERVISOR_H
#define LINKSUPERVISOR_H

// Watches the link of an open port and recovers from its loss: a read-out that has gone
// quiet turns grey and says so, replies after a long silence ask for the stage to be homed
// again, a device the system has lost is treated as lost even when the toolkit says nothing,
// and with automatic reconnection on, the lost port is tried again every second until its
// controller identifies itself, the operator disconnects, or the action is turned off. A
// port opened by such a try is no connection until its controller has identified itself.

#include "portrecovery.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QString>

class QTimer;
class LinkHost;

// The system's words for a lost link: "the device is gone" when the device file no longer
// exists, else what the error code means (never the errno that happened to be left).
QString lossReason(QSerialPort::SerialPortError error, bool deviceThere);

class LinkSupervisor : public QObject
{
    Q_OBJECT

public:
    LinkSupervisor(LinkHost &host, QSerialPort &serial, QObject *parent = nullptr);

    void setReconnectAutomatically(bool on); // off ends any trying
    bool reconnectAutomatically() const { return reconnectOn; }
    // Trying to reopen the lost port, or holding a port opened so until it identifies itself.
    bool reconnecting() const;
    // A port opened by a reconnection try whose controller has not identified itself yet:
    // no connection to tell anyone about, and no "No Device found" when it does not answer.
    bool waitingForIdentity() const;
    bool readoutStale() const { return stale; }
    const PortRecord &openedPort() const { return opened; }

    // What the panel tells it, in the order things happen to the port.
    void portOpened(const QString &portName, bool quiet);
    // Once the port is set up: false when its device went already (the loss is handled);
    // otherwise the watch starts and, unless this is a reconnection try, the text is shown.
    bool portReady(const QString &connectedText);
    void portClosed();
    void awaitIdentity(); // on a tick that found no version on a reconnection try
    void controllerIdentified();
    void setHeadless(bool on) { headless = on; }
    void openFailed(const QString &portName, const QString &reason);
    void portError(QSerialPort::SerialPortError error);
    void bytesArrived(); // before the lines of a read are taken in
    void positionTaken() { positionTakenIn = true; }
    void bytesTaken(); // after them
    void checkLink(); // on every poll tick, between the position query and the version check
    void stageHomed();
    void stopReconnecting();
    void tryReconnect();

signals:
    void connectionLost(const QString &reason);
    void reconnectingStarted();
    // Replies came back after this long a silence: the controller may have restarted.
    void controllerMayHaveRestarted(int silentSeconds);
    void openRefused(const QString &reason); // the reason the system gave for a failed open

private:
    void lose(const QString &reason);
    void startReconnecting(const QString &reason);
    void resumeReconnecting();
    void giveUpReconnectTry();
    void askToHomeAgain(qint64 silenceMs);
    void markReadoutFresh();
    bool deviceThere() const;

    LinkHost &host;
    QSerialPort &serial;
    PortRecord opened; // as it was opened, for finding it again
    QString connectedText;
    QString staleText; // the status text of a quiet read-out
    QString homeAgainText; // the status text of a request to home again
    QString reconnectText;
    QElapsedTimer replyClock; // since the last position reply
    QElapsedTimer lastReplyClock; // since the last bytes of any kind
    QElapsedTimer openClock;
    qint64 silenceMs = 0; // before the read under way
    int ticksSinceBytes = 0; // poll ticks since the last bytes came in
    int ticksInSilence = 0; // of them, before the read under way
    bool stale = false;
    bool positionTakenIn = false; // by the read under way
    bool reconnectOn = false;
    bool reconnectTry = false; // the port was opened by a reconnection try
    bool headless = false;
    bool foreignAnnounced = false; // the status bar has said that another device is there
    bool criticalErrorShown = false; // only one box, however many errors a lost device reports
    QTimer *reconnectTimer = nullptr;
    PortListing portListing;
};

#endif // LINKSUPERVISOR_H
