#ifndef SCRIPTSERVER_H
#define SCRIPTSERVER_H

// Lets scripts drive the stage: listens on a local socket that only the same user (and, when
// chosen, the members of one group) can open,
// takes at most maxClients scripts at a time, one ScriptSession each, and passes what happens
// on the link on to them. It reaches the stage only through a ScriptablePanel. It keeps the
// last position of the connection so that a script can ask for it at any time.

#include "scriptsession.h"
#include "socketpath.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;
class ScriptablePanel;

class ScriptServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int maxClients = 8;

    explicit ScriptServer(ScriptablePanel &panel, QObject *parent = nullptr);
    ~ScriptServer() override;

    // $XDG_RUNTIME_DIR/lumarvethon.sock, or the same name in a directory of the user's own in
    // the temporary directory.
    static QString defaultPath();
    // The default path of a named panel instance: lumarvethon-NAME.sock beside the unnamed
    // one; defaultPath() itself for an empty name.
    static QString defaultPath(const QString &instanceName);

    // Listens at path, replacing a socket that refuses connections (left by a panel that
    // crashed). False, with errorString(), when another program listens there or the path
    // cannot be used; the path is then left as it is.
    bool listen(const QString &path);
    // The group whose members may open the socket from the next listen() on; empty: none.
    void setListenGroup(const QString &name) { group = name; }
    QString listenGroup() const { return group; }
    // Stops listening, removes the socket if it is still the one made, and closes every
    // script's connection.
    void close();
    bool isListening() const;
    // The path of the last listen(), whether it succeeded or not.
    QString path() const { return chosenPath; }
    QString errorString() const { return error; }

public slots:
    void controllerIdentified(const QString &version);
    // A connect attempt failed, or the connection it made was dropped before the controller
    // identified itself; reason is the text a script's connect gets after "error ".
    void connectFailed(const QString &reason);
    void positionReceived(double micrometres);
    // A move, step or home went out, from a script or the operator.
    void motionStarted();
    void connectionEnded();

private:
    static constexpr int probeTimeoutMs = 1000;

    bool clearLeftSocket(const QString &path);
    void acceptClients();
    void forget(ScriptSession *session);
    void forEachSession(const std::function<void(ScriptSession &)> &tell);

    ScriptablePanel &panel;
    QLocalServer *server;
    QList<ScriptSession *> sessions;
    LastPosition last;
    QString chosenPath;
    QString group;
    SocketPath::FileId placed; // the socket file made by the last listen()
    QString error;
};

#endif // SCRIPTSERVER_H
