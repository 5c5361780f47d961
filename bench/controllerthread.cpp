#include "controllerthread.h"

#include "pseudoterminal.h"

#include <QMetaObject>
#include <QTimer>

#include <ctime>

qint64 monotonicNs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Bytes kept queued towards the terminal while streaming: enough that the terminal never
// runs dry between two top-ups, little enough that the queue is cheap to shift.
static constexpr qint64 streamLowWater = 16 * 1024;
static constexpr qint64 streamChunk = 64 * 1024;

ControllerEnd::ControllerEnd()
{
    thread.setObjectName(QStringLiteral("controller"));
    moveToThread(&thread);
    thread.start();
}

ControllerEnd::~ControllerEnd()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            delete feeder;
            delete pacer;
            delete terminal;
            feeder = nullptr;
            pacer = nullptr;
            terminal = nullptr;
        },
        Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
}

bool ControllerEnd::open(QString *path)
{
    bool ok = false;
    QMetaObject::invokeMethod(
        this,
        [this, &ok, path] {
            terminal = new PseudoTerminal;
            ok = terminal->open();
            *path = ok ? terminal->devicePath() : terminal->errorString();
            connect(terminal, &PseudoTerminal::received, this, &ControllerEnd::received);
            feeder = new QTimer;
            feeder->setTimerType(Qt::PreciseTimer);
            feeder->setInterval(1);
            connect(feeder, &QTimer::timeout, this, &ControllerEnd::topUp);
            pacer = new QTimer;
            pacer->setTimerType(Qt::PreciseTimer);
            pacer->setInterval(1);
            connect(pacer, &QTimer::timeout, this, &ControllerEnd::pace);
        },
        Qt::BlockingQueuedConnection);
    return ok;
}

void ControllerEnd::received(const QByteArray &data)
{
    inbox.append(data);
    QByteArray answer;
    int start = 0;
    int end;
    while ((end = inbox.indexOf('\r', start)) >= 0) {
        const QByteArray command = inbox.mid(start, end - start + 1);
        start = end + 1;
        if (command == ">inform\r") {
            answer += "_Ver 106\r_offset 2500\r";
        } else if (command == ">status\r") {
            answer += "_status 1\r";
        } else if (command == ">cp\r" && answerPolls) {
            // A creeping stage changes the read-out with every answer.
            if (stageCreeping)
                polledPosition = polledPosition >= 6000.0 ? 0.0 : polledPosition + 0.1;
            answer += "_cp " + QByteArray::number(polledPosition, 'f', 1) + " um\r";
            ++polls;
        }
    }
    inbox.remove(0, start);
    if (!answer.isEmpty())
        terminal->write(answer);
}

void ControllerEnd::startStream(qint64 count, LineSource source)
{
    streamActive = true;
    QMetaObject::invokeMethod(
        this,
        [this, count, source] {
            streamNext = 0;
            streamCount = count;
            streamSource = source;
            topUp();
            feeder->start();
        },
        Qt::QueuedConnection);
}

void ControllerEnd::topUp()
{
    if (terminal->bytesPending() < streamLowWater && streamNext < streamCount) {
        QByteArray chunk;
        chunk.reserve(int(streamChunk + 64));
        while (chunk.size() < streamChunk && streamNext < streamCount)
            chunk += streamSource(streamNext++);
        terminal->write(chunk);
    }
    if (streamNext >= streamCount && terminal->bytesPending() == 0) {
        feeder->stop();
        streamSource = nullptr;
        streamActive = false;
    }
}

void ControllerEnd::startPaced(qint64 count, double linesPerSecond, LineSource source)
{
    streamActive = true;
    QMetaObject::invokeMethod(
        this,
        [this, count, linesPerSecond, source] {
            streamNext = 0;
            streamCount = count;
            streamSource = source;
            paceRate = linesPerSecond;
            writeTimes.fill(0, int(count));
            paceStartNs = monotonicNs();
            pacer->start();
        },
        Qt::QueuedConnection);
}

void ControllerEnd::pace()
{
    // Every line written as it falls due, one write per line, never ahead of the clock.
    const double elapsed = double(monotonicNs() - paceStartNs) / 1e9;
    const qint64 due = qMin(streamCount, qint64(elapsed * paceRate) + 1);
    while (streamNext < due) {
        writeTimes[int(streamNext)] = monotonicNs();
        terminal->write(streamSource(streamNext++));
    }
    if (streamNext >= streamCount && terminal->bytesPending() == 0) {
        pacer->stop();
        streamSource = nullptr;
        streamActive = false;
    }
}

void ControllerEnd::hangUp()
{
    QMetaObject::invokeMethod(
        this, [this] { terminal->hangUp(); }, Qt::BlockingQueuedConnection);
}

void ControllerEnd::writeStamped(const QByteArray &line)
{
    QMetaObject::invokeMethod(
        this,
        [this, line] {
            writtenAtNs = monotonicNs();
            terminal->write(line);
        },
        Qt::QueuedConnection);
}
