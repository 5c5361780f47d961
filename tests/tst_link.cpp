// The read-out and the link: the newest position shown under a stream, a quiet controller greys
// the read-out, a lost device is noticed, one that comes back is reopened, a stranger left alone.

#include "console.h"
#include "linksupervisor.h"
#include "testsupport.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <vector>

namespace {

struct PaintCounter : QObject
{
    int paints = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        return (paints += e->type() == QEvent::Paint) < 0;
    }
};

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void newestShown_data();
    void newestShown();
    void staleReadout();
    void lossBeforeIdentity();
    void reconnectsToAControllerThatComesBack();
};

void TestLink::newestShown_data()
{
    QTest::addColumn<bool>("throughPort");
    QTest::newRow("through the port, which rests between reads") << true;
    QTest::newRow("straight into the receive path") << false;
}

void TestLink::newestShown()
{
    QFETCH(bool, throughPort);
    PanelOnLine panel;
    QVERIFY(panel.connectPanel());
    auto *label = panel.find<QLabel>("label_Position");
    // Each line comes as soon as the one before is shown, within the read-out's interval.
    for (const char *number : { "1.0", "2.0", "3.0" }) {
        const QByteArray line = "_cp " + QByteArray(number) + " um\r";
        throughPort ? panel.controller.write(line) : panel.probe().feed(line);
        QTRY_COMPARE(label->text(), QString::fromLatin1(number) + QStringLiteral(" \u00b5m"));
    }
    auto *slider = panel.find<QSlider>("horizontalSlider");
    QCOMPARE(slider->value(), 3);
    if (!throughPort)
        return;
    // The slider is repainted only when its handle moves.
    const auto show = [&](int micrometres) {
        panel.controller.write("_cp " + QByteArray::number(micrometres) + ".0 um\r");
        return QTest::qWaitFor(
            [&] { return label->text().startsWith(QString::number(micrometres) + '.'); });
    };
    QVERIFY(show(1000));
    panel.settle(100);
    // Tens of micrometres a pixel: ten values a micrometre apart move the handle once at most.
    PaintCounter counter;
    slider->installEventFilter(&counter);
    for (int micrometres = 1001; micrometres <= 1010; ++micrometres)
        QVERIFY(show(micrometres));
    panel.settle(100);
    QVERIFY(counter.paints <= 1 && slider->value() == 1010);
    const int before = counter.paints;
    QVERIFY(show(5000));
    QTRY_VERIFY(counter.paints > before && slider->value() == 5000);
}

void TestLink::staleReadout()
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
        QCOMPARE(boxes.text(),
                 "No COM-Port found: \n1. Check Device-Connection \n2. Install Device Driver");
        QVERIFY(!panel.find<QAction>("actionDisconnect")->isEnabled());
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

    panel.controller.write("_cp 7.5 um\r");
    QTRY_COMPARE(label->styleSheet(), QString());
    QVERIFY(!scriptsSee().stale);

    // Replies after 2 s of silence may come from a restarted controller: asked again, homed again.
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
    const QByteArray record = fileContent(dir.filePath("session.csv"));
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

    // Gone right after the operator's open: a loss too, the trying goes on; no "No Device found".
    ControllerEnd second;
    QVERIFY(second.open() && QFile::remove(link) && QFile::link(second.devicePath(), link));
    connectAction->trigger();
    second.pty().hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(!probe.serial()->isOpen(), 2000);
    QTest::qWait(400);
    QVERIFY(probe.statusLabel()->text().startsWith(lost));
    QCOMPARE(boxes.count(), 0);
}

void TestLink::reconnectsToAControllerThatComesBack()
{
    PanelOnLine panel;
    ControllerEnd &line = panel.controller;
    MainWindow &window = *panel.window;
    const QString path = line.devicePath();
    window.features().setReconnectAutomatically(true);
    QTemporaryDir dir;
    QVERIFY(window.features().startRecording(dir.filePath("session.csv"), false));
    const PanelProbe probe(window);
    ModalCloser boxes;
    const auto scriptsSee = [&] { return panel.scripts().panelState(); };
    const auto informs = [&line] { return line.received().count(">inform\r"); };
    const auto status = [&probe] { return probe.statusLabel()->text(); };
    const QString reconnecting = " Reconnecting to " + path + " \u2026";
    QVERIFY(panel.connectAndHome());
    auto *home = panel.find<QPushButton>("pushButton_home");

    // Lost while the device file stays (a built-in port): the same file is opened again.
    emit probe.serial()->errorOccurred(QSerialPort::ResourceError);
    QCOMPARE(status(), "Connection lost: the device became unavailable." + reconnecting);
    QVERIFY(probe.console()->toPlainText().contains(status() + "\n"));
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

    // One that does not answer is let go quietly after 2 s; once it answers, homed again.
    line.take();
    QTRY_VERIFY_WITH_TIMEOUT(informs() == 1 && probe.serial()->isOpen(), 2000);
    // Open but not identified: still reconnecting, and no connection to anyone.
    QVERIFY(!scriptsSee().connected && scriptsSee().reconnecting);
    QTest::qWait(1000); // a booting controller has its 2 s
    QVERIFY(probe.serial()->isOpen() && informs() == 1);
    QTRY_VERIFY_WITH_TIMEOUT(!probe.serial()->isOpen(), 2500);
    QVERIFY(status().startsWith("Connection lost: "));
    QTRY_COMPARE_WITH_TIMEOUT(informs(), 2, 2000);
    line.take();
    line.write("_Ver 106\r_offset 2500\r_status 1\r");
    QTRY_VERIFY_WITH_TIMEOUT(home->isEnabled(), 3000);
    QTRY_VERIFY(scriptsSee().connected && !scriptsSee().reconnecting);
    QVERIFY(status().startsWith("Connected to "));
    QVERIFY(!probe.homed());
    QCOMPARE(boxes.count(), 0);

    // The terminal goes, another program's terminal takes its number: left alone, and said so.
    line.pty().hangUp();
    QTRY_COMPARE(status(), "Connection lost: the device is gone." + reconnecting);
    std::vector<std::unique_ptr<ControllerEnd>> terminals;
    ControllerEnd *stranger = nullptr;
    for (int i = 0; i < 100 && !stranger; ++i) {
        terminals.push_back(std::make_unique<ControllerEnd>());
        QVERIFY(terminals.back()->open());
        if (terminals.back()->devicePath() == path)
            stranger = terminals.back().get();
    }
    QVERIFY(stranger);
    QTRY_COMPARE_WITH_TIMEOUT(
        status(), "Another device is at " + path + ": left alone, still waiting for the lost one",
        2500);
    QTest::qWait(1200);
    QVERIFY(!probe.serial()->isOpen() && stranger->received().isEmpty());

    // The operator's Disconnect ends the trying.
    panel.trigger("actionDisconnect");
    QCOMPARE(probe.statusLabel()->text(), QStringLiteral("Disconnected"));

    // The try that was let go left no trace: two connections, each lost once.
    panel.trigger("actionStopRecording");
    const QByteArray record = fileContent(dir.filePath("session.csv"));
    QCOMPARE(record.count(",connected "), 2);
    QCOMPARE(record.count(",disconnected"), 2);
    QCOMPARE(record.count(",reconnecting"), 2);
}

QTEST_MAIN(TestLink)
#include "tst_link.moc"
