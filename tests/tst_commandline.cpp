// The command lines of the panel and of the stand-alone simulator: the panel's option parsing
// case by case, and both executables run for real, answering --help and --version, refusing
// unusable values with exit code 2, and the simulator serving on the terminal it prints until
// a signal ends it. And the panel as a user starts it, under xvfb-run with --simulate or with
// --port on a real pseudo-terminal: it stays up, leaves the port alone until the operator
// connects, and ends cleanly on SIGTERM.

#include "commandline.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSerialPort>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <unistd.h>

namespace {

struct Run
{
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QByteArray out;
    QByteArray err;
};

Run runToEnd(const QString &program, const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Run run;
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitCode();
    run.status = process.exitStatus();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// The fields of /proc/PID/stat after the command name (which is in parentheses and may hold
// spaces): the parent's pid at 1, the CPU ticks in user and system mode at 11 and 12.
QList<qint64> statFields(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = stat.readAll();
    QList<qint64> fields;
    for (const QByteArray &field : text.mid(text.lastIndexOf(')') + 2).split(' '))
        fields.append(field.toLongLong());
    return fields;
}

qint64 cpuTicks(qint64 pid)
{
    const QList<qint64> fields = statFields(pid);
    return fields.isEmpty() ? -1 : fields.value(11) + fields.value(12);
}

// The process whose parent is parentPid and whose executable is program, or 0.
qint64 childRunning(qint64 parentPid, const QString &program)
{
    const QString wanted = QFileInfo(program).canonicalFilePath();
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const qint64 pid = entry.toLongLong();
        if (pid > 0 && statFields(pid).value(1) == parentPid
            && QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).canonicalFilePath() == wanted)
            return pid;
    }
    return 0;
}

QString describe(QProcess &process)
{
    return QStringLiteral("exit status %1, code %2, stderr: %3")
        .arg(process.exitStatus())
        .arg(process.exitCode())
        .arg(QString::fromLocal8Bit(process.readAllStandardError()));
}

// The next reply line with its CR; buffer keeps what arrived after it.
QByteArray readLine(QSerialPort &port, QByteArray &buffer, int timeoutMs = 2000)
{
    while (!buffer.contains('\r') && port.waitForReadyRead(timeoutMs))
        buffer.append(port.readAll());
    const QByteArray line = buffer.left(buffer.indexOf('\r') + 1);
    buffer.remove(0, line.size());
    return line;
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void parse_data();
    void parse();
    void simulatorHelpAndVersion();
    void simulatorServesOnItsTerminal_data();
    void simulatorServesOnItsTerminal();
    void simulatorRejectsBadValues_data();
    void simulatorRejectsBadValues();
    void panelRuns_data();
    void panelRuns();
    void panelUnderXvfbRun_data();
    void panelUnderXvfbRun();
};

void TestCommandLine::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("lumarvethon"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LUMARVETHON_VERSION));
}

void TestCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("firstPort");
    QTest::addColumn<QString>("firmware"); // empty: no simulation
    QTest::addColumn<QString>("message"); // a part of the message

    auto row = [](const char *name, const QStringList &arguments, int exitCode, const char *port,
                  const char *firmware, const char *message) {
        QTest::newRow(name) << arguments << exitCode << QString::fromLatin1(port)
                            << QString::fromLatin1(firmware) << QString::fromLatin1(message);
    };
    row("nothing", {}, -1, "", "", "");
    row("port", { "--port", "/dev/ttyUSB0" }, -1, "/dev/ttyUSB0", "", "");
    row("simulate alone", { "--simulate" }, -1, "", "1.06", "");
    row("simulate 1.26", { "--simulate=1.26" }, -1, "", "1.26", "");
    row("simulate 3.02", { "--simulate=3.02" }, -1, "", "3.02", "");
    row("help", { "--help" }, 0, "", "", "--simulate");
    row("version", { "--version" }, 0, "", "", "lumarvethon " LUMARVETHON_VERSION);
    row("bad version", { "--simulate=abc" }, 2, "", "", "\"abc\"");
    row("unsupported version", { "--simulate=2.00" }, 2, "", "", "\"2.00\"");
    row("empty version", { "--simulate=" }, 2, "", "", "--simulate");
    row("version apart", { "--simulate", "1.26" }, 2, "", "", "\"1.26\"");
    row("port and simulate", { "--port", "/dev/ttyS0", "--simulate" }, 2, "", "",
        "--port and --simulate");
    row("empty port", { "--port", "" }, 2, "", "", "--port");
    row("blank port", { "--port= " }, 2, "", "", "--port");
    row("port without value", { "--port" }, 2, "", "", "port");
    row("unknown option", { "--colour" }, 2, "", "", "colour");
    row("stray argument", { "extra" }, 2, "", "", "\"extra\"");
    row("after --", { "--", "--simulate" }, 2, "", "", "\"--simulate\"");
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, firstPort);
    QFETCH(QString, firmware);
    QFETCH(QString, message);

    const CommandLineResult result
        = parseCommandLine(QStringList { QStringLiteral("lumarvethon") } + arguments);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.firstPort, firstPort);
    QCOMPARE(result.simulate, !firmware.isEmpty());
    QCOMPARE(result.firmware, firmware.isEmpty() ? QStringLiteral("1.06") : firmware);
    QVERIFY2(result.message.contains(message), qPrintable(result.message));
    if (exitCode == 2) {
        // One clear line, naming the program.
        QVERIFY2(result.message.startsWith(QLatin1String("lumarvethon: ")),
                 qPrintable(result.message));
        QCOMPARE(result.message.count(QLatin1Char('\n')), 1);
    }
    if (exitCode < 0)
        QVERIFY(result.message.isEmpty());
}

void TestCommandLine::simulatorHelpAndVersion()
{
    Run run = runToEnd(QStringLiteral(LUMARVETHON_SIM_BIN), { QStringLiteral("--help") });
    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 0);
    for (const char *option : { "--firmware", "--inform-delay", "--silent", "--crlf",
                                "--hangup-after", "--noise", "--speed", "--help", "--version" })
        QVERIFY2(run.out.contains(option), option);
    run = runToEnd(QStringLiteral(LUMARVETHON_SIM_BIN), { QStringLiteral("--version") });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("lumarvethon-sim " LUMARVETHON_VERSION "\n"));
}

void TestCommandLine::simulatorServesOnItsTerminal_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("position");
    QTest::addColumn<int>("signalNumber");

    QTest::newRow("default") << QStringList() << QByteArray("_Ver 106\r")
                             << QByteArray("_cp 0.0 um\r") << int(SIGTERM);
    QTest::newRow("1.26") << QStringList { "--firmware", "1.26" } << QByteArray("_Ver 126\r")
                          << QByteArray("P 0.0 um\r") << int(SIGINT);
}

void TestCommandLine::simulatorServesOnItsTerminal()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, position);
    QFETCH(int, signalNumber);

    QProcess simulator;
    simulator.start(QStringLiteral(LUMARVETHON_SIM_BIN), arguments);
    QVERIFY(simulator.waitForStarted());
    while (!simulator.canReadLine())
        QVERIFY2(simulator.waitForReadyRead(5000), "no device path printed");
    const QString path = QString::fromLocal8Bit(simulator.readLine()).trimmed();
    QVERIFY2(path.startsWith(QLatin1String("/dev/pts/")), qPrintable(path));

    QSerialPort port(path);
    port.setBaudRate(QSerialPort::Baud115200);
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    QByteArray buffer;
    port.write(">inform\r");
    QCOMPARE(readLine(port, buffer), version);
    QCOMPARE(readLine(port, buffer), QByteArray("_offset 2500\r"));
    port.write(">cp\r");
    QCOMPARE(readLine(port, buffer), position);

    // Waiting for commands costs next to nothing.
    const qint64 before = cpuTicks(simulator.processId());
    QVERIFY(before >= 0);
    QTest::qWait(1000);
    const qint64 used = cpuTicks(simulator.processId()) - before;
    QVERIFY2(used <= 5 * sysconf(_SC_CLK_TCK) / 100, qPrintable(QString::number(used)));

    QVERIFY(::kill(pid_t(simulator.processId()), signalNumber) == 0);
    QVERIFY(simulator.waitForFinished(5000));
    QCOMPARE(simulator.exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulator.exitCode(), 0);
}

void TestCommandLine::simulatorRejectsBadValues_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("message");

    const QList<QStringList> rejected
        = { { "--firmware", "2.00" }, { "--inform-delay", "soon" }, { "--hangup-after", "-5" },
            { "--noise", "0" },       { "--speed", "fast" },        { "--speed", "inf" },
            { "--calibration", "-1" } };
    for (const QStringList &arguments : rejected)
        QTest::newRow(qPrintable(arguments.join(' '))) << arguments << arguments.first().toLatin1();
    QTest::newRow("missing value") << QStringList { "--speed" } << QByteArray("speed");
    QTest::newRow("unknown option") << QStringList { "--colour" } << QByteArray("colour");
    QTest::newRow("stray argument") << QStringList { "extra" } << QByteArray("extra");
}

void TestCommandLine::simulatorRejectsBadValues()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, message);

    const Run run = runToEnd(QStringLiteral(LUMARVETHON_SIM_BIN), arguments);
    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message), run.err.constData());
    QVERIFY2(run.out.isEmpty(), run.out.constData()); // no device path: nothing serves
}

void TestCommandLine::panelRuns_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArrayList>("texts"); // on standard output for 0, else on standard error

    QTest::newRow("help") << QStringList { "--help" } << 0
                          << QByteArrayList { "--port", "--simulate", "--version" };
    QTest::newRow("version") << QStringList { "--version" } << 0
                             << QByteArrayList { "lumarvethon " LUMARVETHON_VERSION };
    QTest::newRow("bad version") << QStringList { "--simulate=abc" } << 2
                                 << QByteArrayList { "lumarvethon: ", "\"abc\"" };
    QTest::newRow("port and simulate")
        << QStringList { "--simulate", "--port", "/dev/ttyS0" } << 2
        << QByteArrayList { "lumarvethon: ", "--port and --simulate" };
    QTest::newRow("empty port") << QStringList { "--port", "" } << 2
                                << QByteArrayList { "lumarvethon: ", "--port" };
}

void TestCommandLine::panelRuns()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArrayList, texts);

    const Run run = runToEnd(QStringLiteral(LUMARVETHON_BIN), arguments);
    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.exitCode, exitCode);
    const QByteArray &shown = exitCode == 0 ? run.out : run.err;
    for (const QByteArray &text : texts)
        QVERIFY2(shown.contains(text), shown.constData());
    if (exitCode != 0)
        QVERIFY(run.out.isEmpty());
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
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty(),
             "xvfb-run is not installed (Debian package xvfb)");
    ControllerEnd controller;
    QVERIFY2(controller.open(), qPrintable(controller.pty().errorString()));

    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM")); // the real X11 platform, not offscreen
    run.setProcessEnvironment(environment);
    run.setWorkingDirectory(QStringLiteral(LUMARVETHON_SOURCE_DIR)); // where images/ is
    QStringList arguments { QStringLiteral("-a"), QStringLiteral(LUMARVETHON_BIN) };
    if (simulate)
        arguments << QStringLiteral("--simulate");
    else
        arguments << QStringLiteral("--port") << controller.devicePath();
    run.start(QStringLiteral("xvfb-run"), arguments);
    QVERIFY2(run.waitForStarted(5000), qPrintable(run.errorString()));

    qint64 panel = 0;
    QTRY_VERIFY2_WITH_TIMEOUT(
        (panel = childRunning(run.processId(), QStringLiteral(LUMARVETHON_BIN))) != 0
            || run.state() != QProcess::Running,
        qPrintable(describe(run)), 8000);
    QVERIFY2(panel, qPrintable(QStringLiteral("the panel did not start: ") + describe(run)));
    QTest::qWait(2000);
    QVERIFY2(run.state() == QProcess::Running, qPrintable(describe(run)));
    // Offering the port is not connecting to it: nothing goes out before the operator connects.
    QCOMPARE(controller.received(), QByteArray());

    // xvfb-run ends with the panel's own exit code.
    QCOMPARE(::kill(pid_t(panel), SIGTERM), 0);
    QVERIFY2(run.waitForFinished(5000), "the panel did not end on SIGTERM");
    QVERIFY2(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0,
             qPrintable(describe(run)));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
