// The window's side of the hooks that its features reach (PanelHooks, LinkHost): its state as
// they may see it, the operations that carry the design's rules, and where they may say
// something.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "console.h"
#include "errorboxes.h"
#include "linksupervisor.h"
#include "moveguard.h"
#include "panelfeatures.h"
#include "protocol.h"

#include <QAction>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QStatusBar>
#include <QTextBlock>

#include <cstdio>

ScriptablePanel::State MainWindow::linkState() const
{
    ScriptablePanel::State state;
    state.connected = serial->isOpen() && !panelFeatures->link().waitingForIdentity();
    if (state.connected) {
        state.firmware = firmwareVersion;
        if (statusCode == QLatin1String("1"))
            state.calibrated = 0;
        else if (statusCode == QLatin1String("9"))
            state.calibrated = 1;
    }
    state.homed = homed;
    state.stale = panelFeatures->link().readoutStale(); // grey while reconnecting too: not live
    state.reconnecting = panelFeatures->link().reconnecting();
    state.minimum = minPosition;
    state.maximum = maxPosition;
    return state;
}

bool MainWindow::connectPort()
{
    if (!ui->actionConnect->isEnabled())
        return false;
    ui->actionConnect->trigger();
    return true;
}

void MainWindow::disconnectPort()
{
    if (ui->actionDisconnect->isEnabled())
        ui->actionDisconnect->trigger();
}

void MainWindow::moveTo(double micrometres)
{
    sendMove(Protocol::absoluteMove(micrometres));
    emit targetSet(micrometres);
}

void MainWindow::step(double micrometres)
{
    sendMove(Protocol::relativeMove(micrometres, true));
}

qint64 MainWindow::bytesToWrite() const
{
    return serial->bytesToWrite();
}

QString MainWindow::controllerSerial() const
{
    return serial->isOpen() ? panelFeatures->link().openedPort().serialNumber : QString();
}

void MainWindow::forgetHome(const QString &text)
{
    requireHomingAgain();
    statusLabel->setText(text);
    consoleNote(text);
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

void MainWindow::warn(const QString &text, bool lasting)
{
    if (panelFeatures->errorBoxes().isHeadless()) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        std::fflush(stderr);
    } else if (lasting) {
        statusLabel->setText(text);
    } else {
        ui->statusBar->showMessage(text, 15000);
    }
}

bool MainWindow::approveMove(double target)
{
    return panelFeatures->moveGuard().approve(position, target);
}

void MainWindow::setStepSize(double micrometres)
{
    ui->doubleSpinBox_mrstp->setValue(micrometres);
}

void MainWindow::showErrorBox(const QString &title, const QString &text,
                              const std::function<void()> &afterClosed)
{
    panelFeatures->errorBoxes().show(title, text, afterClosed);
}

bool MainWindow::dialogOpen() const
{
    return panelFeatures->errorBoxes().open();
}
