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
    home();
    ui->pushButton_home->clearFocus();
}

void MainWindow::home()
{
    sendCommand(Protocol::stop);
    sendCommand(Protocol::home);
    emit motionStarted();
    // Homing counts as done once it is asked for; no reply is awaited.
    homed = true;
    setStyle(ui->pushButton_home, QStringLiteral("color: green"));
    applyRules();
    emit homeSent();
}

void MainWindow::on_pushButton_stop_clicked()
{
    stop();
    ui->pushButton_stop->clearFocus();
}

void MainWindow::stop()
{
    sendCommand(Protocol::stop);
    emit stopSent();
}

void MainWindow::on_pushButton_AutoCalibrate_clicked()
{
    calibrate();
}

void MainWindow::calibrate()
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
    if (allows(Motion::Move, target) == Outcome::Done && approveMove(target)) {
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
    if (allows(Motion::Step) != Outcome::Done)
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
    if (approveMove(ui->horizontalSlider->value())) {
        sendMove(Protocol::sliderMove(ui->horizontalSlider->value()));
        emit targetSet(ui->horizontalSlider->value());
    } else {
        ui->horizontalSlider->setValue(Protocol::truncateToInt(position));
    }
    ui->horizontalSlider->clearFocus();
    ui->doubleSpinBox_Position->blockSignals(false);
}

MainWindow::Outcome MainWindow::allows(Motion motion, double micrometres) const
{
    if (!serial->isOpen())
        return Outcome::NotConnected;
    switch (motion) {
    case Motion::Home:
    case Motion::Calibrate:
        // Offered once the controller has answered with its version or calibration state.
        return answered ? Outcome::Done : Outcome::NotReady;
    case Motion::Stop:
    case Motion::Step:
        return homed ? Outcome::Done : Outcome::NotHomed;
    case Motion::Move:
        break;
    }
    // The target box: open once homed, and only targets within the limits go out.
    if (!homed)
        return Outcome::NotHomed;
    if (!(minPosition <= micrometres && micrometres <= maxPosition))
        return Outcome::OutsideLimits;
    return Outcome::Done;
}

QList<QWidget *> MainWindow::motionControls() const
{
    return { ui->doubleSpinBox_Position, ui->doubleSpinBox_mrstp,   ui->pushButton_stop,
             ui->pushButton_SliderMinus, ui->pushButton_SliderPlus, ui->horizontalSlider };
}

void MainWindow::applyRules()
{
    const bool ready = allows(Motion::Home) == Outcome::Done;
    ui->pushButton_home->setEnabled(ready);
    ui->pushButton_AutoCalibrate->setEnabled(ready);
    const bool moving = allows(Motion::Step) == Outcome::Done;
    for (QWidget *control : motionControls())
        control->setEnabled(moving);
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
