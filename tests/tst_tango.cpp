// The device server over the real stack: the simulator, a headless panel on it recording and
// listening for a group, lumarvethon-tango in a Tango database of the test's own, reaching the
// panel through a Relay that can play a slow panel. Also the server's plain logic, row by row.

#include "stagestatus.h"
#include "tangodatabase.h"
#include "tangorelay.h"

#include <tango.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTest>

#include <cmath>
#include <csignal>
#include <future>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The group that may reach the panel's socket, and the user, in it, that runs a server.
const char socketGroup[] = "nogroup";
const char otherUser[] = "nobody";

const char *const atRest = "ok connected=1 firmware=1.06 homed=1 calibrated=0 position=5 "
                           "min=-250 max=6250 age_ms=80 moving=0 stale=0 reconnecting=0";

// The description of the error a call fails with; empty when it does not fail.
template<class Call> QString failure(Call call)
{
    try {
        call();
    } catch (const Tango::DevFailed &error) {
        return QString::fromStdString(std::string(error.errors[0].desc));
    }
    return QString();
}

Tango::DevState state(Tango::DeviceProxy &proxy)
{
    try {
        return proxy.state();
    } catch (const Tango::DevFailed &) {
        return Tango::UNKNOWN;
    }
}

} // namespace

class TestTango : public QObject
{
    Q_OBJECT

private slots:
    void verdicts_data();
    void verdicts();
    void initTestCase();
    void cleanupTestCase();
    void motor();
    void waitingCommand();
    void statesInOrder();
    void positionEvents();
    void restartAndDatabaseDown();
    void otherUserThroughGroupSocket();
    void panelFrozen();

private:
    void startSimulator(const QStringList &options = {});
    bool startServer(QProcess &process, const QString &instance, const QStringList &prefix = {});
    QString write(double micrometres)
    {
        Tango::DeviceAttribute value("Position", micrometres);
        return failure([&] { device->write_attribute(value); });
    }
    double read(const char *attribute)
    {
        double value = -1e9;
        device->read_attribute(attribute) >> value;
        return value;
    }
    QByteArray record();
    std::vector<int> subscribe()
    {
        return { device->subscribe_event("Position", Tango::CHANGE_EVENT, &events),
                 device->subscribe_event("State", Tango::CHANGE_EVENT, &events) };
    }
    void unsubscribe(const std::vector<int> &subscriptions)
    {
        for (const int subscription : subscriptions)
            device->unsubscribe_event(subscription);
    }

    QTemporaryDir dir;
    TangoDatabase database;
    QString socketPath;
    std::unique_ptr<Relay> relay;
    TestProcess simulator, panel, server;
    std::unique_ptr<Tango::DeviceProxy> device;
    Sequence events; // outlives the subscriptions of a test that fails
};

void TestTango::verdicts_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("state"); // a MotorState, or -1: not a state reply
    // (ON, MOVING, DISABLE and OFF: motor() below, through the real device)
    const QByteArray rest(atRest);
    const auto row = [&](const char *name, const char *from, const char *to, int state,
                         const char *from2 = "-", const char *to2 = "-") {
        QTest::newRow(name) << QByteArray(rest).replace(from, to).replace(from2, to2) << state;
    };
    row("field missing", " reconnecting=0", "", -1);
    row("bad number", "position=5", "position=5x", -1);
    row("bad flag", "homed=1", "homed=yes", -1);
    row("stale, moving", "stale=0", "stale=1", int(MotorState::Alarm), "moving=0", "moving=1");
    row("reconnecting", "connected=1", "connected=0", int(MotorState::Fault), "reconnecting=0",
        "reconnecting=1");
    QTest::newRow("refused") << QByteArray("error too many clients") << -1;
}

void TestTango::verdicts()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, state);
    const std::optional<PanelState> parsed = parseStateReply(reply.toStdString());
    QCOMPARE(parsed.has_value(), state >= 0);
    if (parsed)
        QCOMPARE(int(judge(PanelReach::Answered, *parsed, "").state), state);
    QCOMPARE(judge(PanelReach::Unreachable, PanelState(), "x").state, MotorState::Unknown);
}

// A simulated controller, and a panel on it.
void TestTango::startSimulator(const QStringList &options)
{
    simulator.start(QStringLiteral(LUMARVETHON_SIM_BIN),
                    QStringList { "--speed", "1000" } + options);
    QVERIFY(QTest::qWaitFor([&] { return simulator.canReadLine(); }, 5000));
    const QString terminal = QString::fromLocal8Bit(simulator.readLine()).trimmed();
    panel.start(QStringLiteral(LUMARVETHON_BIN),
                { "--headless", "--port", terminal, "--listen", socketPath, "--listen-group",
                  socketGroup, "--record", dir.path() + "/" });
    QVERIFY(panel.waitForStarted(5000));
}

bool TestTango::startServer(QProcess &process, const QString &instance, const QStringList &prefix)
{
    const QStringList command = prefix + QStringList { LUMARVETHON_TANGO_BIN, instance };
    process.start(command.first(), command.mid(1));
    return QTest::qWaitFor([&] { return process.canReadLine(); }, 20000);
}

QByteArray TestTango::record()
{
    QByteArray all;
    for (const QFileInfo &file : QDir(dir.path()).entryInfoList({ "*.csv" })) {
        QFile csv(file.filePath());
        if (csv.open(QIODevice::ReadOnly))
            all += csv.readAll();
    }
    return all;
}

void TestTango::initTestCase()
{
    if (!TangoDatabase::missing().isEmpty())
        QSKIP(qPrintable(TangoDatabase::missing() + " is missing: run tools/setup"));
    QVERIFY2(database.start(), qPrintable(database.errorString()));
    // The programs started inherit a configuration and no socket but the property's.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    qunsetenv("LUMARVETHON_SOCKET");

    // Others may pass through the test's directory to the one the panel makes for its socket.
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0711) == 0);
    socketPath = dir.filePath(QStringLiteral("run/panel.sock"));
    startSimulator();
    relay = std::make_unique<Relay>(dir.filePath(QStringLiteral("relay.sock")), socketPath);
    relay->start();

    // The test's own server through the relay, the other user's straight to the panel.
    for (const char *const instance : { "test", "other" }) {
        const QString name = QLatin1String(instance);
        const QString stage = "test/stage/" + name;
        QVERIFY2(database.admin(
                     { "--add-server", "lumarvethon-tango/" + name, "LumarvethonStage", stage }),
                 qPrintable(database.errorString()));
        QVERIFY(database.admin({ "--add-property", stage, "SocketPath",
                                 name == "test" ? dir.filePath("relay.sock") : socketPath }));
    }
    QVERIFY(startServer(server, QStringLiteral("test")));
    device = std::make_unique<Tango::DeviceProxy>("test/stage/test");
}

void TestTango::cleanupTestCase()
{
    device.reset();
    if (relay) {
        relay->quit();
        relay->wait();
    }
}

void TestTango::motor()
{
    QTRY_COMPARE_WITH_TIMEOUT(state(*device), Tango::OFF, 10000);
    QCOMPARE(failure([&] { device->command_inout("Home"); }), QStringLiteral("not connected"));
    device->command_inout("Connect");
    QCOMPARE(state(*device), Tango::DISABLE);
    QCOMPARE(write(100.0), QStringLiteral("not homed"));

    device->command_inout("Home");
    QVERIFY(state(*device) == Tango::MOVING); // before Home returned, not once the panel noticed
    QTRY_COMPARE_WITH_TIMEOUT(state(*device), Tango::ON, 5000);
    QCOMPARE(read("Position"), 0.0);
    // The range is the stage's, followed without a write range in Tango's database.
    QCOMPARE(read("MaxPosition"), 14750.0);
    QCOMPARE(device->get_attribute_config("Position").max_value, std::string("Not specified"));

    const std::size_t ons = events.ons();
    const std::vector<int> subscriptions = subscribe();
    QCOMPARE(write(512.5), QString());
    QCOMPARE(state(*device), Tango::MOVING);
    QTRY_VERIFY(record().contains("sent,>ma 5125"));
    QTRY_COMPARE(events.newest(), 512.5);
    QTRY_COMPARE_WITH_TIMEOUT(state(*device), Tango::ON, 5000);
    QTRY_VERIFY(events.ons() > ons);
    QCOMPARE(write(14750.1), QStringLiteral("outside -250..14750"));
    device->command_inout("Stop"); // a line that does reach the wire behind the refusal
    QTRY_VERIFY(record().contains("sent,>stop"));
    QVERIFY(!record().contains(">ma 147501"));
    unsubscribe(subscriptions);
}

void TestTango::waitingCommand()
{
    // While a write waits, reads answer and a Stop goes out; the write, given up, is refused.
    relay->moveDelay = 2500;
    std::atomic<bool> writing { true };
    QString failed;
    // A future that waits for the writer when it goes, whatever the outcome.
    std::future<void> writer = std::async(std::launch::async, [&] {
        Tango::DeviceProxy own("test/stage/test");
        Tango::DeviceAttribute value("Position", 1000.0);
        failed = failure([&] { own.write_attribute(value); });
        writing = false;
    });
    QTest::qWait(300);
    const int stops = record().count("sent,>stop");
    QVERIFY(failure([&] { device->read_attribute("Position"); }).isEmpty());
    QCOMPARE(state(*device), Tango::ON);
    QCOMPARE(failure([&] { device->command_inout("Abort"); }), QString());
    QVERIFY(writing);
    QTRY_VERIFY_WITH_TIMEOUT(record().count("sent,>stop") > stops, 1000);
    writer.wait();
    QVERIFY(failed.contains("within 2000 ms"));
    QTest::qWait(800);
    relay->moveDelay = 0;
    QVERIFY(!record().contains(">ma 10000"));
}

void TestTango::statesInOrder()
{
    // Late state replies (the refresher's) must not bring an ON from before a move after MOVING.
    relay->stateDelay = 150;
    const std::vector<int> subscriptions = subscribe();
    // The pauses put each write where a state request of the refresher is under way.
    for (const auto &[pause, target] :
         { std::pair(120, 1500.0), { 170, 500.0 }, { 220, 1500.0 } }) {
        QTest::qWait(pause);
        const std::size_t seen = events.ons();
        QCOMPARE(write(target), QString());
        QTRY_VERIFY_WITH_TIMEOUT(events.ons() > seen, 5000);
        const std::lock_guard<std::mutex> lock(events.mutex);
        QVERIFY2(std::abs(events.onAt[seen] - target) < 1.0,
                 qPrintable(QString::number(events.onAt[seen])));
    }
    relay->stateDelay = 0;
    unsubscribe(subscriptions);
}

void TestTango::positionEvents()
{
    // A 0.5 um step is an event while the stage moves under the default criteria, and none
    // under an operator's abs_change of 100 (the quality still changes: CHANGING, then VALID).
    for (const char *absChange : { "", "100" }) { // the default, then the operator's
        if (*absChange) {
            Tango::AttributeInfoListEx config { device->get_attribute_config("Position") };
            config[0].events.ch_event.abs_change = absChange;
            device->set_attribute_config(config);
        }
        Sequence steps;
        const int subscription = device->subscribe_event("Position", Tango::CHANGE_EVENT, &steps);
        const double start = read("Position");
        Tango::DeviceData step;
        step << Tango::DevDouble(0.5);
        QCOMPARE(failure([&] { device->command_inout("StepBy", step); }), QString());
        QTRY_COMPARE_WITH_TIMEOUT(state(*device), Tango::ON, 5000);
        QTest::qWait(200);
        device->unsubscribe_event(subscription);
        QVERIFY(!steps.positions.empty());
        int moved = 0; // events of the new value while moving
        for (const auto &[value, quality] : steps.positions)
            moved += quality == Tango::ATTR_CHANGING && std::abs(value - start - 0.5) < 0.05;
        QCOMPARE(moved > 0, !*absChange);
        QCOMPARE(steps.positions.back().second, Tango::ATTR_VALID);
    }
}

void TestTango::restartAndDatabaseDown()
{
    const double position = read("Position");
    Tango::DeviceProxy("dserver/lumarvethon-tango/test").command_inout("RestartServer");
    QTest::qWait(500); // Tango restarts a moment after it has answered
    QCOMPARE(server.state(), QProcess::Running);
    QTRY_COMPARE_WITH_TIMEOUT(state(*device), Tango::ON, 1500);
    QCOMPARE(read("Position"), position);

    // The database down, all goes on, the range too: the panel is started again on a
    // controller of shorter travel (1.26: up to 6250, not 14750), and the writes follow it.
    const int subscription = device->subscribe_event("Position", Tango::CHANGE_EVENT, &events);
    database.stopDataBaseds();
    panel.terminate(); // SIGTERM: the headless panel ends cleanly, the device cannot tell
    QVERIFY(panel.waitForFinished(5000) && panel.exitCode() == 0);
    QTRY_COMPARE_WITH_TIMEOUT(state(*device), Tango::UNKNOWN, 3000);
    TangoDatabase::end(simulator);
    startSimulator({ "--firmware", "1.26" });
    QTRY_COMPARE_WITH_TIMEOUT(state(*device), Tango::OFF, 5000);
    QCOMPARE(failure([&] { device->command_inout("Connect"); }), QString());
    QCOMPARE(failure([&] { device->command_inout("Home"); }), QString());
    QTRY_COMPARE_WITH_TIMEOUT(state(*device), Tango::ON, 5000);
    QCOMPARE(read("MaxPosition"), 6250.0);
    QCOMPARE(write(6250.5), QStringLiteral("outside -250..6250"));
    QCOMPARE(write(6000.0), QString());
    QTRY_COMPARE_WITH_TIMEOUT(events.newest(), 6000.0, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(state(*device), Tango::ON, 5000);
    QVERIFY(database.startDataBaseds());
    device->unsubscribe_event(subscription);
}

void TestTango::otherUserThroughGroupSocket()
{
    if (::getuid() != 0)
        QSKIP("running a server as another user takes root");
    TestProcess other;
    // Its credentials change, which clears the death signal TestProcess set: setpriv sets it again.
    const QStringList asOther { "setpriv", "--pdeathsig=KILL",
                                QStringLiteral("--reuid=") + otherUser,
                                QStringLiteral("--regid=") + socketGroup, "--clear-groups" };
    QVERIFY(startServer(other, QStringLiteral("other"), asOther));
    Tango::DeviceProxy stage("test/stage/other");
    QTRY_COMPARE_WITH_TIMEOUT(state(stage), Tango::ON, 5000);
    TangoDatabase::end(other);
}

void TestTango::panelFrozen()
{
    // A frozen panel fails the call after the time-out, never acts on it later; reads go on.
    ::kill(pid_t(panel.processId()), SIGSTOP);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(failure([&] { device->read_attribute("Homed"); }).isEmpty());
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(write(5000.0).contains("within 2000 ms"));
    ::kill(pid_t(panel.processId()), SIGCONT);
    QTRY_COMPARE(state(*device), Tango::ON); // a later state request: the move was read before
    QTest::qWait(300);
    QVERIFY(!record().contains(">ma 50000"));

    // The server ends on SIGTERM whatever its panel does.
    ::kill(pid_t(panel.processId()), SIGSTOP);
    clock.restart();
    server.terminate();
    QVERIFY(server.waitForFinished(2000));
    qInfo("server ended %lld ms after SIGTERM", clock.elapsed());
    ::kill(pid_t(panel.processId()), SIGCONT);
}

QTEST_GUILESS_MAIN(TestTango)
#include "tst_tango.moc"
