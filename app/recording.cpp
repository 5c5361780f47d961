// The session record and the position plot: the window hands the recorder every line and
// what happens to the connection, and the plot the positions, targets and limits, through
// the signals that it emits for whatever watches the link.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "panelsettings.h"
#include "positionplot.h"
#include "sessionrecorder.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>

void MainWindow::connectRecording()
{
    recorder = new SessionRecorder(this);
    connect(this, &MainWindow::lineSent, recorder, &SessionRecorder::recordSent);
    connect(this, &MainWindow::lineReceived, recorder, &SessionRecorder::recordReceived);
    connect(this, &MainWindow::portOpened, recorder, [this](const QString &portName) {
        recorder->recordEvent(QStringLiteral("connected ") + portName);
    });
    connect(this, &MainWindow::controllerIdentified, recorder, [this](const QString &version) {
        recorder->recordEvent(QStringLiteral("identified ") + version);
    });
    connect(this, &MainWindow::connectionLost, recorder, [this](const QString &errorText) {
        recorder->recordEvent(QStringLiteral("lost ") + errorText);
    });
    connect(this, &MainWindow::controllerMayHaveRestarted, recorder, [this](int seconds) {
        recorder->recordEvent(QStringLiteral("no reply for %1 s, home again").arg(seconds));
    });
    connect(this, &MainWindow::reconnecting, recorder,
            [this] { recorder->recordEvent(QStringLiteral("reconnecting")); });
    connect(this, &MainWindow::portClosed, recorder,
            [this] { recorder->recordEvent(QStringLiteral("disconnected")); });

    connect(recorder, &SessionRecorder::recordingChanged, this, &MainWindow::showRecordingState);
    // The panel goes on without the record; the label keeps the reason until the next change.
    connect(recorder, &SessionRecorder::failed, this, [this](const QString &reason) {
        statusLabel->setText(tr("Recording stopped: %1").arg(reason));
    });
    connect(actionRecord, &QAction::triggered, this, &MainWindow::askRecordingFile);
    connect(actionStopRecording, &QAction::triggered, recorder, &SessionRecorder::stop);

    connect(this, &MainWindow::targetSet, this, [this](double target) {
        lastTarget = target;
        targetKnown = true;
    });
    connect(actionPositionPlot, &QAction::triggered, this, &MainWindow::showPositionPlot);
}

bool MainWindow::startRecording(const QString &path, bool replaceExisting, QString *error)
{
    const bool started = recorder->start(path,
                                         replaceExisting ? SessionRecorder::Existing::Replace
                                                         : SessionRecorder::Existing::Refuse);
    if (!started && error)
        *error = recorder->errorString();
    return started;
}

void MainWindow::discardRecording()
{
    recorder->discard();
}

void MainWindow::askRecordingFile()
{
    // The dialog asks before it replaces a file, so a confirmed choice may be replaced.
    // Where the last record went, while that folder is there.
    const QString folder = remembered->recordFolder();
    QFileDialog dialog(this, tr("Record session"),
                       !folder.isEmpty() && QDir(folder).exists() ? folder : QString(),
                       tr("CSV files (*.csv)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    QString error;
    if (!startRecording(path, true, &error))
        statusLabel->setText(tr("Cannot record to %1: %2").arg(path, error));
    else
        remembered->setRecordFolder(QFileInfo(path).absolutePath());
}

void MainWindow::showRecordingState(bool recording)
{
    actionRecord->setEnabled(!recording);
    actionStopRecording->setEnabled(recording);
    // A passing note: the status label keeps saying how the port is.
    if (recording)
        ui->statusBar->showMessage(tr("Recording to %1").arg(recorder->fileName()), 5000);
}

void MainWindow::showPositionPlot()
{
    if (!positionPlot) {
        positionPlot = new PositionPlot(this);
        positionPlot->setLimits(minPosition, maxPosition);
        if (targetKnown)
            positionPlot->setTarget(lastTarget);
        connect(this, &MainWindow::positionReceived, positionPlot, &PositionPlot::addPosition);
        connect(this, &MainWindow::targetSet, positionPlot, &PositionPlot::setTarget);
        connect(this, &MainWindow::limitsChanged, positionPlot, &PositionPlot::setLimits);
        positionPlot->setRangeMinutes(remembered->plotMinutes());
        connect(positionPlot, &PositionPlot::rangeChosen, this,
                [this](int minutes) { remembered->setPlotMinutes(minutes); });
    }
    if (!positionPlot->isVisible()) {
        positionPlot->show();
        return;
    }
    // Open already, perhaps behind the panel: brought to the front.
    positionPlot->raise();
    positionPlot->activateWindow();
}
