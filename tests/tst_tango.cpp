// The device server over the real stack: the simulator on a pseudo-terminal, a headless panel
// on it recording to a directory, lumarvethon-tango with a file for its database (which keeps
// the attribute configuration an operator sets) on a free loopback port, and a Tango client in
// this program. Also the server's plain logic, row by row.

#include "stagestatus.h"

#include <tango.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cmath>
#include <csignal>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

namespace {

const char *const atRest = "ok connected=1 firmware=1.06 homed=1 calibrated=0 position=5 "
                           "min=-250 max=6250 age_ms=80 moving=0 stale=0 reconnecting=0";

// Keeps the newest value of an attribute's change events (a state as its number).
struct ChangeEvents : Tango::CallBack
{
    void push_event(Tango::EventData *event) override
    {
        double value = 0.0;
        Tango::DevState state = Tango::UNKNOWN;
        if (event->err || !event->attr_value)
            return;
        if (event->attr_value->get_type() == Tango::DEV_STATE && (*event->attr_value >> state))
            newest = double(state);
        else if (*event->attr_value >> value)
            newest = value;
    }
    std::atomic<double> newest { -1e9 };
};

// Stands between the device server and the panel, in a thread of its own, as a slow panel
// would: it passes the lines both ways, holds the replies of a connection that has only asked
// for the state by stateDelay ms, and the move requests by moveDelay ms.
class Relay : public QThread
{
public:
    Relay(QString listen, QString panel)
        : listenPath(std::move(listen))
        , panelPath(std::move(panel))
    { }
    std::atomic<int> stateDelay { 0 }, moveDelay { 0 };

private:
    void run() override
    {
        QLocalServer server;
        server.listen(listenPath);
        connect(&server, &QLocalServer::newConnection, &server, [&] {
            while (QLocalSocket *client = server.nextPendingConnection())
                pass(client);
        });
        exec();
    }
    void pass(QLocalSocket *client)
    {
        auto *panel = new QLocalSocket(client);
        panel->connectToServer(panelPath);
        panel->waitForConnected(1000);
        auto polling = std::make_shared<bool>(true);
        const auto later = [](int ms, QLocalSocket *to, const QByteArray &bytes) {
            QTimer::singleShot(ms, to, [to, bytes] { to->write(bytes); });
        };
        connect(client, &QLocalSocket::readyRead, panel, [=] {
            while (client->canReadLine()) {
                const QByteArray line = client->readLine();
                *polling = *polling && line == "state\n";
                later(line.contains("move ") ? moveDelay.load() : 0, panel, line);
            }
        });
        connect(panel, &QLocalSocket::readyRead, client,
                [=] { later(*polling ? stateDelay.load() : 0, client, panel->readAll()); });
        connect(panel, &QLocalSocket::disconnected, client, &QLocalSocket::disconnectFromServer);
        // The panel's side stays a while: what is held still reaches the panel.
        connect(client, &QLocalSocket::disconnected, client,
                [client] { QTimer::singleShot(3000, client, &QObject::deleteLater); });
    }
    const QString listenPath, panelPath;
};

// Every Position event as (value, quality), and for every ON of State the newest Position
// event's value then.
struct Sequence : Tango::CallBack
{
    void push_event(Tango::EventData *event) override
    {
        double value = 0.0;
        Tango::DevState state = Tango::UNKNOWN;
        if (event->err || !event->attr_value)
            return;
        const std::lock_guard<std::mutex> lock(mutex);
        if (event->attr_value->get_type() == Tango::DEV_STATE) {
            if ((*event->attr_value >> state) && state == Tango::ON)
                onAt.push_back(positions.empty() ? -1e9 : positions.back().first);
        } else {
            *event->attr_value >> value;
            positions.emplace_back(value, event->attr_value->get_quality());
        }
    }
    std::size_t ons()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return onAt.size();
    }
    std::mutex mutex;
    std::vector<std::pair<double, Tango::AttrQuality>> positions;
    std::vector<double> onAt;
};

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

} // namespace

class TestTango : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void verdicts_data();
    void verdicts();
    void motor();
    void waitingCommand();
    void statesInOrder();
    void positionEvents();
    void panelGoesAndComesBack();

private:
    void startPanel();
    Tango::DevState state() { return device->state(); }
    void writePosition(double micrometres)
    {
        Tango::DeviceAttribute value("Position", micrometres);
        device->write_attribute(value);
    }
    QByteArray record();

    QTemporaryDir dir;
    QString socketPath;
    std::string name;
    std::unique_ptr<Relay> relay;
    QString terminal;
    QProcess simulator, panel, server;
    std::unique_ptr<Tango::DeviceProxy> device;
    ChangeEvents positions, states; // outlive the subscriptions of a test that fails
};

void TestTango::startPanel()
{
    panel.start(
        QStringLiteral(LUMARVETHON_BIN),
        { "--headless", "--port", terminal, "--listen", socketPath, "--record", dir.path() + "/" });
    QVERIFY(panel.waitForStarted(5000));
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
    socketPath = dir.filePath(QStringLiteral("panel.sock"));
    simulator.start(QStringLiteral(LUMARVETHON_SIM_BIN), { "--speed", "1000" });
    QVERIFY(QTest::qWaitFor([&] { return simulator.canReadLine(); }, 5000));
    terminal = QString::fromLocal8Bit(simulator.readLine()).trimmed();
    startPanel();

    QTcpServer probe; // a free port, given back for the server to take
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const QString port = QString::number(probe.serverPort());
    probe.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    relay = std::make_unique<Relay>(dir.filePath(QStringLiteral("relay.sock")), socketPath);
    relay->start();
    environment.insert(QStringLiteral("LUMARVETHON_SOCKET"), dir.filePath("relay.sock"));
    server.setProcessEnvironment(environment);
    QFile devices(dir.filePath(QStringLiteral("devices.db")));
    QVERIFY(devices.open(QIODevice::WriteOnly));
    devices.write("lumarvethon-tango/test/DEVICE/LumarvethonStage: \"test/stage/1\"\n");
    devices.close();
    server.start(
        QStringLiteral(LUMARVETHON_TANGO_BIN),
        { "test", "-file=" + devices.fileName(), "-ORBendPoint", "giop:tcp:127.0.0.1:" + port });
    QVERIFY(QTest::qWaitFor([&] { return server.canReadLine(); }, 20000));
    name = "tango://127.0.0.1:" + port.toStdString() + "/test/stage/1#dbase=no";
    device = std::make_unique<Tango::DeviceProxy>(name);
}

void TestTango::cleanupTestCase()
{
    device.reset();
    relay->quit();
    relay->wait();
    for (QProcess *process : { &server, &panel, &simulator }) {
        process->terminate();
        process->waitForFinished(5000);
    }
}

void TestTango::verdicts_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("state"); // a MotorState, or -1: not a state reply
    const auto row = [](const char *name, QByteArray reply, int state) {
        QTest::newRow(name) << reply << state;
    };
    const QByteArray rest(atRest);
    row("at rest", rest, int(MotorState::On));
    row("moving", QByteArray(rest).replace("moving=0", "moving=1"), int(MotorState::Moving));
    row("not homed", QByteArray(rest).replace("homed=1", "homed=0"), int(MotorState::Disable));
    row("stale", QByteArray(rest).replace("stale=0", "stale=1").replace("moving=0", "moving=1"),
        int(MotorState::Alarm));
    row("reconnecting",
        "ok connected=0 firmware=- homed=0 calibrated=- position=- min=-250 "
        "max=6250 age_ms=- moving=0 stale=0 reconnecting=1",
        int(MotorState::Fault));
    row("closed",
        "ok connected=0 firmware=- homed=0 calibrated=- position=- min=-250 "
        "max=6250 age_ms=- moving=0 stale=0 reconnecting=0",
        int(MotorState::Off));
    row("refused", "error too many clients", -1);
    row("field missing", QByteArray(rest).replace(" reconnecting=0", ""), -1);
    row("bad number", QByteArray(rest).replace("position=5", "position=5x"), -1);
    row("bad flag", QByteArray(rest).replace("homed=1", "homed=yes"), -1);
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

void TestTango::motor()
{
    QTRY_VERIFY_WITH_TIMEOUT(failure([&] { device->ping(); }).isEmpty(), 10000);
    QTRY_COMPARE(state(), Tango::OFF);
    QCOMPARE(failure([&] { device->command_inout("Home"); }), QStringLiteral("not connected"));
    device->command_inout("Connect");
    QCOMPARE(state(), Tango::DISABLE);
    QCOMPARE(failure([&] { writePosition(100.0); }), QStringLiteral("not homed"));

    device->command_inout("Home");
    QVERIFY(state() == Tango::MOVING); // before Home returned, not once the panel noticed
    QTRY_COMPARE_WITH_TIMEOUT(state(), Tango::ON, 5000);
    double position = -1.0;
    device->read_attribute("Position") >> position;
    QCOMPARE(position, 0.0);
    // The range is the stage's (the panel's limits with the simulator's offset), shown and
    // followed without a write range in Tango's configuration (its database).
    double maximum = 0.0;
    device->read_attribute("MaxPosition") >> maximum;
    QCOMPARE(maximum, 14750.0);
    Tango::AttributeInfoEx range = device->get_attribute_config("Position");
    QCOMPARE(range.max_value, std::string("Not specified"));
    QCOMPARE(range.label, std::string("Position"));
    QCOMPARE(device->command_query("Abort").in_type_desc, std::string("none"));

    const int subscriptions[] = {
        device->subscribe_event("Position", Tango::CHANGE_EVENT, &positions),
        device->subscribe_event("State", Tango::CHANGE_EVENT, &states),
    };
    writePosition(512.5);
    QCOMPARE(state(), Tango::MOVING);
    QTRY_VERIFY(record().contains("sent,>ma 5125"));
    QTRY_COMPARE(positions.newest.load(), 512.5);
    QTRY_COMPARE_WITH_TIMEOUT(state(), Tango::ON, 5000);
    QTRY_COMPARE(states.newest.load(), double(Tango::ON));
    QCOMPARE(failure([&] { writePosition(14750.1); }), QStringLiteral("outside -250..14750"));
    device->command_inout("Stop"); // a line that does reach the wire behind the refusal
    QTRY_VERIFY(record().contains("sent,>stop"));
    QVERIFY(!record().contains(">ma 147501"));
    for (const int subscription : subscriptions)
        device->unsubscribe_event(subscription);
}

void TestTango::waitingCommand()
{
    // While a write waits for the panel, reads answer and a Stop goes out at once; the write,
    // given up on, is refused when it reaches the panel at last.
    relay->moveDelay = 2500;
    std::atomic<bool> writing { true };
    QString failed;
    // A future that waits for the writer when it goes, whatever the outcome.
    std::future<void> writer = std::async(std::launch::async, [&] {
        Tango::DeviceProxy own(name);
        Tango::DeviceAttribute value("Position", 1000.0);
        failed = failure([&] { own.write_attribute(value); });
        writing = false;
    });
    QTest::qWait(300);
    const int stops = record().count("sent,>stop");
    for (int i = 0; i < 5; ++i) {
        QVERIFY(failure([&] { device->read_attribute("Position"); }).isEmpty());
        QCOMPARE(state(), Tango::ON);
    }
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
    // A panel whose state replies come late (the refresher's, not the command's) must not
    // bring an ON from before a move after the move's MOVING.
    relay->stateDelay = 150;
    Sequence events;
    const int subscriptions[] = {
        device->subscribe_event("Position", Tango::CHANGE_EVENT, &events),
        device->subscribe_event("State", Tango::CHANGE_EVENT, &events),
    };
    // The pauses put each write where a state request of the refresher is under way.
    for (const auto &[pause, target] :
         { std::pair(120, 1500.0), { 170, 500.0 }, { 220, 1500.0 } }) {
        QTest::qWait(pause);
        const std::size_t seen = events.ons();
        QCOMPARE(failure([&] { writePosition(target); }), QString());
        QTRY_VERIFY_WITH_TIMEOUT(events.ons() > seen, 5000);
        const std::lock_guard<std::mutex> lock(events.mutex);
        QVERIFY2(std::abs(events.onAt[seen] - target) < 1.0,
                 qPrintable(QString::number(events.onAt[seen])));
    }
    relay->stateDelay = 0;
    for (const int subscription : subscriptions)
        device->unsubscribe_event(subscription);
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
        Sequence events;
        const int subscription = device->subscribe_event("Position", Tango::CHANGE_EVENT, &events);
        double start = 0.0;
        device->read_attribute("Position") >> start;
        Tango::DeviceData step;
        step << Tango::DevDouble(0.5);
        QCOMPARE(failure([&] { device->command_inout("StepBy", step); }), QString());
        QTRY_COMPARE_WITH_TIMEOUT(state(), Tango::ON, 5000);
        QTest::qWait(200);
        device->unsubscribe_event(subscription);
        QVERIFY(!events.positions.empty());
        int moved = 0; // events of the new value while moving
        for (const auto &[value, quality] : events.positions)
            moved += quality == Tango::ATTR_CHANGING && std::abs(value - start - 0.5) < 0.05;
        QCOMPARE(moved > 0, !*absChange);
        QCOMPARE(events.positions.back().second, Tango::ATTR_VALID);
    }
}

void TestTango::panelGoesAndComesBack()
{
    // A panel that does not answer fails the call after the time-out; reads go on.
    ::kill(pid_t(panel.processId()), SIGSTOP);
    QVERIFY(failure([&] { writePosition(5000.0); }).contains("within 2000 ms"));
    QVERIFY(failure([&] { device->read_attribute("Homed"); }).isEmpty());
    ::kill(pid_t(panel.processId()), SIGCONT);
    QTRY_COMPARE(state(), Tango::ON); // a later state request: the move was read before it
    QTest::qWait(300);
    QVERIFY(!record().contains(">ma 50000")); // given up on, so never carried out

    panel.terminate(); // SIGTERM: the headless panel ends cleanly
    QVERIFY(panel.waitForFinished(5000));
    QCOMPARE(panel.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(state(), Tango::UNKNOWN, 3000);
    startPanel();
    QTRY_COMPARE_WITH_TIMEOUT(state(), Tango::OFF, 5000);
}

QTEST_GUILESS_MAIN(TestTango)
#include "tst_tango.moc"
