// The simulated controller as the panel's side of the line sees it through a real
// QSerialPort: every command's answer for each firmware and line-end mode, silence, and the
// time that moves and calibration take.

#include "simulatedcontroller.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTest>

Q_DECLARE_METATYPE(SimulatorOptions)

namespace {

// A controller and the panel's end of its line, at the panel's line settings.
struct Line
{
    explicit Line(const SimulatorOptions &options)
        : controller(options)
    {
        started = controller.start();
        port.setPortName(controller.devicePath());
        port.setBaudRate(QSerialPort::Baud115200);
        opened = started && port.open(QIODevice::ReadWrite);
        QObject::connect(&port, &QSerialPort::readyRead, [this] { got += port.readAll(); });
    }
    // Sends the command and returns what has come back once `expected` bytes (or more) have.
    QByteArray ask(const QByteArray &command, int expected)
    {
        got.clear();
        port.write(command);
        const bool complete = QTest::qWaitFor([&] { return got.size() >= expected; }, 1000);
        return complete ? got : got + " (incomplete)";
    }

    SimulatedController controller;
    QSerialPort port;
    QByteArray got;
    bool started = false;
    bool opened = false;
};

SimulatorOptions fast(const QString &firmware, bool crlf = false, bool silent = false)
{
    SimulatorOptions options;
    options.firmware = firmware;
    options.speedUmPerS = 1e6;
    options.crlf = crlf;
    options.silent = silent;
    return options;
}

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void dialogue_data();
    void dialogue();
    void movesAndCalibrationTakeTime();
};

void TestSimulator::dialogue_data()
{
    QTest::addColumn<SimulatorOptions>("options");
    QTest::addColumn<QByteArrayList>("steps"); // a command, its complete answer, ...

    QTest::newRow("1.06") << fast("1.06")
                          << QByteArrayList { ">inform\r",   "_Ver 106\r_offset 2500\r",
                                              ">status\r",   "_status 1\r",
                                              ">ma 200000\r", "ok\r_tg 14750.0\r",
                                              ">cp\r",       "_cp 14750.0 um\r",
                                              ">stop\r>home\r", "ok\rok\r_tg 0.0\r",
                                              ">mr -5000\r", "ok\r_tg -250.0\r",
                                              ">ma -0.4\r",  "ok\r_tg 0.0\r",
                                              ">ma inf\r",   "_err >ma inf\r",
                                              ">CP\r>cp extra\r", "_err >CP\r_err >cp extra\r" };
    QTest::newRow("1.26") << fast("1.26")
                          << QByteArrayList { ">inform\r", "_Ver 126\r_offset 2500\r",
                                              ">ma 12345\r", "ok\r_tg 1234.5\r",
                                              ">cp\r", "P 1234.5 um\r",
                                              ">ma 2000>mr 500\r", "ok\rok\r_tg 250.0\r",
                                              ">ma 200000\r", "ok\r_tg 6250.0\r" };
    QTest::newRow("3.02, CR LF") << fast("3.02", true)
                                 << QByteArrayList { ">inform\r", "_Ver 302\r\n_offset 2500\r\n",
                                                     ">mr 1e+06\r", "ok\r\n_tg 6250.0\r\n",
                                                     ">bar\r\n", "_err >bar\r\n" };
    QTest::newRow("silent") << fast("1.06", false, true)
                            << QByteArrayList { ">inform\r>status\r>cp\r>ma 1000\r", "" };
}

void TestSimulator::dialogue()
{
    QFETCH(SimulatorOptions, options);
    QFETCH(QByteArrayList, steps);

    Line line(options);
    QVERIFY2(line.opened, qPrintable(line.controller.errorString()));
    for (int i = 0; i + 1 < steps.size(); i += 2)
        QCOMPARE(line.ask(steps.at(i), steps.at(i + 1).size()), steps.at(i + 1));
    QTest::qWait(100); // and nothing more, not even a replaced move's arrival
    QCOMPARE(line.got, steps.last());
}

void TestSimulator::movesAndCalibrationTakeTime()
{
    SimulatorOptions options;
    options.speedUmPerS = 10000.0; // 1000 um in 100 ms
    options.calibrationMs = 400;
    Line line(options);
    QVERIFY(line.opened);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(line.ask(">ma 10000\r", 3), QByteArray("ok\r"));
    const QByteArray moving = line.ask(">cp\r", 6);
    QVERIFY2(line.controller.isMoving() && moving.size() > 6 && !moving.contains("1000.0"),
             moving.constData());
    QTRY_VERIFY(line.got.contains("_tg 1000.0\r"));
    QVERIFY(clock.elapsed() >= 95);

    // A second request while calibrating neither restarts nor repeats it.
    clock.restart();
    QCOMPARE(line.ask(">auto\r", 3), QByteArray("ok\r"));
    QTest::qWait(250);
    QCOMPARE(line.ask(">auto\r>status\r", 13), QByteArray("ok\r_status 1\r"));
    QTRY_VERIFY(line.got.contains("_offset 2500\r"));
    QVERIFY2(clock.elapsed() < 600, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(line.ask(">status\r", 10), QByteArray("_status 9\r"));
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
