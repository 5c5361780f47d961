// The simulated controller, checked from the panel's side of the line: a real QSerialPort on
// the simulator's pseudo-terminal sends each command and reads the exact reply lines. The
// pure framing and formatting functions are checked directly.

#include "simulatedcontroller.h"
#include "simulatoroptions.h"
#include "simulatorprotocol.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

// The panel's end of the line: a serial port at the panel's settings, read line by line.
class SerialLine
{
public:
    bool open(const QString &path)
    {
        port.setPortName(path);
        port.setBaudRate(QSerialPort::Baud115200);
        port.setDataBits(QSerialPort::Data8);
        port.setParity(QSerialPort::NoParity);
        port.setStopBits(QSerialPort::OneStop);
        return port.open(QIODevice::ReadWrite);
    }

    void send(const QByteArray &bytes) { port.write(bytes); }

    // The next line with its CR, or empty when none is complete within the time.
    QByteArray nextLine(int timeoutMs = 1000)
    {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            buffer.append(port.readAll());
            const int cr = buffer.indexOf('\r');
            if (cr >= 0) {
                const QByteArray line = buffer.left(cr + 1);
                buffer.remove(0, cr + 1);
                return line;
            }
            if (clock.elapsed() >= timeoutMs || !port.isOpen())
                return QByteArray();
            QTest::qWait(1);
        }
    }

    // Sends a command and returns the first reply line.
    QByteArray ask(const QByteArray &command, int timeoutMs = 1000)
    {
        send(command);
        return nextLine(timeoutMs);
    }

    // Everything that arrives within the time.
    QByteArray collect(int ms)
    {
        QTest::qWait(ms);
        buffer.append(port.readAll());
        QByteArray all;
        all.swap(buffer);
        return all;
    }

    QSerialPort port;
    QByteArray buffer;
};

// The number text of a position reply, cut as the panel cuts it.
QString cutPosition(const QByteArray &line, const QString &firmware)
{
    const QString text = QString::fromUtf8(line);
    if (firmware == QLatin1String("1.26"))
        return text.mid(2, text.size() - 6);
    return text.mid(4, text.size() - 8);
}

SimulatorOptions fastOptions(const QString &firmware = QStringLiteral("1.06"))
{
    SimulatorOptions options;
    options.firmware = firmware;
    options.speedUmPerS = 1e6;
    options.calibrationMs = 100;
    return options;
}

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    // Pure pieces.
    void takeCommands_data();
    void takeCommands();
    void takeCommandsBoundsGarbage();
    void positionReply_data();
    void positionReply();
    void versionReply_data();
    void versionReply();
    void limits_data();
    void limits();
    void supportedFirmware_data();
    void supportedFirmware();
    void parseTenths_data();
    void parseTenths();
    void options_data();
    void options();

    // Through the serial port.
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
    void unknownCommands_data();
    void unknownCommands();
    void overlongCommandIsDropped();
    void informDelay();
    void silent();
    void crlf();
    void hangupAfter();
    void noise();
};

void TestSimulator::takeCommands_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QList<QByteArray>>("commands");
    QTest::addColumn<QByteArray>("rest");

    using L = QList<QByteArray>;
    QTest::newRow("one with CR") << QByteArray(">cp\r") << L { ">cp" } << QByteArray();
    QTest::newRow("move ended by next command")
        << QByteArray(">ma 12345>cp\r") << L { ">ma 12345", ">cp" } << QByteArray();
    QTest::newRow("moves in a row")
        << QByteArray(">ma 1>mr -2.5>stop\r") << L { ">ma 1", ">mr -2.5", ">stop" } << QByteArray();
    QTest::newRow("move still open") << QByteArray(">ma 100") << L {} << QByteArray(">ma 100");
    QTest::newRow("second unfinished")
        << QByteArray(">inform\r>sta") << L { ">inform" } << QByteArray(">sta");
    QTest::newRow("bytes before first >") << QByteArray("junk>cp\r") << L { ">cp" } << QByteArray();
    QTest::newRow("line feeds are ignored")
        << QByteArray("\n>cp\r\n>status\r\n") << L { ">cp", ">status" } << QByteArray();
    QTest::newRow("no command at all") << QByteArray("hello\r\r") << L {} << QByteArray();
    QTest::newRow("white space trimmed") << QByteArray(">cp \r") << L { ">cp" } << QByteArray();
    QTest::newRow("bare >") << QByteArray(">\r") << L { ">" } << QByteArray();
    QTest::newRow("empty") << QByteArray() << L {} << QByteArray();
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

void TestSimulator::takeCommandsBoundsGarbage()
{
    QByteArray pending = ">" + QByteArray(maxPendingCommand + 10, 'x');
    QVERIFY(::takeCommands(pending).isEmpty());
    QVERIFY(pending.isEmpty());

    // A complete command beyond the bound is dropped too; the one after it is kept.
    pending = ">" + QByteArray(maxPendingCommand, 'x') + ">cp\r";
    QCOMPARE(::takeCommands(pending), QList<QByteArray> { ">cp" });

    // Up to the bound a command waits for its end.
    pending = ">ma " + QByteArray(maxPendingCommand - 4, '1');
    QVERIFY(::takeCommands(pending).isEmpty());
    QCOMPARE(pending.size(), maxPendingCommand);
}

void TestSimulator::positionReply_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<double>("um");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<double>("readBack");

    QTest::newRow("1.06") << "1.06" << 1234.5 << QByteArray("_cp 1234.5 um") << 1234.5;
    QTest::newRow("3.02") << "3.02" << 6250.0 << QByteArray("_cp 6250.0 um") << 6250.0;
    QTest::newRow("negative") << "1.06" << -250.0 << QByteArray("_cp -250.0 um") << -250.0;
    QTest::newRow("1.26") << "1.26" << 1234.5 << QByteArray("P 1234.5 um") << 1234.5;
    QTest::newRow("1.26 negative") << "1.26" << -12.34 << QByteArray("P -12.3 um") << -12.3;
    QTest::newRow("rounded") << "1.06" << 99.96 << QByteArray("_cp 100.0 um") << 100.0;
    QTest::newRow("no minus zero") << "1.06" << -0.04 << QByteArray("_cp 0.0 um") << 0.0;
}

void TestSimulator::positionReply()
{
    QFETCH(QString, firmware);
    QFETCH(double, um);
    QFETCH(QByteArray, reply);
    QFETCH(double, readBack);

    QCOMPARE(::positionReply(firmware, um), reply);
    bool ok = false;
    QCOMPARE(cutPosition(reply + '\r', firmware).toDouble(&ok), readBack);
    QVERIFY(ok);
}

void TestSimulator::versionReply_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("1.06") << "1.06" << QByteArray("_Ver 106");
    QTest::newRow("1.26") << "1.26" << QByteArray("_Ver 126");
    QTest::newRow("3.02") << "3.02" << QByteArray("_Ver 302");
}

void TestSimulator::versionReply()
{
    QFETCH(QString, firmware);
    QFETCH(QByteArray, reply);

    const QByteArray line = ::versionReply(firmware);
    QCOMPARE(line, reply);
    // The panel reads the version from bytes 5, 6 and 7.
    const QString read = QString(QChar(line.at(5))) + '.' + QChar(line.at(6)) + QChar(line.at(7));
    QCOMPARE(read, firmware);
    QCOMPARE(offsetReply(2500), QByteArray("_offset 2500"));
    QCOMPARE(statusReply(false).at(8), '1');
    QCOMPARE(statusReply(true).at(8), '9');
    QCOMPARE(targetReachedReply(-250.0), QByteArray("_tg -250.0"));
    QCOMPARE(errorReply(">foo"), QByteArray("_err >foo"));
}

void TestSimulator::limits_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<int>("offset");
    QTest::addColumn<double>("travel");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");

    QTest::newRow("1.06") << "1.06" << 2500 << 15000.0 << -250.0 << 14750.0;
    QTest::newRow("1.26") << "1.26" << 2500 << 6500.0 << -250.0 << 6250.0;
    QTest::newRow("3.02") << "3.02" << 2500 << 6500.0 << -250.0 << 6250.0;
    QTest::newRow("no offset") << "1.06" << 0 << 15000.0 << 0.0 << 15000.0;
    QTest::newRow("other offset") << "3.10" << 1000 << 6500.0 << -100.0 << 6400.0;
}

void TestSimulator::limits()
{
    QFETCH(QString, firmware);
    QFETCH(int, offset);
    QFETCH(double, travel);
    QFETCH(double, lower);
    QFETCH(double, upper);

    QCOMPARE(travelRange(firmware), travel);
    QCOMPARE(lowerLimit(offset), lower);
    QCOMPARE(upperLimit(firmware, offset), upper);
}

void TestSimulator::supportedFirmware_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("supported");

    QTest::newRow("1.06") << "1.06" << true;
    QTest::newRow("1.26") << "1.26" << true;
    QTest::newRow("3.00") << "3.00" << true;
    QTest::newRow("3.02") << "3.02" << true;
    QTest::newRow("9.99") << "9.99" << true;
    QTest::newRow("2.00") << "2.00" << false;
    QTest::newRow("1.07") << "1.07" << false;
    QTest::newRow("3.0") << "3.0" << false;
    QTest::newRow("3.002") << "3.002" << false;
    QTest::newRow("letters") << "abc" << false;
    QTest::newRow("empty") << "" << false;
}

void TestSimulator::supportedFirmware()
{
    QFETCH(QString, version);
    QFETCH(bool, supported);
    QCOMPARE(isSupportedFirmware(version), supported);
}

void TestSimulator::parseTenths_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");

    QTest::newRow("integer") << QByteArray("12345") << true << 12345.0;
    QTest::newRow("decimal") << QByteArray("12345.6") << true << 12345.6;
    QTest::newRow("negative") << QByteArray("-2500") << true << -2500.0;
    QTest::newRow("exponent") << QByteArray("1e+06") << true << 1e6;
    QTest::newRow("empty") << QByteArray() << false << 0.0;
    QTest::newRow("word") << QByteArray("abc") << false << 0.0;
    QTest::newRow("comma") << QByteArray("12,5") << false << 0.0;
    QTest::newRow("infinity") << QByteArray("inf") << false << 0.0;
    QTest::newRow("nan") << QByteArray("nan") << false << 0.0;
}

void TestSimulator::parseTenths()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(double, value);

    double tenths = 0.0;
    QCOMPARE(::parseTenths(text, &tenths), ok);
    if (ok)
        QCOMPARE(tenths, value);
}

void TestSimulator::options_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("ok");

    QTest::newRow("firmware") << "firmware"
                              << "1.26" << true;
    QTest::newRow("bad firmware") << "firmware"
                                  << "2.00" << false;
    QTest::newRow("inform delay") << "inform-delay"
                                  << "200" << true;
    QTest::newRow("negative delay") << "inform-delay"
                                    << "-1" << false;
    QTest::newRow("delay no number") << "inform-delay"
                                     << "soon" << false;
    QTest::newRow("hangup") << "hangup-after"
                            << "1000" << true;
    QTest::newRow("noise") << "noise"
                           << "50" << true;
    QTest::newRow("noise zero") << "noise"
                                << "0" << false;
    QTest::newRow("speed") << "speed"
                           << "2500.5" << true;
    QTest::newRow("speed zero") << "speed"
                                << "0" << false;
    QTest::newRow("speed inf") << "speed"
                               << "inf" << false;
    QTest::newRow("calibration") << "calibration"
                                 << "100" << true;
    QTest::newRow("silent") << "silent"
                            << "" << true;
    QTest::newRow("crlf") << "crlf"
                          << "" << true;
    QTest::newRow("unknown") << "colour"
                             << "red" << false;
}

void TestSimulator::options()
{
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(bool, ok);

    SimulatorOptions options;
    const SimulatorOptions defaults;
    const QString message = setSimulatorOption(options, name, value);
    QCOMPARE(message.isEmpty(), ok);
    if (!ok) {
        QVERIFY2(message.contains(name), qPrintable(message));
        // A rejected value leaves the options as they were.
        QCOMPARE(options.firmware, defaults.firmware);
        QCOMPARE(options.informDelayMs, defaults.informDelayMs);
        QCOMPARE(options.speedUmPerS, defaults.speedUmPerS);
        QCOMPARE(options.noiseIntervalMs, defaults.noiseIntervalMs);
        return;
    }
    if (name == QLatin1String("firmware"))
        QCOMPARE(options.firmware, value);
    else if (name == QLatin1String("inform-delay"))
        QCOMPARE(options.informDelayMs, value.toInt());
    else if (name == QLatin1String("hangup-after"))
        QCOMPARE(options.hangupAfterMs, value.toInt());
    else if (name == QLatin1String("noise"))
        QCOMPARE(options.noiseIntervalMs, value.toInt());
    else if (name == QLatin1String("speed"))
        QCOMPARE(options.speedUmPerS, value.toDouble());
    else if (name == QLatin1String("calibration"))
        QCOMPARE(options.calibrationMs, value.toInt());
    else if (name == QLatin1String("silent"))
        QVERIFY(options.silent);
    else if (name == QLatin1String("crlf"))
        QVERIFY(options.crlf);
}

// --- Through the serial port -------------------------------------------------------------

#define OPEN_LINE(controller, line)                                                                \
    QVERIFY2((controller).start(), qPrintable((controller).errorString()));                        \
    QVERIFY2((line).open((controller).devicePath()), qPrintable((line).port.errorString()))

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

void TestSimulator::unknownCommands_data()
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

void TestSimulator::unknownCommands()
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

void TestSimulator::overlongCommandIsDropped()
{
    SimulatedController controller(fastOptions());
    SerialLine line;
    OPEN_LINE(controller, line);

    line.send(">" + QByteArray(3 * maxPendingCommand, 'x'));
    QCOMPARE(line.ask(">cp\r"), QByteArray("_cp 0.0 um\r"));
    QCOMPARE(line.collect(50), QByteArray());
}

void TestSimulator::informDelay()
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

void TestSimulator::silent()
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

void TestSimulator::crlf()
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

void TestSimulator::hangupAfter()
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

void TestSimulator::noise()
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

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
