#ifndef SAMPLEBUFFER_H
#define SAMPLEBUFFER_H

// The positions that the plot holds, bounded in time and in count whatever the reply rate.
//
// Time is cut into buckets of bucketMs; a bucket keeps at most two samples, its lowest and
// its highest (in time order; a bucket that stays level keeps its first and its last). At
// the panel's poll rate every sample is kept; a controller answering 820 times a second is
// thinned to what a chart a few thousand pixels wide can show anyway, with no peak lost.
// Only the keptMs of buckets up to the newest's are kept. So the buffer never holds more
// than 2 * keptMs / bucketMs (72 000) samples.

#include <QByteArray>
#include <QDateTime>
#include <QPointF>
#include <QVector>

#include <deque>

struct PositionSample
{
    qint64 ms; // since the plot's start, never decreasing
    double micrometres;
};

class SampleBuffer
{
public:
    static constexpr qint64 bucketMs = 100;
    static constexpr qint64 keptMs = 60 * 60 * 1000;
    static constexpr int capacity = int(2 * keptMs / bucketMs);

    void append(qint64 ms, double micrometres);

    int size() const { return int(samples.size()); }
    bool isEmpty() const { return samples.empty(); }
    const PositionSample &at(int i) const { return samples[std::size_t(i)]; }

    // The samples from fromMs to toMs reduced to at most the lowest and the highest of each
    // of `columns` equal slices, in time order: what a chart of that width can draw.
    QVector<QPointF> outline(qint64 fromMs, qint64 toMs, int columns) const;

private:
    std::deque<PositionSample> samples;
    qint64 lastBucket = -1;
    int inLastBucket = 0;
};

// The samples as CSV rows "time,elapsed_s,position_um" with a header line; start is the
// wall-clock time of ms 0.
QByteArray samplesCsv(const SampleBuffer &buffer, const QDateTime &start);

#endif // SAMPLEBUFFER_H
