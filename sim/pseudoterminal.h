#ifndef PSEUDOTERMINAL_H
#define PSEUDOTERMINAL_H

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

// The controller's end of a POSIX pseudo-terminal. The panel opens devicePath() with
// QSerialPort exactly as it would open a real serial port, while this object reads and
// writes the other (master) side from the event loop. The terminal is put in raw mode at
// once, so no echo and no line-end translation touch the bytes before the panel opens it,
// and the slave side is held open here too, so that the panel closing its port is not a
// hang-up for the controller.
class PseudoTerminal : public QObject
{
    Q_OBJECT

public:
    explicit PseudoTerminal(QObject *parent = nullptr);
    ~PseudoTerminal() override;

    // Creates the terminal; false (with errorString()) where the system has none.
    bool open();
    bool isOpen() const { return masterFd >= 0; }
    QString devicePath() const { return path; }
    QString errorString() const { return error; }

    // Queues bytes for the panel; they are written as fast as the terminal takes them.
    void write(const QByteArray &data);
    qint64 bytesPending() const { return outgoing.size(); }

    // Closes both sides: the panel sees the line drop, as with an unplugged adapter.
    void hangUp();

    // A controller that stops reading lets the panel's writes pile up in the terminal.
    void setReading(bool on);
    bool isReading() const;

signals:
    void received(const QByteArray &data);
    void hungUp();

private:
    void readMaster();
    void flushOutgoing();
    void closeFds();

    int masterFd = -1;
    int slaveFd = -1;
    QString path;
    QString error;
    QByteArray outgoing;
    QSocketNotifier *readNotifier = nullptr;
    QSocketNotifier *writeNotifier = nullptr;
};

#endif // PSEUDOTERMINAL_H
