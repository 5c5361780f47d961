// The reply parser: cuts the bytes from the controller into lines ending in CR and turns
// them into the window's state, by the grammar of the controller's firmware version.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "console.h"
#include "linksupervisor.h"
#include "panelfeatures.h"
#include "protocol.h"
#include "readout.h"

#include <QLabel>
#include <QTimer>

// Longest unfinished line kept: a device that sends without CR cannot grow the buffer.
static constexpr int partialLineLimit = 4096;

void MainWindow::readData()
{
    const QByteArray bytes = serial->readAll();
    if (bytes.isEmpty())
        return;
    panelFeatures->link().bytesArrived();
    takeInBytes(bytes);
    panelFeatures->link().bytesTaken();
}

void MainWindow::takeInBytes(const QByteArray &bytes)
{
    rxBuffer.append(bytes);
    if (discardingOverlongLine) {
        const int cr = rxBuffer.indexOf('\r');
        if (cr < 0) {
            rxBuffer.clear();
            return;
        }
        rxBuffer.remove(0, cr + 1);
        discardingOverlongLine = false;
    }

    // Lines are taken from a moving start and the consumed bytes removed once, so that a
    // burst of many lines costs one pass over the bytes.
    int start = 0;
    while ((lineEnd = rxBuffer.indexOf('\r', start)) >= 0) {
        const QByteArray line = rxBuffer.mid(start, lineEnd - start + 1);
        const QString shown = processReply(line);
        emit lineReceived(line, shown);
        start = lineEnd + 1;
    }
    rxBuffer.remove(0, start);
    if (rxBuffer.size() > partialLineLimit) {
        rxBuffer.clear();
        discardingOverlongLine = true;
    }
}

QString MainWindow::processReply(const QByteArray &line)
{
    if (line.contains("Ver")) {
        const QString version = Protocol::versionFromLine(line);
        if (!version.isEmpty()) {
            firmwareVersion = version;
            travelRange = Protocol::travelRangeFor(firmwareVersion);
        }
    }

    // Firmware 1.26 marks a position with a "P" anywhere and has no status lines; the general
    // grammar begins a position with "_cp". Other versions are not understood at all.
    const Protocol::Grammar grammar = Protocol::grammarFor(firmwareVersion);
    if (grammar == Protocol::Grammar::None)
        return QString();
    const bool isPosition
        = grammar == Protocol::Grammar::Fw126 ? line.contains('P') : line.startsWith("_cp");
    if (isPosition) {
        bool usable = false;
        const QString shown = updatePosition(Protocol::decodeLine(line), grammar, usable);
        if (positionEchoRequested) {
            console->appendData(line);
            positionEchoRequested = false;
        }
        panelFeatures->link().positionTaken();
        // A line whose number is garbled is shown as it came, but goes no further.
        if (!usable)
            return QString();
        emit positionReceived(position);
        return shown;
    }
    if (grammar == Protocol::Grammar::General && line.contains("status")) {
        console->appendData(line);
        updateStatus(Protocol::decodeLine(line));
    } else if (line.contains("offset") || line.contains("Offset")) {
        updateOffset(line);
    } else {
        passThrough(line);
    }
    return QString();
}

QString MainWindow::updatePosition(const QString &line, Protocol::Grammar grammar, bool &usable)
{
    const QString number = Protocol::positionText(line, grammar);
    // One parse for a sound line; only a garbled one is read again, as the read-out takes it.
    const std::optional<double> value = Protocol::positionNumber(number);
    usable = value.has_value();
    position = value ? *value : Protocol::numberOrZero(number);
    readout->showPosition(number, position);
    return number;
}

void MainWindow::updateStatus(const QString &line)
{
    if (line.size() < 9)
        return;
    statusCode = line.at(8);
    if (statusCode == QLatin1String("1")) {
        answered = true;
        applyRules();
        ui->pushButton_AutoCalibrate->setText(tr("AutoCalibrate"));
        setStyle(ui->pushButton_AutoCalibrate, QStringLiteral("color: red"));
    } else if (statusCode == QLatin1String("9")) {
        answered = true;
        applyRules();
        ui->pushButton_AutoCalibrate->setText(tr("Calibrated"));
        setStyle(ui->pushButton_AutoCalibrate, QStringLiteral("color: green"));
        setStyle(ui->pushButton_home, QStringLiteral("color: red"));
    }
}

void MainWindow::updateOffset(const QByteArray &line)
{
    console->appendData(line);
    offsetText = QString::fromLatin1(Protocol::offsetTextFromLine(line));
    const double offset = Protocol::numberOrZero(offsetText); // tenths of a micrometre
    minPosition = offset * -1.0 * 0.1;
    maxPosition = travelRange - offset * 0.1;
    readout->showLimits(minPosition, maxPosition);
    emit limitsChanged(minPosition, maxPosition);
}

void MainWindow::passThrough(const QByteArray &line)
{
    if (Protocol::isPassThrough(line))
        console->appendData(line);
}

void MainWindow::checkVersion()
{
    // The loss check of this tick may have let the port go already.
    if (!serial->isOpen())
        return;
    if (firmwareVersion.isEmpty() && panelFeatures->link().waitingForIdentity()) {
        panelFeatures->link().awaitIdentity();
        return;
    }
    if (firmwareVersion.isEmpty()) {
        closeSerialPort();
        if (serial->isOpen())
            serial->close();
        if (pollTimer->isActive())
            pollTimer->stop();
        applyRules();
        showErrorBox(tr("Error"),
                     tr("No Device found: \n1. Check Device-Connection \n2. Install "
                        "Device Driver"),
                     [this] { statusLabel->setText(tr("Open error")); });
        emit controllerNotFound();
        return;
    }
    if (!identified) {
        // A reconnection try becomes a connection only now.
        const bool announce = panelFeatures->link().waitingForIdentity();
        identified = true;
        panelFeatures->link().controllerIdentified();
        if (announce)
            emit portOpened(panelFeatures->link().openedPort().portName);
        emit controllerIdentified(firmwareVersion);
    }
    answered = true;
    applyRules();
    if (!homed)
        setStyle(ui->pushButton_home, QStringLiteral("color: red"));
}
