#include "scriptsession.h"

#include "request.h"
#include "scriptablepanel.h"

#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

namespace {

// Text from the controller or the system, made safe for a reply line (and, with blanks
// replaced too, for one word of it).
QByteArray lineSafe(const QString &text, bool oneWord = false)
{
    QByteArray bytes = text.toUtf8();
    for (char &c : bytes) {
        if (static_cast<unsigned char>(c) < 0x20 || (oneWord && c == ' '))
            c = oneWord ? '?' : ' ';
    }
    return bytes;
}

QByteArray outcomeReply(ScriptablePanel::Outcome outcome, const ScriptablePanel::State &state)
{
    switch (outcome) {
    case ScriptablePanel::Outcome::Done:
        return QByteArrayLiteral("ok");
    case ScriptablePanel::Outcome::NotConnected:
        return QByteArrayLiteral("error not connected");
    case ScriptablePanel::Outcome::NotHomed:
        return QByteArrayLiteral("error not homed");
    case ScriptablePanel::Outcome::OutsideLimits:
        return "error outside " + formatNumber(state.minimum) + ".." + formatNumber(state.maximum);
    case ScriptablePanel::Outcome::NotReady:
        break;
    }
    return QByteArrayLiteral("error not ready");
}

bool acts(Request::Kind kind)
{
    switch (kind) {
    case Request::Kind::Connect:
    case Request::Kind::Disconnect:
    case Request::Kind::Home:
    case Request::Kind::Calibrate:
    case Request::Kind::Move:
    case Request::Kind::Step:
    case Request::Kind::GoTo:
        return true;
    default:
        return false;
    }
}

} // namespace

ScriptSession::ScriptSession(QLocalSocket *socket, ScriptablePanel &panel, const LastPosition &last,
                             QObject *parent)
    : QObject(parent)
    , socket(socket)
    , panel(panel)
    , last(last)
    , waitTimer(new QTimer(this))
{
    socket->setParent(this);
    // Bytes beyond what the framer takes stay in the system's socket buffer, which slows the
    // client down instead of growing the panel.
    socket->setReadBufferSize(RequestFramer::maxBuffered);
    waitTimer->setSingleShot(true);
    connect(waitTimer, &QTimer::timeout, this,
            [this] { answerPending(QByteArrayLiteral("error timeout")); });
    connect(socket, &QLocalSocket::readyRead, this, &ScriptSession::process);
    connect(socket, &QLocalSocket::disconnected, this, &ScriptSession::end);
}

void ScriptSession::end()
{
    if (finished)
        return;
    finished = true;
    waitTimer->stop();
    pending = Pending::None;
    socket->abort();
    emit ended(this);
    deleteLater();
}

void ScriptSession::process()
{
    // Carrying out a request can run a nested event loop (a message box on a failed connect),
    // in which more bytes arrive or the pending request is answered: the outer call goes on
    // with them once it is back.
    if (processing || finished)
        return;
    processing = true;
    const QPointer<ScriptSession> alive(this);
    while (pending == Pending::None && !finished) {
        const int room = framer.room();
        if (room > 0 && socket->bytesAvailable() > 0)
            framer.append(socket->read(room));
        QByteArray line;
        const RequestFramer::Next next = framer.next(&line);
        if (next == RequestFramer::Next::None)
            break;
        if (next == RequestFramer::Next::TooLong) {
            drop(QByteArrayLiteral("error line too long"));
            break;
        }
        execute(parseRequest(line));
        if (!alive)
            return;
    }
    processing = false;
}

void ScriptSession::execute(const Request &request)
{
    using Kind = Request::Kind;
    const QPointer<ScriptSession> alive(this);
    // A client that has given up on a request must not see it act later (a panel that was
    // stopped reads it late): it acts before its deadline or not at all.
    if (request.kind != Kind::Invalid && expired(request, monotonicMilliseconds())) {
        reply(QByteArrayLiteral("error expired"));
        return;
    }
    // The operator comes first: nothing acts behind a modal window, which keeps the operator
    // from Stop. A stop, and what only looks, goes on.
    if (acts(request.kind) && panel.operatorDialogOpen()) {
        reply(QByteArrayLiteral("error dialog open"));
        return;
    }
    switch (request.kind) {
    case Kind::Invalid:
        reply("error " + request.error);
        return;
    case Kind::Connect:
        pending = Pending::Connect;
        if (!panel.connectStage() && alive && pending == Pending::Connect) {
            pending = Pending::None;
            reply(QByteArrayLiteral("error already connected"));
        }
        return;
    case Kind::Disconnect:
        panel.disconnectStage();
        if (alive)
            reply(QByteArrayLiteral("ok"));
        return;
    case Kind::State:
        reply(stateText());
        return;
    case Kind::Position:
    case Kind::Save:
        if (!panel.panelState().connected)
            reply(QByteArrayLiteral("error not connected"));
        else if (!last.clock.isValid())
            reply(QByteArrayLiteral("error no position yet"));
        else if (request.kind == Kind::Position)
            reply("ok " + formatNumber(last.micrometres));
        else if (const QString refusal = panel.saveNamedPosition(request.name, last.micrometres);
                 !refusal.isEmpty())
            reply("error " + lineSafe(refusal));
        else
            reply(QByteArrayLiteral("ok"));
        return;
    case Kind::Positions:
        reply(positionsText());
        return;
    case Kind::Stop:
        reply(outcomeReply(panel.stopStage(), panel.panelState()));
        return;
    case Kind::Wait:
        executeWait(request.value);
        return;
    case Kind::Home:
    case Kind::Calibrate:
    case Kind::Move:
    case Kind::Step:
        break;
    case Kind::GoTo:
        if (!panel.namedPosition(request.name)) {
            reply(QByteArrayLiteral("error unknown position"));
            return;
        }
        break;
    }

    // Commands that add to the line's queue: a script may not outrun the line.
    if (panel.lineBusy()) {
        reply(QByteArrayLiteral("error busy"));
        return;
    }
    ScriptablePanel::Outcome outcome = ScriptablePanel::Outcome::Done;
    if (request.kind == Kind::Home)
        outcome = panel.homeStage();
    else if (request.kind == Kind::Calibrate)
        outcome = panel.calibrateStage();
    else if (request.kind == Kind::Move)
        outcome = panel.moveStageTo(request.value);
    else if (request.kind == Kind::GoTo)
        outcome = panel.moveStageTo(*panel.namedPosition(request.name));
    else
        outcome = panel.stepStage(request.value);
    if (alive)
        reply(outcomeReply(outcome, panel.panelState()));
}

void ScriptSession::executeWait(double seconds)
{
    if (!panel.panelState().connected) {
        reply(QByteArrayLiteral("error not connected"));
        return;
    }
    pending = Pending::Wait;
    rest.clear();
    waitTimer->start(int(seconds * 1000.0));
}

QByteArray ScriptSession::stateText() const
{
    const ScriptablePanel::State state = panel.panelState();
    const bool positionKnown = state.connected && last.clock.isValid();
    const QByteArray unknown = QByteArrayLiteral("-");
    QByteArray text = QByteArrayLiteral("ok connected=") + (state.connected ? "1" : "0");
    text += " firmware=" + (state.firmware.isEmpty() ? unknown : lineSafe(state.firmware, true));
    text += QByteArrayLiteral(" homed=") + (state.homed ? "1" : "0");
    text
        += " calibrated=" + (state.calibrated < 0 ? unknown : QByteArray::number(state.calibrated));
    text += " position=" + (positionKnown ? formatNumber(last.micrometres) : unknown);
    text += " min=" + formatNumber(state.minimum) + " max=" + formatNumber(state.maximum);
    text += " age_ms=" + (positionKnown ? QByteArray::number(last.clock.elapsed()) : unknown);
    text += QByteArrayLiteral(" moving=") + (state.connected && last.motion.moving() ? "1" : "0");
    text += QByteArrayLiteral(" stale=") + (state.stale ? "1" : "0");
    text += QByteArrayLiteral(" reconnecting=") + (state.reconnecting ? "1" : "0");
    return text;
}

QByteArray ScriptSession::positionsText() const
{
    QByteArrayList items;
    for (const auto &[name, micrometres] : panel.namedPositions())
        items.append(encodeName(name) + '=' + formatNumber(micrometres));
    return items.isEmpty() ? QByteArrayLiteral("ok") : "ok " + items.join(';');
}

void ScriptSession::reply(const QByteArray &line)
{
    if (finished)
        return;
    // A client that does not read its replies is let go once they pile up; what counts is
    // what was unread before this reply, so one long reply (a list of positions) goes out
    // whole, with those queued before it.
    if (socket->bytesToWrite() >= maxUnreadReplies) {
        end();
        return;
    }
    socket->write(line + '\n');
}

void ScriptSession::answerPending(const QByteArray &line)
{
    if (pending == Pending::None)
        return;
    pending = Pending::None;
    waitTimer->stop();
    reply(line);
    process(); // the requests that waited behind it
}

void ScriptSession::drop(const QByteArray &lastLine)
{
    reply(lastLine);
    if (!finished)
        socket->flush();
    end();
}

void ScriptSession::controllerIdentified(const QString &version)
{
    if (pending == Pending::Connect)
        answerPending("ok " + lineSafe(version, true));
}

void ScriptSession::connectFailed(const QString &reason)
{
    if (pending == Pending::Connect)
        answerPending("error " + lineSafe(reason));
}

void ScriptSession::positionReceived(double micrometres)
{
    if (pending != Pending::Wait)
        return;
    rest.position(micrometres);
    if (rest.atRest())
        answerPending("ok " + formatNumber(micrometres));
}

void ScriptSession::connectionEnded()
{
    if (pending == Pending::Wait)
        answerPending(QByteArrayLiteral("error not connected"));
}
