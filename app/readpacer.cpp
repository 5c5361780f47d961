#include "readpacer.h"

#include <QSerialPort>
#include <QSocketNotifier>

// A read larger than this is not a trickle to pace: more than a 25 ms rest gathers at any
// rate up to 230400 baud, as in a flood, where each read brings many lines anyway.
static constexpr qint64 largeRead = 1024;

ReadPacer::ReadPacer(QSerialPort *port, int intervalMs, QObject *parent)
    : QObject(parent)
    , serial(port)
{
    timer.setSingleShot(true);
    // Never early, so that the read after a rest finds the display free to show it.
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(intervalMs);
    connect(&timer, &QTimer::timeout, this, &ReadPacer::resume);
    connect(serial, &QSerialPort::readyRead, this, &ReadPacer::readArrived);
}

void ReadPacer::readArrived()
{
    // A reply that comes alone, like the poll's, is no stream: resting after it would only
    // add a wake-up to every poll tick.
    const bool streaming = sinceRead.isValid() && sinceRead.elapsed() < 2 * timer.interval();
    sinceRead.start();
    if (!streaming || restPending || timer.isActive() || serial->bytesAvailable() > largeRead)
        return;
    // Taking the bytes turns the port's notifier back on, so the rest begins once the
    // reader has had them, after this event.
    restPending = true;
    QMetaObject::invokeMethod(this, &ReadPacer::rest, Qt::QueuedConnection);
}

QSocketNotifier *ReadPacer::currentNotifier() const
{
    // The port makes a new notifier each time it opens and lets the old one go later, so
    // the newest one is the port's own.
    QSocketNotifier *newest = nullptr;
    const auto children
        = serial->findChildren<QSocketNotifier *>(QString(), Qt::FindDirectChildrenOnly);
    for (QSocketNotifier *child : children) {
        if (child->type() == QSocketNotifier::Read)
            newest = child;
    }
    return serial->isOpen() ? newest : nullptr;
}

void ReadPacer::rest()
{
    restPending = false;
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
