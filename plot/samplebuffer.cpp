#include "samplebuffer.h"

#include "csvformat.h"

#include <algorithm>
#include <iterator>

void SampleBuffer::append(qint64 ms, double micrometres)
{
    const PositionSample sample { ms, micrometres };
    const qint64 bucket = ms / bucketMs;
    if (bucket != lastBucket || inLastBucket < 2) {
        if (bucket != lastBucket)
            inLastBucket = 0;
        samples.push_back(sample);
        lastBucket = bucket;
        ++inLastBucket;
    } else {
        // The bucket is full: of its two samples and the new one, keep the earliest lowest
        // and the latest highest (the first and the last when all three are level).
        PositionSample &first = samples[samples.size() - 2];
        PositionSample &second = samples.back();
        const PositionSample three[] = { first, second, sample };
        int lowest = 0;
        int highest = 2;
        for (int i = 0; i < 3; ++i) {
            if (three[i].micrometres < three[lowest].micrometres)
                lowest = i;
            if (three[i].micrometres >= three[highest].micrometres)
                highest = i;
        }
        first = three[std::min(lowest, highest)];
        second = three[std::max(lowest, highest)];
    }
    // Whole buckets go, so that the bound holds exactly.
    const qint64 firstKeptBucket = bucket - keptMs / bucketMs + 1;
    while (samples.front().ms / bucketMs < firstKeptBucket)
        samples.pop_front();
}

QVector<QPointF> SampleBuffer::outline(qint64 fromMs, qint64 toMs, int columns) const
{
    QVector<QPointF> points;
    if (columns < 1 || toMs <= fromMs)
        return points;
    auto it = std::lower_bound(samples.begin(), samples.end(), fromMs,
                               [](const PositionSample &s, qint64 ms) { return s.ms < ms; });
    const double slice = double(toMs - fromMs) / columns;
    while (it != samples.end() && it->ms <= toMs) {
        const int column = int((it->ms - fromMs) / slice);
        auto low = it;
        auto high = it;
        for (; it != samples.end() && it->ms <= toMs && int((it->ms - fromMs) / slice) == column;
             ++it) {
            if (it->micrometres < low->micrometres)
                low = it;
            if (it->micrometres > high->micrometres)
                high = it;
        }
        const auto first = std::min(low, high);
        const auto last = std::max(low, high);
        points.append(QPointF(double(first->ms), first->micrometres));
        if (last != first)
            points.append(QPointF(double(last->ms), last->micrometres));
    }
    return points;
}

QByteArray samplesCsv(const SampleBuffer &buffer, const QDateTime &start)
{
    QByteArray csv = QByteArrayLiteral("time,elapsed_s,position_um") + CsvFormat::rowEnd;
    for (int i = 0; i < buffer.size(); ++i) {
        const PositionSample &sample = buffer.at(i);
        csv += CsvFormat::isoTime(start.addMSecs(sample.ms));
        csv += ',';
        csv += CsvFormat::seconds(sample.ms);
        csv += ',';
        csv += QByteArray::number(sample.micrometres, 'g', 12);
        csv += CsvFormat::rowEnd;
    }
    return csv;
}
