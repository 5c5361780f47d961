#ifndef READPACER_H
#define READPACER_H

// Paces the reading of a serial port that streams: after a small read the port's read
// notifier rests for an interval, and the bytes that come meanwhile wait in the driver's
// buffer to be taken in one read. A device streaming positions at the line's full rate
// then wakes the panel about 30 times a second instead of once a line, which is most of
// what such a stream costs. A lone reply is read at once and makes no rest, and a flood,
// whose reads are large anyway, is read as fast as it comes.
//
// QSerialPort offers no way to pause its reading, so this works on its read notifier, a
// QSocketNotifier child on the systems that have one (elsewhere it does nothing).

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QSerialPort;
class QSocketNotifier;

class ReadPacer : public QObject
{
    Q_OBJECT

public:
    // Connects itself to the port's readyRead, which must happen before the reader's own
    // connection: it looks at the size of the read before the reader takes the bytes.
    ReadPacer(QSerialPort *port, int intervalMs, QObject *parent = nullptr);

private:
    void readArrived();
    void rest();
    void resume();
    QSocketNotifier *currentNotifier() const;

    QSerialPort *serial;
    QPointer<QSocketNotifier> resting; // owned by the port
    QTimer timer;
    QElapsedTimer sinceRead;
    bool restPending = false;
};

#endif // READPACER_H
