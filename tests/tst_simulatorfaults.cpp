// The simulated controller's misbehaviour on request, and its answers to what it does not
// understand, seen through a real QSerialPort: late identification, silence, CR LF line
// ends, a hang-up and unsolicited noise lines.

#include "serialline.h"
#include "simulatedcontroller.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

class TestSimulatorFaults : public QObject
{
    Q_OBJECT

private slots:
    void unknownCommands_data();
    void unknownCommands();
    void overlongCommandIsDropped();
    void informDelay();
    void silent();
    void crlf();
    void hangupAfter();
    void noise();
};

void TestSimulatorFaults::unknownCommands_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("unknown word") << QByteArray(">foo\r") << QByteArray("_err >foo\r");
    QTest::newRow("upper case") << QByteArray(">CP\r") << QByteArray("_err >CP\r");
    QTest::newRow("move without number") << QByteArray(">ma\r") << QByteArray("_err >ma\r");
    QTest::newRow("move with word") << QByteArray(">ma abc\r") << QByteArray("_err >ma abc\r");
    QTest::newRow("query with argument")
        << QByteArray(">cp extra\r") << QByteArray("_err >cp extra\r");
    QTest::newRow("bare >") << QByteArray(">\r") << QByteArray("_err >\r");
    QTest::newRow("typed with CR LF") << QByteArray(">bar\r\n") << QByteArray("_err >bar\r");
}

void TestSimulatorFaults::unknownCommands()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);

    SimulatedController controller(fastOptions());
    SerialLine line;
    OPEN_LINE(controller, line);

    QCOMPARE(line.ask(command), reply);
    QVERIFY(!controller.isMoving());
    QCOMPARE(line.ask(">cp\r"), QByteArray("_cp 0.0 um\r")); // still serving, stage unmoved
}

void TestSimulatorFaults::overlongCommandIsDropped()
{
    SimulatedController controller(fastOptions());
    SerialLine line;
    OPEN_LINE(controller, line);

    line.send(">" + QByteArray(3 * maxPendingCommand, 'x'));
    QCOMPARE(line.ask(">cp\r"), QByteArray("_cp 0.0 um\r"));
    QCOMPARE(line.collect(50), QByteArray());
}

void TestSimulatorFaults::informDelay()
{
    SimulatorOptions options = fastOptions();
    options.informDelayMs = 300;
    SimulatedController controller(options);
    SerialLine line;
    OPEN_LINE(controller, line);

    QElapsedTimer clock;
    clock.start();
    line.send(">inform\r");
    // Other commands are answered meanwhile.
    QCOMPARE(line.ask(">status\r"), QByteArray("_status 1\r"));
    QVERIFY(clock.elapsed() < 250);
    QCOMPARE(line.nextLine(1000), QByteArray("_Ver 106\r"));
    QVERIFY2(clock.elapsed() >= 295, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(line.nextLine(), QByteArray("_offset 2500\r"));
}

void TestSimulatorFaults::silent()
{
    SimulatorOptions options = fastOptions();
    options.silent = true;
    SimulatedController controller(options);
    SerialLine line;
    OPEN_LINE(controller, line);
    QSignalSpy commands(&controller, &SimulatedController::commandReceived);

    line.send(">inform\r>status\r>cp\r>ma 1000\r>foo\r");
    QCOMPARE(line.collect(400), QByteArray());
    QCOMPARE(commands.count(), 5); // it reads them all and answers none
    QVERIFY(!controller.isMoving());
    QCOMPARE(controller.position(), 0.0);
}

void TestSimulatorFaults::crlf()
{
    SimulatorOptions options = fastOptions();
    options.crlf = true;
    SimulatedController controller(options);
    SerialLine line;
    OPEN_LINE(controller, line);

    line.send(">inform\r>cp\r>foo\r");
    QCOMPARE(line.collect(200),
             QByteArray("_Ver 106\r\n_offset 2500\r\n_cp 0.0 um\r\n_err >foo\r\n"));
}

void TestSimulatorFaults::hangupAfter()
{
    SimulatorOptions options = fastOptions();
    options.hangupAfterMs = 300;
    SimulatedController controller(options);
    SerialLine line;
    OPEN_LINE(controller, line);
    QSignalSpy hungUp(&controller, &SimulatedController::hungUp);
    qRegisterMetaType<QSerialPort::SerialPortError>();
    QSignalSpy errors(&line.port, &QSerialPort::errorOccurred);

    QCOMPARE(line.ask(">inform\r"), QByteArray("_Ver 106\r"));
    QCOMPARE(line.nextLine(), QByteArray("_offset 2500\r"));
    QVERIFY(hungUp.isEmpty());

    QTRY_COMPARE_WITH_TIMEOUT(hungUp.count(), 1, 1500);
    // The panel's port sees the line drop as a resource error, as with an unplugged adapter.
    line.send(">cp\r");
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (const QList<QVariant> &error : errors) {
                if (error.at(0).value<QSerialPort::SerialPortError>() == QSerialPort::ResourceError)
                    return true;
            }
            return false;
        }(),
        1500);
    QCOMPARE(line.nextLine(100), QByteArray());
}

void TestSimulatorFaults::noise()
{
    SimulatorOptions options = fastOptions();
    options.noiseIntervalMs = 40;
    SimulatedController controller(options);
    SerialLine line;
    OPEN_LINE(controller, line);

    QTest::qWait(100);
    line.send(">cp\r");
    const QList<QByteArray> lines = line.collect(200).split('\r');
    int noiseLines = 0;
    int positionLines = 0;
    for (const QByteArray &text : lines) {
        if (text.isEmpty())
            continue;
        if (text.startsWith("# noise "))
            ++noiseLines;
        else if (text == "_cp 0.0 um")
            ++positionLines;
        else
            QFAIL(text.constData());
        // Nothing a noise line holds may look like a reply the panel interprets.
        if (text.startsWith("#")) {
            QVERIFY(!text.contains('P') && !text.contains("Ver") && !text.contains("status")
                    && !text.contains("offset") && !text.contains("ffset"));
        }
    }
    QVERIFY2(noiseLines >= 4, qPrintable(QString::number(noiseLines)));
    QCOMPARE(positionLines, 1);
}

QTEST_GUILESS_MAIN(TestSimulatorFaults)
#include "tst_simulatorfaults.moc"
