#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

// What the panel's tests share: the controller's end of a real pseudo-terminal, a closer for
// the modal message boxes that the panel shows, a read-only look at the window's state, and
// a panel connected to a controller that the test plays.

#include "mainwindow.h"
#include "panelfeatures.h"
#include "pseudoterminal.h"

#include <QApplication>
#include <QLocalSocket>
#include <QTest>

#include <utility>

class QTimer;
class Console;

// The far end of the line: every byte the panel writes is collected; the test writes replies.
class ControllerEnd : public QObject
{
    Q_OBJECT

public:
    explicit ControllerEnd(QObject *parent = nullptr);
    bool open() { return terminal.open(); }
    QString devicePath() const { return terminal.devicePath(); }
    PseudoTerminal &pty() { return terminal; }
    void write(const QByteArray &data) { terminal.write(data); }
    // Wait (running the event loop) for n bytes in all, or for the given text.
    bool waitForBytes(int n, int timeoutMs = 2000)
    {
        return QTest::qWaitFor([&] { return bytes.size() >= n; }, timeoutMs);
    }
    bool waitForText(const QByteArray &text, int timeoutMs = 2000)
    {
        return QTest::qWaitFor([&] { return bytes.contains(text); }, timeoutMs);
    }
    QByteArray received() const { return bytes; }
    QByteArray take() { return std::exchange(bytes, QByteArray()); } // and forget it

private:
    PseudoTerminal terminal;
    QByteArray bytes;
};

// Answers the panel's message boxes delayMs after they show, as an operator would, and
// remembers them. It watches Show events, so it costs nothing while no box is open.
class ModalCloser : public QObject
{
    Q_OBJECT

public:
    struct Box
    {
        QString title;
        QString text;
    };
    explicit ModalCloser(int delayMs = 20, QObject *parent = nullptr)
        : QObject(parent)
        , delay(delayMs)
    {
        qApp->installEventFilter(this);
    }
    ~ModalCloser() override { qApp->removeEventFilter(this); }
    QList<Box> boxes() const { return seen; }
    int count() const { return seen.size(); }
    QString title() const { return seen.value(0).title; } // of the first box
    QString text() const { return seen.value(0).text; }
    static bool boxOpen(); // a modal box is open right now

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int delay;
    QList<Box> seen;
};

// Read-only access to the state that the panel's parts share, and a way into the receive
// path for bytes that did not come through the port (the fuzzer's and the reply table's).
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

// A panel whose settings dialog offers a fresh pseudo-terminal first, started with nothing
// remembered; the test drives the controller's end.
class PanelOnLine
{
public:
    PanelOnLine();
    ~PanelOnLine() { delete window; }

    ControllerEnd controller;
    MainWindow *window = nullptr;
    PanelProbe probe() const { return PanelProbe(*window); }
    ScriptablePanel &scripts() const; // the panel as scripts see it

    // Triggers Connect, waits for ">inform\r>status\r", answers (an empty answer leaves the
    // controller silent) and lets the panel take the answer in. False without the requests.
    bool connectPanel(const QByteArray &answer
                      = QByteArrayLiteral("_Ver 106\r_offset 2500\r_status 1\r"));
    // Also waits for the tick that identifies the controller, homes it and forgets the bytes.
    bool connectAndHome();
    template<class T> T *find(const char *name) const
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    void trigger(const char *actionName) const;
    void settle(int ms = 30) { QTest::qWait(ms); } // lets the bytes arrive and be handled
    // What the controller received since the last take, without the poll's queries (moves
    // carry no CR, so a query right behind one is still cut out whole).
    QByteArray sent() { return controller.take().replace(">cp\r", ""); }
};

// The temporary configuration every test program runs with: where the instances' settings
// files are, and their removal, for a first start.
QString configurationDir();
void forgetRemembered();

// The script socket of a panel that allows scripts, at the default path of the test's own
// runtime directory.
inline QString socketPath()
{
    return qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/lumarvethon.sock");
}

// A script's end of the socket, reading one reply at a time while the panel's loop runs.
struct Script
{
    explicit Script(const QString &path = socketPath()) { socket.connectToServer(path); }
    void send(const QByteArray &bytes) { socket.write(bytes); }
    QByteArray line()
    {
        const bool ready = QTest::qWaitFor([this] { return socket.canReadLine(); }, 3000);
        return ready ? socket.readLine().chopped(1) : QByteArray("(no reply)");
    }
    QByteArray ask(const QByteArray &request)
    {
        send(request + '\n');
        return line();
    }
    bool closed() const { return socket.state() == QLocalSocket::UnconnectedState; }
    QLocalSocket socket;
};

inline void spin(int ms)
{
    QTest::qWait(ms);
}

#endif // TESTSUPPORT_H
