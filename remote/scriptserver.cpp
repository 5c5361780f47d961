#include "scriptserver.h"

#include "socketpath.h"

#include <QCoreApplication>
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

ScriptServer::~ScriptServer()
{
    if (server->isListening()) {
        server->close();
        SocketPath::removeIfSame(chosenPath, placed);
    }
}

QString ScriptServer::defaultPath()
{
    return SocketPath::defaultPath();
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
    gid_t gid = SocketPath::noGroup;
    if (!group.isEmpty() && !SocketPath::groupId(group, &gid, &error))
        return false;
    // The directory the panel makes is its own (and the group's); one that exists already
    // and that it did not choose is the operator's business.
    const QString directory = QFileInfo(path).absolutePath();
    const bool madeHere = !QFileInfo::exists(directory)
        || (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")
            && directory == SocketPath::runtimeDirectory());
    if (madeHere && !SocketPath::makePrivateDirectory(directory, gid, &error))
        return false;
    if (!clearLeftSocket(path))
        return false;
    // The toolkit's server would replace whatever has the name, and remove whatever has it
    // when it closes: it listens under a name of its own, which is then given to the path
    // only while the path is free, and the file's identity decides what is removed later.
    const QString temporary
        = QStringLiteral("%1.%2.tmp").arg(path).arg(QCoreApplication::applicationPid());
    if (!server->listen(temporary)) {
        error = tr("cannot listen on %1: %2").arg(path, server->errorString());
        return false;
    }
    // Opened to the group before it has the name that clients know.
    if ((gid != SocketPath::noGroup && !SocketPath::openToGroup(temporary, gid, &error))
        || !SocketPath::moveIntoPlace(temporary, path, &error)) {
        server->close();
        return false;
    }
    placed = SocketPath::fileId(path);
    error.clear();
    return true;
}

bool ScriptServer::clearLeftSocket(const QString &path)
{
    const SocketPath::FileId before = SocketPath::fileId(path);
    if (before.isNull())
        return true;
    if (!SocketPath::isSocket(path)) {
        // Replacing it would delete it: only sockets are taken for stale ones.
        error = tr("%1 exists and is not a socket").arg(path);
        return false;
    }
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(probeTimeoutMs)) {
        probe.abort();
        error = tr("another program is listening on %1 (is another panel running?)").arg(path);
        return false;
    }
    // Only a socket that refuses is one a panel left when it crashed. Any other failure (no
    // permission, no answer in time) leaves the path as it is.
    if (probe.error() != QLocalSocket::ConnectionRefusedError) {
        const QString reason = probe.state() == QLocalSocket::ConnectingState
            ? tr("no answer within %1 ms").arg(probeTimeoutMs)
            : probe.errorString();
        error = tr("cannot use %1: %2").arg(path, reason);
        return false;
    }
    SocketPath::removeIfSame(path, before);
    return true;
}

void ScriptServer::close()
{
    if (server->isListening()) {
        server->close();
        SocketPath::removeIfSame(chosenPath, placed);
        placed = SocketPath::FileId();
    }
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
    last.motion.position(micrometres);
    forEachSession([&](ScriptSession &session) { session.positionReceived(micrometres); });
}

void ScriptServer::motionStarted()
{
    last.motion.motionStarted();
}

void ScriptServer::connectionEnded()
{
    last.clock.invalidate();
    last.motion.clear();
    forEachSession([&](ScriptSession &session) { session.connectionEnded(); });
}
