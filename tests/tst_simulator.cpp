// The stand-alone simulator as a user runs it: it prints its terminal's path, answers every
// command there as the controller does, for each firmware and fault mode its options choose,
// takes its time for moves and calibration, and ends cleanly on SIGTERM.

#include <QElapsedTimer>
#include <QProcess>
#include <QSerialPort>
#include <QTest>

#include <csignal>

namespace {

// A running simulator and the panel's end of its line, at the panel's line settings.
struct Simulator
{
    explicit Simulator(const QStringList &arguments)
    {
        process.start(QStringLiteral(LUMARVETHON_SIM_BIN), arguments);
        if (!QTest::qWaitFor([this] { return process.canReadLine(); }, 5000))
            return;
        port.setPortName(QString::fromLocal8Bit(process.readLine()).trimmed());
        port.setBaudRate(QSerialPort::Baud115200);
        opened = port.open(QIODevice::ReadWrite);
        QObject::connect(&port, &QSerialPort::readyRead, [this] { got += port.readAll(); });
    }
    // Sends the command; what has come back once `expected` bytes (or more) have.
    QByteArray ask(const QByteArray &command, int expected)
    {
        got.clear();
        port.write(command);
        const bool complete = QTest::qWaitFor([&] { return got.size() >= expected; }, 2000);
        return complete ? got : got + " (incomplete)";
    }
    bool endsCleanly()
    {
        ::kill(pid_t(process.processId()), SIGTERM);
        return process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
    }

    QProcess process;
    QSerialPort port;
    QByteArray got;
    bool opened = false;
};

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
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArrayList>("steps"); // a command, its complete answer, ...

    const QStringList fast { "--speed", "1000000" };
    // clang-format off
    QTest::newRow("1.06") << fast << QByteArrayList {
        ">inform\r",        "_Ver 106\r_offset 2500\r",
        ">status\r",        "_status 1\r",
        ">ma 200000\r",     "ok\r_tg 14750.0\r",
        ">cp\r",            "_cp 14750.0 um\r",
        ">stop\r>home\r",   "ok\rok\r_tg 0.0\r",
        ">mr -5000\r",      "ok\r_tg -250.0\r",
        ">ma -0.4\r",       "ok\r_tg 0.0\r",
        ">ma inf\r",        "_err >ma inf\r",
        ">CP\r>cp x\r",     "_err >CP\r_err >cp x\r" };
    QTest::newRow("1.26") << fast + QStringList { "--firmware", "1.26" } << QByteArrayList {
        ">inform\r",        "_Ver 126\r_offset 2500\r",
        ">ma 12345\r",      "ok\r_tg 1234.5\r",
        ">cp\r",            "P 1234.5 um\r",
        ">ma 2000>mr 500\r", "ok\rok\r_tg 250.0\r",
        ">ma 200000\r",     "ok\r_tg 6250.0\r" };
    const QStringList crlf { "--firmware", "3.02", "--crlf" };
    QTest::newRow("3.02, CR LF") << fast + crlf << QByteArrayList {
        ">inform\r",        "_Ver 302\r\n_offset 2500\r\n",
        ">mr 1e+06\r",      "ok\r\n_tg 6250.0\r\n",
        ">bar\r\n",         "_err >bar\r\n" };
    QTest::newRow("silent") << QStringList { "--silent" } << QByteArrayList {
        ">inform\r>status\r>cp\r>ma 1000\r", "" };
    // clang-format on
}

void TestSimulator::dialogue()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArrayList, steps);

    Simulator simulator(arguments);
    QVERIFY2(simulator.opened, simulator.process.readAllStandardError().constData());
    for (int i = 0; i + 1 < steps.size(); i += 2)
        QCOMPARE(simulator.ask(steps.at(i), steps.at(i + 1).size()), steps.at(i + 1));
    QTest::qWait(100); // and nothing more, not even a replaced move's arrival
    QCOMPARE(simulator.got, steps.last());
    QVERIFY(simulator.endsCleanly());
}

void TestSimulator::movesAndCalibrationTakeTime()
{
    Simulator simulator({ "--speed", "10000", "--calibration", "400" }); // 1000 um: 100 ms
    QVERIFY(simulator.opened);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(simulator.ask(">ma 10000\r", 3), QByteArray("ok\r"));
    const QByteArray moving = simulator.ask(">cp\r", 11);
    QVERIFY2(moving.startsWith("_cp ") && !moving.startsWith("_cp 1000.0"), moving.constData());
    QTRY_VERIFY(simulator.got.contains("_tg 1000.0\r"));
    QVERIFY(clock.elapsed() >= 95);

    // A second request while calibrating neither restarts nor repeats it.
    clock.restart();
    QCOMPARE(simulator.ask(">auto\r", 3), QByteArray("ok\r"));
    QTest::qWait(250);
    QCOMPARE(simulator.ask(">auto\r>status\r", 13), QByteArray("ok\r_status 1\r"));
    QTRY_VERIFY(simulator.got.contains("_offset 2500\r"));
    QVERIFY2(clock.elapsed() < 600, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(simulator.ask(">status\r", 10), QByteArray("_status 9\r"));
    QVERIFY(simulator.endsCleanly());
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
