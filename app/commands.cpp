// The command set: every line that the panel writes to the controller goes through here.

#include "mainwindow.h"

#include "console.h"
#include "protocol.h"

// A device that stops reading would otherwise let the poll queue bytes without end.
static constexpr qint64 pollBacklogLimit = 4096;

void MainWindow::sendCommand(const QByteArray &command, bool echo)
{
    if (echo)
        console->appendData(command);
    serial->write(command);
    emit lineSent(command);
}

void MainWindow::sendMove(const QByteArray &move)
{
    console->appendData(move);
    console->appendData(QByteArrayLiteral("\r"));
    serial->write(move);
    emit lineSent(move);
    emit motionStarted();
}

void MainWindow::getPosition()
{
    if (serial->bytesToWrite() > pollBacklogLimit)
        return;
    sendCommand(Protocol::positionQuery, false);
}
