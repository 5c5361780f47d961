// The device server over the real stack: the simulator on a pseudo-terminal, a headless panel
// on it recording to a directory, lumarvethon-tango without a database on a free loopback
// port, and a Tango client in this program. Also the server's plain logic, row by row.

#include "stagestatus.h"
#include "testprocess.h"

#include <tango.h>

#include <QDir>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <csignal>
#include <memory>

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
    QString terminal;
    TestProcess simulator, panel, server;
    std::unique_ptr<Tango::DeviceProxy> device;
    ChangeEvents positions, states; // outlive the subscriptions of a test that fails
};

void TestTango::startPanel()
{
    panel.start(QStringLiteral(LUMARVETHON_BIN),
                { "--headless", "--port", terminal, "--listen", socketPath, "--record",
                  dir.path() + "/" });
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
    environment.insert(QStringLiteral("LUMARVETHON_SOCKET"), socketPath);
    server.setProcessEnvironment(environment);
    server.start(QStringLiteral(LUMARVETHON_TANGO_BIN),
                 { "test", "-nodb", "-dlist", "test/stage/1", "-ORBendPoint",
                   "giop:tcp:127.0.0.1:" + port });
    QVERIFY(QTest::qWaitFor([&] { return server.canReadLine(); }, 20000));
    std::string name = "tango://127.0.0.1:" + port.toStdString() + "/test/stage/1#dbase=no";
    device = std::make_unique<Tango::DeviceProxy>(name);
}

void TestTango::cleanupTestCase()
{
    device.reset();
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
    row("reconnecting", "ok connected=0 firmware=- homed=0 calibrated=- position=- min=-250 "
                        "max=6250 age_ms=- moving=0 stale=0 reconnecting=1", int(MotorState::Fault));
    row("closed", "ok connected=0 firmware=- homed=0 calibrated=- position=- min=-250 "
                  "max=6250 age_ms=- moving=0 stale=0 reconnecting=0", int(MotorState::Off));
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
    QCOMPARE(failure([&] { writePosition(100.0); }),
             QStringLiteral("not homed"));

    device->command_inout("Home");
    QVERIFY(state() == Tango::MOVING); // before Home returned, not once the panel noticed
    QTRY_COMPARE_WITH_TIMEOUT(state(), Tango::ON, 5000);
    double position = -1.0;
    device->read_attribute("Position") >> position;
    QCOMPARE(position, 0.0);
    // The write range is the stage's: the panel's limits with the simulator's offset.
    Tango::AttributeInfoEx range = device->get_attribute_config("Position");
    QCOMPARE(range.min_value, std::string("-250"));
    QCOMPARE(range.max_value, std::string("14750"));

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
    QVERIFY(!failure([&] { writePosition(14750.1); })
                 .isEmpty());
    device->command_inout("Stop"); // a line that does reach the wire behind the refusal
    QTRY_VERIFY(record().contains("sent,>stop"));
    QVERIFY(!record().contains(">ma 147501"));
    for (const int subscription : subscriptions)
        device->unsubscribe_event(subscription);
}

void TestTango::panelGoesAndComesBack()
{
    // A panel that does not answer fails the call after the time-out; reads go on.
    ::kill(pid_t(panel.processId()), SIGSTOP);
    QVERIFY(failure([&] { device->command_inout("Stop"); }).contains("within 2000 ms"));
    QVERIFY(failure([&] { device->read_attribute("Homed"); }).isEmpty());
    ::kill(pid_t(panel.processId()), SIGCONT);

    panel.terminate(); // SIGTERM: the headless panel ends cleanly
    QVERIFY(panel.waitForFinished(5000));
    QCOMPARE(panel.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(state(), Tango::UNKNOWN, 3000);
    startPanel();
    QTRY_COMPARE_WITH_TIMEOUT(state(), Tango::OFF, 5000);
}

QTEST_GUILESS_MAIN(TestTango)
#include "tst_tango.moc"
