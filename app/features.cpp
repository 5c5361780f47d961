// Where the features beside the design are put together, each in a section of its own:
//   link supervision (link/LinkSupervisor): stale read-out, lost devices, a controller that
//   may have restarted, automatic reconnection; the window is its LinkHost.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "console.h"
#include "linksupervisor.h"
#include "protocol.h"
#include "sessionrecorder.h"

#include <QAction>
#include <QLabel>
#include <QTextBlock>

void MainWindow::assembleFeatures()
{
    // Link supervision.
    link = new LinkSupervisor(*this, *serial, this);
    connect(this, &MainWindow::linkCheckDue, link, &LinkSupervisor::checkLink);
    connect(this, &MainWindow::stageHomed, link, &LinkSupervisor::stageHomed);
    connect(actionReconnect, &QAction::toggled, link, &LinkSupervisor::setReconnectAutomatically);
    connect(link, &LinkSupervisor::connectionLost, this, &MainWindow::connectionLost);
    connect(link, &LinkSupervisor::reconnectingStarted, this, &MainWindow::reconnecting);
    connect(link, &LinkSupervisor::controllerMayHaveRestarted, this,
            &MainWindow::controllerMayHaveRestarted);
    connect(link, &LinkSupervisor::openRefused, recorder, [this](const QString &reason) {
        recorder->recordEvent(QStringLiteral("open failed ") + reason);
    });
}

void MainWindow::setReconnectAutomatically(bool on)
{
    actionReconnect->setChecked(on);
}

QString MainWindow::statusText() const
{
    return statusLabel->text();
}

void MainWindow::showStatus(const QString &text)
{
    statusLabel->setText(text);
}

void MainWindow::consoleNote(const QString &text)
{
    const bool lineOpen = !console->document()->lastBlock().text().isEmpty();
    console->appendData((lineOpen ? QStringLiteral("\r") : QString()).toUtf8() + text.toUtf8()
                        + QByteArrayLiteral("\r"));
}

void MainWindow::showReadoutLive(bool live)
{
    setStyle(ui->label_Position, live ? QString() : QStringLiteral("color: grey"));
}

void MainWindow::requireHomingAgain()
{
    homed = false;
    applyRules();
    setStyle(ui->pushButton_home, QStringLiteral("color: red"));
}

void MainWindow::askIdentity()
{
    sendCommand(Protocol::identify);
    sendCommand(Protocol::statusQuery);
}

void MainWindow::offerDisconnect(bool offered)
{
    ui->actionDisconnect->setEnabled(offered);
}
