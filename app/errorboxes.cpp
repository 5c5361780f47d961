// The error boxes: the one way the window shows the operator a failure in a modal box.
// A box is shown from the event loop, never from inside the call that found the failure, so
// that whatever that call owes a script (the reply to its connect, say) goes out first and
// no script waits for a person to click OK. Headless, where no one could close a box, its
// text goes to standard error and into the session record, and the panel goes on at once.

#include "mainwindow.h"

#include "sessionrecorder.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>

void MainWindow::showErrorBox(const QString &title, const QString &text,
                              const std::function<void()> &afterClosed)
{
    if (headless) {
        // No one to wait for: the text goes out in the same order a box would have shown.
        QTimer::singleShot(0, this, [this, title, text, afterClosed] {
            const QString line
                = QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')).simplified();
            std::fprintf(stderr, "lumarvethon: %s: %s\n", qPrintable(title), qPrintable(line));
            std::fflush(stderr);
            recorder->recordEvent(QStringLiteral("box %1: %2").arg(title, line));
            if (afterClosed)
                afterClosed();
        });
        return;
    }
    // Counted from now on, so that a request that the caller's signals let through next is
    // refused as if the box were open already.
    ++errorBoxesDue;
    QTimer::singleShot(0, this, [this, title, text, afterClosed] {
        QMessageBox::critical(this, title, text);
        --errorBoxesDue;
        if (afterClosed)
            afterClosed();
    });
}

bool MainWindow::operatorDialogOpen() const
{
    // A box about to be shown counts as open: the requests that follow the one that caused it
    // must not act behind it.
    return errorBoxesDue > 0 || QApplication::activeModalWidget() != nullptr;
}
