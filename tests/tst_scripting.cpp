// Scripts over the real local socket, the panel on a real pseudo-terminal: every request and
// refusal, what reaches the wire, order across clients, wait, and the bounds.

#include "console.h"
#include "testsupport.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// Scripts allowed, then 0: port closed; 1: connected and identified; 2: homed as well.
bool bringTo(PanelOnLine &panel, int stage)
{
    panel.trigger("actionAllowScripts");
    if (stage == 1)
        return panel.connectPanel() && panel.controller.waitForText(">cp\r", 1000);
    return stage == 0 || panel.connectAndHome();
}

} // namespace

class TestScripting : public QObject
{
    Q_OBJECT

private slots:
    // Numbers are read and written with "." whatever the locale.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    void requests_data();
    void requests();
    void pendingReplies_data();
    void pendingReplies();
    void homing_data();
    void homing();
    void operatorFirst();
    void bounds();
};

void TestScripting::requests_data()
{
    QTest::addColumn<int>("stage");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("wire"); // what reaches the controller, polls aside
    const auto row = [](int stage, const char *request, const char *reply, const char *wire = "") {
        QTest::addRow("%d %s", stage, request)
            << stage << QByteArray(request) << QByteArray(reply) << QByteArray(wire);
    };
    for (const char *request :
         { "position", "home", "stop", "calibrate", "move 5", "step 5", "wait" })
        row(0, request, "error not connected");
    row(0, "disconnect", "ok");
    for (const char *request : { "bogus", "", "state now", "Home", " home" })
        row(0, request, "error unknown command");
    row(1, "state",
        "ok connected=1 firmware=1.06 homed=0 calibrated=0 position=- min=-250 "
        "max=14750 age_ms=- moving=0 stale=0 reconnecting=0");
    // A home counts as motion, and not yet as homed, until three position replies agree.
    row(2, "state",
        "ok connected=1 firmware=1.06 homed=0 calibrated=0 position=- min=-250 "
        "max=14750 age_ms=- moving=1 stale=0 reconnecting=0");
    row(1, "position", "error no position yet");
    row(1, "connect", "error already connected");
    for (const char *request : { "move 5", "step 5" })
        row(1, request, "error not homed");
    row(1, "stop", "ok", ">stop\r"); // a stop always goes out, homed or not
    row(1, "home", "ok", ">stop\r>home\r");
    row(1, "calibrate", "ok", ">auto\r>status\r");
    row(2, "move 12.5", "ok", ">ma 125");
    row(2, "move 1e3\r", "ok", ">ma 10000");
    row(2, "move -250", "ok", ">ma -2500");
    row(2, "move 14750.1", "error outside -250..14750");
    row(2, "move -250.5", "error outside -250..14750");
    row(2, "step -2.5", "ok", ">mr -25");
    row(2, "step 6000", "ok", ">mr 60000");
    row(2, "step 0.126", "ok", ">mr 1.3"); // to hundredths, as the step box takes it
    row(2, "step -6000.01", "error step outside -6000..6000");
    row(2, "stop", "ok", ">stop\r");
    // A request read after its deadline (the monotonic clock's ms) is refused, unsent.
    row(2, "deadline 1 move 12.5", "error expired");
    row(2, "deadline 1 stop", "error expired");
    row(2, "deadline 99999999999999 move 12.5", "ok", ">ma 125");
    for (const char *request :
         { "deadline x move 5", "deadline -1 stop", "deadline 5", "deadline 9 deadline 9 stop" })
        row(2, request, "error bad deadline");
    row(2, "disconnect", "ok");
    for (const char *request :
         { "move 1,5", "move nan", "move inf", "move -inf", "move 1e999", "move", "move abc",
           "move 5 6", "step 0x10", "step .", "move 5e", "wait -1", "wait nan", "wait 1e9" })
        row(2, request, "error bad number");
}

void TestScripting::requests()
{
    QFETCH(int, stage);
    QFETCH(QByteArray, request);
    PanelOnLine panel;
    QVERIFY(bringTo(panel, stage));
    Script script;
    panel.controller.take();
    QTEST(script.ask(request), "reply");
    panel.settle();
    QTEST(panel.controller.received().replace(">cp\r", ""), "wire");
    QFETCH(QByteArray, wire);
    if (!wire.isEmpty()) // echoed in the console as the operator's commands are
        QVERIFY(panel.probe().console()->toPlainText().contains(wire.split('\r').first()));
}

void TestScripting::pendingReplies_data()
{
    QTest::addColumn<int>("stage");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("event"); // controller's answer, "hangup" or an action
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("state"); // how the state asked behind it begins
    QTest::addColumn<QString>("box"); // the title of the box that the operator gets after it
    const auto row = [](int stage, const char *request, const char *event, const char *reply,
                        const char *state, const char *box = "") {
        QTest::addRow("%s %s", request, reply)
            << stage << QByteArray(request) << QByteArray(event) << QByteArray(reply)
            << QByteArray(state) << QString(box);
    };
    const char *closed = "ok connected=0 firmware=- homed=0 calibrated=- position=-";
    // Calibrated or not is the connected controller's, once it says.
    row(0, "connect", "_Ver 106\r", "ok 1.06",
        "ok connected=1 firmware=1.06 homed=0 calibrated=- ");
    row(0, "connect", "", "error No Device found", closed, "Error");
    row(0, "connect", "hangup", "error No such file or directory", closed, "Error");
    // At rest: the last three position replies lie within 0.1 um.
    row(2, "wait 5", "_cp 10 um\r_cp 10.08 um\r_cp 10.16 um\r_cp 10.2 um\r_cp 10.2 um\r", "ok 10.2",
        "ok connected=1 firmware=1.06 homed=1 calibrated=0 position=10.2 min=-250 "
        "max=14750 age_ms=");
    row(2, "wait 0.2", "", "error timeout", "ok connected=1");
    row(2, "wait", "actionDisconnect", "error not connected", closed);
    row(2, "wait 9", "hangup", "error not connected", closed, "Critical Error");
}

void TestScripting::pendingReplies()
{
    QFETCH(int, stage);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, event);
    QFETCH(QByteArray, state);
    ModalCloser closer(1000);
    PanelOnLine panel;
    if (stage == 0) { // after a connection to a calibrated controller
        QVERIFY(panel.connectPanel("_Ver 106\r_status 9\r"));
        panel.trigger("actionDisconnect");
    }
    QVERIFY(bringTo(panel, stage));
    Script script, other;
    int closedAtReply = -1; // boxes closed when both replies were in: none waits for a person
    connect(&script.socket, &QLocalSocket::readyRead, this, [&] {
        if (closedAtReply < 0 && script.socket.peek(4096).count('\n') >= 2)
            closedAtReply = closer.count() - int(ModalCloser::boxOpen());
    });
    // The state waits behind; so does a second connect, not to act behind the first one's box.
    const bool again = request == "connect";
    script.send(request + (again ? "\nstate\nconnect\n" : "\nstate\n"));
    if (stage == 2) {
        panel.controller.write("_cp 7 um\r_cp 5 um\r"); // moving
        QVERIFY(other.ask("state").startsWith("ok connected=1")); // not held up
        QVERIFY(!script.socket.canReadLine());
    }
    if (event == "hangup") // before a connect is even read: the port is gone
        panel.controller.pty().hangUp();
    else if (event.startsWith("action"))
        panel.trigger(event.constData());
    else if (stage == 2 || panel.controller.waitForText(">inform\r>status\r"))
        panel.controller.write(event);
    QTEST(script.line(), "reply");
    QCOMPARE(closedAtReply, 0);
    QCOMPARE(script.line().left(state.size()), state);
    QFETCH(QString, box);
    if (again)
        QCOMPARE(script.line(),
                 box.isEmpty() ? QByteArray("error already connected")
                               : QByteArray("error dialog open"));
    QTRY_COMPARE(closer.title(), box);
    QCOMPARE(closer.count(), int(!box.isEmpty()));
}

void TestScripting::homing_data()
{
    QTest::addColumn<QByteArray>("replies"); // position replies between Home and the stop
    QTest::addColumn<QString>("stop"); // a script's stop, or the Stop button's
    QTest::addColumn<bool>("cleared");
    QTest::newRow("script, running") << QByteArray("_cp 50 um\r_cp 40 um\r") << "script" << true;
    QTest::newRow("button, running") << QByteArray("_cp 0 um\r_cp 0 um\r") << "button" << true;
    QTest::newRow("script, at rest")
        << QByteArray("_cp 9 um\r_cp 0 um\r_cp 0 um\r_cp 0 um\r") << "script" << false;
    QTest::newRow("button, at rest")
        << QByteArray("_cp 0 um\r_cp 0 um\r_cp 0 um\r") << "button" << false;
}

void TestScripting::homing()
{
    QFETCH(QByteArray, replies);
    QFETCH(QString, stop);
    QFETCH(bool, cleared);
    QTemporaryDir dir;
    PanelOnLine panel;
    QVERIFY(bringTo(panel, 2));
    QVERIFY(panel.window->features().startRecording(dir.filePath("r.csv"), false));
    Script script;
    panel.controller.write(replies);
    panel.settle();
    if (stop == "script")
        QCOMPARE(script.ask("stop"), QByteArray("ok"));
    else
        panel.find<QPushButton>("pushButton_stop")->click();
    panel.settle();
    QCOMPARE(panel.sent(), QByteArray(">stop\r"));
    const QString said = "Homing was stopped: home the stage again";
    QCOMPARE(panel.probe().homed(), !cleared);
    QCOMPARE(panel.find<QPushButton>("pushButton_stop")->isEnabled(), !cleared);
    QCOMPARE(panel.find<QPushButton>("pushButton_home")->styleSheet(),
             cleared ? "color: red" : "color: green");
    QCOMPARE(panel.probe().console()->toPlainText().contains(said), cleared);
    QCOMPARE(script.ask("state").contains(" homed=1 "), !cleared);
    panel.trigger("actionStopRecording");
    QCOMPARE(fileContent(dir.filePath("r.csv")).contains(",event,homing stopped,"), cleared);
}

void TestScripting::operatorFirst()
{
    ModalCloser closer(1500);
    PanelOnLine panel;
    QVERIFY(bringTo(panel, 2));
    Script script;
    panel.controller.write("_cp 0 um\r_cp 0 um\r_cp 0 um\r"); // the reference run has ended
    QTRY_VERIFY(script.ask("state").contains(" homed=1 "));
    panel.controller.take();
    // While the About box holds the operator, nothing acts; a stop goes out, looks answer.
    QTimer::singleShot(0, panel.window, [&panel] { panel.trigger("actionAbout"); });
    QTimer::singleShot(200, panel.window, [&script] {
        script.send("move 5\nstop\nstep 5\nstate\nhome\ncalibrate\nposition\nconnect\n"
                    "disconnect\ngoto nowhere\n");
    });
    QByteArrayList replies;
    for (int i = 0; i < 10; ++i)
        replies << script.line().split(' ').mid(0, 2).join(' ');
    QCOMPARE(replies.join('|'),
             QByteArray("error dialog|ok|error dialog|ok connected=1|error "
                        "dialog|error dialog|ok 0|error dialog|error dialog|error dialog"));
    QCOMPARE(panel.sent(), QByteArray(">stop\r"));
    QVERIFY(closer.title().startsWith(QLatin1String("About")));
    QCOMPARE(script.ask("move 5"), QByteArray("ok"));
}

void TestScripting::bounds()
{
    PanelOnLine panel;
    QVERIFY(bringTo(panel, 2));
    Script scripts[8];
    for (Script &script : scripts)
        QCOMPARE(script.ask("state").left(13), QByteArray("ok connected="));
    Script ninth;
    QCOMPARE(ninth.line(), QByteArray("error too many clients"));
    QTRY_VERIFY(ninth.closed());
    scripts[7].socket.abort(); // a place is free again once a script has gone
    panel.settle(50);
    Script next;
    QCOMPARE(next.ask(QByteArray(256, 'x')), QByteArray("error unknown command"));
    QCOMPARE(next.ask(QByteArray(257, 'x')), QByteArray("error line too long"));
    QTRY_VERIFY(next.closed());

    // A script that never reads its replies is closed; the others go on.
    Script deaf;
    deaf.socket.setReadBufferSize(1);
    deaf.send(QByteArray("state\n").repeated(30000));
    QTRY_VERIFY_WITH_TIMEOUT(deaf.closed(), 10000);
    QCOMPARE(scripts[0].ask("position"), QByteArray("error no position yet"));

    // Scripts cannot grow the queue for a controller that stopped reading; a stop goes out.
    panel.controller.pty().setReading(false);
    const int steps = 20000;
    scripts[0].send(QByteArray("step 1\n").repeated(steps) + "stop\n");
    int busy = 0;
    for (int i = 0; i < steps; ++i)
        busy += scripts[0].line() == "error busy";
    QCOMPARE(scripts[0].line(), QByteArray("ok"));
    QVERIFY(busy > 0 && busy < steps);
    QSerialPort *serial = panel.probe().serial();
    const qint64 queued = serial->bytesToWrite();
    QVERIFY(queued <= 4096 + 16);
    QTest::qWait(500); // nor does the poll; the connection stays, and goes on once read again
    QVERIFY(serial->bytesToWrite() == queued && serial->isOpen());
    panel.controller.pty().setReading(true);
    QTRY_COMPARE_WITH_TIMEOUT(serial->bytesToWrite(), qint64(0), 5000);
    panel.settle(100);
    panel.controller.take();
    QVERIFY(panel.controller.waitForText(">cp\r", 3000));
}

QTEST_MAIN(TestScripting)
#include "tst_scripting.moc"
