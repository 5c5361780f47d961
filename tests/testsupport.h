#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

// What the panel's tests share: the controller's end of a real pseudo-terminal, a closer for
// the panel's message boxes, a look at the window's state, and a panel on a played controller.

#include "mainwindow.h"
#include "panelfeatures.h"
#include "pseudoterminal.h"

#include <QAction>
#include <QApplication>
#include <QLocalSocket>
#include <QTest>

#include <utility>

class QTimer;
class Console;
class PositionsWindow;

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
    // Waits, running the event loop, for the given text.
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

// Answers the panel's message boxes delayMs after they show, as an operator would; remembers them.
class ModalCloser : public QObject
{
    Q_OBJECT

public:
    struct Box
    {
        QString title, text;
    };
    explicit ModalCloser(int delayMs = 20, QObject *parent = nullptr)
        : QObject(parent)
        , delay(delayMs)
    {
        qApp->installEventFilter(this);
    }
    ~ModalCloser() override { qApp->removeEventFilter(this); }
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

// Read-only access to the panel's shared state, and a way into the receive path past the port.
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
    double position() const { return w.position; }
    bool homed() const { return w.homed; }
    QString firmwareVersion() const { return w.firmwareVersion; }
    QByteArray rxBuffer() const { return w.rxBuffer; }

private:
    MainWindow &w;
};

// A panel, with nothing remembered, whose settings dialog offers a fresh pseudo-terminal first.
class PanelOnLine
{
public:
    PanelOnLine();
    ~PanelOnLine() { delete window; }

    ControllerEnd controller;
    MainWindow *window = nullptr;
    PanelProbe probe() const { return PanelProbe(*window); }
    ScriptablePanel &scripts() const; // the panel as scripts see it

    // Connects and answers the identification (empty: silent); false without the requests.
    bool connectPanel(const QByteArray &answer
                      = QByteArrayLiteral("_Ver 106\r_offset 2500\r_status 1\r"));
    // Also waits for the tick that identifies the controller, homes it and forgets the bytes.
    bool connectAndHome();
    template<class T> T *find(const char *name) const
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    void trigger(const char *actionName) const { find<QAction>(actionName)->trigger(); }
    void settle(int ms = 30) { QTest::qWait(ms); } // lets the bytes arrive and be handled
    // What the controller received since the last take, without the poll's queries.
    QByteArray sent() { return controller.take().replace(">cp\r", ""); }
};

// Where the test program's temporary instances' settings are, and their removal for a first start.
QString configurationDir();
void forgetRemembered();

// The default script socket, in the test program's temporary runtime directory.
inline QString socketPath()
{
    return qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/lumarvethon.sock");
}

// A script's end of the socket, reading one reply at a time while the panel's loop runs.
struct Script
{
    explicit Script(const QString &path = socketPath()) { socket.connectToServer(path); }
    void send(const QByteArray &bytes) { socket.write(bytes); }
    QByteArray line(int timeoutMs = 3000)
    {
        const bool ready = QTest::qWaitFor([this] { return socket.canReadLine(); }, timeoutMs);
        return ready ? socket.readLine().chopped(1) : QByteArray("(no reply)");
    }
    QByteArray ask(const QByteArray &request, int timeoutMs = 3000)
    {
        send(request + '\n');
        return line(timeoutMs);
    }
    bool closed() const { return socket.state() == QLocalSocket::UnconnectedState; }
    QLocalSocket socket;
};

// A window's child by its object name, and the positions window that the window's action opens.
template<class T> T *child(const QWidget &window, const char *name)
{
    return window.findChild<T *>(QLatin1String(name));
}
PositionsWindow *openPositions(const QWidget &window);
QByteArray fileContent(const QString &path); // empty if it cannot be read

#endif // TESTSUPPORT_H
