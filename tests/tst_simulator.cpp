// The simulated controller: how received bytes are cut into commands, and every command's
// answer as the panel's side of the line reads it through a real QSerialPort.

#include "serialline.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void takeCommands_data();
    void takeCommands();
    void supportedFirmware();
    void informStatusStop_data();
    void informStatusStop();
    void moves_data();
    void moves();
    void moveWithoutCarriageReturn();
    void finiteSpeedAndStop();
    void homeReturnsToZero();
    void calibration();
};

void TestSimulator::takeCommands_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QList<QByteArray>>("commands");
    QTest::addColumn<QByteArray>("rest");

    using L = QList<QByteArray>;
    QTest::newRow("CR") << QByteArray(">cp\r") << L { ">cp" } << QByteArray();
    QTest::newRow("moves end at the next >")
        << QByteArray(">ma 1>mr -2.5>stop\r") << L { ">ma 1", ">mr -2.5", ">stop" } << QByteArray();
    QTest::newRow("move still open") << QByteArray(">ma 100") << L {} << QByteArray(">ma 100");
    QTest::newRow("unfinished kept")
        << QByteArray(">inform\r>sta") << L { ">inform" } << QByteArray(">sta");
    QTest::newRow("bytes before >") << QByteArray("junk>cp\r") << L { ">cp" } << QByteArray();
    QTest::newRow("LF and blanks")
        << QByteArray("\n>cp \r\n>status\r\n") << L { ">cp", ">status" } << QByteArray();
    QTest::newRow("no >") << QByteArray("hello\r\r") << L {} << QByteArray();
    QTest::newRow("bare >") << QByteArray(">\r") << L { ">" } << QByteArray();
    // Past its bound a command is garbage, finished or not; up to it, it waits for its end.
    const QByteArray overlong = ">" + QByteArray(maxPendingCommand, 'x');
    QTest::newRow("overlong open") << overlong + "xx" << L {} << QByteArray();
    QTest::newRow("overlong ended") << overlong + ">cp\r" << L { ">cp" } << QByteArray();
    const QByteArray longest = ">ma " + QByteArray(maxPendingCommand - 4, '1');
    QTest::newRow("longest waits") << longest << L {} << longest;
}

void TestSimulator::takeCommands()
{
    QFETCH(QByteArray, input);
    QFETCH(QList<QByteArray>, commands);
    QFETCH(QByteArray, rest);

    QByteArray pending = input;
    QCOMPARE(::takeCommands(pending), commands);
    QCOMPARE(pending, rest);

    // Byte by byte, as a slow line delivers them, the same commands come out.
    QByteArray trickle;
    QList<QByteArray> collected;
    for (char byte : input) {
        trickle.append(byte);
        collected += ::takeCommands(trickle);
    }
    QCOMPARE(collected, commands);
    QCOMPARE(trickle, rest);
}

void TestSimulator::supportedFirmware()
{
    for (const char *version : { "1.06", "1.26", "3.00", "9.99" })
        QVERIFY2(isSupportedFirmware(QLatin1String(version)), version);
    for (const char *version : { "2.00", "1.07", "3.0", "3.002", "abc", "" })
        QVERIFY2(!isSupportedFirmware(QLatin1String(version)), version);
}

void TestSimulator::informStatusStop_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QByteArray>("version");

    QTest::newRow("1.06") << "1.06" << QByteArray("_Ver 106\r");
    QTest::newRow("1.26") << "1.26" << QByteArray("_Ver 126\r");
    QTest::newRow("3.02") << "3.02" << QByteArray("_Ver 302\r");
}

void TestSimulator::informStatusStop()
{
    QFETCH(QString, firmware);
    QFETCH(QByteArray, version);

    SIMULATED_LINE(fastOptions(firmware));

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(line.ask(">inform\r"), version);
    QVERIFY2(clock.elapsed() < 150, "the panel drops a controller that is not identified in time");
    QCOMPARE(line.nextLine(), QByteArray("_offset 2500\r"));
    QCOMPARE(line.ask(">status\r"), QByteArray("_status 1\r"));
    QCOMPARE(line.ask(">stop\r"), QByteArray("ok\r"));
    QCOMPARE(line.collect(50), QByteArray()); // nothing else: stop does not arrive anywhere
}

void TestSimulator::moves_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QByteArray>("move");
    QTest::addColumn<QByteArray>("arrival");
    QTest::addColumn<QByteArray>("position");

    auto row = [](const char *name, const char *firmware, const char *move, const char *arrival,
                  const char *position) {
        QTest::newRow(name) << QString::fromLatin1(firmware) << QByteArray(move)
                            << QByteArray(arrival) << QByteArray(position);
    };
    row("1.06", "1.06", ">ma 12345\r", "_tg 1234.5\r", "_cp 1234.5 um\r");
    row("1.26", "1.26", ">ma 12345\r", "_tg 1234.5\r", "P 1234.5 um\r");
    row("1.06 upper", "1.06", ">ma 200000\r", "_tg 14750.0\r", "_cp 14750.0 um\r");
    row("1.06 lower", "1.06", ">ma -100000\r", "_tg -250.0\r", "_cp -250.0 um\r");
    row("1.26 upper", "1.26", ">ma 200000\r", "_tg 6250.0\r", "P 6250.0 um\r");
    row("1.26 lower", "1.26", ">ma -2500\r", "_tg -250.0\r", "P -250.0 um\r");
    row("3.02 upper relative", "3.02", ">mr 1e+06\r", "_tg 6250.0\r", "_cp 6250.0 um\r");
    row("3.02 lower relative", "3.02", ">mr -5000\r", "_tg -250.0\r", "_cp -250.0 um\r");
    row("3.02 exponent", "3.02", ">ma 1.5e+04\r", "_tg 1500.0\r", "_cp 1500.0 um\r");
    row("rounded", "1.06", ">ma 999.6\r", "_tg 100.0\r", "_cp 100.0 um\r");
    row("no minus zero", "1.06", ">ma -0.4\r", "_tg 0.0\r", "_cp 0.0 um\r");
    row("1.26 negative", "1.26", ">ma -123.4\r", "_tg -12.3\r", "P -12.3 um\r");
}

void TestSimulator::moves()
{
    QFETCH(QString, firmware);
    QFETCH(QByteArray, move);
    QFETCH(QByteArray, arrival);
    QFETCH(QByteArray, position);

    SIMULATED_LINE(fastOptions(firmware));

    QCOMPARE(line.ask(move), QByteArray("ok\r"));
    QCOMPARE(line.nextLine(), arrival);
    QCOMPARE(line.ask(">cp\r"), position);
}

void TestSimulator::moveWithoutCarriageReturn()
{
    SimulatorOptions options = fastOptions();
    options.speedUmPerS = 10000.0; // 1000 um take 100 ms
    SIMULATED_LINE(options);
    QSignalSpy commands(&controller, &SimulatedController::commandReceived);

    // As the panel writes it: the move, and the poll's query right behind it.
    line.send(">ma 10000");
    QCOMPARE(line.collect(50), QByteArray()); // the move has not ended yet
    QCOMPARE(commands.count(), 0);
    QVERIFY(!controller.isMoving());

    line.send(">cp\r");
    QCOMPARE(line.nextLine(), QByteArray("ok\r"));
    const QByteArray moving = line.nextLine();
    QVERIFY2(moving.startsWith("_cp ") && moving.endsWith(" um\r"), moving.constData());
    QVERIFY2(micrometres(moving) >= 0.0 && micrometres(moving) < 1000.0, moving.constData());
    QCOMPARE(line.nextLine(), QByteArray("_tg 1000.0\r"));
    QCOMPARE(commands.count(), 2);
    QCOMPARE(commands.at(0).at(0).toByteArray(), QByteArray(">ma 10000"));
    QCOMPARE(commands.at(1).at(0).toByteArray(), QByteArray(">cp"));

    // Two moves back to back: the second one ends the first and wins.
    line.send(">ma 2000>mr 500>cp\r");
    QCOMPARE(line.nextLine(), QByteArray("ok\r"));
    QCOMPARE(line.nextLine(), QByteArray("ok\r"));
    QVERIFY(line.nextLine().startsWith("_cp "));
    QCOMPARE(line.nextLine(), QByteArray("_tg 250.0\r"));
    QCOMPARE(line.collect(150), QByteArray()); // the replaced move never arrives
}

void TestSimulator::finiteSpeedAndStop()
{
    SimulatorOptions options = fastOptions();
    options.speedUmPerS = 5000.0; // 1000 um take 200 ms
    SIMULATED_LINE(options);

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(line.ask(">ma 10000\r"), QByteArray("ok\r"));
    QTest::qWait(80);
    const QByteArray halfway = line.ask(">cp\r");
    QVERIFY2(micrometres(halfway) > 200.0 && micrometres(halfway) < 900.0, halfway.constData());
    QVERIFY(controller.isMoving());
    QCOMPARE(line.nextLine(2000), QByteArray("_tg 1000.0\r"));
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= 195 && took < 600, qPrintable(QString::number(took)));
    QVERIFY(!controller.isMoving());
    QCOMPARE(line.ask(">cp\r"), QByteArray("_cp 1000.0 um\r"));

    // Stopped on the way back: no arrival, and the stage stays where it stopped.
    QCOMPARE(line.ask(">ma 0\r"), QByteArray("ok\r"));
    QTest::qWait(60);
    QCOMPARE(line.ask(">stop\r"), QByteArray("ok\r"));
    QVERIFY(!controller.isMoving());
    const QByteArray stoppedAt = line.ask(">cp\r");
    QVERIFY2(micrometres(stoppedAt) > 100.0 && micrometres(stoppedAt) < 900.0,
             stoppedAt.constData());
    QCOMPARE(line.collect(300), QByteArray());
    QCOMPARE(line.ask(">cp\r"), stoppedAt);
}

void TestSimulator::homeReturnsToZero()
{
    SIMULATED_LINE(fastOptions());

    QCOMPARE(line.ask(">ma 50000\r"), QByteArray("ok\r"));
    QCOMPARE(line.nextLine(), QByteArray("_tg 5000.0\r"));
    // As the panel sends it: stop first, then home.
    line.send(">stop\r>home\r");
    QCOMPARE(line.nextLine(), QByteArray("ok\r"));
    QCOMPARE(line.nextLine(), QByteArray("ok\r"));
    QCOMPARE(line.nextLine(), QByteArray("_tg 0.0\r"));
    QCOMPARE(line.ask(">cp\r"), QByteArray("_cp 0.0 um\r"));
}

void TestSimulator::calibration()
{
    SIMULATED_LINE(SimulatorOptions {}); // the default duration

    QElapsedTimer clock;
    clock.start();
    // As the panel sends it: the calibration, and the status query right after.
    line.send(">auto\r>status\r");
    QCOMPARE(line.nextLine(), QByteArray("ok\r"));
    QCOMPARE(line.nextLine(), QByteArray("_status 1\r"));
    QVERIFY(controller.isCalibrating());
    QTest::qWait(1000);
    // A second request while calibrating neither restarts nor repeats it.
    QCOMPARE(line.ask(">auto\r"), QByteArray("ok\r"));
    QCOMPARE(line.ask(">status\r"), QByteArray("_status 1\r"));
    QCOMPARE(line.nextLine(1500), QByteArray("_offset 2500\r"));
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= 1450 && took < 2200, qPrintable(QString::number(took)));
    QVERIFY(controller.isCalibrated());
    QVERIFY(!controller.isCalibrating());
    QCOMPARE(line.ask(">status\r"), QByteArray("_status 9\r"));
    QCOMPARE(line.collect(200), QByteArray());
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
