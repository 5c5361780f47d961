// The serial connection over a real pseudo-terminal: what Connect writes and shows, the poll,
// identification on every connection, Disconnect, and hand-typed lines. The line's faults
// (ports that cannot open, stale bytes, hang-ups, a stuck device) are the fault tests'.

#include "console.h"
#include "testsupport.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestConnection : public QObject
{
    Q_OBJECT

private slots:
    void connectIdentifiesThenPolls();
    void everyConnectionIdentifiesItself();
    void disconnectRestoresState();
    void typedLinesReachTheController();
};

void TestConnection::connectIdentifiesThenPolls()
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

    // Nothing but the poll follows; the first tick, one interval on, identifies the controller.
    auto *home = panel.find<QPushButton>("pushButton_home");
    QVERIFY(panel.controller.waitForText(">cp\r", 1000));
    QTest::qWait(5);
    QVERIFY(home->isEnabled());
    QCOMPARE(home->styleSheet(), QStringLiteral("color: red"));
    QVERIFY(panel.find<QPushButton>("pushButton_AutoCalibrate")->isEnabled());
    QVERIFY(!panel.find<QPushButton>("pushButton_stop")->isEnabled());
    QVERIFY(panel.controller.waitForBytes(8, 1000));
    QCOMPARE(panel.controller.received().left(8), QByteArray(">cp\r>cp\r"));
    // Commands and the replies that pass through (the version line begins with "_").
    QCOMPARE(probe.console()->toPlainText(),
             QStringLiteral(">inform\n>status\n_Ver 106\n_offset 2500\n_status 1\n"));
}

void TestConnection::everyConnectionIdentifiesItself()
{
    PanelOnLine panel;
    ModalCloser closer;
    const PanelProbe probe = panel.probe();
    QVERIFY(panel.connectPanel());
    QTRY_VERIFY_WITH_TIMEOUT(panel.find<QPushButton>("pushButton_home")->isEnabled(), 1000);
    panel.trigger("actionDisconnect");

    // The same port, silent this time: the earlier answer must not pass for this one.
    QVERIFY(panel.connectPanel(QByteArray()));
    QTRY_COMPARE_WITH_TIMEOUT(closer.count(), 1, 2000);
    QCOMPARE(closer.boxes().at(0).title, QStringLiteral("Error"));
    QCOMPARE(
        closer.boxes().at(0).text,
        QStringLiteral("No Device found: \n1. Check Device-Connection \n2. Install Device Driver"));
    QTRY_COMPARE_WITH_TIMEOUT(probe.statusLabel()->text(), QStringLiteral("Open error"), 1000);
    QVERIFY(!probe.serial()->isOpen());
    QVERIFY(!probe.pollTimer()->isActive());
    QVERIFY(panel.find<QAction>("actionConnect")->isEnabled());
    QVERIFY(!panel.find<QPushButton>("pushButton_home")->isEnabled());
    QTest::qWait(200);
    QCOMPARE(closer.count(), 1);

    // A controller that answers in time after that keeps its connection.
    QVERIFY(panel.connectPanel());
    QTest::qWait(400);
    QVERIFY(probe.serial()->isOpen());
    QCOMPARE(closer.count(), 1);
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

QTEST_MAIN(TestConnection)
#include "tst_connection.moc"
