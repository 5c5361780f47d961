#include "readpacer.h"

#include <QSerialPort>
#include <QSocketNotifier>

ReadPacer::ReadPacer(QSerialPort *port, int intervalMs, QObject *parent)
    : QObject(parent)
    , serial(port)
{
    timer.setSingleShot(true);
    // Never early, so that the read after a rest finds the display free to show it.
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(intervalMs);
    connect(&timer, &QTimer::timeout, this, &ReadPacer::resume);
}

QSocketNotifier *ReadPacer::currentNotifier() const
{
    // The port makes a new notifier each time it opens and lets the old one go later, so
    // the newest one is the port's own.
    QSocketNotifier *newest = nullptr;
    const auto children = serial->findChildren<QSocketNotifier *>(QString(),
                                                                  Qt::FindDirectChildrenOnly);
    for (QSocketNotifier *child : children) {
        if (child->type() == QSocketNotifier::Read)
            newest = child;
    }
    return serial->isOpen() ? newest : nullptr;
}

void ReadPacer::rest()
{
    if (timer.isActive())
        return;
    resting = currentNotifier();
    if (!resting)
        return;
    resting->setEnabled(false);
    timer.start();
}

void ReadPacer::resume()
{
    // A notifier of a port that was closed (and maybe opened again) in the meantime stays
    // as the port left it.
    if (resting && resting == currentNotifier())
        resting->setEnabled(true);
    resting = nullptr;
}
