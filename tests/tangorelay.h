#ifndef TANGORELAY_H
#define TANGORELAY_H

// Helpers of the device server's test: a relay that plays a slow panel, and a record of events.

#include <tango.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

// Between the device server and the panel, in a thread of its own: holds the replies of a
// connection that only asked for the state by stateDelay ms, and move requests by moveDelay ms.
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

// Every Position event as (value, quality), and for every ON of State the newest position then.
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
            try { // an event without a value (ATTR_INVALID) cannot be extracted
                *event->attr_value >> value;
            } catch (const Tango::DevFailed &) { }
            positions.emplace_back(value, event->attr_value->get_quality());
        }
    }
    double newest()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return positions.empty() ? -1e9 : positions.back().first;
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

#endif // TANGORELAY_H
