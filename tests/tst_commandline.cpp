// Both programs run for real: their answers to --help, --version and unusable values, and the
// panel as a user starts it under xvfb-run, with --simulate or with --port on a real
// pseudo-terminal: it stays up, leaves the port alone until the operator connects, and ends
// cleanly on SIGTERM.

#include "testsupport.h"

#include <QProcess>
#include <QTest>

#include <csignal>

namespace {

const QString panelBin = QStringLiteral(LUMARVETHON_BIN);
const QString simBin = QStringLiteral(LUMARVETHON_SIM_BIN);

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void panelUnderXvfbRun_data();
    void panelUnderXvfbRun();
};

void TestCommandLine::answers_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("text"); // on standard output for 0, else on standard error

    const auto row = [](const char *name, const QString &program, const QStringList &arguments,
                        int exitCode, const char *text) {
        QTest::newRow(name) << program << arguments << exitCode << QByteArray(text);
    };
    row("panel help", panelBin, { "--help" }, 0, "--simulate");
    row("panel version", panelBin, { "--version" }, 0, "lumarvethon " LUMARVETHON_VERSION "\n");
    row("panel bad version", panelBin, { "--simulate=abc" }, 2, "lumarvethon: ");
    row("panel port and simulate", panelBin, { "--simulate", "--port", "x" }, 2, "--port and");
    row("simulator help", simBin, { "--help" }, 0, "--hangup-after");
    row("simulator version", simBin, { "--version" }, 0,
        "lumarvethon-sim " LUMARVETHON_VERSION "\n");
    row("simulator bad firmware", simBin, { "--firmware", "2.00" }, 2, "firmware");
    row("simulator no noise", simBin, { "--noise", "0" }, 2, "noise");
    row("simulator stray argument", simBin, { "extra" }, 2, "\"extra\"");
}

void TestCommandLine::answers()
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

void TestCommandLine::panelUnderXvfbRun_data()
{
    QTest::addColumn<bool>("simulate");
    QTest::newRow("--simulate") << true;
    QTest::newRow("--port") << false;
}

void TestCommandLine::panelUnderXvfbRun()
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
    QCOMPARE(::kill(pid_t(panel), SIGTERM), 0);
    QVERIFY2(run.waitForFinished(5000), "the panel did not end on SIGTERM");
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), 0); // xvfb-run ends with the panel's own exit code
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
