#include "recordingfeature.h"

#include "panelsettings.h"
#include "positionplot.h"
#include "sessionrecorder.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QStatusBar>

RecordingFeature::RecordingFeature(QMainWindow &window, PanelSettings &settings, QMenu &fileMenu,
                                   QMenu &viewMenu)
    : QObject(&window)
    , window(window)
    , remembered(settings)
    , sessionRecorder(new SessionRecorder(this))
{
    // Above Quit, with a line between.
    QAction *first = fileMenu.actions().value(0);
    actionRecord = new QAction(tr("Record session\u2026"), &window);
    actionRecord->setObjectName(QStringLiteral("actionRecord"));
    actionStopRecording = new QAction(tr("Stop recording"), &window);
    actionStopRecording->setObjectName(QStringLiteral("actionStopRecording"));
    actionStopRecording->setEnabled(false);
    fileMenu.insertActions(first, { actionRecord, actionStopRecording });
    fileMenu.insertSeparator(first);
    QAction *plotAction = new QAction(tr("Position plot"), &window);
    plotAction->setObjectName(QStringLiteral("actionPositionPlot"));
    viewMenu.insertAction(viewMenu.actions().value(0), plotAction);

    recIndicator = new QLabel(&window);
    recIndicator->setObjectName(QStringLiteral("recordingIndicator"));
    window.statusBar()->addPermanentWidget(recIndicator);
    recIndicator->hide();

    connect(sessionRecorder, &SessionRecorder::recordingChanged, this,
            &RecordingFeature::showState);
    // The panel goes on without the record.
    connect(sessionRecorder, &SessionRecorder::failed, this, [this](const QString &reason) {
        emit warning(tr("Recording stopped: %1").arg(reason));
        showState(false);
    });
    connect(actionRecord, &QAction::triggered, this, &RecordingFeature::askFile);
    connect(actionStopRecording, &QAction::triggered, sessionRecorder, &SessionRecorder::stop);
    connect(plotAction, &QAction::triggered, this, &RecordingFeature::showPlot);
}

bool RecordingFeature::start(const QString &path, bool replaceExisting, QString *error)
{
    const bool started = sessionRecorder->start(
        path,
        replaceExisting ? SessionRecorder::Existing::Replace : SessionRecorder::Existing::Refuse);
    if (!started && error)
        *error = sessionRecorder->errorString();
    return started;
}

void RecordingFeature::askFile()
{
    // The dialog asks before it replaces a file, so a confirmed choice may be replaced.
    // Where the last record went, while that folder is there.
    const QString folder = remembered.recordFolder();
    QFileDialog dialog(&window, tr("Record session"),
                       !folder.isEmpty() && QDir(folder).exists() ? folder : QString(),
                       tr("CSV files (*.csv)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    QString error;
    if (!start(path, true, &error))
        emit warning(tr("Cannot record to %1: %2").arg(path, error));
    else
        remembered.setRecordFolder(QFileInfo(path).absolutePath());
}

void RecordingFeature::showState(bool recording)
{
    actionRecord->setEnabled(!recording);
    actionStopRecording->setEnabled(recording);
    recIndicator->setVisible(recording);
    if (!recording)
        return;
    const QString path = QFileInfo(sessionRecorder->fileName()).absoluteFilePath();
    recIndicator->setText(tr("REC %1").arg(QFileInfo(path).fileName()));
    recIndicator->setToolTip(path);
    // A passing note beside the lasting indicator.
    window.statusBar()->showMessage(tr("Recording to %1").arg(sessionRecorder->fileName()), 5000);
}

void RecordingFeature::connected(const QString &portName)
{
    sessionRecorder->recordEvent(QStringLiteral("connected ") + portName);
    makePlot();
}

void RecordingFeature::addPosition(double micrometres)
{
    if (positionPlot)
        positionPlot->addPosition(micrometres);
}

void RecordingFeature::setTarget(double micrometres)
{
    lastTarget = micrometres;
    targetKnown = true;
    if (positionPlot)
        positionPlot->setTarget(micrometres);
}

void RecordingFeature::setLimits(double lowest, double highest)
{
    minimum = lowest;
    maximum = highest;
    limitsKnown = true;
    if (positionPlot)
        positionPlot->setLimits(lowest, highest);
}

void RecordingFeature::makePlot()
{
    if (positionPlot)
        return;
    positionPlot = new PositionPlot(&window);
    if (limitsKnown)
        positionPlot->setLimits(minimum, maximum);
    if (targetKnown)
        positionPlot->setTarget(lastTarget);
    positionPlot->setRangeMinutes(remembered.plotMinutes());
    connect(positionPlot, &PositionPlot::rangeChosen, this,
            [this](int minutes) { remembered.setPlotMinutes(minutes); });
}

void RecordingFeature::showPlot()
{
    makePlot();
    if (!positionPlot->isVisible()) {
        positionPlot->show();
        return;
    }
    // Open already, perhaps behind the panel: brought to the front.
    positionPlot->raise();
    positionPlot->activateWindow();
}
