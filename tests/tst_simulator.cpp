// The simulated controller, checked from the panel's side of the line: a real QSerialPort on
// the simulator's pseudo-terminal sends each command and reads the exact reply lines.

#include "serialline.h"
#include "simulatedcontroller.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void informAnswersVersionAndOffset_data();
    void informAnswersVersionAndOffset();
    void positionForms_data();
    void positionForms();
    void moveWithoutCarriageReturn();
    void clampsToTravel_data();
    void clampsToTravel();
    void arrivesAtFiniteSpeed();
    void stopHaltsMidMove();
    void homeReturnsToZero();
    void calibration();
    void calibrationTakesAboutOneAndAHalfSeconds();
};

void TestSimulator::informAnswersVersionAndOffset_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QByteArray>("version");

    QTest::newRow("1.06") << "1.06" << QByteArray("_Ver 106\r");
    QTest::newRow("1.26") << "1.26" << QByteArray("_Ver 126\r");
    QTest::newRow("3.02") << "3.02" << QByteArray("_Ver 302\r");
}

void TestSimulator::informAnswersVersionAndOffset()
{
    QFETCH(QString, firmware);
    QFETCH(QByteArray, version);

    SimulatedController controller(fastOptions(firmware));
    SerialLine line;
    OPEN_LINE(controller, line);

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(line.ask(">inform\r"), version);
    QVERIFY2(clock.elapsed() < 150, "the panel drops a controller that is not identified in time");
    QCOMPARE(line.nextLine(), QByteArray("_offset 2500\r"));
    QCOMPARE(line.ask(">status\r"), QByteArray("_status 1\r"));
    QCOMPARE(line.ask(">stop\r"), QByteArray("ok\r"));
    QCOMPARE(line.collect(50), QByteArray()); // nothing else: stop does not arrive anywhere
}

void TestSimulator::positionForms_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QByteArray>("atZero");
    QTest::addColumn<QByteArray>("afterMove");

    QTest::newRow("1.06") << "1.06" << QByteArray("_cp 0.0 um\r") << QByteArray("_cp 1234.5 um\r");
    QTest::newRow("3.02") << "3.02" << QByteArray("_cp 0.0 um\r") << QByteArray("_cp 1234.5 um\r");
    QTest::newRow("1.26") << "1.26" << QByteArray("P 0.0 um\r") << QByteArray("P 1234.5 um\r");
}

void TestSimulator::positionForms()
{
    QFETCH(QString, firmware);
    QFETCH(QByteArray, atZero);
    QFETCH(QByteArray, afterMove);

    SimulatedController controller(fastOptions(firmware));
    SerialLine line;
    OPEN_LINE(controller, line);

    QCOMPARE(line.ask(">cp\r"), atZero);
    QCOMPARE(line.ask(">ma 12345\r"), QByteArray("ok\r"));
    QCOMPARE(line.nextLine(), QByteArray("_tg 1234.5\r"));
    const QByteArray reply = line.ask(">cp\r");
    QCOMPARE(reply, afterMove);
    QCOMPARE(cutPosition(reply, firmware), QStringLiteral("1234.5"));

    QCOMPARE(line.ask(">ma -2500\r"), QByteArray("ok\r"));
    QCOMPARE(line.nextLine(), QByteArray("_tg -250.0\r"));
    QCOMPARE(cutPosition(line.ask(">cp\r"), firmware), QStringLiteral("-250.0"));
}

void TestSimulator::moveWithoutCarriageReturn()
{
    SimulatorOptions options = fastOptions();
    options.speedUmPerS = 10000.0; // 1000 um take 100 ms
    SimulatedController controller(options);
    SerialLine line;
    OPEN_LINE(controller, line);
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
    const double at = cutPosition(moving, QStringLiteral("1.06")).toDouble();
    QVERIFY2(at >= 0.0 && at < 1000.0, moving.constData());
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

void TestSimulator::clampsToTravel_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QByteArray>("move");
    QTest::addColumn<QByteArray>("arrival");
    QTest::addColumn<double>("position");

    QTest::newRow("1.06 upper") << "1.06" << QByteArray(">ma 200000\r")
                                << QByteArray("_tg 14750.0\r") << 14750.0;
    QTest::newRow("1.06 inside") << "1.06" << QByteArray(">ma 147000\r")
                                 << QByteArray("_tg 14700.0\r") << 14700.0;
    QTest::newRow("1.06 lower") << "1.06" << QByteArray(">ma -100000\r")
                                << QByteArray("_tg -250.0\r") << -250.0;
    QTest::newRow("1.26 upper") << "1.26" << QByteArray(">ma 200000\r")
                                << QByteArray("_tg 6250.0\r") << 6250.0;
    QTest::newRow("3.02 upper relative")
        << "3.02" << QByteArray(">mr 1e+06\r") << QByteArray("_tg 6250.0\r") << 6250.0;
    QTest::newRow("3.02 lower relative")
        << "3.02" << QByteArray(">mr -5000\r") << QByteArray("_tg -250.0\r") << -250.0;
    QTest::newRow("3.02 exponent inside")
        << "3.02" << QByteArray(">ma 1.5e+04\r") << QByteArray("_tg 1500.0\r") << 1500.0;
}

void TestSimulator::clampsToTravel()
{
    QFETCH(QString, firmware);
    QFETCH(QByteArray, move);
    QFETCH(QByteArray, arrival);
    QFETCH(double, position);

    SimulatedController controller(fastOptions(firmware));
    SerialLine line;
    OPEN_LINE(controller, line);

    QCOMPARE(line.ask(move), QByteArray("ok\r"));
    QCOMPARE(line.nextLine(), arrival);
    QCOMPARE(controller.position(), position);
    QCOMPARE(cutPosition(line.ask(">cp\r"), firmware).toDouble(), position);
}

void TestSimulator::arrivesAtFiniteSpeed()
{
    SimulatorOptions options = fastOptions();
    options.speedUmPerS = 5000.0; // 1000 um take 200 ms
    SimulatedController controller(options);
    SerialLine line;
    OPEN_LINE(controller, line);

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(line.ask(">ma 10000\r"), QByteArray("ok\r"));
    QTest::qWait(80);
    const double halfway = cutPosition(line.ask(">cp\r"), QStringLiteral("1.06")).toDouble();
    QVERIFY2(halfway > 200.0 && halfway < 900.0, qPrintable(QString::number(halfway)));
    QVERIFY(controller.isMoving());

    QCOMPARE(line.nextLine(2000), QByteArray("_tg 1000.0\r"));
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= 195 && took < 600, qPrintable(QString::number(took)));
    QVERIFY(!controller.isMoving());
    QCOMPARE(line.ask(">cp\r"), QByteArray("_cp 1000.0 um\r"));
}

void TestSimulator::stopHaltsMidMove()
{
    SimulatorOptions options = fastOptions();
    options.speedUmPerS = 2000.0; // 1000 um take 500 ms
    SimulatedController controller(options);
    SerialLine line;
    OPEN_LINE(controller, line);

    QCOMPARE(line.ask(">ma 10000\r"), QByteArray("ok\r"));
    QTest::qWait(150);
    QCOMPARE(line.ask(">stop\r"), QByteArray("ok\r"));
    QVERIFY(!controller.isMoving());
    const QByteArray stoppedAt = line.ask(">cp\r");
    const double at = cutPosition(stoppedAt, QStringLiteral("1.06")).toDouble();
    QVERIFY2(at > 100.0 && at < 900.0, stoppedAt.constData());

    // No arrival, and the stage stays where it stopped.
    QCOMPARE(line.collect(600), QByteArray());
    QCOMPARE(line.ask(">cp\r"), stoppedAt);
}

void TestSimulator::homeReturnsToZero()
{
    SimulatedController controller(fastOptions());
    SerialLine line;
    OPEN_LINE(controller, line);

    QCOMPARE(line.ask(">ma 50000\r"), QByteArray("ok\r"));
    QCOMPARE(line.nextLine(), QByteArray("_tg 5000.0\r"));
    QCOMPARE(line.ask(">home\r"), QByteArray("ok\r"));
    QCOMPARE(line.nextLine(), QByteArray("_tg 0.0\r"));
    QCOMPARE(line.ask(">cp\r"), QByteArray("_cp 0.0 um\r"));
    // As the panel sends it: stop first, then home.
    line.send(">stop\r>home\r");
    QCOMPARE(line.nextLine(), QByteArray("ok\r"));
    QCOMPARE(line.nextLine(), QByteArray("ok\r"));
    QCOMPARE(line.nextLine(), QByteArray("_tg 0.0\r"));
}

void TestSimulator::calibration()
{
    SimulatorOptions options = fastOptions();
    options.calibrationMs = 200;
    SimulatedController controller(options);
    SerialLine line;
    OPEN_LINE(controller, line);

    // As the panel sends it: the calibration, and the status query right after.
    line.send(">auto\r>status\r");
    QCOMPARE(line.nextLine(), QByteArray("ok\r"));
    QCOMPARE(line.nextLine(), QByteArray("_status 1\r"));
    QVERIFY(controller.isCalibrating());
    QCOMPARE(line.collect(100), QByteArray()); // still calibrating
    QCOMPARE(line.nextLine(1000), QByteArray("_offset 2500\r"));
    QVERIFY(controller.isCalibrated());
    QVERIFY(!controller.isCalibrating());
    QCOMPARE(line.ask(">status\r"), QByteArray("_status 9\r"));
}

void TestSimulator::calibrationTakesAboutOneAndAHalfSeconds()
{
    QCOMPARE(SimulatorOptions().calibrationMs, 1500);
    SimulatedController controller; // default options
    SerialLine line;
    OPEN_LINE(controller, line);

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(line.ask(">auto\r"), QByteArray("ok\r"));
    QTest::qWait(1200);
    QCOMPARE(line.ask(">status\r"), QByteArray("_status 1\r"));
    QCOMPARE(line.nextLine(1500), QByteArray("_offset 2500\r"));
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= 1450 && took < 2200, qPrintable(QString::number(took)));
    QCOMPARE(line.ask(">status\r"), QByteArray("_status 9\r"));
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
