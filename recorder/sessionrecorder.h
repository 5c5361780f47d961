#ifndef SESSIONRECORDER_H
#define SESSIONRECORDER_H

// The session record: writes every line sent to and received from the controller, and what
// happened to the connection, as rows of a CSV file (time, elapsed_s, direction, line,
// position_um). Rows are collected in memory and written out by a short timer, so that a
// reply costs the GUI thread no file access, while a crash loses at most the last tick's
// rows. A failed write, or a file that disappears, ends the recording and says why; the file
// then ends on a whole row.

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QString>

#include <vector>

class QTimer;

class SessionRecorder : public QObject
{
    Q_OBJECT

public:
    enum class Existing { Refuse, Replace }; // what start() does with a file already there

    // Rows are written at least this often (the panel's poll period is 150 ms) ...
    static constexpr int flushIntervalMs = 100;
    // ... and earlier once this much is waiting, which bounds the memory taken.
    static constexpr int flushThreshold = 64 * 1024;

    explicit SessionRecorder(QObject *parent = nullptr);
    ~SessionRecorder() override;

    // Opens the file, writes the header and the "recording started" row; false, with
    // errorString(), when the file cannot be created (or exists and is to be refused).
    bool start(const QString &path, Existing existing);
    // Writes the "recording stopped" row and closes the file.
    void stop();
    // Ends the recording and removes its file: for a record that was started for a run that
    // then did not happen.
    void discard();
    bool isRecording() const { return file.isOpen(); }
    QString fileName() const { return file.fileName(); }
    QString errorString() const { return error; }

    void recordSent(const QByteArray &line);
    void recordReceived(const QByteArray &line, const QString &shownPosition);
    void recordEvent(const QString &text);

signals:
    void recordingChanged(bool recording);
    // The recording ended by itself: the file could not be written or was removed.
    void failed(const QString &reason);

private:
    void addRow(const char *direction, const QByteArray &line, const QByteArray &position);
    QDateTime now();
    void flush();
    bool writePending();
    void close();

    QFile file;
    QByteArray pending;
    std::vector<qint64> rowEnds; // where each row in pending ends, so a failed write ends on one
    QElapsedTimer clock;
    QTimer *flushTimer = nullptr;
    QString error;
    qint64 offsetSecond = -1; // the second for which utcOffset was looked up
    int utcOffset = 0;
};

#endif // SESSIONRECORDER_H
