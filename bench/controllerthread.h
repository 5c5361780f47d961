#ifndef CONTROLLERTHREAD_H
#define CONTROLLERTHREAD_H

// The stage controller's end of a real pseudo-terminal, served from a thread of its own, as a
// real controller is a device of its own: its reading and writing do not run on the panel's
// GUI thread, so the panel's CPU time can be measured apart from it.

#include <QByteArray>
#include <QObject>
#include <QThread>
#include <QVector>

#include <atomic>
#include <functional>

class PseudoTerminal;
class QTimer;

class ControllerEnd : public QObject
{
    Q_OBJECT

public:
    // Line i of a stream (with its CR).
    using LineSource = std::function<QByteArray(qint64 index)>;

    ControllerEnd();
    ~ControllerEnd() override;

    // Blocking calls from the GUI thread.
    bool open(QString *path);
    // Answers ">inform\r" and ">status\r" like firmware 1.06, and, while answerPolls is set,
    // every ">cp\r" with a position line: the same one for a stage at rest, a new one each
    // time for a stage that creeps.
    void setAnswerPolls(bool on, bool creeping = false)
    {
        stageCreeping = creeping;
        answerPolls = on;
    }
    // Writes lines 0..count-1 as fast as the terminal takes them (kept topped up in chunks).
    void startStream(qint64 count, LineSource source);
    bool streaming() const { return streamActive.load(); }
    // Writes lines 0..count-1 at the given rate, each line on its own as it falls due (a 1 ms
    // tick), as a device streaming positions at the serial line's rate does.
    void startPaced(qint64 count, double linesPerSecond, LineSource source);
    // When each line of the last paced stream was written (steady clock, ns); read it once
    // streaming() is false.
    const QVector<qint64> &pacedWriteTimes() const { return writeTimes; }
    // Hangs the line up, as an unplugged adapter does.
    void hangUp();
    // Writes one line now; lastWriteNs() then holds the steady-clock time of the write.
    void writeStamped(const QByteArray &line);
    qint64 lastWriteNs() const { return writtenAtNs.load(); }
    qint64 pollsAnswered() const { return polls.load(); }

private:
    void received(const QByteArray &data);
    void topUp();
    void pace();

    QThread thread;
    PseudoTerminal *terminal = nullptr;
    QTimer *feeder = nullptr;
    QByteArray inbox;
    std::atomic<bool> answerPolls { false };
    std::atomic<bool> stageCreeping { false };
    std::atomic<bool> streamActive { false };
    std::atomic<qint64> writtenAtNs { 0 };
    std::atomic<qint64> polls { 0 };
    qint64 streamNext = 0;
    qint64 streamCount = 0;
    QTimer *pacer = nullptr;
    qint64 paceStartNs = 0;
    double paceRate = 0.0;
    LineSource streamSource;
    QVector<qint64> writeTimes;
    double polledPosition = 1234.5;
};

// Steady clock in nanoseconds, comparable across threads and processes.
qint64 monotonicNs();

#endif // CONTROLLERTHREAD_H
