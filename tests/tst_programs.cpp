// Both programs run as a user starts them: options, the simulator per firmware and fault mode,
// the panel under xvfb-run and headless, what an instance remembers, clean ends on signals.

#include "testprocess.h"
#include "testsupport.h"

#include <QDir>
#include <QProcess>
#include <QSerialPort>
#include <QSettings>
#include <QTemporaryDir>

#include <csignal>

namespace {

const QString panelBin = QStringLiteral(LUMARVETHON_BIN);
const QString simBin = QStringLiteral(LUMARVETHON_SIM_BIN);

bool endsCleanly(QProcess &process, qint64 pid, int signalNumber = SIGTERM)
{
    ::kill(pid_t(pid), signalNumber);
    return process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

// As in an SSH session or a service: no display of any kind.
QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
        environment.remove(QString::fromLatin1(name));
    return environment;
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
    void rememberedAcrossRuns();
    void cleanEnds_data();
    void cleanEnds();
    void headlessInstance();
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
    row("panel headless alone", panelBin, { "--headless" }, 2, "--headless needs --listen");
    row("panel bad name", panelBin, { "--name", "a/b" }, 2, "invalid name \"a/b\" for --name");
    row("panel bad group", panelBin, { "--listen-group", "no group" }, 2,
        "invalid group \"no group\" for --listen-group: there is no group no group");
    row("simulator version", simBin, { "--version" }, 0,
        "lumarvethon-sim " LUMARVETHON_VERSION "\n");
    row("simulator bad firmware", simBin, { "--firmware", "2.00" }, 2, "firmware");
    row("simulator no noise", simBin, { "--noise", "0" }, 2, "noise");
}

void TestPrograms::answers()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, text);

    TestProcess run;
    if (exitCode == 0 || arguments.contains(QStringLiteral("--headless")))
        run.setProcessEnvironment(withoutDisplay()); // these need none
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
    // A command and its whole answer, ...; "wait N" sends nothing, takes what comes in N ms.
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
    // 1000 um at 2000 um/s; a second calibration request neither restarts nor repeats it.
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

    TestProcess simulator;
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
    QTest::addColumn<bool>("simulate"); // and named, where the X11 platform takes --name
    QTest::newRow("--simulate") << true;
    QTest::newRow("--port") << false;
}

void TestPrograms::panelUnderXvfbRun()
{
    QFETCH(bool, simulate);
    ControllerEnd controller;
    QVERIFY(controller.open());
    TestProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM")); // the real X11 platform
    QTemporaryDir runtime;
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    run.setProcessEnvironment(environment);
    run.setWorkingDirectory(QStringLiteral(LUMARVETHON_SOURCE_DIR)); // where images/ is
    // The shell tells its process id, which the panel takes over.
    run.start(QStringLiteral("xvfb-run"),
              QStringList { "-a", "sh", "-c", "echo $$ && exec \"$0\" \"$@\"", panelBin }
                  + (simulate ? QStringList { "--simulate", "--name", "xv", "--listen" }
                              : QStringList { "--port", controller.devicePath() }));
    QVERIFY2(run.waitForStarted(5000), "xvfb-run (Debian package xvfb) does not start");
    QTRY_VERIFY_WITH_TIMEOUT(run.canReadLine(), 8000);
    const qint64 panel = run.readLine().trimmed().toLongLong();
    QTest::qWait(1500);
    QCOMPARE(run.state(), QProcess::Running);
    QCOMPARE(controller.received(), QByteArray()); // offering a port is not connecting to it
    QCOMPARE(QDir(runtime.path()).entryList(QDir::System),
             simulate ? QStringList { "lumarvethon-xv.sock" } : QStringList());
    QVERIFY(endsCleanly(run, panel)); // xvfb-run ends with the panel's own exit code
}

// Run twice as an instance: the command line holds for its run only; saves and allows stay.
void TestPrograms::rememberedAcrossRuns()
{
    QTemporaryDir dir;
    const QString socket = dir.filePath(QStringLiteral("r.sock"));
    QSettings remembered(configurationDir() + QStringLiteral("/lumarvethon-r.conf"),
                         QSettings::IniFormat);
    const auto run = [&](const QStringList &options, const QByteArrayList &requests) {
        TestProcess panel;
        panel.start(panelBin, QStringList { "--name", "r", "--simulate" } + options);
        QLocalSocket script;
        const bool reached = QTest::qWaitFor(
            [&] {
                script.connectToServer(socket);
                return script.waitForConnected(100);
            },
            10000);
        QByteArrayList replies { reached ? "listening" : "not listening" };
        for (const QByteArray &request : requests) {
            script.write(request + '\n');
            while (!script.canReadLine() && script.waitForReadyRead(10000)) { }
            replies.append(script.readLine().trimmed());
        }
        if (!endsCleanly(panel, panel.processId()))
            replies.append("not ended cleanly");
        remembered.sync();
        return replies.join('|');
    };
    QCOMPARE(
        run({ "--reconnect", "--listen", socket }, { "connect", "home", "wait 10", "save here" }),
        QByteArray("listening|ok 1.06|ok|ok 0|ok"));
    for (const char *key : { "connection/reconnect", "scripts/allow", "connection/port" })
        QVERIFY2(!remembered.contains(QLatin1String(key)), key);
    // As the operator leaves it with Connection > Allow scripts.
    remembered.setValue(QStringLiteral("scripts/allow"), true);
    remembered.setValue(QStringLiteral("scripts/socket"), socket);
    // As many positions as an instance keeps, with the longest names: a reply beyond 64 KiB.
    QByteArray longList = "ok here=0";
    for (int i = 2; i <= 1000; ++i) {
        const QString name
            = QStringLiteral("p%1").arg(i, 4, 10, QLatin1Char('0')).leftJustified(64, 'x');
        remembered.setValue(QStringLiteral("positions/list/%1/name").arg(i), name);
        remembered.setValue(QStringLiteral("positions/list/%1/um").arg(i), QString::number(i));
        longList += ';' + name.toLatin1() + '=' + QByteArray::number(i);
    }
    remembered.setValue(QStringLiteral("positions/list/size"), 1000);
    remembered.sync();
    QCOMPARE(run({}, { "positions", "state" }),
             "listening|" + longList
                 + "|ok connected=0 firmware=- homed=0 calibrated=- position=- min=-250 max=6250 "
                   "age_ms=- moving=0 stale=0 reconnecting=0");
}

// Ends that are no fault of the panel's: SIGHUP, or the record at ulimit -f (KiB), and on.
void TestPrograms::cleanEnds_data()
{
    QTest::addColumn<int>("fileLimitKib"); // 0: none
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("hangup") << 0 << int(SIGHUP);
    QTest::newRow("file-size limit") << 1 << int(SIGTERM);
}

void TestPrograms::cleanEnds()
{
    QFETCH(int, fileLimitKib);
    QFETCH(int, signalNumber);
    QTemporaryDir dir;
    const QString socket = dir.filePath(QStringLiteral("s.sock"));
    const QString record = dir.filePath(QStringLiteral("r.csv"));
    TestProcess panel;
    panel.setProcessEnvironment(withoutDisplay());
    const QString limit = fileLimitKib ? QStringLiteral("ulimit -f %1; ").arg(fileLimitKib) : "";
    panel.start(QStringLiteral("sh"),
                { "-c", limit + "exec \"$0\" \"$@\"", panelBin, "--headless", "--simulate",
                  "--name", "end", "--listen", socket, "--record", record });
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket), 8000);
    Script script(socket);
    QCOMPARE(script.ask("connect"), QByteArray("ok 1.06"));
    QCOMPARE(script.ask("home"), QByteArray("ok"));
    if (fileLimitKib) {
        // The poll's rows reach it in a second or two, the file cut back to a whole row.
        QTest::qWait(3000);
        const qint64 size = QFileInfo(record).size();
        QVERIFY2(size > 100 && size <= fileLimitKib * 1024, qPrintable(QString::number(size)));
        const QByteArray errors = panel.readAllStandardError(); // a headless warning: one line
        QVERIFY2(errors.contains("Recording stopped: ") && errors.contains("File too large\n"),
                 errors);
        QCOMPARE(script.ask("wait 10"), QByteArray("ok 0"));
    }
    QVERIFY(endsCleanly(panel, panel.processId(), signalNumber));
    QVERIFY(!QFile::exists(socket));
    const QByteArray rows = fileContent(record);
    QVERIFY(rows.endsWith('\n'));
    QCOMPARE(rows.contains(",event,disconnected,"), fileLimitKib == 0);
}

// Headless, a box goes to standard error and the record (named by the start time); a second
// panel of the instance is refused untouched, and a killed panel's lock is taken over.
void TestPrograms::headlessInstance()
{
    ControllerEnd controller; // silent: connecting ends in the "No Device found" box
    QVERIFY(controller.open());
    QTemporaryDir dir;
    const auto start = [&](QProcess &panel, const char *socket, const QStringList &more) {
        panel.setProcessEnvironment(withoutDisplay());
        panel.start(panelBin,
                    QStringList { "--headless", "--name", "one", "--listen",
                                  dir.filePath(QLatin1String(socket)) }
                        + more);
    };
    TestProcess first, second;
    start(first, "a.sock", { "--port", controller.devicePath(), "--record", dir.path() + "/" });
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath("a.sock")), 8000);
    QCOMPARE(Script(dir.filePath("a.sock")).ask("connect", 5000),
             QByteArray("error No Device found"));
    QByteArray errors;
    QTRY_VERIFY((errors += first.readAllStandardError()).contains("Error: No Device found: 1."));
    const QStringList records = QDir(dir.path()).entryList({ "lumarvethon-20*.csv" });
    QCOMPARE(records.size(), 1);
    QTRY_VERIFY(fileContent(dir.filePath(records.constFirst())).contains("box Error: No Device"));
    start(second, "b.sock", { "--simulate" });
    QVERIFY(second.waitForFinished(5000));
    QCOMPARE(second.exitCode(), 2);
    QVERIFY2(second.readAllStandardError().contains("this instance runs already"), "message");
    QVERIFY(!QFile::exists(dir.filePath("b.sock")));
    QCOMPARE(Script(dir.filePath("a.sock")).ask("positions"), QByteArray("ok"));
    first.kill(); // no clean-up: the lock stays behind, with the id of a process that is gone
    first.waitForFinished();
    start(second, "b.sock", { "--simulate" });
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath("b.sock")), 8000);
    QVERIFY(endsCleanly(second, second.processId()));
}

QTEST_MAIN(TestPrograms)
#include "tst_programs.moc"
