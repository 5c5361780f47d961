#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

// What the panel's tests share: the controller's end of a real pseudo-terminal, a closer for
// the modal message boxes that the panel shows, and a read-only look at the window's state.

#include "mainwindow.h"
#include "pseudoterminal.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class QTimer;
class Console;

// The far end of the line as a test sees it: every byte the panel writes is collected, and
// the test writes the controller's replies.
class ControllerEnd : public QObject
{
    Q_OBJECT

public:
    explicit ControllerEnd(QObject *parent = nullptr);

    bool open() { return terminal.open(); }
    QString devicePath() const { return terminal.devicePath(); }
    PseudoTerminal &pty() { return terminal; }

    void write(const QByteArray &data) { terminal.write(data); }
    // Waits (running the event loop) until at least n bytes have arrived in all.
    bool waitForBytes(int n, int timeoutMs = 2000);
    // Waits until the collected bytes contain the given text.
    bool waitForText(const QByteArray &text, int timeoutMs = 2000);
    QByteArray received() const { return bytes; }
    // Returns what has arrived and forgets it.
    QByteArray take();

private:
    PseudoTerminal terminal;
    QByteArray bytes;
};

// Answers the message boxes that the panel opens, as an operator would, and remembers them.
// Each box is closed delayMs after it is shown. It watches for boxes being shown rather than
// polling, so it costs nothing while no box is open.
class ModalCloser : public QObject
{
    Q_OBJECT

public:
    struct Box
    {
        QString title;
        QString text;
    };

    explicit ModalCloser(int delayMs = 20, QObject *parent = nullptr);
    ~ModalCloser() override;

    QList<Box> boxes() const { return seen; }
    int count() const { return seen.size(); }
    // The first box's title and text, empty when none was shown.
    QString title() const { return seen.value(0).title; }
    QString text() const { return seen.value(0).text; }
    // True while a modal box is open right now.
    static bool boxOpen();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int delay;
    QList<Box> seen;
};

// Read-only access to the state that the panel's parts share, and a way into the receive
// path for bytes that did not come through the port (the fuzzer's).
class PanelProbe
{
public:
    explicit PanelProbe(MainWindow &window)
        : w(window)
    { }

    void feed(const QByteArray &bytes) const { w.takeInBytes(bytes); }

    QSerialPort *serial() const { return w.serial; }
    QTimer *pollTimer() const { return w.pollTimer; }
    Console *console() const { return w.console; }
    QLabel *statusLabel() const { return w.statusLabel; }
    double travelRange() const { return w.travelRange; }
    double minPosition() const { return w.minPosition; }
    double maxPosition() const { return w.maxPosition; }
    double position() const { return w.position; }
    bool positionEchoRequested() const { return w.positionEchoRequested; }
    bool homed() const { return w.homed; }
    bool consoleShown() const { return w.consoleShown; }
    QString firmwareVersion() const { return w.firmwareVersion; }
    QString statusCode() const { return w.statusCode; }
    QString offsetText() const { return w.offsetText; }
    QByteArray rxBuffer() const { return w.rxBuffer; }

private:
    MainWindow &w;
};

// A panel whose settings dialog offers a fresh pseudo-terminal first, with the controller's
// end of that terminal driven by the test.
class PanelOnLine
{
public:
    PanelOnLine();
    ~PanelOnLine();

    ControllerEnd controller;
    MainWindow *window = nullptr;
    PanelProbe probe() const { return PanelProbe(*window); }

    // Triggers Connect, waits for the identification and status requests, answers them
    // with the given lines and waits until the panel has taken them in. An empty answer
    // leaves the controller silent. Returns false when the requests did not arrive.
    bool connectPanel(const QByteArray &answer
                      = QByteArrayLiteral("_Ver 106\r_offset 2500\r_status 1\r"));
    // Waits for the first poll tick to have identified the controller, then homes it and
    // forgets the bytes written so far.
    bool connectAndHome();

    template<class T> T *find(const char *name) const
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    void trigger(const char *actionName) const;
    // Waits until the panel's port has no bytes left to write and the controller end has
    // read them.
    void settle(int ms = 30);
};

// Runs the event loop for the given time.
void spin(int ms);

#endif // TESTSUPPORT_H
