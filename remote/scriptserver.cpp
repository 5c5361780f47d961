#include "scriptserver.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

#include <utility>

ScriptServer::ScriptServer(ScriptablePanel &panel, QObject *parent)
    : QObject(parent)
    , panel(panel)
    , server(new QLocalServer(this))
{
    server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server, &QLocalServer::newConnection, this, &ScriptServer::acceptClients);
}

QString ScriptServer::defaultPath()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString dir = runtime.isEmpty() ? QDir::tempPath() : runtime;
    return QDir(dir).filePath(QStringLiteral("lumarvethon.sock"));
}

QString ScriptServer::defaultPath(const QString &instanceName)
{
    const QString unnamed = defaultPath();
    if (instanceName.isEmpty())
        return unnamed;
    return QFileInfo(unnamed).dir().filePath(
        QStringLiteral("lumarvethon-%1.sock").arg(instanceName));
}

bool ScriptServer::listen(const QString &path)
{
    close();
    chosenPath = path;
    const QFileInfo file(path);
    if (file.isFile() || file.isDir()) {
        // Replacing it would delete it: only sockets are taken for stale ones.
        error = tr("%1 exists and is not a socket").arg(path);
        return false;
    }
    if (file.exists() || file.isSymLink()) {
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(1000)) {
            probe.abort();
            error = tr("another program is listening on %1 (is another panel running?)")
                        .arg(path);
            return false;
        }
        // No one answers: a socket left behind by a panel that ended without closing it.
        QLocalServer::removeServer(path);
    }
    if (!server->listen(path)) {
        error = tr("cannot listen on %1: %2").arg(path, server->errorString());
        return false;
    }
    error.clear();
    return true;
}

void ScriptServer::close()
{
    server->close();
    forEachSession([&](ScriptSession &session) { session.end(); });
}

bool ScriptServer::isListening() const
{
    return server->isListening();
}

void ScriptServer::acceptClients()
{
    while (QLocalSocket *socket = server->nextPendingConnection()) {
        if (sessions.size() >= maxClients) {
            socket->write("error too many clients\n");
            socket->flush();
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto *session = new ScriptSession(socket, panel, last, this);
        sessions.append(session);
        connect(session, &ScriptSession::ended, this, &ScriptServer::forget);
    }
}

void ScriptServer::forget(ScriptSession *session)
{
    sessions.removeOne(session);
}

void ScriptServer::forEachSession(const std::function<void(ScriptSession &)> &tell)
{
    // Telling one session can run a nested event loop in which others end and are deleted.
    QList<QPointer<ScriptSession>> open;
    for (ScriptSession *session : std::as_const(sessions))
        open.append(session);
    for (const QPointer<ScriptSession> &session : std::as_const(open)) {
        if (session)
            tell(*session);
    }
}

void ScriptServer::controllerIdentified(const QString &version)
{
    forEachSession([&](ScriptSession &session) { session.controllerIdentified(version); });
}

void ScriptServer::connectFailed(const QString &reason)
{
    forEachSession([&](ScriptSession &session) { session.connectFailed(reason); });
}

void ScriptServer::positionReceived(double micrometres)
{
    last.micrometres = micrometres;
    last.clock.start();
    forEachSession([&](ScriptSession &session) { session.positionReceived(micrometres); });
}

void ScriptServer::connectionEnded()
{
    last.clock.invalidate();
    forEachSession([&](ScriptSession &session) { session.connectionEnded(); });
}
