// The simulated controller's misbehaviour on request, and its answers to what it does not
// understand, seen through a real QSerialPort: late identification, silence, CR LF line
// ends, a hang-up and unsolicited noise lines.

#include "serialline.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

class TestSimulatorFaults : public QObject
{
    Q_OBJECT

private slots:
    void unknownCommands_data();
    void unknownCommands();
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

    for (const char *command :
         { ">foo", ">CP", ">ma", ">ma abc", ">ma 12,5", ">ma inf", ">mr nan", ">cp extra", ">" })
        QTest::newRow(command) << QByteArray(command) + '\r'
                               << "_err " + QByteArray(command) + '\r';
    QTest::newRow("typed with CR LF") << QByteArray(">bar\r\n") << QByteArray("_err >bar\r");
}

void TestSimulatorFaults::unknownCommands()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);

    SIMULATED_LINE(fastOptions());

    QCOMPARE(line.ask(command), reply);
    QVERIFY(!controller.isMoving());
    QCOMPARE(line.ask(">cp\r"), QByteArray("_cp 0.0 um\r")); // still serving, stage unmoved
}

void TestSimulatorFaults::informDelay()
{
    SimulatorOptions options = fastOptions();
    options.informDelayMs = 300;
    SIMULATED_LINE(options);

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
    SIMULATED_LINE(options);
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
    SIMULATED_LINE(options);

    line.send(">inform\r>cp\r>foo\r");
    QCOMPARE(line.collect(200),
             QByteArray("_Ver 106\r\n_offset 2500\r\n_cp 0.0 um\r\n_err >foo\r\n"));
}

void TestSimulatorFaults::hangupAfter()
{
    SimulatorOptions options = fastOptions();
    options.hangupAfterMs = 300;
    SIMULATED_LINE(options);
    QSignalSpy hungUp(&controller, &SimulatedController::hungUp);
    qRegisterMetaType<QSerialPort::SerialPortError>();
    QSignalSpy errors(&line.port, &QSerialPort::errorOccurred);

    QCOMPARE(line.ask(">inform\r"), QByteArray("_Ver 106\r"));
    QCOMPARE(line.nextLine(), QByteArray("_offset 2500\r"));
    QVERIFY(hungUp.isEmpty());

    QTRY_COMPARE_WITH_TIMEOUT(hungUp.count(), 1, 1500);
    // The panel's port sees the line drop as a resource error, as with an unplugged adapter.
    line.send(">cp\r");
    const auto resourceError = [](const QList<QVariant> &error) {
        return error.at(0).value<QSerialPort::SerialPortError>() == QSerialPort::ResourceError;
    };
    QTRY_VERIFY_WITH_TIMEOUT(std::any_of(errors.cbegin(), errors.cend(), resourceError), 1500);
    QCOMPARE(line.nextLine(100), QByteArray());
}

void TestSimulatorFaults::noise()
{
    SimulatorOptions options = fastOptions();
    options.noiseIntervalMs = 40;
    SIMULATED_LINE(options);

    QTest::qWait(100);
    line.send(">cp\r");
    const QList<QByteArray> lines = line.collect(200).split('\r');
    int noiseLines = 0;
    int positionLines = 0;
    for (const QByteArray &text : lines) {
        if (text.isEmpty())
            continue;
        if (text == "_cp 0.0 um") {
            ++positionLines;
            continue;
        }
        QVERIFY2(text.startsWith("# noise "), text.constData());
        // Nothing a noise line holds may look like a reply the panel interprets.
        QVERIFY(!text.contains('P') && !text.contains("Ver") && !text.contains("status")
                && !text.contains("ffset"));
        ++noiseLines;
    }
    QVERIFY2(noiseLines >= 4, qPrintable(QString::number(noiseLines)));
    QCOMPARE(positionLines, 1);
}

QTEST_GUILESS_MAIN(TestSimulatorFaults)
#include "tst_simulatorfaults.moc"
