// Watching the link on every poll tick and recovering from a lost device: a read-out that
// has gone quiet says so, a device that the operating system has lost is treated as lost
// even when the toolkit reports nothing, and with automatic reconnection on, the lost port
// is tried again every second until it answers, the operator disconnects, or the action is
// turned off.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "console.h"
#include "portrecovery.h"
#include "protocol.h"

#include <QAction>
#include <QLabel>
#include <QTextBlock>
#include <QTimer>

static constexpr int staleAfterMs = 1000;
static constexpr int reconnectIntervalMs = 1000;

void MainWindow::setReconnectAutomatically(bool on)
{
    actionReconnect->setChecked(on);
}

void MainWindow::watchLink()
{
    if (!serial->isOpen())
        return;
    if (deviceLost(serial->handle())) {
        loseDevice(tr("The device is no longer there"));
        return;
    }
    if (!identified)
        return;
    const qint64 age = replyClock.elapsed();
    if (age < staleAfterMs)
        return;
    readoutStale = true;
    setStyle(ui->label_Position, QStringLiteral("color: grey"));
    staleText = tr("No reply from %1 for %2 s").arg(openedPort.portName).arg(age / 1000);
    if (statusLabel->text() != staleText)
        statusLabel->setText(staleText);
}

void MainWindow::markReadoutFresh()
{
    replyClock.start();
    if (!readoutStale)
        return;
    readoutStale = false;
    setStyle(ui->label_Position, QString());
    // Only the silence's own text goes; a request to home again stays.
    if (statusLabel->text() == staleText)
        statusLabel->setText(connectedText);
}

void MainWindow::consoleNote(const QString &text)
{
    const bool lineOpen = !console->document()->lastBlock().text().isEmpty();
    console->appendData((lineOpen ? QStringLiteral("\r") : QString()).toUtf8() + text.toUtf8()
                        + QByteArrayLiteral("\r"));
}

void MainWindow::askToHomeAgain(qint64 silenceMs)
{
    const int seconds = int(silenceMs / 1000);
    const QString text = tr("No reply for %1 s: home the stage again").arg(seconds);
    homed = false;
    applyRules();
    setStyle(ui->pushButton_home, QStringLiteral("color: red"));
    statusLabel->setText(text);
    consoleNote(text);
    emit controllerMayHaveRestarted(seconds);
    // Asked as at an open: the version, the offset and the calibration state may all be new.
    sendCommand(Protocol::identify);
    sendCommand(Protocol::statusQuery);
}

void MainWindow::startReconnecting(const QString &errorText)
{
    reconnectText = tr("Connection lost: %1. Reconnecting to %2 \u2026")
                        .arg(errorText, openedPort.portName);
    consoleNote(reconnectText);
    foreignAnnounced = false;
    resumeReconnecting();
    emit reconnecting();
}

void MainWindow::resumeReconnecting()
{
    statusLabel->setText(reconnectText);
    // The last position is not live any more; the next position reply brings it back.
    readoutStale = true;
    setStyle(ui->label_Position, QStringLiteral("color: grey"));
    // Disconnect stays available: it is how the operator ends the trying.
    ui->actionDisconnect->setEnabled(true);
    reconnectTimer->start(reconnectIntervalMs);
}

void MainWindow::stopReconnecting()
{
    if (!reconnectTimer->isActive())
        return;
    reconnectTimer->stop();
    ui->actionDisconnect->setEnabled(serial->isOpen());
    if (!serial->isOpen())
        statusLabel->setText(tr("Disconnected"));
}

void MainWindow::giveUpReconnectTry()
{
    closeSerialPort();
    resumeReconnecting();
}

void MainWindow::tryReconnect()
{
    // The ports are listed again only when devices have come or gone: a device with an
    // identity may come back under another name, and whatever is under the chosen path now
    // has to be the lost device (or, like it, have no identity) before it is opened.
    const QString target = deviceBehind(openedPort.portName);
    const bool needListing = openedPort.hasIdentity() || !target.isEmpty();
    const QList<PortRecord> listed = needListing ? portListing.ports() : QList<PortRecord>();
    const ReopenChoice choice = portToReopen(openedPort, target, deviceNode(target), listed);
    if (choice.foreign && !foreignAnnounced) {
        foreignAnnounced = true;
        statusLabel->setText(tr("Another device is at %1: left alone, still waiting for the "
                                "lost one").arg(openedPort.portName));
    }
    if (choice.name.isEmpty())
        return;
    // A failed try is quiet: no box, and the error it reports finds the port closed, so it
    // is not taken for a loss of its own.
    if (openPort(choice.name, true))
        reconnectTimer->stop();
}
