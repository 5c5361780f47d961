// The device server as a facility runs it: registered in a Tango database of the test's own
// (TangoDatabase), started by instance name, driven by a client that finds it through the
// database, restarted by Tango's own commands, left without its database, run as another
// user through a group socket, and ended while its panel is frozen.

#include "tangodatabase.h"

#include <tango.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <csignal>
#include <grp.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The group that may reach the panel's socket, and the user, in it, that runs a server.
const char socketGroup[] = "nogroup";
const char otherUser[] = "nobody";

struct PositionEvents : Tango::CallBack
{
    void push_event(Tango::EventData *event) override
    {
        double value = 0.0;
        try { // an event without a value (ATTR_INVALID) cannot be extracted
            if (!event->err && event->attr_value && (*event->attr_value >> value))
                newest = value;
        } catch (const Tango::DevFailed &) { }
    }
    std::atomic<double> newest { -1e9 };
};

template<class Call> QString failure(Call call)
{
    try {
        call();
    } catch (const Tango::DevFailed &error) {
        return QString::fromStdString(std::string(error.errors[0].desc));
    }
    return QString();
}

void end(QProcess &process)
{
    ::kill(pid_t(process.processId()), SIGCONT);
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished(2000);
}

} // namespace

class TestTangoDb : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void drivenThroughDatabase();
    void restarts_data();
    void restarts();
    void databaseDown();
    void otherUserThroughGroupSocket();
    void frozenPanel();

private:
    bool startServer(QProcess &process, const QString &instance, const QStringList &prefix = {});
    Tango::DevState state(Tango::DeviceProxy &proxy)
    {
        try {
            return proxy.state();
        } catch (const Tango::DevFailed &) {
            return Tango::UNKNOWN;
        }
    }
    void writePosition(double micrometres)
    {
        Tango::DeviceAttribute value("Position", micrometres);
        device->write_attribute(value);
    }
    QByteArray record();

    QTemporaryDir dir;
    TangoDatabase database;
    QString socketPath;
    ChildProcess simulator, panel, server;
    std::unique_ptr<Tango::DeviceProxy> device;
    PositionEvents positions; // outlives the subscription of a test that fails
};

bool TestTangoDb::startServer(QProcess &process, const QString &instance, const QStringList &prefix)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TANGO_HOST"), database.tangoHost());
    environment.remove(QStringLiteral("LUMARVETHON_SOCKET")); // the property decides
    process.setProcessEnvironment(environment);
    const QStringList command = prefix + QStringList { LUMARVETHON_TANGO_BIN, instance };
    process.start(command.first(), command.mid(1));
    return QTest::qWaitFor([&] { return process.canReadLine(); }, 20000);
}

QByteArray TestTangoDb::record()
{
    QByteArray all;
    for (const QFileInfo &file : QDir(dir.path()).entryInfoList({ "*.csv" })) {
        QFile csv(file.filePath());
        if (csv.open(QIODevice::ReadOnly))
            all += csv.readAll();
    }
    return all;
}

void TestTangoDb::initTestCase()
{
    if (!TangoDatabase::missing().isEmpty())
        QSKIP(qPrintable(TangoDatabase::missing() + " is missing: run tools/setup"));
    QElapsedTimer clock;
    clock.start();
    QVERIFY2(database.start(), qPrintable(database.errorString()));
    qInfo("database up after %lld ms", clock.elapsed());
    qputenv("TANGO_HOST", database.tangoHost().toLatin1());

    // Others may pass through the test's directory to the one the panel makes for its socket.
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0711) == 0);
    socketPath = dir.filePath(QStringLiteral("run/panel.sock"));
    simulator.start(QStringLiteral(LUMARVETHON_SIM_BIN), { "--speed", "1000" });
    QVERIFY(QTest::qWaitFor([&] { return simulator.canReadLine(); }, 5000));
    const QString terminal = QString::fromLocal8Bit(simulator.readLine()).trimmed();
    panel.start(QStringLiteral(LUMARVETHON_BIN),
                QStringList { "--headless", "--port", terminal, "--listen", socketPath,
                              "--listen-group", socketGroup, "--record", dir.path() + "/" });
    QVERIFY(panel.waitForStarted(5000));

    for (const char *const instance : { "test", "other" }) {
        const QString name = QLatin1String(instance);
        const QString stage = "test/stage/" + name;
        QVERIFY2(database.admin(
                     { "--add-server", "lumarvethon-tango/" + name, "LumarvethonStage", stage }),
                 qPrintable(database.errorString()));
        QVERIFY(database.admin({ "--add-property", stage, "SocketPath", socketPath }));
    }
    QVERIFY(startServer(server, QStringLiteral("test")));
    device = std::make_unique<Tango::DeviceProxy>("test/stage/test");
    qInfo("server up after %lld ms", clock.elapsed());
}

void TestTangoDb::cleanupTestCase()
{
    device.reset();
    for (QProcess *process : { &server, &panel, &simulator })
        end(*process);
}

void TestTangoDb::drivenThroughDatabase()
{
    QTRY_COMPARE_WITH_TIMEOUT(state(*device), Tango::OFF, 5000);
    device->command_inout("Connect");
    device->command_inout("Home");
    QTRY_COMPARE_WITH_TIMEOUT(state(*device), Tango::ON, 5000);
    writePosition(100.0);
    QTRY_VERIFY(record().contains("sent,>ma 1000"));
    QTRY_COMPARE_WITH_TIMEOUT(state(*device), Tango::ON, 5000);
}

void TestTangoDb::restarts_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("Init") << "Init";
    QTest::newRow("DevRestart") << "DevRestart";
    QTest::newRow("RestartServer") << "RestartServer";
}

void TestTangoDb::restarts()
{
    QFETCH(QString, command);
    Tango::DeviceProxy admin("dserver/lumarvethon-tango/test");
    if (command == QLatin1String("Init")) {
        device->command_inout("Init");
    } else if (command == QLatin1String("DevRestart")) {
        Tango::DeviceData name;
        std::string stage = "test/stage/test";
        name << stage;
        admin.command_inout("DevRestart", name);
    } else {
        std::string name = command.toStdString();
        admin.command_inout(name);
    }
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(500); // Tango restarts a moment after it has answered
    QCOMPARE(server.state(), QProcess::Running);
    QTRY_COMPARE_WITH_TIMEOUT(state(*device), Tango::ON, 1500);
    double position = -1.0;
    device->read_attribute("Position") >> position;
    QCOMPARE(position, 100.0);
    qInfo("%s: serving after %lld ms", qPrintable(command), clock.elapsed());
}

void TestTangoDb::databaseDown()
{
    const int subscription = device->subscribe_event("Position", Tango::CHANGE_EVENT, &positions);
    database.stopDataBaseds();
    // Everything the device does with its panel goes on.
    device->command_inout("Disconnect");
    QTRY_COMPARE_WITH_TIMEOUT(state(*device), Tango::OFF, 3000);
    device->command_inout("Connect");
    device->command_inout("Home");
    QTRY_COMPARE_WITH_TIMEOUT(state(*device), Tango::ON, 5000);
    writePosition(200.0);
    QTRY_COMPARE_WITH_TIMEOUT(positions.newest.load(), 200.0, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(state(*device), Tango::ON, 5000);
    QVERIFY(database.startDataBaseds());
    device->unsubscribe_event(subscription);
}

void TestTangoDb::otherUserThroughGroupSocket()
{
    if (::getuid() != 0)
        QSKIP("running a server as another user takes root");
    struct stat socket
    {
    }, directory {};
    QVERIFY(::stat(QFile::encodeName(socketPath).constData(), &socket) == 0);
    QVERIFY(::stat(QFile::encodeName(QFileInfo(socketPath).path()).constData(), &directory) == 0);
    const gid_t gid = ::getgrnam(socketGroup)->gr_gid;
    QCOMPARE(socket.st_mode & 0777, 0660u);
    QCOMPARE(directory.st_mode & 0777, 0770u);
    QCOMPARE(socket.st_gid, gid);
    QCOMPARE(directory.st_gid, gid);

    ChildProcess other;
    // Its credentials change, which clears what ChildProcess set: setpriv sets it again.
    const QStringList asOther { "setpriv", "--pdeathsig=KILL",
                                QStringLiteral("--reuid=") + otherUser,
                                QStringLiteral("--regid=") + socketGroup, "--clear-groups" };
    QVERIFY(startServer(other, QStringLiteral("other"), asOther));
    Tango::DeviceProxy stage("test/stage/other");
    QTRY_COMPARE_WITH_TIMEOUT(state(stage), Tango::ON, 5000);
    end(other);
}

void TestTangoDb::frozenPanel()
{
    ::kill(pid_t(panel.processId()), SIGSTOP);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(failure([&] { device->read_attribute("Position"); }).isEmpty());
    QVERIFY(failure([&] { device->read_attribute("Homed"); }).isEmpty());
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!failure([&] { writePosition(5000.0); }).isEmpty());
    ::kill(pid_t(panel.processId()), SIGCONT);
    QTest::qWait(1000); // what the panel had taken in by then went out
    QVERIFY(!record().contains(">ma 50000"));

    ::kill(pid_t(panel.processId()), SIGSTOP);
    clock.restart();
    server.terminate();
    QVERIFY(server.waitForFinished(2000));
    qInfo("server ended %lld ms after SIGTERM", clock.elapsed());
    ::kill(pid_t(panel.processId()), SIGCONT);
}

QTEST_GUILESS_MAIN(TestTangoDb)
#include "tst_tangodb.moc"
