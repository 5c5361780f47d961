// What the instance remembers between runs. Read at start-up, where only remembered values
// change the designed start-up state, and written as the operator changes them: the options
// given on the command line set the same state without passing through these writes, so they
// hold for their run only.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "errorboxes.h"
#include "panelsettings.h"
#include "portrecovery.h"
#include "positionlist.h"
#include "scriptserver.h"
#include "settingsdialog.h"

#include <QAction>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMoveEvent>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

namespace {

// How long the start-up notes stay in the status bar.
constexpr int noticeMs = 15000;

} // namespace

QString MainWindow::rememberedPortIfPresent() const
{
    // Offered only when it is there: listed by the system, or a device path that exists (a
    // bridge to a network serial server, a link).
    const QString port = remembered->port();
    if (port.isEmpty())
        return QString();
    for (const PortRecord &listed : listedPorts()) {
        if (listed.portName == port || listed.systemLocation == port)
            return port;
    }
    return QFileInfo::exists(port) ? port : QString();
}

void MainWindow::restoreRemembered()
{
    actionReconnect->setChecked(remembered->reconnect());
    ui->doubleSpinBox_mrstp->setValue(remembered->stepSize());
    const std::optional<QPoint> place = remembered->windowPosition();
    if (place && QGuiApplication::screenAt(*place))
        move(*place);

    connect(actionReconnect, &QAction::triggered, this,
            [this](bool on) { remembered->setReconnect(on); });
    connect(ui->doubleSpinBox_mrstp, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            [this](double step) { remembered->setStepSize(step); });
    connect(settings, &SettingsDialog::applied, this, [this] {
        const QString port = settings->currentSettings().portName;
        if (!port.isEmpty() && port != simulatedPort)
            remembered->setPort(port);
    });
    // Once the loop runs, so that --listen has had its say first.
    QTimer::singleShot(0, this, &MainWindow::resumeRemembered);
}

void MainWindow::resumeRemembered()
{
    QStringList notes;
    if (!remembered->notice().isEmpty())
        notes.append(remembered->notice());
    if (positionList->leftOut() > 0)
        notes.append(tr("%n saved position entries not valid and left out", nullptr,
                        positionList->leftOut()));
    if (remembered->allowScripts() && !scriptServer->isListening()) {
        const QString path = remembered->socketPath().isEmpty()
            ? ScriptServer::defaultPath(instanceName)
            : remembered->socketPath();
        QString error;
        if (!listenForScripts(path, &error))
            notes.append(tr("Scripts are not allowed: %1").arg(error));
    }
    // In full in the console, where the status bar would cut them short; headless, a line each
    // on standard error.
    for (const QString &note : qAsConst(notes)) {
        consoleNote(note);
        if (errorBoxes->isHeadless())
            warn(note, false);
    }
    if (!notes.isEmpty() && !errorBoxes->isHeadless())
        ui->statusBar->showMessage(notes.join(QStringLiteral("; ")), noticeMs);
}

void MainWindow::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    // Where the window is once shown; Wayland tells no client where its windows are.
    if (isVisible() && !QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        remembered->setWindowPosition(pos());
}
