#include "linksupervisor.h"

#include "linkhost.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <utility>

static constexpr int staleAfterMs = 1000;
static constexpr int reconnectIntervalMs = 1000;
// A port opened by a reconnection try has this long to identify itself; replies after this
// long a silence may come from a controller that has restarted.
static constexpr int reconnectIdentifyMs = 2000;
static constexpr int restartSilenceMs = 2000;
// A silence is the controller's only when the panel kept asking through it: a panel that was
// itself stopped (SIGSTOP, a suspended machine) finds its replies waiting, after a long gap but
// few ticks. Half the ticks that 2 s of polling every 150 ms would give.
static constexpr int silentTicksMin = restartSilenceMs / 150 / 2;

QString lossReason(QSerialPort::SerialPortError error, bool deviceThere)
{
    const auto text
        = [](const char *words) { return QCoreApplication::translate("LinkSupervisor", words); };
    if (!deviceThere)
        return text("the device is gone");
    switch (error) {
    case QSerialPort::ResourceError:
        return text("the device became unavailable");
    case QSerialPort::ReadError:
        return text("an I/O error occurred while reading");
    case QSerialPort::WriteError:
        return text("an I/O error occurred while writing");
    default:
        return text("an unknown error occurred");
    }
}

LinkSupervisor::LinkSupervisor(LinkHost &host, QSerialPort &serial, QObject *parent)
    : QObject(parent)
    , host(host)
    , serial(serial)
    , reconnectTimer(new QTimer(this))
{
    connect(reconnectTimer, &QTimer::timeout, this, &LinkSupervisor::tryReconnect);
}

void LinkSupervisor::setReconnectAutomatically(bool on)
{
    reconnectOn = on;
    if (!on)
        stopReconnecting();
}

bool LinkSupervisor::reconnecting() const
{
    return reconnectTimer->isActive() || waitingForIdentity();
}

bool LinkSupervisor::waitingForIdentity() const
{
    return reconnectTry && serial.isOpen() && !host.controllerKnown();
}

bool LinkSupervisor::deviceThere() const
{
    return !deviceBehind(opened.portName).isEmpty();
}

void LinkSupervisor::portOpened(const QString &portName, bool quiet)
{
    // The lost device's identity, should it go, is that of the device the path leads to.
    opened = openedPortRecord(portName, portListing.ports());
    reconnectTry = quiet;
}

bool LinkSupervisor::portReady(const QString &text)
{
    // A device that hung up right after the open is a loss, never a connection: the toolkit
    // may say nothing at all.
    if (deviceLost(serial.handle())) {
        lose(lossReason(QSerialPort::ResourceError, deviceThere()));
        return false;
    }
    openClock.start();
    replyClock.start();
    lastReplyClock.start();
    ticksSinceBytes = 0;
    connectedText = text;
    // A reconnection try is no connection until its controller has identified itself.
    if (!reconnectTry)
        host.showStatus(connectedText);
    return true;
}

void LinkSupervisor::portClosed()
{
    // Closing ends any automatic trying too; a lost device starts it again afterwards.
    stopReconnecting();
    reconnectTry = false;
    stale = false;
    host.showReadoutLive(true);
}

void LinkSupervisor::awaitIdentity()
{
    // A controller that is still booting gets time; one that never answers is let go quietly
    // and the trying goes on.
    if (openClock.elapsed() >= reconnectIdentifyMs)
        giveUpReconnectTry();
}

void LinkSupervisor::controllerIdentified()
{
    if (reconnectTry)
        host.showStatus(connectedText);
}

void LinkSupervisor::openFailed(const QString &portName, const QString &reason)
{
    const QString note = tr("Cannot open %1: %2").arg(portName, reason);
    host.consoleNote(note);
    if (headless) {
        std::fprintf(stderr, "lumarvethon: %s\n", qPrintable(note));
        std::fflush(stderr);
    }
    emit openRefused(reason);
}

void LinkSupervisor::portError(QSerialPort::SerialPortError error)
{
    // A lost device shows up as a ResourceError, or, depending on a stale errno, as a
    // ReadError on every read in a busy loop. Either way the port is let go first, so that
    // nothing spins while the operator reads the message, and the message is shown once.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (criticalErrorShown || !serial.isOpen())
        return;
    lose(lossReason(error, deviceThere()));
}

void LinkSupervisor::lose(const QString &reason)
{
    // A reconnection try that goes before it has identified itself was never a connection.
    if (waitingForIdentity()) {
        giveUpReconnectTry();
        return;
    }
    // The box is due before the signals go out: a script they answer must not act behind it.
    const bool reconnect = reconnectOn;
    if (!reconnect) {
        criticalErrorShown = true;
        QString boxText = reason;
        if (!boxText.isEmpty())
            boxText[0] = boxText.at(0).toUpper();
        host.showErrorBox(tr("Critical Error"), boxText, [this] { criticalErrorShown = false; });
    }
    emit connectionLost(reason);
    host.closePort();
    if (reconnect)
        startReconnecting(reason);
}

void LinkSupervisor::checkLink()
{
    if (!serial.isOpen())
        return;
    ++ticksSinceBytes;
    if (deviceLost(serial.handle())) {
        lose(lossReason(QSerialPort::ResourceError, deviceThere()));
        return;
    }
    if (!host.controllerKnown())
        return;
    const qint64 age = replyClock.elapsed();
    if (age < staleAfterMs)
        return;
    stale = true;
    host.showReadoutLive(false);
    staleText = tr("No reply from %1 for %2 s").arg(opened.portName).arg(age / 1000);
    if (host.statusText() != staleText)
        host.showStatus(staleText);
}

void LinkSupervisor::bytesArrived()
{
    silenceMs = lastReplyClock.restart();
    ticksInSilence = std::exchange(ticksSinceBytes, 0);
}

void LinkSupervisor::bytesTaken()
{
    // Once a read, not once a line: in a flood the clock would be a good part of the cost.
    if (std::exchange(positionTakenIn, false))
        markReadoutFresh();
    // A controller that was silent this long behind an open port may have restarted and lost
    // its reference; the answers of the lines just taken in cannot tell.
    if (host.controllerKnown() && serial.isOpen() && silenceMs >= restartSilenceMs
        && ticksInSilence >= silentTicksMin)
        askToHomeAgain(std::exchange(silenceMs, 0));
}

void LinkSupervisor::markReadoutFresh()
{
    replyClock.start();
    if (!stale)
        return;
    stale = false;
    host.showReadoutLive(true);
    // Only the silence's own text goes; a request to home again stays.
    if (host.statusText() == staleText)
        host.showStatus(connectedText);
}

void LinkSupervisor::askToHomeAgain(qint64 silence)
{
    const int seconds = int(silence / 1000);
    homeAgainText = tr("No reply for %1 s: home the stage again").arg(seconds);
    host.requireHomingAgain();
    host.showStatus(homeAgainText);
    host.consoleNote(homeAgainText);
    emit controllerMayHaveRestarted(seconds);
    // Asked as at an open: the version, the offset and the calibration state may all be new.
    host.askIdentity();
}

void LinkSupervisor::stageHomed()
{
    // The request is done with; the status line says what holds now.
    if (!homeAgainText.isEmpty() && host.statusText() == homeAgainText)
        host.showStatus(connectedText);
    homeAgainText.clear();
}

void LinkSupervisor::startReconnecting(const QString &reason)
{
    reconnectText
        = tr("Connection lost: %1. Reconnecting to %2 \u2026").arg(reason, opened.portName);
    host.consoleNote(reconnectText);
    foreignAnnounced = false;
    resumeReconnecting();
    emit reconnectingStarted();
}

void LinkSupervisor::resumeReconnecting()
{
    host.showStatus(reconnectText);
    // The last position is not live any more; the next position reply brings it back.
    stale = true;
    host.showReadoutLive(false);
    // Disconnect stays available: it is how the operator ends the trying.
    host.offerDisconnect(true);
    reconnectTimer->start(reconnectIntervalMs);
}

void LinkSupervisor::stopReconnecting()
{
    if (!reconnectTimer->isActive())
        return;
    reconnectTimer->stop();
    host.offerDisconnect(serial.isOpen());
    if (!serial.isOpen())
        host.showStatus(tr("Disconnected"));
}

void LinkSupervisor::giveUpReconnectTry()
{
    host.closePort();
    resumeReconnecting();
}

void LinkSupervisor::tryReconnect()
{
    // The ports are listed again only when devices have come or gone: a device with an
    // identity may come back under another name, and whatever is under the chosen path now
    // has to be the lost device (or, like it, have no identity) before it is opened.
    const QString target = deviceBehind(opened.portName);
    const bool needListing = opened.hasIdentity() || !target.isEmpty();
    const QList<PortRecord> listed = needListing ? portListing.ports() : QList<PortRecord>();
    const ReopenChoice choice = portToReopen(opened, target, deviceNode(target), listed);
    if (choice.foreign && !foreignAnnounced) {
        foreignAnnounced = true;
        host.showStatus(tr("Another device is at %1: left alone, still waiting for the "
                           "lost one")
                            .arg(opened.portName));
    }
    if (choice.name.isEmpty())
        return;
    // A failed try is quiet: no box, and the error it reports finds the port closed, so it
    // is not taken for a loss of its own.
    if (host.openPort(choice.name, true))
        reconnectTimer->stop();
}
