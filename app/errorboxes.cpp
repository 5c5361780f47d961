#include "errorboxes.h"

#include "sessionrecorder.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <cstdio>

ErrorBoxes::ErrorBoxes(QWidget *window)
    : QObject(window)
    , window(window)
{ }

void ErrorBoxes::show(const QString &title, const QString &text,
                      const std::function<void()> &afterClosed)
{
    if (headless) {
        // No one to wait for: the text goes out in the same order a box would have shown.
        QTimer::singleShot(0, this, [this, title, text, afterClosed] {
            const QString line
                = QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')).simplified();
            std::fprintf(stderr, "lumarvethon: %s: %s\n", qPrintable(title), qPrintable(line));
            std::fflush(stderr);
            if (recorder)
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
        QMessageBox::critical(window, title, text);
        --errorBoxesDue;
        if (afterClosed)
            afterClosed();
    });
}

bool ErrorBoxes::open() const
{
    // A box about to be shown counts as open: the requests that follow the one that caused it
    // must not act behind it.
    return errorBoxesDue > 0 || QApplication::activeModalWidget() != nullptr;
}
