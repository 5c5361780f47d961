// The panel as a user starts it: the real executable on a real (virtual) X display, once with
// its in-process simulated controller and once with --port on a real pseudo-terminal. It must
// stay up, leave the port alone until the operator connects, and end cleanly on SIGTERM.
// And the panel's window connected to the simulated controller, as --simulate wires them:
// the simulator must identify itself in time and feed the panel's read-outs.

#include "simulatedcontroller.h"
#include "testsupport.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <csignal>

namespace {

// The process whose parent is parentPid and whose executable is program, or 0.
qint64 childRunning(qint64 parentPid, const QString &program)
{
    const QString wanted = QFileInfo(program).canonicalFilePath();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.value(1).toLongLong() != parentPid)
            continue;
        if (QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).canonicalFilePath() == wanted)
            return pid;
    }
    return 0;
}

QProcessEnvironment displayEnvironment(const QString &display)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM")); // the real X11 platform, not offscreen
    if (!display.isEmpty())
        environment.insert(QStringLiteral("DISPLAY"), display);
    return environment;
}

// True if the process is still running after ms, with the event loop turning meanwhile.
bool staysUp(QProcess &process, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        if (process.state() != QProcess::Running)
            return false;
        QTest::qWait(20);
    }
    return process.state() == QProcess::Running;
}

QString describe(QProcess &process)
{
    return QStringLiteral("exit status %1, code %2, stderr: %3")
        .arg(process.exitStatus())
        .arg(process.exitCode())
        .arg(QString::fromLocal8Bit(process.readAllStandardError()));
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void simulateUnderXvfbRun();
    void portOnPrivateDisplay();
    void panelConnectsToSimulator_data();
    void panelConnectsToSimulator();

private:
    QProcess xserver;
    QString display;
};

void TestEndToEnd::initTestCase()
{
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty(),
             "xvfb-run is not installed (Debian package xvfb)");
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty(),
             "Xvfb is not installed (Debian package xvfb)");

    // A display of our own: Xvfb picks a free number and reports it once it accepts clients.
    xserver.start(QStringLiteral("Xvfb"),
                  { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                    QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                    QStringLiteral("1024x768x24") });
    QVERIFY2(xserver.waitForStarted(5000), qPrintable(xserver.errorString()));
    while (!xserver.canReadLine())
        QVERIFY2(xserver.waitForReadyRead(10000), "Xvfb reported no display number");
    bool ok = false;
    const int number = xserver.readLine().trimmed().toInt(&ok);
    QVERIFY(ok);
    display = QStringLiteral(":%1").arg(number);
}

void TestEndToEnd::cleanupTestCase()
{
    if (xserver.state() != QProcess::NotRunning) {
        xserver.terminate();
        if (!xserver.waitForFinished(5000)) {
            xserver.kill();
            xserver.waitForFinished();
        }
    }
}

void TestEndToEnd::simulateUnderXvfbRun()
{
    QProcess run;
    run.setProcessEnvironment(displayEnvironment(QString()));
    run.setWorkingDirectory(QStringLiteral(LUMARVETHON_SOURCE_DIR)); // where images/ is
    run.start(
        QStringLiteral("xvfb-run"),
        { QStringLiteral("-a"), QStringLiteral(LUMARVETHON_BIN), QStringLiteral("--simulate") });
    QVERIFY2(run.waitForStarted(5000), qPrintable(run.errorString()));

    qint64 panel = 0;
    QElapsedTimer clock;
    clock.start();
    while (!panel && clock.elapsed() < 8000 && run.state() == QProcess::Running) {
        panel = childRunning(run.processId(), QStringLiteral(LUMARVETHON_BIN));
        if (!panel)
            QTest::qWait(50);
    }
    QVERIFY2(panel, qPrintable(QStringLiteral("the panel did not start: ") + describe(run)));
    QVERIFY2(staysUp(run, 2000), qPrintable(describe(run)));

    // xvfb-run ends with the panel's own exit code.
    QCOMPARE(::kill(pid_t(panel), SIGTERM), 0);
    QVERIFY2(run.waitForFinished(5000), "the panel did not end on SIGTERM");
    QVERIFY2(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0,
             qPrintable(describe(run)));
}

void TestEndToEnd::portOnPrivateDisplay()
{
    ControllerEnd controller;
    QVERIFY2(controller.open(), qPrintable(controller.pty().errorString()));

    QProcess panel;
    panel.setProcessEnvironment(displayEnvironment(display));
    panel.start(QStringLiteral(LUMARVETHON_BIN),
                { QStringLiteral("--port"), controller.devicePath() });
    QVERIFY2(panel.waitForStarted(5000), qPrintable(panel.errorString()));
    QVERIFY2(staysUp(panel, 1500), qPrintable(describe(panel)));
    // Offering the port is not connecting to it: nothing goes out before the operator connects.
    QCOMPARE(controller.received(), QByteArray());

    panel.terminate(); // SIGTERM, to the panel itself
    QVERIFY2(panel.waitForFinished(5000), "the panel did not end on SIGTERM");
    QVERIFY2(panel.exitStatus() == QProcess::NormalExit && panel.exitCode() == 0,
             qPrintable(describe(panel)));
}

void TestEndToEnd::panelConnectsToSimulator_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<double>("travel");
    QTest::addColumn<double>("maximum");

    QTest::newRow("1.06") << "1.06" << 15000.0 << 14750.0;
    QTest::newRow("1.26") << "1.26" << 6500.0 << 6250.0;
    QTest::newRow("3.02") << "3.02" << 6500.0 << 6250.0;
}

void TestEndToEnd::panelConnectsToSimulator()
{
    QFETCH(QString, firmware);
    QFETCH(double, travel);
    QFETCH(double, maximum);

    SimulatorOptions options;
    options.firmware = firmware;
    SimulatedController controller(options);
    QVERIFY2(controller.start(), qPrintable(controller.errorString()));
    QSignalSpy commands(&controller, &SimulatedController::commandReceived);

    ModalCloser closer;
    MainWindow window(nullptr, controller.devicePath());
    window.show();
    auto *connectAction = window.findChild<QAction *>(QStringLiteral("actionConnect"));
    QVERIFY(connectAction);
    connectAction->trigger();

    const PanelProbe probe(window);
    QVERIFY2(probe.serial()->isOpen(), qPrintable(probe.serial()->errorString()));
    QCOMPARE(QStringLiteral("/dev/") + probe.serial()->portName(), controller.devicePath());
    QTRY_COMPARE_WITH_TIMEOUT(probe.firmwareVersion(), firmware, 1000);
    QTRY_VERIFY_WITH_TIMEOUT(commands.count() >= 5, 2000); // inform, status and polls

    // Identified in time: the first polls do not drop the connection.
    QTest::qWait(400);
    QVERIFY2(closer.boxes().isEmpty(), qPrintable(closer.boxes().value(0).text));
    QVERIFY(probe.serial()->isOpen());
    QCOMPARE(probe.travelRange(), travel);
    QCOMPARE(probe.offsetText(), QStringLiteral("2500"));
    QCOMPARE(probe.minPosition(), -250.0);
    QCOMPARE(probe.maxPosition(), maximum);
    QCOMPARE(probe.position(), 0.0);
    if (firmware != QLatin1String("1.26")) // the 1.26 panel does not read status lines
        QCOMPARE(probe.statusCode(), QStringLiteral("1"));
    QCOMPARE(commands.at(0).at(0).toByteArray(), QByteArray(">inform"));
    QCOMPARE(commands.at(1).at(0).toByteArray(), QByteArray(">status"));
    QCOMPARE(commands.at(2).at(0).toByteArray(), QByteArray(">cp"));
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
