// The link's honesty and recovery: a quiet controller greys the read-out, a device that the
// system has lost is noticed, and with automatic reconnection a controller that comes back
// on the same device file is opened and identified afresh, while a new terminal that took the
// lost one's number is left alone.

#include "console.h"
#include "linksupervisor.h"
#include "portrecovery.h"
#include "scriptingfeature.h"
#include "testsupport.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

Q_DECLARE_METATYPE(PortRecord)

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void portToReopen_data();
    void portToReopen();
    void listingOnlyWhenDevicesChange();
    void staleReadoutAndOverlongLine();
    void lossBeforeIdentity();
    void reconnectsToAControllerThatComesBack();
};

void TestLink::portToReopen_data()
{
    QTest::addColumn<PortRecord>("lost");
    QTest::addColumn<QString>("target"); // where the lost port's path leads now
    QTest::addColumn<QList<PortRecord>>("listed");
    QTest::addColumn<bool>("newFile"); // the device file there now is not the one opened
    QTest::addColumn<QString>("expected"); // the name opened, "-" for nothing, "foreign"
    const PortRecord usb0 { "ttyUSB0", "/dev/ttyUSB0", "A1B2", 0x0403, 0x6001, {} };
    const PortRecord usb1 { "ttyUSB1", "/dev/ttyUSB1", "A1B2", 0x0403, 0x6001, {} };
    const PortRecord other { "ttyUSB0", "/dev/ttyUSB0", "Z9", 0x0403, 0x6001, {} };
    const PortRecord byId { "/dev/serial/by-id/stage", QString(), "A1B2", 0x0403, 0x6001, {} };
    const PortRecord pts { "/dev/pts/4", QString(), QString(), 0, 0, {} };
    const PortRecord ttyS0 { "ttyS0", "/dev/ttyS0", "", 0, 0, {} };
    const QString dev0 = "/dev/ttyUSB0";
    const auto row
        = [](const char *name, const PortRecord &lost, const QString &target,
             const QList<PortRecord> &listed, const QString &expected, bool newFile = false) {
              QTest::newRow(name) << lost << target << listed << newFile << expected;
          };
    row("unlisted terminal", pts, "/dev/pts/4", {}, "/dev/pts/4");
    row("terminal number taken again", pts, "/dev/pts/4", {}, "foreign", true);
    row("built-in port's file made again", ttyS0, "/dev/ttyS0", {}, "foreign", true);
    row("back under its name, new file", usb0, dev0, { usb0 }, "ttyUSB0", true);
    row("back under its name", usb0, dev0, { usb0 }, "ttyUSB0");
    row("back under another name", usb0, "", { usb1 }, "/dev/ttyUSB1");
    row("not back yet", usb0, "", {}, "-");
    row("another device took the name", usb0, dev0, { other }, "foreign");
    row("unlisted device under the name", usb0, dev0, {}, "foreign");
    row("no identity: the name", ttyS0, "/dev/ttyS0", { other }, "ttyS0");
    row("no identity, one there now", ttyS0, "/dev/ttyS0",
        { { "ttyS0", "/dev/ttyS0", "Z9", 1, 2, {} } }, "foreign");
    row("link to the same device", byId, dev0, { usb0 }, "/dev/serial/by-id/stage");
    row("link, device elsewhere", byId, "/dev/ttyUSB7", { usb1 }, "/dev/ttyUSB1");
    row("link to another device", byId, dev0, { other }, "foreign");
}

void TestLink::portToReopen()
{
    QFETCH(PortRecord, lost);
    QFETCH(QString, target);
    QFETCH(QList<PortRecord>, listed);
    QFETCH(bool, newFile);
    lost.node = { 1, 2, 3 };
    const ReopenChoice choice = ::portToReopen(lost, target, { 1, 2, newFile ? 4 : 3 }, listed);
    QTEST(choice.foreign              ? QStringLiteral("foreign")
              : choice.name.isEmpty() ? QStringLiteral("-")
                                      : choice.name,
          "expected");
}

void TestLink::listingOnlyWhenDevicesChange()
{
    static int listings = 0;
    PortListing listing; // an empty list is no reason to list again
    for (qint64 stamp : { 1, 1, 1, 2, 2 })
        listing.ports(stamp, [] {
            ++listings;
            return QList<PortRecord>();
        });
    QCOMPARE(listings, 2);
}

void TestLink::staleReadoutAndOverlongLine()
{
    PanelOnLine panel;
    QTemporaryDir dir;
    QVERIFY(panel.window->features().startRecording(dir.filePath("session.csv"), false));
    QLabel *status = panel.probe().statusLabel();
    const QString busy = QStringLiteral("Permission error while locking the device");
    {
        // A port another holds: the designed box and text, and the system's reason beside.
        QSerialPort holder(panel.controller.devicePath());
        QVERIFY(holder.open(QIODevice::ReadWrite));
        ModalCloser boxes;
        panel.trigger("actionConnect");
        QTRY_COMPARE(status->text(), QStringLiteral("Open error"));
        QVERIFY(boxes.text().startsWith(QStringLiteral("No COM-Port found")));
        QVERIFY(panel.probe().console()->toPlainText().contains(
            QStringLiteral("Cannot open %1: %2\n").arg(panel.controller.devicePath(), busy)));
    }
    QVERIFY(panel.connectAndHome());
    auto *label = panel.find<QLabel>("label_Position");
    const QString connected = status->text();
    const auto scriptsSee = [&] { return panel.scripts().panelState(); };
    QTRY_COMPARE_WITH_TIMEOUT(label->styleSheet(), QStringLiteral("color: grey"), 1300);
    QVERIFY(scriptsSee().stale);
    QCOMPARE(status->text(),
             QStringLiteral("No reply from %1 for 1 s").arg(panel.controller.devicePath()));
    // A silence shorter than 2 s changes nothing but the grey.
    panel.controller.write("_cp 1.0 um\r");
    QTRY_COMPARE(label->styleSheet(), QString());
    QCOMPARE(status->text(), connected);
    QVERIFY(panel.probe().homed());
    QTRY_VERIFY_WITH_TIMEOUT(status->text().endsWith(QStringLiteral(" 2 s")), 2500);
    QVERIFY(panel.probe().serial()->isOpen());

    // The tail of a line cut at the receive bound is no line of its own.
    QSignalSpy lines(panel.window, &MainWindow::lineReceived);
    panel.controller.write(QByteArray(5000, 'x'));
    panel.settle();
    panel.controller.write("_cp 5.0 um\r_cp 7.5 um\r");
    QTRY_COMPARE(panel.probe().position(), 7.5);
    QCOMPARE(lines.count(), 1);
    QCOMPARE(label->styleSheet(), QString());
    QVERIFY(!scriptsSee().stale);

    // Replies after 2 s of silence may come from a controller that restarted: asked again as
    // at an open, and the stage has to be homed again.
    QVERIFY(panel.controller.waitForText(">inform\r>status\r"));
    const QString again = QStringLiteral("No reply for 2 s: home the stage again");
    QCOMPARE(status->text(), again);
    QVERIFY(panel.probe().console()->toPlainText().contains(again + "\n"));
    QVERIFY(!panel.probe().homed());
    auto *home = panel.find<QPushButton>("pushButton_home");
    QTRY_COMPARE(home->styleSheet(), QStringLiteral("color: red"));
    // Homed again, the request has done its work.
    QTRY_VERIFY(home->isEnabled());
    home->click();
    QCOMPARE(status->text(), connected);
    panel.trigger("actionStopRecording");
    QFile file(dir.filePath("session.csv"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray record = file.readAll();
    QVERIFY(record.contains("no reply for 2 s, home again"));
    QVERIFY(record.contains(",open failed " + busy.toUtf8()));

    // Turning automatic reconnection off ends the trying after a loss.
    panel.window->features().setReconnectAutomatically(true);
    emit panel.probe().serial()->errorOccurred(QSerialPort::ResourceError);
    QVERIFY(status->text().startsWith(QStringLiteral("Connection lost: ")));
    QVERIFY(scriptsSee().reconnecting && !scriptsSee().connected && scriptsSee().stale);
    QCOMPARE(label->styleSheet(), QStringLiteral("color: grey"));
    panel.window->features().setReconnectAutomatically(false);
    QVERIFY(!scriptsSee().reconnecting);
    QCOMPARE(status->text(), QStringLiteral("Disconnected"));
}

void TestLink::lossBeforeIdentity()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("stage"));
    ControllerEnd first;
    QVERIFY(first.open() && QFile::link(first.devicePath(), link));
    MainWindow window(nullptr, link);
    window.show();
    window.features().setReconnectAutomatically(true);
    const PanelProbe probe(window);
    ModalCloser boxes;
    // As on toolkits that report nothing when a device goes.
    QObject::disconnect(probe.serial(), &QSerialPort::errorOccurred, nullptr, nullptr);
    auto *connectAction = window.findChild<QAction *>(QStringLiteral("actionConnect"));
    const QString lost = QStringLiteral("Connection lost: ");

    // A hang-up between the open and the clearing of the port is a loss, never "Connected".
    connect(&window, &MainWindow::portOpened, &first, [&first] { first.pty().hangUp(); });
    connectAction->trigger();
    QVERIFY(!probe.serial()->isOpen() && !probe.pollTimer()->isActive());
    QVERIFY(probe.statusLabel()->text().startsWith(lost));

    // Gone right after the operator's open, before it could answer: a loss too, and the
    // trying goes on; no "No Device found".
    ControllerEnd second;
    QVERIFY(second.open() && QFile::remove(link) && QFile::link(second.devicePath(), link));
    connectAction->trigger();
    second.pty().hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(!probe.serial()->isOpen(), 2000);
    spin(400);
    QVERIFY(probe.statusLabel()->text().startsWith(lost));
    QCOMPARE(boxes.count(), 0);
}

void TestLink::reconnectsToAControllerThatComesBack()
{
    ControllerEnd line;
    QVERIFY(line.open());
    const QString path = line.devicePath();
    MainWindow window(nullptr, path);
    window.show();
    window.features().setReconnectAutomatically(true);
    QTemporaryDir dir;
    QVERIFY(window.features().startRecording(dir.filePath("session.csv"), false));
    const PanelProbe probe(window);
    ModalCloser boxes;
    const auto scriptsSee = [&] {
        return static_cast<ScriptablePanel *>(window.findChild<ScriptingFeature *>())->panelState();
    };
    const auto answered = [&line] {
        if (!line.waitForText(">inform\r>status\r"))
            return false;
        line.take();
        line.write("_Ver 106\r_offset 2500\r_status 1\r");
        return true;
    };
    const auto informs = [&line] { return line.received().count(">inform\r"); };
    window.findChild<QAction *>(QStringLiteral("actionConnect"))->trigger();
    QVERIFY(answered());
    auto *home = window.findChild<QPushButton *>(QStringLiteral("pushButton_home"));
    QTRY_VERIFY(home->isEnabled());
    home->click();
    QVERIFY(probe.homed());

    // Lost while the device file stays (a built-in port): the same file is opened again.
    emit probe.serial()->errorOccurred(QSerialPort::ResourceError);
    const QString lostText = QStringLiteral("Connection lost: ");
    QCOMPARE(probe.statusLabel()->text(),
             QStringLiteral("Connection lost: the device became unavailable. Reconnecting to "
                            "%1 \u2026")
                 .arg(path));
    QVERIFY(probe.console()->toPlainText().contains(probe.statusLabel()->text() + "\n"));
    QVERIFY(!probe.serial()->isOpen() && !probe.homed());

    // Failed tries (here on a port that another holds) leave no descriptor behind.
    {
        QSerialPort holder(path);
        QVERIFY(holder.open(QIODevice::ReadWrite));
        const auto descriptors = QDir(QStringLiteral("/proc/self/fd")).count();
        for (int i = 0; i < 100; ++i)
            window.findChild<LinkSupervisor *>()->tryReconnect();
        QVERIFY(QDir(QStringLiteral("/proc/self/fd")).count() <= descriptors);
        QVERIFY(!probe.serial()->isOpen());
    }

    // One that does not answer is let go quietly after 2 s, and the trying goes on; once it
    // answers, the stage has to be homed again.
    line.take();
    QTRY_VERIFY_WITH_TIMEOUT(informs() == 1 && probe.serial()->isOpen(), 2000);
    // Open but not identified: still reconnecting, and no connection to anyone.
    QVERIFY(!scriptsSee().connected && scriptsSee().reconnecting);
    QTRY_VERIFY_WITH_TIMEOUT(!probe.serial()->isOpen(), 2500);
    QVERIFY(probe.statusLabel()->text().startsWith(lostText));
    QTRY_COMPARE_WITH_TIMEOUT(informs(), 2, 2000);
    line.take();
    line.write("_Ver 106\r_offset 2500\r_status 1\r");
    QTRY_VERIFY_WITH_TIMEOUT(home->isEnabled(), 3000);
    QTRY_VERIFY(scriptsSee().connected && !scriptsSee().reconnecting);
    QVERIFY(probe.statusLabel()->text().startsWith(QStringLiteral("Connected to ")));
    QVERIFY(!probe.homed());
    QCOMPARE(boxes.count(), 0);

    // The terminal goes, and the next program's terminal takes its number: another device,
    // left alone whatever its path, and said so.
    line.pty().hangUp();
    QTRY_COMPARE(
        probe.statusLabel()->text(),
        QStringLiteral("Connection lost: the device is gone. Reconnecting to %1 \u2026").arg(path));
    std::vector<std::unique_ptr<ControllerEnd>> terminals;
    ControllerEnd *stranger = nullptr;
    for (int i = 0; i < 100 && !stranger; ++i) {
        terminals.push_back(std::make_unique<ControllerEnd>());
        QVERIFY(terminals.back()->open());
        if (terminals.back()->devicePath() == path)
            stranger = terminals.back().get();
    }
    QVERIFY(stranger);
    QTRY_COMPARE_WITH_TIMEOUT(probe.statusLabel()->text(),
                              QStringLiteral("Another device is at %1: left alone, still "
                                             "waiting for the lost one")
                                  .arg(path),
                              2500);
    QTest::qWait(1200);
    QVERIFY(!probe.serial()->isOpen() && stranger->received().isEmpty());

    // The operator's Disconnect ends the trying.
    window.findChild<QAction *>(QStringLiteral("actionDisconnect"))->trigger();
    QCOMPARE(probe.statusLabel()->text(), QStringLiteral("Disconnected"));

    // The try that was let go left no trace: two connections, each lost once.
    window.findChild<QAction *>(QStringLiteral("actionStopRecording"))->trigger();
    QFile file(dir.filePath("session.csv"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray record = file.readAll();
    QCOMPARE(record.count(",connected "), 2);
    QCOMPARE(record.count(",disconnected"), 2);
    QCOMPARE(record.count(",reconnecting"), 2);
}

QTEST_MAIN(TestLink)
#include "tst_link.moc"
