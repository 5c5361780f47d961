// The panel's error boxes in one place: on a display a modal box; headless, where no one
// could close a box and the event loop must go on, a line on standard error and an event in
// the session record.

#include "mainwindow.h"

#include "sessionrecorder.h"

#include <QMessageBox>

#include <cstdio>

void MainWindow::showCriticalBox(const QString &title, const QString &text)
{
    if (!headless) {
        QMessageBox::critical(this, title, text);
        return;
    }
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    line = line.simplified();
    std::fprintf(stderr, "lumarvethon: %s: %s\n", qPrintable(title), qPrintable(line));
    std::fflush(stderr);
    recorder->recordEvent(QStringLiteral("box %1: %2").arg(title, line));
}
