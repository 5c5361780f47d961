// What the instance remembers, at start-up: the remembered port, offered when it is there, and
// the notes on what could not be taken back (the settings file, the positions, the script
// socket). What is written as the operator changes it is RememberedSettings's.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "errorboxes.h"
#include "panelsettings.h"
#include "portrecovery.h"
#include "positionlist.h"
#include "positionsfeature.h"
#include "scriptingfeature.h"

#include <QFileInfo>
#include <QStatusBar>

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

void MainWindow::resumeRemembered()
{
    QStringList notes;
    if (!remembered->notice().isEmpty())
        notes.append(remembered->notice());
    if (positions->list().leftOut() > 0)
        notes.append(tr("%n saved position entries not valid and left out", nullptr,
                        positions->list().leftOut()));
    if (remembered->allowScripts() && !scripting->isListening()) {
        const QString path = remembered->socketPath().isEmpty() ? scripting->defaultPath()
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
