#ifndef READPACER_H
#define READPACER_H

// Paces the reading of a serial port that streams: after each read the port's read
// notifier rests for an interval, and the bytes that come meanwhile wait in the driver's
// buffer to be taken in one read. A device streaming positions at the line's full rate
// then wakes the panel about 60 times a second instead of once a line, which is most of
// what such a stream costs; a lone reply is still read at once.
//
// QSerialPort offers no way to pause its reading, so this works on its read notifier, a
// QSocketNotifier child on the systems that have one (elsewhere it does nothing).

#include <QObject>
#include <QPointer>
#include <QTimer>

class QSerialPort;
class QSocketNotifier;

class ReadPacer : public QObject
{
    Q_OBJECT

public:
    ReadPacer(QSerialPort *port, int intervalMs, QObject *parent = nullptr);

    // To be called after each read (connected to readyRead after the reader).
    void rest();

private:
    void resume();
    QSocketNotifier *currentNotifier() const;

    QSerialPort *serial;
    QPointer<QSocketNotifier> resting; // owned by the port
    QTimer timer;
};

#endif // READPACER_H
