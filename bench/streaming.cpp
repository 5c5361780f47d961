// Reply throughput and reply-to-label latency: position lines written on the controller
// side, seen in the position label of the window.

#include "benchpanel.h"
#include "measurements.h"
#include "paintwatch.h"

#include <QLabel>

#include <algorithm>
#include <cstdio>
#include <functional>

// "_cp dddd.d um\r", 14 bytes like a real reply; consecutive lines always differ.
QByteArray benchPositionLine(qint64 tenths)
{
    char text[32];
    const int n
        = std::snprintf(text, sizeof text, "_cp %04lld.%lld um\r",
                        static_cast<long long>(tenths / 10), static_cast<long long>(tenths % 10));
    return QByteArray(text, n);
}

QString benchLabelText(qint64 tenths)
{
    const QByteArray line = benchPositionLine(tenths);
    return QString::fromLatin1(line.mid(4, line.size() - 8)) + QStringLiteral(" \u00b5m");
}

namespace {

QString micros(qint64 ns)
{
    return QString::number(double(ns) / 1000.0, 'f', 1) + QStringLiteral(" \u00b5s");
}

qint64 percentile(QVector<qint64> values, double p)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    const int index = std::min(int(values.size()) - 1, int(p * double(values.size())));
    return values.at(index);
}

} // namespace

QVector<Figure> measureThroughput(BenchPanel &panel, const BenchOptions &options)
{
    Figure figure;
    figure.name = QStringLiteral("Reply throughput (position lines shown per second)");
    const double target = 100.0 * lineRateLinesPerSecond;
    figure.target = QStringLiteral("\u2265 %1 lines/s (100 \u00d7 line rate of %2 lines/s)")
                        .arg(target, 0, 'f', 0)
                        .arg(lineRateLinesPerSecond, 0, 'f', 0);

    // The last line carries a value that no earlier line has (tenths 0 to 64999 before it).
    const qint64 count = options.throughputLines;
    const qint64 last = 65000;
    const QString lastText = benchLabelText(last);
    qint64 doneNs = 0;
    QLabel *label = panel.positionLabel();
    panel.setAfterRead([&] {
        if (!doneNs && label->text() == lastText)
            doneNs = monotonicNs();
    });
    panel.controller().setAnswerPolls(false);

    const qint64 cpuStart = threadCpuNs();
    const qint64 start = monotonicNs();
    panel.controller().startStream(count, [count, last](qint64 i) {
        return benchPositionLine(i == count - 1 ? last : i % 65000);
    });
    // Also looked at after every batch of events, since the window may set it from a timer.
    const bool done = BenchPanel::runUntil(
        [&] {
            if (!doneNs && label->text() == lastText)
                doneNs = monotonicNs();
            return doneNs != 0;
        },
        300000);
    const qint64 cpu = threadCpuNs() - cpuStart;
    panel.setAfterRead(nullptr);
    BenchPanel::runUntil([&] { return !panel.controller().streaming(); }, 5000);

    Figure flood;
    flood.name = QStringLiteral("CPU for a flood of replies (GUI thread, per 100,000 lines)");
    flood.target = QStringLiteral("\u2264 0.05 CPU s per 100,000 lines");
    if (!done) {
        figure.value = flood.value = QStringLiteral("not finished");
        figure.detail = flood.detail
            = QStringLiteral("the label did not show the last line within 300 s");
        return { figure, flood };
    }
    const double seconds = double(doneNs - start) / 1e9;
    const double rate = double(count) / seconds;
    figure.value = QStringLiteral("%1 lines/s (%2 \u00d7 line rate)")
                       .arg(rate, 0, 'f', 0)
                       .arg(rate / lineRateLinesPerSecond, 0, 'f', 0);
    figure.pass = rate >= target;
    figure.detail = QStringLiteral("%1 lines of 14 bytes in %2 s; GUI thread CPU %3 per line")
                        .arg(count)
                        .arg(seconds, 0, 'f', 2)
                        .arg(micros(cpu / count));
    const double per100k = double(cpu) / 1e9 * 100000.0 / double(count);
    flood.value = QStringLiteral("%1 CPU s").arg(per100k, 0, 'f', 3);
    flood.pass = per100k <= 0.05;
    flood.detail = QStringLiteral("the throughput run: %1 lines written as fast as the terminal "
                                  "takes them, GUI thread CPU from the first write to the "
                                  "last line shown")
                       .arg(count);
    return { figure, flood };
}

QVector<Figure> measureLatency(BenchPanel &panel, const BenchOptions &options)
{
    QLabel *label = panel.positionLabel();
    QString expected;
    qint64 textNs = 0;
    qint64 paintNs = 0;
    panel.setAfterRead([&] {
        if (!textNs && label->text() == expected)
            textNs = monotonicNs();
    });
    PaintWatch watch(label, [&] {
        if (textNs && !paintNs)
            paintNs = monotonicNs();
    });
    panel.controller().setAnswerPolls(false);

    QVector<qint64> toText;
    QVector<qint64> toPaint;
    int lost = 0;
    for (int i = 0; i < options.latencySamples; ++i) {
        const qint64 tenths = (qint64(i) * 7919) % 65000;
        expected = benchLabelText(tenths);
        if (label->text() == expected)
            continue;
        textNs = paintNs = 0;
        panel.controller().writeStamped(benchPositionLine(tenths));
        // The text is looked at after every readyRead and after every batch of events, since
        // the window may set it from a timer.
        const bool seen = BenchPanel::runUntil(
            [&] {
                if (!textNs && label->text() == expected)
                    textNs = monotonicNs();
                return textNs && (paintNs || monotonicNs() - textNs > 50000000);
            },
            1000);
        if (!seen) {
            ++lost;
            continue;
        }
        const qint64 written = panel.controller().lastWriteNs();
        toText.append(textNs - written);
        if (paintNs)
            toPaint.append(paintNs - written);
        // A varying pause, so that the samples do not lock onto the poll's phase, and long
        // enough that each reply comes alone, as the poll's do, not as part of a stream.
        BenchPanel::runFor(70 + i % 7);
    }
    panel.setAfterRead(nullptr);

    Figure text;
    text.name = QStringLiteral("Latency of a lone reply, written \u2192 label text set");
    text.target = QStringLiteral("p99 \u2264 20 ms");
    const qint64 p99 = percentile(toText, 0.99);
    text.value
        = QStringLiteral("median %1, p99 %2").arg(micros(percentile(toText, 0.5)), micros(p99));
    text.pass = !toText.isEmpty() && p99 <= 20000000;
    text.detail = QStringLiteral("%1 samples, %2 lost, max %3")
                      .arg(toText.size())
                      .arg(lost)
                      .arg(micros(percentile(toText, 1.0)));

    Figure paint;
    paint.name = QStringLiteral("Latency of a lone reply, written \u2192 label repainted");
    paint.target = QStringLiteral("p99 \u2264 20 ms");
    const qint64 paintP99 = percentile(toPaint, 0.99);
    paint.value = QStringLiteral("median %1, p99 %2")
                      .arg(micros(percentile(toPaint, 0.5)), micros(paintP99));
    paint.pass = !toPaint.isEmpty() && paintP99 <= 20000000;
    paint.detail = QStringLiteral("%1 samples with a paint, max %2")
                       .arg(toPaint.size())
                       .arg(micros(percentile(toPaint, 1.0)));
    return { text, paint };
}
