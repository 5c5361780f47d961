#include "levelbuffer.h"

#include <algorithm>
#include <iterator>

namespace {

using Iterator = std::deque<PositionSample>::const_iterator;

// Of the levels [begin, end), in time order, the first, the lowest, the highest and the last,
// each once and in time order; returns how many (1 to 4).
int extremes(Iterator begin, Iterator end, PositionSample kept[4])
{
    Iterator low = begin;
    Iterator high = begin;
    for (Iterator it = begin; it != end; ++it) {
        if (it->micrometres < low->micrometres)
            low = it;
        if (it->micrometres > high->micrometres)
            high = it;
    }
    Iterator picks[4] = { begin, low, high, std::prev(end) };
    std::sort(std::begin(picks), std::end(picks));
    const auto last = std::unique(std::begin(picks), std::end(picks));
    int count = 0;
    for (auto pick = std::begin(picks); pick != last; ++pick)
        kept[count++] = **pick;
    return count;
}

} // namespace

void LevelBuffer::append(qint64 ms, double level)
{
    const qint64 bucket = ms / SampleBuffer::bucketMs;
    if (bucket != lastBucket) {
        lastBucket = bucket;
        inLastBucket = 0;
    }
    levels.push_back({ ms, level });
    if (++inLastBucket > 4) {
        // Of the bucket's four and the new one, the four that stand for all of them.
        PositionSample kept[4];
        const int count = inLastBucket;
        inLastBucket = extremes(levels.cend() - count, levels.cend(), kept);
        levels.erase(levels.end() - count, levels.end());
        levels.insert(levels.end(), kept, kept + inLastBucket);
    }
    // The one in force at the start of the longest range shown stays.
    while (levels.size() > 1 && levels[1].ms <= ms - SampleBuffer::keptMs)
        levels.pop_front();
}

QVector<QPointF> LevelBuffer::stepLine(qint64 fromMs, qint64 toMs, int columns) const
{
    QVector<QPointF> points;
    auto it
        = std::upper_bound(levels.begin(), levels.end(), fromMs,
                           [](qint64 ms, const PositionSample &level) { return ms < level.ms; });
    if (it != levels.begin())
        points.append(QPointF(double(fromMs), std::prev(it)->micrometres));
    const double slice = double(std::max<qint64>(1, toMs - fromMs)) / std::max(1, columns);
    const auto column = [fromMs, slice](const PositionSample &level) {
        return qint64(double(level.ms - fromMs) / slice);
    };
    while (it != levels.end() && it->ms <= toMs) {
        auto end = it;
        while (end != levels.end() && end->ms <= toMs && column(*end) == column(*it))
            ++end;
        PositionSample kept[4];
        const int count = extremes(it, end, kept);
        for (int i = 0; i < count; ++i) {
            if (!points.isEmpty())
                points.append(QPointF(double(kept[i].ms), points.last().y()));
            points.append(QPointF(double(kept[i].ms), kept[i].micrometres));
        }
        it = end;
    }
    if (!points.isEmpty())
        points.append(QPointF(double(toMs), points.last().y()));
    return points;
}
