// The link's honesty and recovery: a quiet controller greys the read-out, a device that the
// system has lost is noticed, and with automatic reconnection a controller that comes back
// on the same path (a link pointed at a new terminal) is opened and identified afresh.

#include "console.h"
#include "portrecovery.h"
#include "simulatedcontroller.h"
#include "testsupport.h"

#include <QAction>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(PortRecord)

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void portToReopen_data();
    void portToReopen();
    void deviceLostOnHungUpTerminal();
    void staleReadoutAndOverlongLine();
    void reconnectsToAControllerThatComesBack();
};

void TestLink::portToReopen_data()
{
    QTest::addColumn<PortRecord>("lost");
    QTest::addColumn<QList<PortRecord>>("listed");
    QTest::addColumn<QString>("expected");
    const PortRecord usb0 { "ttyUSB0", "/dev/ttyUSB0", "A1B2", 0x0403, 0x6001 };
    const PortRecord usb1 { "ttyUSB1", "/dev/ttyUSB1", "A1B2", 0x0403, 0x6001 };
    const PortRecord other { "ttyUSB0", "/dev/ttyUSB0", "Z9", 0x0403, 0x6001 };
    const PortRecord otherVendor { "ttyUSB1", "/dev/ttyUSB1", "A1B2", 0x10c4, 0x6001 };
    const PortRecord pts { "/dev/pts/4", QString(), QString(), 0, 0 };
    QTest::newRow("unlisted terminal") << pts << QList<PortRecord> {} << "/dev/pts/4";
    QTest::newRow("back under its name") << usb0 << QList<PortRecord> { usb0 } << "ttyUSB0";
    QTest::newRow("back under another name") << usb0 << QList<PortRecord> { usb1 } << "/dev/ttyUSB1";
    QTest::newRow("not back yet") << usb0 << QList<PortRecord> {} << "ttyUSB0";
    QTest::newRow("another device took the name") << usb0 << QList<PortRecord> { other } << "";
    QTest::newRow("same serial, other vendor") << usb0 << QList<PortRecord> { otherVendor }
                                               << "ttyUSB0";
    QTest::newRow("no identity: the name") << PortRecord { "ttyS0", "/dev/ttyS0", "", 0, 0 }
                                           << QList<PortRecord> { other } << "ttyS0";
}

void TestLink::portToReopen()
{
    QFETCH(PortRecord, lost);
    QFETCH(QList<PortRecord>, listed);
    QTEST(::portToReopen(lost, listed), "expected");
}

void TestLink::deviceLostOnHungUpTerminal()
{
    PseudoTerminal terminal;
    QVERIFY(terminal.open());
    QSerialPort port(terminal.devicePath());
    QVERIFY(port.open(QIODevice::ReadWrite));
    QVERIFY(!deviceLost(port.handle()));
    terminal.hangUp();
    QVERIFY(deviceLost(port.handle()));
}

void TestLink::staleReadoutAndOverlongLine()
{
    PanelOnLine panel;
    QVERIFY(panel.connectPanel());
    auto *label = panel.find<QLabel>("label_Position");
    QLabel *status = panel.probe().statusLabel();
    const QString connected = status->text();
    const auto scriptsSee = [&] { return static_cast<ScriptablePanel &>(*panel.window).panelState(); };
    QTRY_COMPARE_WITH_TIMEOUT(label->styleSheet(), QStringLiteral("color: grey"), 1300);
    QVERIFY(scriptsSee().stale);
    QCOMPARE(status->text(),
             QStringLiteral("No reply from %1 for 1 s").arg(panel.controller.devicePath()));
    QTRY_VERIFY_WITH_TIMEOUT(status->text().endsWith(QStringLiteral(" 2 s")), 1300);
    QVERIFY(panel.probe().serial()->isOpen());

    // The tail of a line cut at the receive bound is no line of its own.
    QSignalSpy lines(panel.window, &MainWindow::lineReceived);
    panel.controller.write(QByteArray(5000, 'x'));
    panel.settle();
    panel.controller.write("_cp 5.0 um\r_cp 7.5 um\r");
    QTRY_COMPARE(panel.probe().position(), 7.5);
    QCOMPARE(lines.count(), 1);
    QCOMPARE(label->styleSheet(), QString());
    QCOMPARE(status->text(), connected);
    QVERIFY(!scriptsSee().stale);

    // Turning automatic reconnection off ends the trying after a loss.
    panel.window->setReconnectAutomatically(true);
    emit panel.probe().serial()->errorOccurred(QSerialPort::ResourceError);
    QVERIFY(status->text().startsWith(QStringLiteral("Connection lost: ")));
    QVERIFY(scriptsSee().reconnecting && !scriptsSee().connected);
    panel.window->setReconnectAutomatically(false);
    QVERIFY(!scriptsSee().reconnecting);
    QCOMPARE(status->text(), QStringLiteral("Disconnected"));
}

void TestLink::reconnectsToAControllerThatComesBack()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("stage"));
    auto *first = new SimulatedController;
    QVERIFY(first->start());
    QVERIFY(QFile::link(first->devicePath(), link));

    MainWindow window(nullptr, link);
    window.show();
    window.setReconnectAutomatically(true);
    const PanelProbe probe(window);
    ModalCloser boxes;
    window.findChild<QAction *>(QStringLiteral("actionConnect"))->trigger();
    auto *home = window.findChild<QPushButton *>(QStringLiteral("pushButton_home"));
    QTRY_VERIFY(home->isEnabled());
    home->click();
    QVERIFY(probe.homed());

    delete first; // the controller hangs up
    const QString lostText = QStringLiteral("Connection lost: ");
    QTRY_VERIFY(probe.statusLabel()->text().startsWith(lostText));
    QVERIFY(probe.statusLabel()->text().endsWith(QStringLiteral(". Reconnecting to %1 \u2026").arg(link)));
    QVERIFY(probe.console()->toPlainText().contains(probe.statusLabel()->text() + "\n"));
    QVERIFY(!probe.serial()->isOpen());
    QVERIFY(!probe.homed());

    auto *second = new SimulatedController;
    QByteArrayList commands;
    connect(second, &SimulatedController::commandReceived, this,
            [&](const QByteArray &command) { commands.append(command); });
    QVERIFY(second->start());
    QVERIFY(QFile::remove(link) && QFile::link(second->devicePath(), link));
    QTRY_VERIFY_WITH_TIMEOUT(commands.contains(">inform"), 2000);
    QTRY_VERIFY(home->isEnabled());
    QVERIFY(!probe.homed());
    QVERIFY(!window.findChild<QDoubleSpinBox *>(QStringLiteral("doubleSpinBox_Position"))->isEnabled());
    QCOMPARE(boxes.count(), 0);

    // Failed tries (here on a file that is no terminal) leave no descriptor behind; the
    // operator's Disconnect ends the trying.
    QFile notATerminal(dir.filePath(QStringLiteral("file")));
    QVERIFY(notATerminal.open(QIODevice::WriteOnly));
    QVERIFY(QFile::remove(link) && QFile::link(notATerminal.fileName(), link));
    // As on toolkits that report nothing when a device goes, the panel has to ask itself.
    QObject::disconnect(probe.serial(), &QSerialPort::errorOccurred, nullptr, nullptr);
    delete second;
    QTRY_VERIFY(probe.statusLabel()->text().startsWith(lostText));
    const auto descriptors = QDir(QStringLiteral("/proc/self/fd")).count();
    for (int i = 0; i < 100; ++i)
        QMetaObject::invokeMethod(&window, "tryReconnect");
    QVERIFY(QDir(QStringLiteral("/proc/self/fd")).count() <= descriptors);
    QVERIFY(!probe.serial()->isOpen());
    QVERIFY(QFile::remove(link));
    window.findChild<QAction *>(QStringLiteral("actionDisconnect"))->trigger();
    QCOMPARE(probe.statusLabel()->text(), QStringLiteral("Disconnected"));
    SimulatedController third;
    QVERIFY(third.start());
    QVERIFY(QFile::link(third.devicePath(), link));
    QTest::qWait(1300);
    QVERIFY(!probe.serial()->isOpen());
}

QTEST_MAIN(TestLink)
#include "tst_link.moc"
