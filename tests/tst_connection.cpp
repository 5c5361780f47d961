// The serial connection over a real pseudo-terminal: what Connect writes and shows, the poll,
// identification, hand-typed lines, open failures, a lost device, and a device that stops
// reading.

#include "console.h"
#include "testsupport.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

class TestConnection : public QObject
{
    Q_OBJECT

private slots:
    void connectWritesIdentificationThenPolls();
    void connectShowsStateAndConsole();
    void silentDeviceIsDropped();
    void lateAnswerIsDropped();
    void everyConnectionIdentifiesItself();
    void staleBytesDoNotIdentify();
    void disconnectRestoresState();
    void typedLinesReachTheController();
    void missingPortFailsToOpen();
    void hangUpEndsConnectionOnce();
    void stuckDeviceKeepsBacklogFlat();
};

void TestConnection::connectWritesIdentificationThenPolls()
{
    PanelOnLine panel;
    QVERIFY(panel.connectPanel());
    // Nothing but the poll follows; the first query one interval after connecting.
    QVERIFY(panel.controller.waitForText(">cp\r", 1000));
    QVERIFY(panel.controller.waitForBytes(8, 1000));
    QCOMPARE(panel.controller.received().left(8), QByteArray(">cp\r>cp\r"));
    auto *console = panel.probe().console();
    // Commands and the replies that pass through (the version line begins with "_").
    QCOMPARE(console->toPlainText(),
             QStringLiteral(">inform\n>status\n_Ver 106\n_offset 2500\n_status 1\n"));
}

void TestConnection::connectShowsStateAndConsole()
{
    PanelOnLine panel;
    QVERIFY(panel.connectPanel());
    const PanelProbe probe = panel.probe();
    QVERIFY(probe.serial()->isOpen());
    QVERIFY(probe.pollTimer()->isActive());
    QCOMPARE(probe.pollTimer()->interval(), 150);
    QCOMPARE(probe.statusLabel()->text(),
             QStringLiteral("Connected to %1 : 115200, 8, None, 1, ")
                 .arg(panel.controller.devicePath()));
    QVERIFY(probe.console()->isEnabled());
    QVERIFY(!panel.find<QAction>("actionConnect")->isEnabled());
    QVERIFY(panel.find<QAction>("actionDisconnect")->isEnabled());
    QVERIFY(!panel.find<QAction>("actionConfigure")->isEnabled());
    QCOMPARE(probe.firmwareVersion(), QStringLiteral("1.06"));
    // The first tick identifies the controller.
    auto *home = panel.find<QPushButton>("pushButton_home");
    QVERIFY(panel.controller.waitForText(">cp\r", 1000));
    QTest::qWait(5);
    QVERIFY(home->isEnabled());
    QCOMPARE(home->styleSheet(), QStringLiteral("color: red"));
    QVERIFY(panel.find<QPushButton>("pushButton_AutoCalibrate")->isEnabled());
    QVERIFY(!panel.find<QPushButton>("pushButton_stop")->isEnabled());
}

void TestConnection::silentDeviceIsDropped()
{
    PanelOnLine panel;
    ModalCloser closer;
    QVERIFY(panel.connectPanel(QByteArray()));
    QTRY_COMPARE_WITH_TIMEOUT(closer.count(), 1, 2000);
    QCOMPARE(closer.boxes().at(0).title, QStringLiteral("Error"));
    QCOMPARE(
        closer.boxes().at(0).text,
        QStringLiteral("No Device found: \n1. Check Device-Connection \n2. Install Device Driver"));
    QTRY_COMPARE_WITH_TIMEOUT(panel.probe().statusLabel()->text(), QStringLiteral("Open error"),
                              1000);
    QVERIFY(!panel.probe().serial()->isOpen());
    QVERIFY(!panel.probe().pollTimer()->isActive());
    QVERIFY(panel.find<QAction>("actionConnect")->isEnabled());
    QVERIFY(!panel.find<QPushButton>("pushButton_home")->isEnabled());
    QTest::qWait(200);
    QCOMPARE(closer.count(), 1);
}

void TestConnection::lateAnswerIsDropped()
{
    PanelOnLine panel;
    ModalCloser closer;
    QVERIFY(panel.connectPanel(QByteArray()));
    QTimer::singleShot(170, &panel.controller, [&] { panel.controller.write("_Ver 106\r"); });
    QTRY_COMPARE_WITH_TIMEOUT(closer.count(), 1, 2000);
    QVERIFY(!panel.probe().serial()->isOpen());
}

void TestConnection::everyConnectionIdentifiesItself()
{
    PanelOnLine panel;
    ModalCloser closer;
    QVERIFY(panel.connectPanel());
    QTRY_VERIFY_WITH_TIMEOUT(panel.find<QPushButton>("pushButton_home")->isEnabled(), 1000);
    panel.trigger("actionDisconnect");
    QCOMPARE(panel.probe().statusLabel()->text(), QStringLiteral("Disconnected"));
    // The same port, silent this time: an earlier answer must not pass for this one.
    QVERIFY(panel.connectPanel(QByteArray()));
    QTRY_COMPARE_WITH_TIMEOUT(closer.count(), 1, 2000);
    QCOMPARE(closer.boxes().at(0).text.left(15), QStringLiteral("No Device found"));
    QVERIFY(!panel.probe().serial()->isOpen());
    // And a controller that answers in time after that keeps its connection.
    QVERIFY(panel.connectPanel());
    QTest::qWait(400);
    QVERIFY(panel.probe().serial()->isOpen());
    QCOMPARE(closer.count(), 1);
}

void TestConnection::staleBytesDoNotIdentify()
{
    PanelOnLine panel;
    ModalCloser closer;
    // A version line waiting on the line before Connect, and half a line left over from the
    // previous connection.
    QVERIFY(panel.connectPanel("_Ver 1"));
    panel.trigger("actionDisconnect");
    panel.controller.write("_Ver 106\r");
    panel.settle();
    QVERIFY(panel.connectPanel(QByteArray()));
    QTRY_COMPARE_WITH_TIMEOUT(closer.count(), 1, 2000);
    QVERIFY(!panel.probe().serial()->isOpen());
    // A fresh answer after reconnecting is read whole, not glued to old bytes.
    QVERIFY(panel.connectPanel("_Ver 106\r"));
    QCOMPARE(panel.probe().firmwareVersion(), QStringLiteral("1.06"));
}

void TestConnection::disconnectRestoresState()
{
    PanelOnLine panel;
    QVERIFY(panel.connectAndHome());
    panel.controller.write("_cp 12.");
    panel.settle();
    panel.trigger("actionDisconnect");
    const PanelProbe probe = panel.probe();
    QVERIFY(!probe.serial()->isOpen());
    QVERIFY(!probe.pollTimer()->isActive());
    QVERIFY(!probe.console()->isEnabled());
    QVERIFY(!probe.homed());
    QCOMPARE(probe.statusLabel()->text(), QStringLiteral("Disconnected"));
    auto *home = panel.find<QPushButton>("pushButton_home");
    QCOMPARE(home->styleSheet(), QStringLiteral("color: grey"));
    for (const char *name : { "pushButton_home", "pushButton_AutoCalibrate", "pushButton_stop",
                              "pushButton_SliderMinus", "pushButton_SliderPlus" })
        QVERIFY2(!panel.find<QPushButton>(name)->isEnabled(), name);
    QVERIFY(panel.find<QAction>("actionConnect")->isEnabled());
    QVERIFY(!panel.find<QAction>("actionDisconnect")->isEnabled());
    QVERIFY(panel.find<QAction>("actionConfigure")->isEnabled());
    // What survives a closed connection.
    QCOMPARE(probe.firmwareVersion(), QStringLiteral("1.06"));
    QCOMPARE(probe.maxPosition(), 14750.0);
    QCOMPARE(probe.rxBuffer(), QByteArray("_cp 12."));
    // Nothing more is written once closed.
    panel.controller.take();
    QTest::qWait(350);
    QCOMPARE(panel.controller.received(), QByteArray());
}

void TestConnection::typedLinesReachTheController()
{
    PanelOnLine panel;
    QVERIFY(panel.connectPanel());
    panel.controller.take();
    Console *console = panel.probe().console();
    console->setFocus();
    QTest::keyClicks(console, "hello");
    QTest::keyClick(console, Qt::Key_Return);
    QVERIFY(panel.controller.waitForText("hello\r"));
    QVERIFY(!panel.probe().positionEchoRequested());
    QTest::keyClicks(console, ">scpx");
    QTest::keyClick(console, Qt::Key_Return);
    QVERIFY(panel.controller.waitForText(">scpx\r"));
    QVERIFY(panel.probe().positionEchoRequested());
}

void TestConnection::missingPortFailsToOpen()
{
    MainWindow window(nullptr, QStringLiteral("/dev/lumarvethon-no-such-port"));
    window.show();
    ModalCloser closer;
    window.findChild<QAction *>(QStringLiteral("actionConnect"))->trigger();
    QCOMPARE(closer.count(), 1);
    QCOMPARE(closer.boxes().at(0).title, QStringLiteral("Error"));
    QCOMPARE(closer.boxes().at(0).text,
             QStringLiteral(
                 "No COM-Port found: \n1. Check Device-Connection \n2. Install Device Driver"));
    const PanelProbe probe(window);
    QCOMPARE(probe.statusLabel()->text(), QStringLiteral("Open error"));
    QVERIFY(window.findChild<QAction *>(QStringLiteral("actionConnect"))->isEnabled());
    QVERIFY(!window.findChild<QAction *>(QStringLiteral("actionDisconnect"))->isEnabled());
    QVERIFY(!probe.pollTimer()->isActive());
    QVERIFY(!probe.console()->isEnabled());
}

static double cpuSeconds()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec
        + usage.ru_stime.tv_usec / 1e6;
}

void TestConnection::hangUpEndsConnectionOnce()
{
    PanelOnLine panel;
    QVERIFY(panel.connectAndHome());
    ModalCloser closer(1500); // the operator leaves the box open for a while

    // The box runs its own event loop, so what happens while it is open is looked at from
    // timers that fire inside that loop.
    bool openAtFirstLook = false, portOpenBehindBox = true, timerBehindBox = true;
    bool openAtSecondLook = false;
    double cpuAtFirstLook = 0, cpuUsedBehindBox = 1;
    QTimer::singleShot(400, [&] {
        openAtFirstLook = ModalCloser::boxOpen();
        portOpenBehindBox = panel.probe().serial()->isOpen();
        timerBehindBox = panel.probe().pollTimer()->isActive();
        cpuAtFirstLook = cpuSeconds();
    });
    QTimer::singleShot(900, [&] {
        openAtSecondLook = ModalCloser::boxOpen();
        cpuUsedBehindBox = cpuSeconds() - cpuAtFirstLook;
    });
    panel.controller.pty().hangUp();
    QTest::qWait(2500);

    QVERIFY(openAtFirstLook);
    QVERIFY(openAtSecondLook);
    QCOMPARE(closer.count(), 1);
    QCOMPARE(closer.boxes().at(0).title, QStringLiteral("Critical Error"));
    QVERIFY(!closer.boxes().at(0).text.isEmpty());
    // The port is let go before the operator is told, so nothing spins behind the box.
    QVERIFY(!portOpenBehindBox);
    QVERIFY(!timerBehindBox);
    QVERIFY2(cpuUsedBehindBox < 0.05,
             qPrintable(QStringLiteral("%1 s of CPU in 0.5 s").arg(cpuUsedBehindBox)));
    QVERIFY(!ModalCloser::boxOpen());
    QCOMPARE(panel.probe().statusLabel()->text(), QStringLiteral("Disconnected"));
    QVERIFY(panel.find<QAction>("actionConnect")->isEnabled());
    QVERIFY(!panel.probe().homed());
}

void TestConnection::stuckDeviceKeepsBacklogFlat()
{
    PanelOnLine panel;
    QVERIFY(panel.connectPanel());
    panel.controller.pty().setReading(false);
    // Fill the terminal with operator lines until the port has to queue.
    Console *console = panel.probe().console();
    const QByteArray junk(1024, 'x');
    QSerialPort *serial = panel.probe().serial();
    for (int i = 0; i < 400 && serial->bytesToWrite() < 8192; ++i) {
        serial->write(junk);
        QTest::qWait(1);
    }
    Q_UNUSED(console);
    QTest::qWait(200);
    const qint64 queued = serial->bytesToWrite();
    QVERIFY(queued > 4096);
    QTest::qWait(800); // five or more poll ticks
    QCOMPARE(serial->bytesToWrite(), queued);
    QVERIFY(serial->isOpen());
}

QTEST_MAIN(TestConnection)
#include "tst_connection.moc"
