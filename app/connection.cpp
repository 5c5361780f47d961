// The serial connection: opening and closing the port, port errors, and the lines that the
// operator types in the console.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "console.h"
#include "linksupervisor.h"
#include "panelfeatures.h"
#include "protocol.h"
#include "settingsdialog.h"

#include <QLabel>
#include <QTimer>

void MainWindow::openSerialPort()
{
    // The operator's own Connect ends any automatic trying.
    panelFeatures->link().stopReconnecting();
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
        // The box keeps its designed text; the system's reason goes to the console and the
        // record.
        const QString reason = serial->errorString();
        panelFeatures->link().openFailed(portName, reason);
        emit openFailed(reason);
        return false;
    }

    panelFeatures->link().portOpened(portName, quiet);
    // A reconnection try is no connection until its controller has identified itself.
    if (!quiet)
        emit portOpened(portName);
    // Every connection has to identify itself afresh: neither an earlier controller's
    // version or calibration status nor bytes that were waiting on the line (or half a line left
    // over from the last connection) may stand in for this controller's answer.
    firmwareVersion.clear();
    statusCode.clear();
    identified = false;
    answered = false;
    serial->clear(QSerialPort::AllDirections);
    rxBuffer.clear();
    discardingOverlongLine = false;
    // A device that hung up right after the open is a loss, never a connection: its error may
    // have let the port go already, or the toolkit may say nothing at all.
    if (!serial->isOpen())
        return false;
    const QString connectedText = tr("Connected to %1 : %2, %3, %4, %5, %6")
                                      .arg(portName, p.baudRateText, p.dataBitsText, p.parityText,
                                           p.stopBitsText, p.flowControlText);
    if (!panelFeatures->link().portReady(connectedText))
        return false;

    console->setEnabled(true);
    console->setLocalEcho(p.localEcho);
    ui->actionConnect->setEnabled(false);
    ui->actionDisconnect->setEnabled(true);
    ui->actionConfigure->setEnabled(false);
    pollTimer->start(pollInterval);

    sendCommand(Protocol::identify);
    sendCommand(Protocol::statusQuery);
    return true;
}

void MainWindow::closeSerialPort()
{
    const bool wasOpen = serial->isOpen();
    // A reconnection try let go before it identified itself was never announced.
    const bool announced = wasOpen && !panelFeatures->link().waitingForIdentity();
    if (wasOpen)
        serial->close();
    panelFeatures->link().portClosed();
    identified = false;
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
    if (announced)
        emit portClosed();
}

void MainWindow::handleError(QSerialPort::SerialPortError error)
{
    panelFeatures->link().portError(error);
}

void MainWindow::writeData(const QByteArray &data)
{
    if (data.contains("cp"))
        positionEchoRequested = true;
    serial->write(data);
    emit lineSent(data);
}
