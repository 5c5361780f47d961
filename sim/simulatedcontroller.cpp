#include "simulatedcontroller.h"

#include "simulatorprotocol.h"
#include "stagemotion.h"

#include <QTimer>

#include <algorithm>

SimulatedController::SimulatedController(const SimulatorOptions &options, QObject *parent)
    : QObject(parent)
    , config(options)
    , motion(new StageMotion(options.speedUmPerS, this))
    , calibration(new QTimer(this))
    , noise(new QTimer(this))
    , hangup(new QTimer(this))
    , restartTimer(new QTimer(this))
{
    calibration->setSingleShot(true);
    // A coarse timer may fire 5 % early; a calibration should take the time it is given.
    calibration->setTimerType(Qt::PreciseTimer);
    hangup->setSingleShot(true);
    restartTimer->setSingleShot(true);
    connect(restartTimer, &QTimer::timeout, this, &SimulatedController::restart);
    connect(calibration, &QTimer::timeout, this, &SimulatedController::finishCalibration);
    connect(noise, &QTimer::timeout, this, &SimulatedController::sendNoise);
    connect(hangup, &QTimer::timeout, &terminal, &PseudoTerminal::hangUp);
    connect(&terminal, &PseudoTerminal::received, this, &SimulatedController::receive);
    connect(&terminal, &PseudoTerminal::hungUp, this, &SimulatedController::endService);
    connect(motion, &StageMotion::arrived, this,
            [this](double um) { reply(targetReachedReply(um)); });
}

bool SimulatedController::start()
{
    if (!terminal.open())
        return false;
    if (config.hangupAfterMs > 0)
        hangup->start(config.hangupAfterMs);
    if (config.noiseIntervalMs > 0)
        noise->start(config.noiseIntervalMs);
    if (config.restartAfterMs > 0)
        restartTimer->start(config.restartAfterMs);
    return true;
}

double SimulatedController::position() const
{
    return motion->position();
}

bool SimulatedController::isMoving() const
{
    return motion->isMoving();
}

bool SimulatedController::isCalibrating() const
{
    return calibration->isActive();
}

double SimulatedController::minimum() const
{
    return lowerLimit(config.offsetTenths);
}

double SimulatedController::maximum() const
{
    return upperLimit(config.firmware, config.offsetTenths);
}

void SimulatedController::receive(const QByteArray &data)
{
    pending.append(data);
    const QList<QByteArray> commands = takeCommands(pending);
    for (const QByteArray &command : commands) {
        emit commandReceived(command);
        if (!terminal.isOpen())
            return; // a listener hung up
        if (!config.silent && !restarting)
            execute(command);
    }
}

void SimulatedController::execute(const QByteArray &command)
{
    const int space = command.indexOf(' ');
    const QByteArray word = space < 0 ? command : command.left(space);
    const QByteArray argument = space < 0 ? QByteArray() : command.mid(space + 1);

    if (word == ">ma" || word == ">mr") {
        if (executeMove(word, argument))
            return;
    } else if (argument.isEmpty()) {
        if (word == ">inform") {
            if (config.informDelayMs > 0)
                QTimer::singleShot(config.informDelayMs, Qt::PreciseTimer, this,
                                   &SimulatedController::identify);
            else
                identify();
            return;
        }
        if (word == ">status") {
            reply(statusReply(calibrated));
            return;
        }
        if (word == ">cp") {
            reply(positionReply(config.firmware, position()));
            return;
        }
        if (word == ">stop") {
            motion->stop();
            reply("ok");
            return;
        }
        if (word == ">home") {
            reply("ok");
            moveTo(0.0);
            return;
        }
        if (word == ">auto") {
            reply("ok");
            startCalibration();
            return;
        }
    }
    reply(errorReply(command));
}

bool SimulatedController::executeMove(const QByteArray &word, const QByteArray &argument)
{
    double tenths = 0.0;
    if (!parseTenths(argument, &tenths))
        return false;
    const double um = tenths / 10.0;
    reply("ok");
    // A relative step counts from the target of a running move, so that quick repeated
    // steps add up; at rest the target is where the stage stands.
    moveTo(word == ">ma" ? um : motion->target() + um);
    return true;
}

void SimulatedController::moveTo(double um)
{
    motion->moveTo(std::clamp(um, minimum(), maximum()));
}

void SimulatedController::identify()
{
    reply(versionReply(config.firmware));
    reply(offsetReply(config.offsetTenths));
}

void SimulatedController::startCalibration()
{
    if (!calibration->isActive())
        calibration->start(config.calibrationMs);
}

void SimulatedController::finishCalibration()
{
    calibrated = true;
    reply(offsetReply(config.offsetTenths));
}

void SimulatedController::sendNoise()
{
    ++noiseCount;
    reply("# noise " + QByteArray::number(noiseCount));
}

void SimulatedController::reply(const QByteArray &line)
{
    if (restarting)
        return; // also a late answer to a request from before the restart
    terminal.write(line + (config.crlf ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\r")));
}

void SimulatedController::restart()
{
    // Power lost for a moment: whatever was under way is gone, and nothing answers until
    // the controller has booted again.
    restarting = true;
    motion->stop();
    calibration->stop();
    pending.clear();
    QTimer::singleShot(restartSilenceMs, Qt::PreciseTimer, this, &SimulatedController::comeBack);
}

void SimulatedController::comeBack()
{
    restarting = false;
    calibrated = false;
    motion->placeAt(0.0);
}

void SimulatedController::endService()
{
    motion->stop();
    calibration->stop();
    noise->stop();
    hangup->stop();
    restartTimer->stop();
    pending.clear();
    emit hungUp();
}
