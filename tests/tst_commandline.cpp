// The command lines of the panel and of the stand-alone simulator: the panel's option parsing
// case by case, and both executables run for real, answering --help and --version, refusing
// unusable values with exit code 2, and the simulator serving on the terminal it prints.

#include "commandline.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSerialPort>
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

// CPU time (user and system, in clock ticks) that a process has used so far.
qint64 cpuTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // The fields after the command name, which is in parentheses and may hold spaces.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.value(11).toLongLong() + fields.value(12).toLongLong();
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
    void simulateDefault_data();
    void simulateDefault();

    void simulatorHelpListsOptions();
    void simulatorVersion();
    void simulatorServesOnItsTerminal_data();
    void simulatorServesOnItsTerminal();
    void simulatorEndsOnSignal_data();
    void simulatorEndsOnSignal();
    void simulatorRejectsBadValues_data();
    void simulatorRejectsBadValues();
    void panelHelpAndVersion_data();
    void panelHelpAndVersion();
    void panelRejectsBadValues_data();
    void panelRejectsBadValues();
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
    QTest::addColumn<bool>("simulate");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QString>("message"); // a part of the message

    const QString none;
    QTest::newRow("nothing") << QStringList() << -1 << none << false << "1.06" << none;
    QTest::newRow("port") << QStringList { "--port", "/dev/ttyUSB0" } << -1 << "/dev/ttyUSB0"
                          << false << "1.06" << none;
    QTest::newRow("port with =") << QStringList { "--port=/dev/ttyS1" } << -1 << "/dev/ttyS1"
                                 << false << "1.06" << none;
    QTest::newRow("simulate alone")
        << QStringList { "--simulate" } << -1 << none << true << "1.06" << none;
    QTest::newRow("simulate 1.26")
        << QStringList { "--simulate=1.26" } << -1 << none << true << "1.26" << none;
    QTest::newRow("simulate 3.02")
        << QStringList { "--simulate=3.02" } << -1 << none << true << "3.02" << none;
    QTest::newRow("help") << QStringList { "--help" } << 0 << none << false << "1.06"
                          << "--simulate";
    QTest::newRow("short help") << QStringList { "-h" } << 0 << none << false << "1.06"
                                << "--port";
    QTest::newRow("version") << QStringList { "--version" } << 0 << none << false << "1.06"
                             << "lumarvethon " LUMARVETHON_VERSION;
    QTest::newRow("bad version") << QStringList { "--simulate=abc" } << 2 << none << false << "1.06"
                                 << "\"abc\"";
    QTest::newRow("unsupported version")
        << QStringList { "--simulate=2.00" } << 2 << none << false << "1.06"
        << "\"2.00\"";
    QTest::newRow("empty version") << QStringList { "--simulate=" } << 2 << none << false << "1.06"
                                   << "--simulate";
    QTest::newRow("version apart")
        << QStringList { "--simulate", "1.26" } << 2 << none << false << "1.06"
        << "\"1.26\"";
    QTest::newRow("port and simulate")
        << QStringList { "--port", "/dev/ttyS0", "--simulate" } << 2 << none << false << "1.06"
        << "--port and --simulate";
    QTest::newRow("empty port") << QStringList { "--port", "" } << 2 << none << false << "1.06"
                                << "--port";
    QTest::newRow("blank port") << QStringList { "--port= " } << 2 << none << false << "1.06"
                                << "--port";
    QTest::newRow("port without value") << QStringList { "--port" } << 2 << none << false << "1.06"
                                        << "port";
    QTest::newRow("unknown option") << QStringList { "--colour" } << 2 << none << false << "1.06"
                                    << "colour";
    QTest::newRow("stray argument") << QStringList { "extra" } << 2 << none << false << "1.06"
                                    << "\"extra\"";
    QTest::newRow("after --") << QStringList { "--", "--simulate" } << 2 << none << false << "1.06"
                              << "\"--simulate\"";
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, firstPort);
    QFETCH(bool, simulate);
    QFETCH(QString, firmware);
    QFETCH(QString, message);

    const CommandLineResult result
        = parseCommandLine(QStringList { QStringLiteral("lumarvethon") } + arguments);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.firstPort, firstPort);
    QCOMPARE(result.simulate, simulate);
    QCOMPARE(result.firmware, firmware);
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

void TestCommandLine::simulateDefault_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("rewritten");

    QTest::newRow("alone") << QStringList { "p", "--simulate" }
                           << QStringList { "p", "--simulate=1.06" };
    QTest::newRow("with value") << QStringList { "p", "--simulate=3.02" }
                                << QStringList { "p", "--simulate=3.02" };
    QTest::newRow("program name kept")
        << QStringList { "--simulate" } << QStringList { "--simulate" };
    QTest::newRow("after --") << QStringList { "p", "--", "--simulate" }
                              << QStringList { "p", "--", "--simulate" };
    QTest::newRow("others untouched") << QStringList { "p", "--port", "--simulate" }
                                      << QStringList { "p", "--port", "--simulate=1.06" };
}

void TestCommandLine::simulateDefault()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, rewritten);
    QCOMPARE(withSimulateDefault(arguments), rewritten);
}

void TestCommandLine::simulatorHelpListsOptions()
{
    const Run run = runToEnd(QStringLiteral(LUMARVETHON_SIM_BIN), { QStringLiteral("--help") });
    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 0);
    for (const char *option : { "--firmware", "--inform-delay", "--silent", "--crlf",
                                "--hangup-after", "--noise", "--speed", "--help", "--version" })
        QVERIFY2(run.out.contains(option), option);
}

void TestCommandLine::simulatorVersion()
{
    const Run run = runToEnd(QStringLiteral(LUMARVETHON_SIM_BIN), { QStringLiteral("--version") });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("lumarvethon-sim " LUMARVETHON_VERSION "\n"));
}

void TestCommandLine::simulatorServesOnItsTerminal_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("position");

    QTest::newRow("default") << QStringList() << QByteArray("_Ver 106\r")
                             << QByteArray("_cp 0.0 um\r");
    QTest::newRow("1.26") << QStringList { "--firmware", "1.26" } << QByteArray("_Ver 126\r")
                          << QByteArray("P 0.0 um\r");
}

void TestCommandLine::simulatorServesOnItsTerminal()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, position);

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

    simulator.terminate();
    QVERIFY(simulator.waitForFinished(5000));
    QCOMPARE(simulator.exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulator.exitCode(), 0);
}

void TestCommandLine::simulatorEndsOnSignal_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
}

void TestCommandLine::simulatorEndsOnSignal()
{
    QFETCH(int, signalNumber);

    QProcess simulator;
    simulator.start(QStringLiteral(LUMARVETHON_SIM_BIN), QStringList());
    while (!simulator.canReadLine())
        QVERIFY(simulator.waitForReadyRead(5000));
    QVERIFY(::kill(pid_t(simulator.processId()), signalNumber) == 0);
    QVERIFY(simulator.waitForFinished(5000));
    QCOMPARE(simulator.exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulator.exitCode(), 0);
}

void TestCommandLine::simulatorRejectsBadValues_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("message");

    QTest::newRow("firmware") << QStringList { "--firmware", "2.00" } << QByteArray("--firmware");
    QTest::newRow("inform delay") << QStringList { "--inform-delay", "soon" }
                                  << QByteArray("--inform-delay");
    QTest::newRow("hangup") << QStringList { "--hangup-after", "-5" }
                            << QByteArray("--hangup-after");
    QTest::newRow("noise") << QStringList { "--noise", "0" } << QByteArray("--noise");
    QTest::newRow("speed") << QStringList { "--speed", "fast" } << QByteArray("--speed");
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

void TestCommandLine::panelHelpAndVersion_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QByteArrayList>("texts");

    QTest::newRow("help") << "--help" << QByteArrayList { "--port", "--simulate", "--version" };
    QTest::newRow("version") << "--version"
                             << QByteArrayList { "lumarvethon " LUMARVETHON_VERSION };
}

void TestCommandLine::panelHelpAndVersion()
{
    QFETCH(QString, option);
    QFETCH(QByteArrayList, texts);

    const Run run = runToEnd(QStringLiteral(LUMARVETHON_BIN), { option });
    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 0);
    for (const QByteArray &text : texts)
        QVERIFY2(run.out.contains(text), run.out.constData());
}

void TestCommandLine::panelRejectsBadValues_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("message");

    QTest::newRow("bad version") << QStringList { "--simulate=abc" } << QByteArray("\"abc\"");
    QTest::newRow("port and simulate") << QStringList { "--simulate", "--port", "/dev/ttyS0" }
                                       << QByteArray("--port and --simulate");
    QTest::newRow("empty port") << QStringList { "--port", "" } << QByteArray("--port");
}

void TestCommandLine::panelRejectsBadValues()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, message);

    const Run run = runToEnd(QStringLiteral(LUMARVETHON_BIN), arguments);
    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains("lumarvethon: ") && run.err.contains(message), run.err.constData());
    QVERIFY(run.out.isEmpty());
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
