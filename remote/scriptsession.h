#ifndef SCRIPTSESSION_H
#define SCRIPTSESSION_H

// One script's connection: takes its request lines off the socket, carries them out on the
// panel one at a time and writes exactly one reply line for each, in request order. A connect
// or a wait holds the requests behind it until it is answered. The session ends itself when
// the client goes, sends a line that is too long, or lets too many replies pile up unread.

#include "motionwatch.h"
#include "requestframer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QLocalSocket;
class QTimer;
class ScriptablePanel;
struct Request;

// The last position reply of the current connection (the clock is invalid before the first)
// and whether the stage moves.
struct LastPosition
{
    double micrometres = 0.0;
    QElapsedTimer clock;
    MotionWatch motion;
};

class ScriptSession : public QObject
{
    Q_OBJECT

public:
    // Unread replies beyond this close the client when it is sent another one.
    static constexpr qint64 maxUnreadReplies = 64 * 1024;

    // Takes the socket over (as a child).
    ScriptSession(QLocalSocket *socket, ScriptablePanel &panel, const LastPosition &last,
                  QObject *parent = nullptr);

    // What happened on the link, as the server passes it on.
    void controllerIdentified(const QString &version);
    void connectFailed(const QString &reason);
    void positionReceived(double micrometres);
    void connectionEnded();

    // Closes the client at once; safe to call more than once.
    void end();

signals:
    void ended(ScriptSession *session);

private:
    enum class Pending { None, Connect, Wait };

    void process();
    void execute(const Request &request);
    void executeWait(double seconds);
    QByteArray stateText() const;
    QByteArray positionsText() const;
    void reply(const QByteArray &line);
    void answerPending(const QByteArray &line);
    void drop(const QByteArray &lastLine);

    QLocalSocket *socket;
    ScriptablePanel &panel;
    const LastPosition &last;
    RequestFramer framer;
    QTimer *waitTimer;
    Pending pending = Pending::None;
    MotionWatch rest; // the replies since a wait began
    bool processing = false; // a request is being carried out further up the stack
    bool finished = false;
};

#endif // SCRIPTSESSION_H
