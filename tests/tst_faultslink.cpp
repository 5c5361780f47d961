// Faults of the line itself, over real pseudo-terminals and the panel's real port: ports
// that cannot be opened, bytes left on the line from before, hang-ups in the middle of a
// reply and during a move, the two ways the toolkit reports a lost device, a device that
// stops reading, and a hundred connections in a row.

#include "console.h"
#include "faultsupport.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QPixmapCache>
#include <QPushButton>
#include <QSerialPort>

namespace {

const QString noComPort
    = QStringLiteral("No COM-Port found: \n1. Check Device-Connection \n2. Install Device Driver");

QString labelText(const MainWindow *window)
{
    return window->findChild<QLabel *>(QStringLiteral("label_Position"))->text();
}

bool enabled(const MainWindow *window, const char *name)
{
    return window->findChild<QWidget *>(QString::fromLatin1(name))->isEnabled();
}

bool actionEnabled(const MainWindow *window, const char *name)
{
    return window->findChild<QAction *>(QString::fromLatin1(name))->isEnabled();
}

} // namespace

class TestFaultsLink : public QObject
{
    Q_OBJECT

private slots:
    void portThatCannotOpen_data();
    void portThatCannotOpen();
    void versionLeftOnTheLine_data();
    void versionLeftOnTheLine();
    void hangUpInTheMiddleOfAReply();
    void hangUpDuringAMove();
    void lostDeviceReports_data();
    void lostDeviceReports();
    void deviceThatNeverReads();
    void hundredReconnections();
};

void TestFaultsLink::portThatCannotOpen_data()
{
    QTest::addColumn<bool>("inUse");
    QTest::newRow("missing") << false;
    QTest::newRow("already in use") << true;
}

void TestFaultsLink::portThatCannotOpen()
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
    BoxWatcher boxes;

    window.findChild<QAction *>(QStringLiteral("actionConnect"))->trigger();
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.title(), QStringLiteral("Error"));
    QCOMPARE(boxes.text(), noComPort);
    QCOMPARE(probe.statusLabel()->text(), QStringLiteral("Open error"));
    QVERIFY(!probe.serial()->isOpen());
    QVERIFY(!probe.pollTimer()->isActive());
    QVERIFY(!probe.console()->isEnabled());
    QVERIFY(actionEnabled(&window, "actionConnect"));
    QVERIFY(!actionEnabled(&window, "actionDisconnect"));
    QVERIFY(actionEnabled(&window, "actionConfigure"));
    QTest::qWait(300);
    QCOMPARE(controller.received(), QByteArray());
    QCOMPARE(boxes.count(), 1);
    if (!inUse)
        return;

    // Once the other user lets go, the same port opens.
    QVERIFY(holder.isOpen());
    holder.close();
    window.findChild<QAction *>(QStringLiteral("actionConnect"))->trigger();
    QVERIFY(probe.serial()->isOpen());
    QVERIFY(controller.waitForText(">inform\r>status\r"));
    QCOMPARE(boxes.count(), 1);
}

void TestFaultsLink::versionLeftOnTheLine_data()
{
    QTest::addColumn<bool>("earlierConnection");
    QTest::newRow("before the first connection") << false;
    QTest::newRow("after an identified connection") << true;
}

void TestFaultsLink::versionLeftOnTheLine()
{
    QFETCH(bool, earlierConnection);

    PanelOnLine panel;
    BoxWatcher boxes;
    const PanelProbe probe = panel.probe();
    if (earlierConnection) {
        QVERIFY(panel.connectPanel());
        QTRY_VERIFY_WITH_TIMEOUT(panel.controller.received().contains(">cp\r"), 1000);
        panel.trigger("actionDisconnect");
    }
    const double maxBefore = probe.maxPosition();
    const double travelBefore = probe.travelRange();

    // A 1.26 controller's answer, waiting on the line before Connect; then nothing answers.
    panel.controller.write("_Ver 126\r_offset 1000\rP 77.0 um\r");
    panel.settle();
    QVERIFY(panel.connectPanel(QByteArray()));
    QTRY_COMPARE_WITH_TIMEOUT(boxes.count(), 1, 2000);
    QVERIFY(boxes.text().startsWith(QStringLiteral("No Device found")));
    QTRY_COMPARE_WITH_TIMEOUT(probe.statusLabel()->text(), QStringLiteral("Open error"), 1000);
    QVERIFY(!probe.serial()->isOpen());
    QVERIFY(probe.firmwareVersion().isEmpty());
    QCOMPARE(probe.maxPosition(), maxBefore);
    QCOMPARE(probe.travelRange(), travelBefore);
    QVERIFY(labelText(panel.window) != QStringLiteral("77.0 \u00b5m"));
    QVERIFY(!enabled(panel.window, "pushButton_home"));
    QTest::qWait(200);
    QCOMPARE(boxes.count(), 1);
}

void TestFaultsLink::hangUpInTheMiddleOfAReply()
{
    PanelOnLine panel;
    QVERIFY(panel.connectAndHome());
    const PanelProbe probe = panel.probe();
    panel.controller.write("_cp 12");
    QTRY_COMPARE_WITH_TIMEOUT(probe.rxBuffer(), QByteArray("_cp 12"), 1000);
    const QString label = labelText(panel.window);

    BoxWatcher boxes(1500); // the operator leaves the box open for a while
    BehindTheBox seen;
    watchBehindTheBox(seen, probe);
    panel.controller.pty().hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(seen.cpu >= 0, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!ModalCloser::boxOpen(), 5000);
    QTest::qWait(300);

    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.title(), QStringLiteral("Critical Error"));
    QVERIFY(!boxes.text().isEmpty());
    QVERIFY(seen.boxOpen);
    QVERIFY(!seen.portOpen); // let go before the operator is told
    QVERIFY(!seen.pollRunning);
    QVERIFY2(seen.cpu < 0.005, qPrintable(QStringLiteral("%1 s of CPU in 0.5 s").arg(seen.cpu)));
    QCOMPARE(probe.statusLabel()->text(), QStringLiteral("Disconnected"));
    QVERIFY(actionEnabled(panel.window, "actionConnect"));
    QVERIFY(!actionEnabled(panel.window, "actionDisconnect"));
    QVERIFY(!probe.homed());
    // The unfinished reply is kept, as any unfinished line is across a closed connection,
    // and it moved nothing.
    QCOMPARE(probe.rxBuffer(), QByteArray("_cp 12"));
    QCOMPARE(labelText(panel.window), label);
}

void TestFaultsLink::hangUpDuringAMove()
{
    SimulatorOptions options;
    options.speedUmPerS = 20.0; // a 500 um step takes 25 s
    options.hangupAfterMs = 2000;
    PanelOnSim panel(options);
    QVERIFY(panel.started);
    const PanelProbe probe = panel.probe();
    BoxWatcher boxes(1500);
    BehindTheBox seen;
    connect(&panel.sim, &SimulatedController::hungUp, this,
            [&seen, probe] { watchBehindTheBox(seen, probe); });

    panel.trigger("actionConnect");
    QTRY_VERIFY_WITH_TIMEOUT(probe.serial()->isOpen() && probe.firmwareVersion() == "1.06", 1000);
    auto *home = panel.find<QPushButton>("pushButton_home");
    QTRY_COMPARE_WITH_TIMEOUT(home->styleSheet(), QStringLiteral("color: red"), 1000);
    home->click();
    panel.find<QDoubleSpinBox>("doubleSpinBox_mrstp")->setValue(500.0);
    panel.find<QPushButton>("pushButton_SliderPlus")->click();
    QTRY_VERIFY_WITH_TIMEOUT(panel.sim.isMoving(), 1000);
    QVERIFY(enabled(panel.window, "pushButton_stop"));

    QTRY_VERIFY_WITH_TIMEOUT(seen.cpu >= 0, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!ModalCloser::boxOpen(), 5000);
    QTest::qWait(300);

    QVERIFY(panel.sim.position() > 0.0);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.title(), QStringLiteral("Critical Error"));
    QVERIFY(seen.boxOpen);
    QVERIFY(!seen.portOpen);
    QVERIFY(!seen.pollRunning);
    QVERIFY2(seen.cpu < 0.005, qPrintable(QStringLiteral("%1 s of CPU in 0.5 s").arg(seen.cpu)));
    QCOMPARE(probe.statusLabel()->text(), QStringLiteral("Disconnected"));
    QVERIFY(!probe.homed());
    for (const char *name :
         { "pushButton_home", "pushButton_stop", "pushButton_SliderPlus", "pushButton_SliderMinus",
           "horizontalSlider", "doubleSpinBox_Position", "pushButton_AutoCalibrate" })
        QVERIFY2(!enabled(panel.window, name), name);
    QCOMPARE(home->styleSheet(), QStringLiteral("color: grey"));
}

void TestFaultsLink::lostDeviceReports_data()
{
    QTest::addColumn<QSerialPort::SerialPortError>("error");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("ends");

    QTest::newRow("one ResourceError") << QSerialPort::ResourceError << 1 << true;
    QTest::newRow("one ReadError") << QSerialPort::ReadError << 1 << true;
    QTest::newRow("a flood of ReadError") << QSerialPort::ReadError << 1000 << true;
    QTest::newRow("a flood of ResourceError") << QSerialPort::ResourceError << 1000 << true;
    QTest::newRow("WriteError is ignored") << QSerialPort::WriteError << 1000 << false;
    QTest::newRow("TimeoutError is ignored") << QSerialPort::TimeoutError << 1 << false;
    QTest::newRow("UnknownError is ignored") << QSerialPort::UnknownError << 1 << false;
}

void TestFaultsLink::lostDeviceReports()
{
    QFETCH(QSerialPort::SerialPortError, error);
    QFETCH(int, count);
    QFETCH(bool, ends);

    PanelOnLine panel;
    QVERIFY(panel.connectAndHome());
    const PanelProbe probe = panel.probe();
    const QString connectedText = probe.statusLabel()->text();
    BoxWatcher boxes(300);
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
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.title(), QStringLiteral("Critical Error"));
    QVERIFY(!boxes.text().isEmpty());
    QVERIFY(seen.boxOpen);
    QVERIFY(!seen.portOpen);
    QVERIFY(!seen.pollRunning);
    if (count > 1)
        QVERIFY(boxOpenAtLast); // the flood met the open box, which did not come again
    QVERIFY(!port->isOpen());
    QCOMPARE(probe.statusLabel()->text(), QStringLiteral("Disconnected"));
    QVERIFY(!probe.homed());
}

void TestFaultsLink::deviceThatNeverReads()
{
    PanelOnLine panel;
    BoxWatcher boxes;
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

void TestFaultsLink::hundredReconnections()
{
    PanelOnSim panel;
    QVERIFY(panel.started);
    BoxWatcher boxes;
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

QTEST_MAIN(TestFaultsLink)
#include "tst_faultslink.moc"
