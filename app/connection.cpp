// The serial connection: opening and closing the port, port errors, and the lines that the
// operator types in the console.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "console.h"
#include "portrecovery.h"
#include "protocol.h"
#include "settingsdialog.h"

#include <QLabel>
#include <QTimer>

void MainWindow::openSerialPort()
{
    // The operator's own Connect ends any automatic trying.
    stopReconnecting();
    openPort(settings->currentSettings().portName, false);
}

bool MainWindow::openPort(const QString &portName, bool quiet)
{
    const SerialSettings p = settings->currentSettings();
    serial->setPortName(portName);
    serial->setBaudRate(p.baudRate, QSerialPort::AllDirections);
    serial->setDataBits(p.dataBits);
    serial->setParity(p.parity);
    serial->setStopBits(p.stopBits);

    if (!serial->open(QIODevice::ReadWrite)) {
        if (quiet)
            return false;
        // The box first: whatever the signal lets a script do next must find it due.
        showErrorBox(tr("Error"),
                     tr("No COM-Port found: \n1. Check Device-Connection \n2. Install "
                        "Device Driver"),
                     [this] { statusLabel->setText(tr("Open error")); });
        emit openFailed(serial->errorString());
        return false;
    }

    // The lost device's identity, should it go, is that of the device the path leads to.
    openedPort = openedPortRecord(portName, portListing.ports());
    emit portOpened(portName);
    // Every connection has to identify itself afresh: neither an earlier controller's
    // version or calibration status nor bytes that were waiting on the line (or half a line left
    // over from the last connection) may stand in for this controller's answer.
    firmwareVersion.clear();
    statusCode.clear();
    identified = false;
    answered = false;
    reconnectTry = quiet;
    serial->clear(QSerialPort::AllDirections);
    rxBuffer.clear();
    discardingOverlongLine = false;
    // A device that hung up right after the open is a loss, never a connection: its error may
    // have let the port go already, or the toolkit may say nothing at all.
    if (!serial->isOpen())
        return false;
    if (deviceLost(serial->handle())) {
        loseDevice(tr("The device is no longer there"));
        return false;
    }
    openClock.start();
    replyClock.start();
    lastReplyClock.start();

    console->setEnabled(true);
    console->setLocalEcho(p.localEcho);
    ui->actionConnect->setEnabled(false);
    ui->actionDisconnect->setEnabled(true);
    ui->actionConfigure->setEnabled(false);
    connectedText = tr("Connected to %1 : %2, %3, %4, %5, %6")
                        .arg(portName, p.baudRateText, p.dataBitsText, p.parityText, p.stopBitsText,
                             p.flowControlText);
    statusLabel->setText(connectedText);
    pollTimer->start(pollInterval);

    sendCommand(Protocol::identify);
    sendCommand(Protocol::statusQuery);
    return true;
}

void MainWindow::closeSerialPort()
{
    const bool wasOpen = serial->isOpen();
    if (wasOpen)
        serial->close();
    // Closing ends any automatic trying too; a lost device starts it again afterwards.
    stopReconnecting();
    identified = false;
    readoutStale = false;
    setStyle(ui->label_Position, QString());
    console->setEnabled(false);
    ui->actionConnect->setEnabled(true);
    ui->actionDisconnect->setEnabled(false);
    ui->actionConfigure->setEnabled(true);
    homed = false;
    answered = false;
    applyRules();
    statusLabel->setText(tr("Disconnected"));
    setStyle(ui->pushButton_home, QStringLiteral("color: grey"));
    if (pollTimer->isActive())
        pollTimer->stop();
    if (wasOpen)
        emit portClosed();
}

void MainWindow::handleError(QSerialPort::SerialPortError error)
{
    // A lost device shows up as a ResourceError, or, depending on a stale errno, as a
    // ReadError on every read in a busy loop. Either way the port is let go first, so that
    // nothing spins while the operator reads the message, and the message is shown once.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (criticalErrorShown || !serial->isOpen())
        return;
    loseDevice(serial->errorString());
}

void MainWindow::loseDevice(const QString &text)
{
    // The box is due before the signals go out: a script they answer must not act behind it.
    const bool reconnect = actionReconnect->isChecked();
    if (!reconnect) {
        criticalErrorShown = true;
        showErrorBox(tr("Critical Error"), text, [this] { criticalErrorShown = false; });
    }
    emit connectionLost(text);
    closeSerialPort();
    if (reconnect)
        startReconnecting(text);
}

void MainWindow::writeData(const QByteArray &data)
{
    if (data.contains("cp"))
        positionEchoRequested = true;
    serial->write(data);
    emit lineSent(data);
}
