#ifndef TERMINATIONSIGNALS_H
#define TERMINATIONSIGNALS_H

// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal, so that an interrupted program leaves its
// event loop and cleans up instead of dying in the middle of it. The handler only writes one byte
// to a pipe (the one thing that is safe in a handler); the event loop reads it.

#include <QObject>

class QSocketNotifier;

class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    // Installs the handlers; false if the pipe cannot be made. One instance at a time.
    bool install();

signals:
    void terminationRequested(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *notifier = nullptr;
};

#endif // TERMINATIONSIGNALS_H
