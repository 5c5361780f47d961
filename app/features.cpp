// Where the features beside the designed window are put together, each in a section of its
// own, reaching the window only through its signals and a few public operations:
//   the operator's side   the session record and the position plot (RecordingFeature), the
//                         stop key (StopKey), the motion indicator (MotionIndicator), the
//                         guard for large moves (MoveGuard) and warnings that go to
//                         standard error when headless
//   remembered settings   what the operator changes, written for the next run
//                         (RememberedSettings), and read back at start-up

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "errorboxes.h"
#include "motionindicator.h"
#include "moveguard.h"
#include "panelsettings.h"
#include "recordingfeature.h"
#include "rememberedsettings.h"
#include "sessionrecorder.h"
#include "stopkey.h"

#include <QLabel>
#include <QTimer>

#include <cstdio>

void MainWindow::assembleFeatures()
{
    assembleOperatorSide();
    assembleRemembered();
}

// The operator's side.
void MainWindow::assembleOperatorSide()
{
    recording = new RecordingFeature(*this, *remembered, *menuFile, *menuView);
    SessionRecorder *recorder = &recording->recorder();
    errorBoxes->setRecorder(recorder);
    connect(this, &MainWindow::lineSent, recorder, &SessionRecorder::recordSent);
    connect(this, &MainWindow::lineReceived, recorder, &SessionRecorder::recordReceived);
    connect(this, &MainWindow::portOpened, recording, &RecordingFeature::connected);
    connect(this, &MainWindow::controllerIdentified, recorder, [recorder](const QString &v) {
        recorder->recordEvent(QStringLiteral("identified ") + v);
    });
    connect(this, &MainWindow::connectionLost, recorder, [recorder](const QString &errorText) {
        recorder->recordEvent(QStringLiteral("lost ") + errorText);
    });
    connect(this, &MainWindow::controllerMayHaveRestarted, recorder, [recorder](int seconds) {
        recorder->recordEvent(QStringLiteral("no reply for %1 s, home again").arg(seconds));
    });
    connect(this, &MainWindow::reconnecting, recorder,
            [recorder] { recorder->recordEvent(QStringLiteral("reconnecting")); });
    connect(this, &MainWindow::portClosed, recorder,
            [recorder] { recorder->recordEvent(QStringLiteral("disconnected")); });
    recording->setLimits(minPosition, maxPosition);
    connect(this, &MainWindow::positionReceived, recording, &RecordingFeature::addPosition);
    connect(this, &MainWindow::targetSet, recording, &RecordingFeature::setTarget);
    connect(this, &MainWindow::limitsChanged, recording, &RecordingFeature::setLimits);
    connect(recording, &RecordingFeature::warning, this,
            [this](const QString &text) { warn(text, true); });

    auto *motion = new MotionIndicator(this);
    ui->statusBar->addPermanentWidget(motion);
    connect(this, &MainWindow::portOpened, motion, &MotionIndicator::connected);
    connect(this, &MainWindow::portClosed, motion, &MotionIndicator::disconnected);
    connect(this, &MainWindow::connectionLost, motion, &MotionIndicator::disconnected);
    connect(this, &MainWindow::motionStarted, motion, &MotionIndicator::motionStarted);
    connect(this, &MainWindow::positionReceived, motion, &MotionIndicator::position);

    auto *stopKey = new StopKey(*this, *menuConnection);
    connect(&stopKey->action(), &QAction::triggered, this, &MainWindow::stop);
    connect(this, &MainWindow::portOpened, stopKey, [stopKey] { stopKey->setConnected(true); });
    connect(this, &MainWindow::portClosed, stopKey, [stopKey] { stopKey->setConnected(false); });
    connect(this, &MainWindow::connectionLost, stopKey,
            [stopKey] { stopKey->setConnected(false); });

    moveGuard = new MoveGuard(*this, *remembered, *menuConnection);

    connect(remembered.get(), &PanelSettings::writeFailed, this, [this](const QString &reason) {
        warn(tr("Settings not saved: %1").arg(reason), false);
    });
}

// Remembered settings.
void MainWindow::assembleRemembered()
{
    rememberedSettings = new RememberedSettings(*this, *remembered, *settings);
    actionReconnect->setChecked(remembered->reconnect());
    ui->doubleSpinBox_mrstp->setValue(remembered->stepSize());
    rememberedSettings->restorePlace();
    connect(actionReconnect, &QAction::triggered, rememberedSettings,
            &RememberedSettings::reconnectChosen);
    connect(ui->doubleSpinBox_mrstp, QOverload<double>::of(&QDoubleSpinBox::valueChanged),
            rememberedSettings, &RememberedSettings::stepChosen);
    // Once the loop runs, so that --listen has had its say first.
    QTimer::singleShot(0, this, &MainWindow::resumeRemembered);
}

void MainWindow::setSimulatedPort(const QString &path)
{
    rememberedSettings->setSimulatedPort(path);
}

void MainWindow::warn(const QString &text, bool lasting)
{
    if (errorBoxes->isHeadless()) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        std::fflush(stderr);
    } else if (lasting) {
        statusLabel->setText(text);
    } else {
        ui->statusBar->showMessage(text, 15000);
    }
}

bool MainWindow::moveApproved(double target)
{
    return moveGuard->approve(position, target);
}

bool MainWindow::startRecording(const QString &path, bool replaceExisting, QString *error)
{
    return recording->start(path, replaceExisting, error);
}

void MainWindow::discardRecording()
{
    recording->recorder().discard();
}
