// Both programs run for real, as a user starts them: their answers to --help, --version and
// unusable values; the simulator answering every command on the terminal it prints, for each
// firmware and fault mode its options choose, taking its time for moves and calibration; and
// the panel under xvfb-run, with --simulate or with --port on a real pseudo-terminal, staying
// up, leaving the port alone until the operator connects. Both end cleanly on SIGTERM.

#include "testsupport.h"

#include <QProcess>
#include <QSerialPort>

#include <csignal>

namespace {

const QString panelBin = QStringLiteral(LUMARVETHON_BIN);
const QString simBin = QStringLiteral(LUMARVETHON_SIM_BIN);

bool endsCleanly(QProcess &process, qint64 pid)
{
    ::kill(pid_t(pid), SIGTERM);
    return process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

} // namespace

class TestPrograms : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void simulatorDialogue_data();
    void simulatorDialogue();
    void panelUnderXvfbRun_data();
    void panelUnderXvfbRun();
};

void TestPrograms::answers_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("text"); // on standard output for 0, else on standard error

    const auto row = [](const char *name, const QString &program, const QStringList &arguments,
                        int exitCode, const char *text) {
        QTest::newRow(name) << program << arguments << exitCode << QByteArray(text);
    };
    row("panel version", panelBin, { "--version" }, 0, "lumarvethon " LUMARVETHON_VERSION "\n");
    row("panel port and simulate", panelBin, { "--simulate", "--port", "x" }, 2, "--port and");
    row("simulator version", simBin, { "--version" }, 0,
        "lumarvethon-sim " LUMARVETHON_VERSION "\n");
    row("simulator bad firmware", simBin, { "--firmware", "2.00" }, 2, "firmware");
    row("simulator no noise", simBin, { "--noise", "0" }, 2, "noise");
    row("simulator restart fault", simBin, { "--help" }, 0, "--restart-after <MS>");
}

void TestPrograms::answers()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, text);

    QProcess run;
    run.start(program, arguments);
    QVERIFY(run.waitForFinished(10000));
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), exitCode);
    const QByteArray out = run.readAllStandardOutput();
    const QByteArray shown = exitCode == 0 ? out : run.readAllStandardError();
    QVERIFY2(shown.contains(text), shown.constData());
    QVERIFY(exitCode == 0 || out.isEmpty());
}

void TestPrograms::simulatorDialogue_data()
{
    QTest::addColumn<QStringList>("arguments");
    // A command and the complete answer to it, ...; "wait N" sends nothing and takes what
    // arrives within N ms.
    QTest::addColumn<QByteArrayList>("steps");

    const QStringList fast { "--speed", "1000000" };
    const QStringList crlf { "--firmware", "3.02", "--crlf" };
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
    QTest::newRow("3.02, CR LF") << fast + crlf << QByteArrayList {
        ">inform\r",        "_Ver 302\r\n_offset 2500\r\n",
        ">mr 1e+06\r",      "ok\r\n_tg 6250.0\r\n",
        ">bar\r\n",         "_err >bar\r\n" };
    QTest::newRow("silent") << QStringList { "--silent" } << QByteArrayList {
        ">inform\r>status\r>cp\r>ma 1000\r", "",
        "wait 100",         "" };
    // A move of 1000 um at 2000 um/s; a second calibration request neither restarts nor
    // repeats the one under way.
    QTest::newRow("time taken") << QStringList { "--speed", "2000", "--calibration", "600" }
                                << QByteArrayList {
        ">ma 10000\r",      "ok\r",
        "wait 100",         "",
        "wait 700",         "_tg 1000.0\r",
        ">auto\r",          "ok\r",
        "wait 300",         "",
        ">auto\r>status\r", "ok\r_status 1\r",
        "wait 500",         "_offset 2500\r",
        ">status\r",        "_status 9\r" };
    // Restarts behind the open line after 1 s: silent for 3 s, then at 0 and not calibrated.
    QTest::newRow("restart") << fast + QStringList { "--calibration", "0", "--restart-after", "1000" }
                             << QByteArrayList {
        ">auto\r",          "ok\r_offset 2500\r",
        ">ma 10000\r>status\r", "ok\r_status 9\r_tg 1000.0\r",
        "wait 1200",        "",
        ">cp\r",            "",
        "wait 3000",        "",
        ">cp\r>status\r",   "_cp 0.0 um\r_status 1\r" };
    // clang-format on
}

void TestPrograms::simulatorDialogue()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArrayList, steps);

    QProcess simulator;
    simulator.start(simBin, arguments);
    QVERIFY(QTest::qWaitFor([&] { return simulator.canReadLine(); }, 5000));
    QSerialPort port(QString::fromLocal8Bit(simulator.readLine()).trimmed());
    port.setBaudRate(QSerialPort::Baud115200);
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    QByteArray got;
    connect(&port, &QSerialPort::readyRead, this, [&] { got += port.readAll(); });
    for (int i = 0; i + 1 < steps.size(); i += 2) {
        const QByteArray &expected = steps.at(i + 1);
        got.clear();
        if (steps.at(i).startsWith("wait ")) {
            QTest::qWait(steps.at(i).mid(5).toInt());
        } else {
            port.write(steps.at(i));
            const bool done = QTest::qWaitFor([&] { return got.size() >= expected.size(); }, 2000);
            QVERIFY2(done, got.constData());
        }
        QVERIFY2(got == expected, qPrintable(steps.at(i) + " -> " + got));
    }
    QVERIFY(endsCleanly(simulator, simulator.processId()));
}

void TestPrograms::panelUnderXvfbRun_data()
{
    QTest::addColumn<bool>("simulate");
    QTest::newRow("--simulate") << true;
    QTest::newRow("--port") << false;
}

void TestPrograms::panelUnderXvfbRun()
{
    QFETCH(bool, simulate);
    ControllerEnd controller;
    QVERIFY(controller.open());
    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM")); // the real X11 platform
    run.setProcessEnvironment(environment);
    run.setWorkingDirectory(QStringLiteral(LUMARVETHON_SOURCE_DIR)); // where images/ is
    // The shell tells its process id, which the panel takes over.
    run.start(QStringLiteral("xvfb-run"),
              QStringList { "-a", "sh", "-c", "echo $$ && exec \"$0\" \"$@\"", panelBin }
                  + (simulate ? QStringList { "--simulate" }
                              : QStringList { "--port", controller.devicePath() }));
    QVERIFY2(run.waitForStarted(5000), "xvfb-run (Debian package xvfb) does not start");
    QTRY_VERIFY_WITH_TIMEOUT(run.canReadLine(), 8000);
    const qint64 panel = run.readLine().trimmed().toLongLong();
    QTest::qWait(1500);
    QCOMPARE(run.state(), QProcess::Running);
    QCOMPARE(controller.received(), QByteArray()); // offering a port is not connecting to it
    QVERIFY(endsCleanly(run, panel)); // xvfb-run ends with the panel's own exit code
}

QTEST_MAIN(TestPrograms)
#include "tst_programs.moc"
