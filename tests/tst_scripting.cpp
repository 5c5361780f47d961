// Scripts over the real local socket, with the panel on a real pseudo-terminal: every request
// and its refusals, what reaches the controller and the console, request order across clients,
// wait, the line's backlog, the bounds on clients, and listening beside another panel.

#include "console.h"
#include "testsupport.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A script's end of the socket, asking one line at a time while the panel's loop runs.
struct Script
{
    explicit Script(const QString &path) { socket.connectToServer(path); }
    void send(const QByteArray &bytes) { socket.write(bytes); }
    QByteArray line(int timeoutMs = 3000)
    {
        QElapsedTimer clock;
        clock.start();
        while (!socket.canReadLine() && clock.elapsed() < timeoutMs)
            QTest::qWait(2);
        return socket.canReadLine() ? socket.readLine().chopped(1) : QByteArray("(no reply)");
    }
    QByteArray ask(const QByteArray &request) { send(request + '\n'); return line(); }
    bool closed() const { return socket.state() == QLocalSocket::UnconnectedState; }
    QLocalSocket socket;
};

QString socketPath()
{
    return qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/lumarvethon.sock");
}

// 0: port closed; 1: connected and identified; 2: homed as well.
bool bringTo(PanelOnLine &panel, int stage)
{
    panel.trigger("actionAllowScripts");
    if (stage == 1 && !panel.connectPanel())
        return false;
    if (stage == 1)
        return panel.controller.waitForText(">cp\r", 1000);
    return stage == 0 || panel.connectAndHome();
}

QByteArray withoutPolls(QByteArray bytes)
{
    return bytes.replace(">cp\r", "");
}

} // namespace

class TestScripting : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void requests_data();
    void requests();
    void connectRequest_data();
    void connectRequest();
    void repliesKeepRequestOrder();
    void waitEnds_data();
    void waitEnds();
    void busyLineRefusesAllButStop();
    void bounds();
    void listening();

private:
    QTemporaryDir runtime;
};

void TestScripting::initTestCase()
{
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    // Numbers are read and written with "." whatever the locale.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void TestScripting::requests_data()
{
    QTest::addColumn<int>("stage");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("wire"); // what reaches the controller, polls aside
    const QByteArray notConnected = "error not connected", badNumber = "error bad number";
    QTest::newRow("closed state") << 0 << QByteArray("state")
        << QByteArray("ok connected=0 firmware=- homed=0 calibrated=- position=- min=-250 "
                      "max=6250 age_ms=-") << QByteArray();
    for (const char *request : { "position", "home", "stop", "calibrate", "move 5", "step 5",
                                 "wait" })
        QTest::newRow(request) << 0 << QByteArray(request) << notConnected << QByteArray();
    QTest::newRow("closed disconnect") << 0 << QByteArray("disconnect") << QByteArray("ok")
                                       << QByteArray();
    for (const char *request : { "bogus", "", "state now", "Home", " home" })
        QTest::newRow(request) << 0 << QByteArray(request)
                               << QByteArray("error unknown command") << QByteArray();
    QTest::newRow("connected state") << 1 << QByteArray("state")
        << QByteArray("ok connected=1 firmware=1.06 homed=0 calibrated=0 position=- "
                      "min=-250 max=14750 age_ms=-") << QByteArray();
    QTest::newRow("no position") << 1 << QByteArray("position")
                                 << QByteArray("error no position yet") << QByteArray();
    QTest::newRow("connect again") << 1 << QByteArray("connect")
                                   << QByteArray("error already connected") << QByteArray();
    for (const char *request : { "move 5", "step 5", "stop" })
        QTest::newRow(request) << 1 << QByteArray(request) << QByteArray("error not homed")
                               << QByteArray();
    QTest::newRow("home") << 1 << QByteArray("home") << QByteArray("ok")
                          << QByteArray(">stop\r>home\r");
    QTest::newRow("calibrate") << 1 << QByteArray("calibrate") << QByteArray("ok")
                               << QByteArray(">auto\r>status\r");
    QTest::newRow("move") << 2 << QByteArray("move 12.5") << QByteArray("ok")
                          << QByteArray(">ma 125");
    QTest::newRow("move CR LF") << 2 << QByteArray("move 1e3\r") << QByteArray("ok")
                                << QByteArray(">ma 10000");
    QTest::newRow("move to min") << 2 << QByteArray("move -250") << QByteArray("ok")
                                 << QByteArray(">ma -2500");
    for (const char *request : { "move 14750.1", "move -250.5" })
        QTest::newRow(request) << 2 << QByteArray(request)
                               << QByteArray("error outside -250..14750") << QByteArray();
    QTest::newRow("step back") << 2 << QByteArray("step -2.5") << QByteArray("ok")
                               << QByteArray(">mr -25");
    QTest::newRow("step beyond") << 2 << QByteArray("step 99999") << QByteArray("ok")
                                 << QByteArray(">mr 999990");
    QTest::newRow("stop") << 2 << QByteArray("stop") << QByteArray("ok")
                          << QByteArray(">stop\r");
    for (const char *request : { "move 1,5", "move nan", "move inf", "move -inf", "move 1e999",
                                 "move", "move abc", "move 5 6", "step 0x10", "step .",
                                 "move 5e", "wait -1", "wait nan", "wait 1e9" })
        QTest::newRow(request) << 2 << QByteArray(request) << badNumber << QByteArray();
    QTest::newRow("disconnect") << 2 << QByteArray("disconnect") << QByteArray("ok")
                                << QByteArray();
}

void TestScripting::requests()
{
    QFETCH(int, stage);
    QFETCH(QByteArray, request);
    PanelOnLine panel;
    QVERIFY(bringTo(panel, stage));
    Script script(socketPath());
    panel.controller.take();
    QTEST(script.ask(request), "reply");
    panel.settle();
    QTEST(withoutPolls(panel.controller.received()), "wire");
    QFETCH(QByteArray, wire);
    if (!wire.isEmpty()) // echoed in the console as the operator's commands are
        QVERIFY(panel.probe().console()->toPlainText().contains(wire.split('\r').first()));
}

void TestScripting::connectRequest_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("portGone");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("identified") << QByteArray("_Ver 106\r_offset 2500\r") << false
                                << QByteArray("ok 1.06");
    QTest::newRow("silent") << QByteArray() << false << QByteArray("error No Device found");
    QTest::newRow("no port") << QByteArray() << true
                             << QByteArray("error No such file or directory");
}

void TestScripting::connectRequest()
{
    QFETCH(QByteArray, answer);
    ModalCloser closer;
    PanelOnLine panel;
    QVERIFY(bringTo(panel, 0));
    QFETCH(bool, portGone);
    if (portGone)
        panel.controller.pty().hangUp();
    Script script(socketPath());
    // The state is asked behind the connect and must wait for its reply.
    script.send("connect\nstate\n");
    if (!portGone)
        QVERIFY(panel.controller.waitForText(">inform\r>status\r"));
    panel.controller.write(answer);
    QTEST(script.line(), "reply");
    QCOMPARE(script.line().left(14), QByteArray(answer.isEmpty() ? "ok connected=0" : "ok connected=1"));
    QCOMPARE(closer.count(), answer.isEmpty() ? 1 : 0);
}

void TestScripting::repliesKeepRequestOrder()
{
    PanelOnLine panel;
    QVERIFY(bringTo(panel, 2));
    Script waiting(socketPath()), other(socketPath());
    waiting.send("wait 5\nstate\nposition\n");
    QCOMPARE(other.ask("state").left(13), QByteArray("ok connected=")); // not held up
    // Only three replies in a row within 0.1 um say the stage is at rest.
    panel.controller.write("_cp 5 um\r_cp 10 um\r_cp 10.05 um\r");
    panel.settle(50);
    QVERIFY(!waiting.socket.canReadLine());
    panel.controller.write("_cp 10.1 um\r");
    QCOMPARE(waiting.line(), QByteArray("ok 10.1"));
    QVERIFY(waiting.line().startsWith("ok connected=1 firmware=1.06 homed=1 calibrated=0 "
                                      "position=10.1 min=-250 max=14750 age_ms="));
    QCOMPARE(waiting.line(), QByteArray("ok 10.1"));
}

void TestScripting::waitEnds_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("end"); // what ends the wait
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("timeout") << QByteArray("wait 0.2") << QByteArray()
                             << QByteArray("error timeout");
    QTest::newRow("operator") << QByteArray("wait") << QByteArray("actionDisconnect")
                              << QByteArray("error not connected");
    QTest::newRow("lost") << QByteArray("wait 9") << QByteArray("hangup")
                          << QByteArray("error not connected");
}

void TestScripting::waitEnds()
{
    QFETCH(QByteArray, end);
    ModalCloser closer;
    PanelOnLine panel;
    QVERIFY(bringTo(panel, 2));
    Script script(socketPath());
    QFETCH(QByteArray, request);
    script.send(request + '\n');
    panel.controller.write("_cp 7 um\r_cp 5 um\r"); // moving
    panel.settle(50);
    QVERIFY(!script.socket.canReadLine());
    if (end == "hangup")
        panel.controller.pty().hangUp();
    else if (!end.isEmpty())
        panel.trigger(end.constData());
    QTEST(script.line(1000), "reply");
}

void TestScripting::busyLineRefusesAllButStop()
{
    PanelOnLine panel;
    QVERIFY(bringTo(panel, 2));
    panel.controller.pty().setReading(false); // a controller that stopped reading
    Script script(socketPath());
    const int steps = 20000;
    script.send(QByteArray("step 1\n").repeated(steps) + "stop\n");
    QMap<QByteArray, int> replies;
    for (int i = 0; i < steps; ++i)
        ++replies[script.line()];
    QCOMPARE(script.line(), QByteArray("ok"));
    QCOMPARE(replies.value("ok") + replies.value("error busy"), steps);
    QVERIFY(replies.value("error busy") > 0);
    QVERIFY(panel.probe().serial()->bytesToWrite() <= 4096 + 16);
}

void TestScripting::bounds()
{
    PanelOnLine panel;
    QVERIFY(bringTo(panel, 0));
    std::vector<std::unique_ptr<Script>> scripts;
    for (int i = 0; i < 8; ++i) {
        scripts.push_back(std::make_unique<Script>(socketPath()));
        QCOMPARE(scripts.back()->ask("state").left(13), QByteArray("ok connected="));
    }
    Script ninth(socketPath());
    QCOMPARE(ninth.line(), QByteArray("error too many clients"));
    QTRY_VERIFY(ninth.closed());
    scripts.pop_back(); // a place is free again once a script has gone
    panel.settle(50);
    Script next(socketPath());
    QCOMPARE(next.ask(QByteArray(256, 'x')), QByteArray("error unknown command"));
    QCOMPARE(next.ask(QByteArray(257, 'x')), QByteArray("error line too long"));
    QTRY_VERIFY(next.closed());

    // A script that never reads its replies is closed; the others go on.
    Script deaf(socketPath());
    deaf.socket.setReadBufferSize(1);
    deaf.send(QByteArray("state\n").repeated(30000));
    QTRY_VERIFY_WITH_TIMEOUT(deaf.closed(), 10000);
    QCOMPARE(scripts.front()->ask("position"), QByteArray("error not connected"));
}

void TestScripting::listening()
{
    const QString path = socketPath();
    {
        QLocalServer other; // another panel's socket
        QVERIFY(other.listen(path));
        PanelOnLine panel;
        panel.trigger("actionAllowScripts");
        QVERIFY(!panel.find<QAction>("actionAllowScripts")->isChecked());
        QVERIFY(panel.find<QStatusBar>("statusBar")->currentMessage().contains(
            QStringLiteral("another program is listening on %1").arg(path)));
        QProcess second;
        second.start(QStringLiteral(LUMARVETHON_BIN), { QStringLiteral("--listen"), path });
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 2);
        QVERIFY(second.readAllStandardError().contains("another program is listening on"));
    }
    // A socket file that a crashed panel left behind is replaced.
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ::close(fd);
    PanelOnLine panel;
    panel.trigger("actionAllowScripts");
    QVERIFY(panel.find<QAction>("actionAllowScripts")->isChecked());
    QVERIFY(panel.probe().console()->toPlainText().contains(
        QStringLiteral("Listening on %1").arg(path)));
    Script script(path);
    QCOMPARE(script.ask("position"), QByteArray("error not connected"));
    panel.trigger("actionAllowScripts"); // off again: the script is let go
    QTRY_VERIFY(script.closed());
}

QTEST_MAIN(TestScripting)
#include "tst_scripting.moc"
