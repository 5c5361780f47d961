// Watching the link on every poll tick and recovering from a lost device: a read-out that
// has gone quiet says so, a device that the operating system has lost is treated as lost
// even when the toolkit reports nothing, and with automatic reconnection on, the lost port
// is tried again every second until it answers, the operator disconnects, or the action is
// turned off.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "console.h"
#include "portrecovery.h"

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
    const QString text
        = tr("No reply from %1 for %2 s").arg(openedPort.portName).arg(age / 1000);
    if (statusLabel->text() != text)
        statusLabel->setText(text);
}

void MainWindow::markReadoutFresh()
{
    replyClock.start();
    if (!readoutStale)
        return;
    readoutStale = false;
    setStyle(ui->label_Position, QString());
    statusLabel->setText(connectedText);
}

void MainWindow::startReconnecting(const QString &errorText)
{
    const QString message = tr("Connection lost: %1. Reconnecting to %2 \u2026")
                                .arg(errorText, openedPort.portName);
    statusLabel->setText(message);
    const bool lineOpen = !console->document()->lastBlock().text().isEmpty();
    console->appendData((lineOpen ? QStringLiteral("\r") : QString()).toUtf8()
                        + message.toUtf8() + QByteArrayLiteral("\r"));
    // Disconnect stays available: it is how the operator ends the trying.
    ui->actionDisconnect->setEnabled(true);
    portsListing.clear();
    reconnectTimer->start(reconnectIntervalMs);
    emit reconnecting();
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

void MainWindow::tryReconnect()
{
    // Only a USB device can come back under another name, and only the ports' coming and
    // going can change what the list says.
    if (openedPort.hasIdentity()) {
        const qint64 stamp = deviceSetStamp();
        if (stamp != listingStamp || portsListing.isEmpty()) {
            portsListing = listedPorts();
            listingStamp = stamp;
        }
    }
    const QString name = portToReopen(openedPort, portsListing);
    if (name.isEmpty() || !portPresent(name))
        return;
    // A failed try is quiet: no box, and the error it reports finds the port closed, so it
    // is not taken for a loss of its own.
    if (openPort(name, true))
        reconnectTimer->stop();
}
