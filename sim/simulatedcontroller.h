#ifndef SIMULATEDCONTROLLER_H
#define SIMULATEDCONTROLLER_H

// A stage controller in software: serves the controller's command set on the master side of a
// pseudo-terminal, so that anything opening devicePath() as a serial port talks to a stage that
// identifies itself, reports its status and position, moves at a finite speed within its
// travel, calibrates, and, on request, misbehaves in the ways real devices do.

#include "pseudoterminal.h"
#include "simulatoroptions.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QTimer;
class StageMotion;

class SimulatedController : public QObject
{
    Q_OBJECT

public:
    explicit SimulatedController(const SimulatorOptions &options = SimulatorOptions(),
                                 QObject *parent = nullptr);

    // Creates the terminal and starts serving; false (with errorString()) without one.
    bool start();
    QString devicePath() const { return terminal.devicePath(); }
    QString errorString() const { return terminal.errorString(); }
    const SimulatorOptions &options() const { return config; }

    double position() const; // um
    bool isMoving() const;
    bool isCalibrating() const;
    bool isCalibrated() const { return calibrated; }
    double minimum() const;
    double maximum() const;

signals:
    // Every command taken off the line, before it is answered (also when silent).
    void commandReceived(const QByteArray &command);
    void hungUp();

private:
    void receive(const QByteArray &data);
    void execute(const QByteArray &command);
    bool executeMove(const QByteArray &word, const QByteArray &argument);
    void moveTo(double um);
    void identify();
    void startCalibration();
    void finishCalibration();
    void sendNoise();
    void reply(const QByteArray &line);
    void endService();
    void restart();
    void comeBack();

    SimulatorOptions config;
    PseudoTerminal terminal;
    StageMotion *motion = nullptr;
    QTimer *calibration = nullptr;
    QTimer *noise = nullptr;
    QTimer *hangup = nullptr;
    QTimer *restartTimer = nullptr;
    bool restarting = false; // silent while it boots again
    QByteArray pending;
    bool calibrated = false;
    int noiseCount = 0;
};

#endif // SIMULATEDCONTROLLER_H
