#include "sessionrecorder.h"

#include "csvformat.h"
#include "rfc4180.h"

#include <QDateTime>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <iterator>

namespace {

QByteArray withoutCr(const QByteArray &line)
{
    return line.endsWith('\r') ? line.left(line.size() - 1) : line;
}

} // namespace

SessionRecorder::SessionRecorder(QObject *parent)
    : QObject(parent)
    , flushTimer(new QTimer(this))
{
    flushTimer->setInterval(flushIntervalMs);
    connect(flushTimer, &QTimer::timeout, this, &SessionRecorder::flush);
}

SessionRecorder::~SessionRecorder()
{
    // Whoever listens may be half destroyed by now: end the file without telling anyone.
    if (!isRecording())
        return;
    addRow("event", QByteArrayLiteral("recording stopped"), QByteArray());
    writePending();
    close();
}

bool SessionRecorder::start(const QString &path, Existing existing)
{
    if (isRecording())
        stop();
    error.clear();
    file.setFileName(path);
    // NewOnly makes the refusal part of the creation itself, so a file that appears between
    // a check and the opening is not overwritten either. Unbuffered: every write goes to
    // the system at once and its failure shows at once.
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered
        | (existing == Existing::Refuse ? QIODevice::NewOnly : QIODevice::Truncate);
    if (!file.open(mode)) {
        error = file.errorString();
        return false;
    }
    clock.start();
    pending = QByteArrayLiteral("time,elapsed_s,direction,line,position_um") + CsvFormat::rowEnd;
    rowEnds.assign(1, pending.size());
    addRow("event", QByteArrayLiteral("recording started"), QByteArray());
    if (!writePending()) {
        close();
        return false;
    }
    flushTimer->start();
    emit recordingChanged(true);
    return true;
}

void SessionRecorder::stop()
{
    if (!isRecording())
        return;
    addRow("event", QByteArrayLiteral("recording stopped"), QByteArray());
    const bool written = writePending();
    close();
    if (!written)
        emit failed(error);
    emit recordingChanged(false);
}

void SessionRecorder::discard()
{
    if (!isRecording())
        return;
    const QString path = file.fileName();
    close();
    QFile::remove(path);
    emit recordingChanged(false);
}

void SessionRecorder::recordSent(const QByteArray &line)
{
    if (isRecording())
        addRow("sent", CsvFormat::escapedLine(withoutCr(line)), QByteArray());
}

void SessionRecorder::recordReceived(const QByteArray &line, const QString &shownPosition)
{
    if (isRecording())
        addRow("received", CsvFormat::escapedLine(withoutCr(line)), shownPosition.toUtf8());
}

void SessionRecorder::recordEvent(const QString &text)
{
    if (isRecording())
        addRow("event", text.toUtf8(), QByteArray());
}

void SessionRecorder::addRow(const char *direction, const QByteArray &line,
                             const QByteArray &position)
{
    pending += CsvFormat::isoTime(now());
    pending += ',';
    pending += CsvFormat::seconds(clock.elapsed());
    pending += ',';
    pending += direction;
    pending += ',';
    pending += Rfc4180::field(line);
    pending += ',';
    pending += Rfc4180::field(position);
    pending += CsvFormat::rowEnd;
    rowEnds.push_back(pending.size());
    if (pending.size() >= flushThreshold)
        flush();
}

QDateTime SessionRecorder::now()
{
    // A local time looks up the time zone on every conversion, several times a row; the
    // offset changes only at whole seconds, so it is looked up once a second and the row's
    // time is a fixed-offset one, which converts by arithmetic alone.
    const qint64 ms = QDateTime::currentMSecsSinceEpoch();
    const qint64 second = ms / 1000;
    if (second != offsetSecond) {
        offsetSecond = second;
        utcOffset = QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc();
    }
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toOffsetFromUtc(utcOffset);
}

void SessionRecorder::flush()
{
    if (!isRecording() || writePending())
        return;
    close();
    emit failed(error);
    emit recordingChanged(false);
}

bool SessionRecorder::writePending()
{
    // A removed file would take every later row into an unlinked inode without a word.
    if (!QFileInfo::exists(file.fileName())) {
        error = tr("the file %1 was removed").arg(file.fileName());
        return false;
    }
    if (pending.isEmpty())
        return true;
    // A short write (a file-size limit reached, a disk filled) says nothing about why; the
    // write of the rest fails with the reason. The file then ends where its last whole row
    // ended, never inside a row.
    const qint64 start = file.pos();
    qint64 written = 0;
    while (written < pending.size()) {
        const qint64 n = file.write(pending.constData() + written, pending.size() - written);
        if (n <= 0) {
            error = n < 0 ? file.errorString() : tr("nothing could be written");
            const auto whole = std::upper_bound(rowEnds.begin(), rowEnds.end(), written);
            file.resize(start + (whole == rowEnds.begin() ? 0 : *std::prev(whole)));
            return false;
        }
        written += n;
    }
    pending.clear();
    rowEnds.clear();
    return true;
}

void SessionRecorder::close()
{
    flushTimer->stop();
    file.close();
    pending.clear();
    rowEnds.clear();
}
