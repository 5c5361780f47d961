// Faults of the line itself, over real pseudo-terminals and the panel's real port: answers
// late for the first poll tick, ports that cannot be opened, bytes left from before, a
// hang-up during a move and in the middle of a reply, the ways the toolkit reports a lost
// device, a device that stops reading, and a hundred connections in a row.

#include "console.h"
#include "faultsupport.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QPixmapCache>
#include <QPushButton>
#include <QSerialPort>

namespace {

bool enabled(const MainWindow *window, const char *name)
{
    return window->findChild<QObject *>(QString::fromLatin1(name))->property("enabled").toBool();
}

QString labelText(const MainWindow *window)
{
    return window->findChild<QLabel *>(QStringLiteral("label_Position"))->text();
}

// Checks what was seen behind the "Critical Error" box and the state once it is closed.
#define VERIFY_LOST_DEVICE(boxes, seen, probe)                                                     \
    QCOMPARE((boxes).count(), 1);                                                                  \
    QCOMPARE((boxes).title(), QStringLiteral("Critical Error"));                                   \
    QVERIFY(!(boxes).text().isEmpty());                                                            \
    QVERIFY((seen).boxOpen);                                                                       \
    QVERIFY(!(seen).portOpen); /* let go before the operator is told */                            \
    QVERIFY(!(seen).pollRunning);                                                                  \
    QVERIFY(!(probe).serial()->isOpen());                                                          \
    QCOMPARE((probe).statusLabel()->text(), QStringLiteral("Disconnected"));                       \
    QVERIFY(!(probe).homed())

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void lateIdentification_data();
    void lateIdentification();
    void portThatCannotOpen_data();
    void portThatCannotOpen();
    void bytesFromBeforeDoNotIdentify_data();
    void bytesFromBeforeDoNotIdentify();
    void hangUpDuringAMoveMidReply();
    void lostDeviceReports_data();
    void lostDeviceReports();
    void deviceThatNeverReads();
    void hundredReconnections();
};

void TestFaults::lateIdentification_data()
{
    // The first poll tick, 150 ms after the port opens, checks the identification. The
    // controller's delay runs from when it reads ">inform", a little after the port opened,
    // and the simulator shares this test's event loop, so the two delays keep wide margins
    // on either side of the tick instead of 149 and 151 ms: 75 ms is early even when the
    // loop stalls for most of the 75 ms between, and a 250 ms timer cannot fire before the
    // 150 ms one, however late both are.
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<bool>("kept");
    QTest::newRow("answer well before the first tick") << 75 << true;
    QTest::newRow("answer well after the first tick") << 250 << false;
}

void TestFaults::lateIdentification()
{
    QFETCH(int, delayMs);
    QFETCH(bool, kept);

    SimulatorOptions options;
    options.informDelayMs = delayMs;
    PanelOnSim panel(options);
    QVERIFY(panel.started);
    ModalCloser boxes;
    panel.trigger("actionConnect");
    const PanelProbe probe = panel.probe();
    QTest::qWait(600); // four ticks, and the late answer has arrived by then

    QCOMPARE(boxes.count(), kept ? 0 : 1);
    QCOMPARE(probe.serial()->isOpen(), kept);
    QCOMPARE(probe.pollTimer()->isActive(), kept);
    QCOMPARE(enabled(panel.window, "pushButton_home"), kept);
    QCOMPARE(probe.firmwareVersion(), kept ? QStringLiteral("1.06") : QString());
    if (!kept) {
        QCOMPARE(boxes.title(), QStringLiteral("Error"));
        QVERIFY(boxes.text().startsWith(QStringLiteral("No Device found")));
        QCOMPARE(probe.statusLabel()->text(), QStringLiteral("Open error"));
    }
}

void TestFaults::portThatCannotOpen_data()
{
    QTest::addColumn<bool>("inUse");
    QTest::newRow("missing") << false;
    QTest::newRow("already in use") << true;
}

void TestFaults::portThatCannotOpen()
{
    QFETCH(bool, inUse);

    ControllerEnd controller;
    QVERIFY(controller.open());
    // The toolkit locks a port that it has opened, so a second open in this process fails
    // as one in another program would.
    QSerialPort holder;
    const QString path
        = inUse ? controller.devicePath() : QStringLiteral("/dev/lumarvethon-missing-port");
    if (inUse) {
        holder.setPortName(path);
        QVERIFY(holder.open(QIODevice::ReadWrite));
    }
    MainWindow window(nullptr, path);
    window.show();
    const PanelProbe probe(window);
    ModalCloser boxes;

    window.findChild<QAction *>(QStringLiteral("actionConnect"))->trigger();
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.title(), QStringLiteral("Error"));
    QCOMPARE(boxes.text(),
             QStringLiteral(
                 "No COM-Port found: \n1. Check Device-Connection \n2. Install Device Driver"));
    QCOMPARE(probe.statusLabel()->text(), QStringLiteral("Open error"));
    QVERIFY(!probe.serial()->isOpen());
    QVERIFY(!probe.pollTimer()->isActive());
    QVERIFY(!probe.console()->isEnabled());
    QVERIFY(enabled(&window, "actionConnect"));
    QVERIFY(!enabled(&window, "actionDisconnect"));
    QVERIFY(enabled(&window, "actionConfigure"));
    QTest::qWait(300);
    QCOMPARE(controller.received(), QByteArray());
    QCOMPARE(boxes.count(), 1);
    if (!inUse)
        return;

    // Once the other user lets go, the same port opens.
    holder.close();
    window.findChild<QAction *>(QStringLiteral("actionConnect"))->trigger();
    QVERIFY(probe.serial()->isOpen());
    QVERIFY(controller.waitForText(">inform\r>status\r"));
    QCOMPARE(boxes.count(), 1);
}

void TestFaults::bytesFromBeforeDoNotIdentify_data()
{
    QTest::addColumn<QByteArray>("earlier"); // the answer in an earlier connection, if any
    QTest::addColumn<QByteArray>("stale"); // waiting on the line before Connect

    QTest::newRow("a 1.26 answer waiting on the line")
        << QByteArray() << QByteArray("_Ver 126\r_offset 1000\rP 77.0 um\r");
    QTest::newRow("an incomplete line from the last connection")
        << QByteArray("_Ver 106\r_offset 2500\r_status 1\r_Ver 1") << QByteArray();
}

void TestFaults::bytesFromBeforeDoNotIdentify()
{
    QFETCH(QByteArray, earlier);
    QFETCH(QByteArray, stale);

    PanelOnLine panel;
    ModalCloser boxes;
    const PanelProbe probe = panel.probe();
    if (!earlier.isEmpty()) {
        QVERIFY(panel.connectPanel(earlier));
        QVERIFY(panel.controller.waitForText(">cp\r", 1000));
        panel.trigger("actionDisconnect");
    }
    const double maxBefore = probe.maxPosition();
    const double travelBefore = probe.travelRange();
    panel.controller.write(stale);
    panel.settle();

    QVERIFY(panel.connectPanel(QByteArray())); // nothing answers this time
    QTRY_COMPARE_WITH_TIMEOUT(boxes.count(), 1, 2000);
    QVERIFY(boxes.text().startsWith(QStringLiteral("No Device found")));
    QTRY_COMPARE_WITH_TIMEOUT(probe.statusLabel()->text(), QStringLiteral("Open error"), 1000);
    QVERIFY(!probe.serial()->isOpen());
    QVERIFY(probe.firmwareVersion().isEmpty());
    QCOMPARE(probe.maxPosition(), maxBefore);
    QCOMPARE(probe.travelRange(), travelBefore);
    QVERIFY(labelText(panel.window) != QStringLiteral("77.0 \u00b5m"));
    QVERIFY(!enabled(panel.window, "pushButton_home"));

    // A controller that answers now is read whole, not glued to old bytes.
    QVERIFY(panel.connectPanel("_Ver 106\r"));
    QCOMPARE(probe.firmwareVersion(), QStringLiteral("1.06"));
    QTest::qWait(200);
    QVERIFY(probe.serial()->isOpen());
    QCOMPARE(boxes.count(), 1);
}

void TestFaults::hangUpDuringAMoveMidReply()
{
    PanelOnLine panel;
    QVERIFY(panel.connectAndHome());
    const PanelProbe probe = panel.probe();
    panel.find<QDoubleSpinBox>("doubleSpinBox_mrstp")->setValue(500.0);
    panel.find<QPushButton>("pushButton_SliderPlus")->click();
    QVERIFY(panel.controller.waitForText(">mr 5000"));
    panel.controller.write("_cp 12");
    QTRY_COMPARE_WITH_TIMEOUT(probe.rxBuffer(), QByteArray("_cp 12"), 1000);
    const QString label = labelText(panel.window);

    ModalCloser boxes(1500); // the operator leaves the box open for a while
    BehindTheBox seen;
    watchBehindTheBox(seen, probe);
    panel.controller.pty().hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(seen.cpu >= 0, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!ModalCloser::boxOpen(), 5000);
    QTest::qWait(300);

    VERIFY_LOST_DEVICE(boxes, seen, probe);
    QVERIFY2(seen.cpu < 0.005, qPrintable(QStringLiteral("%1 s of CPU in 0.5 s").arg(seen.cpu)));
    QVERIFY(enabled(panel.window, "actionConnect"));
    QVERIFY(!enabled(panel.window, "actionDisconnect"));
    for (const char *name :
         { "pushButton_home", "pushButton_stop", "pushButton_SliderPlus", "pushButton_SliderMinus",
           "horizontalSlider", "doubleSpinBox_Position", "pushButton_AutoCalibrate" })
        QVERIFY2(!enabled(panel.window, name), name);
    QCOMPARE(panel.find<QPushButton>("pushButton_home")->styleSheet(),
             QStringLiteral("color: grey"));
    // The unfinished reply is kept, as any unfinished line is across a closed connection,
    // and it moved nothing.
    QCOMPARE(probe.rxBuffer(), QByteArray("_cp 12"));
    QCOMPARE(labelText(panel.window), label);
}

void TestFaults::lostDeviceReports_data()
{
    QTest::addColumn<QSerialPort::SerialPortError>("error");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("ends");

    QTest::newRow("one ResourceError") << QSerialPort::ResourceError << 1 << true;
    QTest::newRow("a flood of ReadError") << QSerialPort::ReadError << 1000 << true;
    QTest::newRow("WriteError is ignored") << QSerialPort::WriteError << 1000 << false;
    QTest::newRow("TimeoutError is ignored") << QSerialPort::TimeoutError << 1 << false;
    QTest::newRow("UnknownError is ignored") << QSerialPort::UnknownError << 1 << false;
}

void TestFaults::lostDeviceReports()
{
    QFETCH(QSerialPort::SerialPortError, error);
    QFETCH(int, count);
    QFETCH(bool, ends);

    PanelOnLine panel;
    QVERIFY(panel.connectAndHome());
    const PanelProbe probe = panel.probe();
    const QString connectedText = probe.statusLabel()->text();
    ModalCloser boxes(300);
    BehindTheBox seen;
    watchBehindTheBox(seen, probe, 100, 50);

    // A lost device reports once, and then, for as long as the toolkit still polls it, once
    // per pass of the event loop: the first report comes from the loop, the rest from a
    // timer that runs while a box (if any) is open.
    QSerialPort *port = probe.serial();
    int sent = 0;
    bool boxOpenAtLast = false;
    QTimer flood;
    connect(&flood, &QTimer::timeout, port, [&] {
        emit port->errorOccurred(error);
        if (++sent >= count) {
            boxOpenAtLast = ModalCloser::boxOpen();
            flood.stop();
        }
    });
    QTimer::singleShot(0, port, [&] {
        if (count > 1)
            QTimer::singleShot(50, &flood, [&] { flood.start(0); });
        ++sent;
        emit port->errorOccurred(error);
    });
    QTRY_COMPARE_WITH_TIMEOUT(sent, count, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(seen.cpu >= 0, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!ModalCloser::boxOpen(), 5000);
    QTest::qWait(200);

    if (!ends) {
        QCOMPARE(boxes.count(), 0);
        QVERIFY(port->isOpen());
        QVERIFY(probe.pollTimer()->isActive());
        QCOMPARE(probe.statusLabel()->text(), connectedText);
        QVERIFY(probe.homed());
        return;
    }
    VERIFY_LOST_DEVICE(boxes, seen, probe);
    if (count > 1)
        QVERIFY(boxOpenAtLast); // the flood met the open box, which did not come again
}

void TestFaults::deviceThatNeverReads()
{
    PanelOnLine panel;
    ModalCloser boxes;
    QVERIFY(panel.connectPanel());
    panel.controller.pty().setReading(false);
    const PanelProbe probe = panel.probe();
    QSerialPort *serial = probe.serial();
    Console *console = probe.console();

    // Typed lines fill the terminal until the port has to queue.
    const QByteArray line = QByteArray(1023, 'x') + '\r';
    for (int i = 0; i < 1000 && serial->bytesToWrite() < 8192; ++i) {
        emit console->getData(line);
        QTest::qWait(1);
    }
    QTest::qWait(200);
    const qint64 queued = serial->bytesToWrite();
    QVERIFY(queued > 4096);

    // Two seconds, a dozen poll ticks: nothing more queues, nothing spins.
    for (int i = 0; i < 4; ++i) {
        const double cpu = cpuWhileIdle(500);
        QCOMPARE(serial->bytesToWrite(), queued);
        QVERIFY2(cpu < 0.02, qPrintable(QStringLiteral("%1 s of CPU in 0.5 s").arg(cpu)));
    }
    QVERIFY(serial->isOpen());
    QVERIFY(probe.pollTimer()->isActive());
    QVERIFY(enabled(panel.window, "pushButton_home")); // still identified on every tick

    // The operator's commands still go out.
    emit console->getData(QByteArrayLiteral(">stop\r"));
    QCOMPARE(serial->bytesToWrite(), queued + 6);

    // Once the device reads again, the queue drains and the poll resumes.
    panel.controller.take();
    panel.controller.pty().setReading(true);
    QVERIFY(panel.controller.waitForText(">stop\r", 10000));
    QTRY_COMPARE_WITH_TIMEOUT(serial->bytesToWrite(), qint64(0), 5000);
    panel.controller.take();
    QVERIFY(panel.controller.waitForText(">cp\r", 1000));
    QCOMPARE(boxes.count(), 0);
}

void TestFaults::hundredReconnections()
{
    PanelOnSim panel;
    QVERIFY(panel.started);
    ModalCloser boxes;
    const PanelProbe probe = panel.probe();
    std::size_t heapBefore = 0;
    int descriptorsBefore = 0;

    // The first cycles fill the console to its line limit and warm up the toolkit's caches.
    const int warmUp = 25;
    for (int cycle = 0; cycle < warmUp + 100; ++cycle) {
        if (cycle == warmUp) {
            QPixmapCache::clear();
            heapBefore = heapInUse();
            descriptorsBefore = openFileDescriptors();
        }
        panel.trigger("actionConnect");
        QVERIFY2(probe.serial()->isOpen(), qPrintable(QString::number(cycle)));
        // The version is cleared when the port opens, so this is this connection's answer.
        QTRY_COMPARE_WITH_TIMEOUT(probe.firmwareVersion(), QStringLiteral("1.06"), 2000);
        panel.trigger("actionDisconnect");
        QVERIFY(!probe.serial()->isOpen());
    }

    QCOMPARE(openFileDescriptors(), descriptorsBefore);
    // Every style sheet set anew leaves button pixmaps in the toolkit's pixmap cache, which
    // has a fixed size limit of its own (10 MiB); it is left out of the count.
    QPixmapCache::clear();
    const double grown = double(heapInUse()) - double(heapBefore);
    QVERIFY2(grown < 256 * 1024, qPrintable(QStringLiteral("heap grew by %1 bytes").arg(grown)));
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(probe.statusLabel()->text(), QStringLiteral("Disconnected"));
    QVERIFY(!probe.pollTimer()->isActive());
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
