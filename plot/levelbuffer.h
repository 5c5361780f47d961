#ifndef LEVELBUFFER_H
#define LEVELBUFFER_H

// The targets that the plot holds: a level set now and then, drawn as a step line, bounded
// like the positions whatever the rate at which a script sends moves.
//
// Per bucket of SampleBuffer::bucketMs it keeps the first, the lowest, the highest and the
// last level set in it (in time order, each once): the line still reaches every extreme and
// goes on at the level in force. Only the last SampleBuffer::keptMs are kept, and the level
// in force at their start. So it never holds more than 4 * keptMs / bucketMs + 1 levels.

#include "samplebuffer.h"

#include <QPointF>
#include <QVector>

#include <deque>

class LevelBuffer
{
public:
    static constexpr int capacity = int(4 * SampleBuffer::keptMs / SampleBuffer::bucketMs) + 1;

    void append(qint64 ms, double level); // ms never decreasing

    int size() const { return int(levels.size()); }
    const PositionSample &at(int i) const { return levels[std::size_t(i)]; }

    // The step line from fromMs to toMs: the level in force at fromMs, then each change as a
    // vertical step, on to toMs; the levels of each of `columns` equal slices reduced as a
    // bucket is, which is all a chart of that width can draw. Empty when no level was set
    // by toMs.
    QVector<QPointF> stepLine(qint64 fromMs, qint64 toMs, int columns) const;

private:
    std::deque<PositionSample> levels;
    qint64 lastBucket = -1;
    int inLastBucket = 0;
};

#endif // LEVELBUFFER_H
