// The positioning panel: home, stop, calibration, absolute and relative moves, keyboard jog,
// the slider and the console toggle. Each handler gives up the focus of its control when
// done, which leaves the arrow keys to the window.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "console.h"
#include "protocol.h"

#include <QKeyEvent>
#include <QSignalBlocker>

void MainWindow::on_pushButton_home_clicked()
{
    sendCommand(Protocol::stop);
    sendCommand(Protocol::home);
    emit motionStarted();
    // Homing counts as done once it is asked for; no reply is awaited.
    homed = true;
    setStyle(ui->pushButton_home, QStringLiteral("color: green"));
    ui->pushButton_home->clearFocus();
    ui->pushButton_stop->setEnabled(true);
    ui->doubleSpinBox_Position->setEnabled(true);
    ui->doubleSpinBox_mrstp->setEnabled(true);
    ui->pushButton_SliderMinus->setEnabled(true);
    ui->pushButton_SliderPlus->setEnabled(true);
    ui->horizontalSlider->setEnabled(true);
}

void MainWindow::on_pushButton_stop_clicked()
{
    sendCommand(Protocol::stop);
    ui->pushButton_stop->clearFocus();
}

void MainWindow::on_pushButton_AutoCalibrate_clicked()
{
    // The status query that follows is answered with the new calibration state; it is
    // not shown, the button's colour tells.
    sendCommand(Protocol::autoCalibrate);
    sendCommand(Protocol::statusQuery, false);
}

void MainWindow::on_doubleSpinBox_Position_editingFinished()
{
    // Giving up the focus below would finish the editing a second time.
    const QSignalBlocker blocker(ui->doubleSpinBox_Position);
    const double target = ui->doubleSpinBox_Position->value();
    if (minPosition <= target && target <= maxPosition) {
        sendMove(Protocol::absoluteMove(target));
        emit targetSet(target);
    }
    ui->doubleSpinBox_Position->clearFocus();
}

void MainWindow::on_doubleSpinBox_mrstp_editingFinished()
{
    ui->doubleSpinBox_mrstp->clearFocus();
}

void MainWindow::sendRelativeStep(bool forward)
{
    sendMove(Protocol::relativeMove(ui->doubleSpinBox_mrstp->value(), forward));
}

void MainWindow::on_pushButton_SliderPlus_clicked()
{
    sendRelativeStep(true);
    ui->pushButton_SliderPlus->clearFocus();
}

void MainWindow::on_pushButton_SliderMinus_clicked()
{
    sendRelativeStep(false);
    ui->pushButton_SliderMinus->clearFocus();
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    if (!homed)
        return;
    if (event->key() == Qt::Key_Right) {
        sendRelativeStep(true);
        ui->pushButton_SliderPlus->clearFocus();
    } else if (event->key() == Qt::Key_Left) {
        sendRelativeStep(false);
        ui->pushButton_SliderMinus->clearFocus();
    }
}

void MainWindow::blockSlider()
{
    // The target box stays quiet while the handle is held.
    ui->doubleSpinBox_Position->blockSignals(true);
}

void MainWindow::goToSliderPosition()
{
    sendMove(Protocol::sliderMove(ui->horizontalSlider->value()));
    emit targetSet(ui->horizontalSlider->value());
    ui->horizontalSlider->clearFocus();
    ui->doubleSpinBox_Position->blockSignals(false);
}

void MainWindow::setSlidePosition(double pos)
{
    ui->horizontalSlider->setValue(Protocol::truncateToInt(pos));
}

void MainWindow::on_pushButton_Console_clicked()
{
    if (!consoleShown) {
        console->setVisible(true);
        setFixedSize(580, 700);
        ui->pushButton_Console->setText(tr("Console <<"));
        consoleShown = true;
    } else {
        console->hide();
        ui->pushButton_Console->setText(tr("Console >>"));
        setFixedSize(580, 408);
        consoleShown = false;
    }
    ui->pushButton_Console->clearFocus();
}
