// The read-out at the serial line's own rate: position lines arriving one by one, as fast
// as 115200 baud carries them, for as long as a device streams its position; the GUI
// thread's share of a core while the panel shows them, with the console hidden, with it
// shown, and with the position plot open.

#include "benchpanel.h"
#include "mainwindow.h"
#include "measurements.h"
#include "paintwatch.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QWidget>

#include <algorithm>

namespace {

enum class Variant { ConsoleHidden, ConsoleShown, PlotOpen };

QString variantName(Variant variant)
{
    switch (variant) {
    case Variant::ConsoleShown:
        return QStringLiteral("console shown");
    case Variant::PlotOpen:
        return QStringLiteral("position plot open");
    default:
        return QStringLiteral("console hidden");
    }
}

struct Share
{
    // Each value's latency, from its write to the first paint of the label that shows it or
    // a newer one, in ns: the 99th percentile, and the largest over the first 200 ms.
    qint64 latencyP99 = -1;
    qint64 latencyFirst200 = -1;
    qint64 latencyMax = -1;
    double thread = -1.0; // per cent of one core
    double process = -1.0;
    double system = 0.0; // the thread's time in the kernel
    qint64 lines = 0;
    double seconds = 0.0;
    int paints = 0;
    int reads = 0;
};

// Streams lines at the line rate and measures from the first write to the label showing
// the last line.
Share stream(BenchPanel &panel, int seconds, double rate)
{
    const qint64 count = qint64(seconds * rate);
    // The last line carries a value that no earlier line of this run has (tenths 0 to 64999
    // before it) and that no other run ended with.
    static qint64 runs = 0;
    const qint64 last = 65001 + runs++ % 9;
    const QString lastText = benchLabelText(last);
    QLabel *label = panel.positionLabel();
    int paints = 0;
    // Which line each paint showed, and when.
    QVector<QPair<qint64, qint64>> painted;
    painted.reserve(int(count) + 16);
    QVector<int> indexOfTenths(65010, -1);
    for (qint64 i = 0; i + 1 < count; ++i)
        indexOfTenths[int((i * 7) % 65000)] = int(i);
    indexOfTenths[int(last)] = int(count - 1);
    PaintWatch watch(label, [&] {
        ++paints;
        const double value = label->text().section(QLatin1Char(' '), 0, 0).toDouble();
        const int tenths = int(qRound(value * 10.0));
        if (tenths >= 0 && tenths < indexOfTenths.size() && indexOfTenths[tenths] >= 0)
            painted.append({ monotonicNs(), indexOfTenths[tenths] });
    });
    int reads = 0;
    panel.setAfterRead([&reads] { ++reads; });
    panel.controller().setAnswerPolls(false);

    Share share;
    qint64 system0 = 0;
    const qint64 thread0 = threadCpuNs(&system0);
    const qint64 process0 = processCpuNs();
    const qint64 wall0 = monotonicNs();
    panel.controller().startPaced(count, rate, [count, last](qint64 i) {
        return benchPositionLine(i == count - 1 ? last : (i * 7) % 65000);
    });
    // The event loop runs undisturbed for the stream's length (runUntil's own wake-up tick
    // would add a hundred wake-ups a second to the figure), and then until the last line shows.
    BenchPanel::runFor(int(double(count) / rate * 1000.0));
    const bool shown = BenchPanel::runUntil([&] { return label->text() == lastText; }, 10000);
    const qint64 wall = monotonicNs() - wall0;
    qint64 system = 0;
    const qint64 thread = threadCpuNs(&system) - thread0;
    system -= system0;
    const qint64 process = processCpuNs() - process0;
    panel.setAfterRead(nullptr);
    BenchPanel::runUntil([&] { return !panel.controller().streaming(); }, 5000);
    BenchPanel::runFor(100);
    if (!shown)
        return share;
    share.thread = 100.0 * double(thread) / double(wall);
    share.system = 100.0 * double(system) / double(wall);
    share.process = 100.0 * double(process) / double(wall);
    share.lines = count;
    share.seconds = double(wall) / 1e9;
    share.paints = paints;
    share.reads = reads;

    // A line counts as shown with the first paint of it or of any later line.
    const QVector<qint64> &written = panel.controller().pacedWriteTimes();
    QVector<qint64> latencies;
    qint64 first200 = 0;
    int next = 0;
    for (int i = 0; i < written.size() && written[i] > 0; ++i) {
        while (next < painted.size() && painted[next].second < i)
            ++next;
        if (next == painted.size())
            break;
        const qint64 latency = painted[next].first - written[i];
        latencies.append(latency);
        if (written[i] - written[0] < 200000000)
            first200 = qMax(first200, latency);
    }
    if (!latencies.isEmpty()) {
        std::sort(latencies.begin(), latencies.end());
        share.latencyP99 = latencies.at(qMin(latencies.size() - 1, int(0.99 * latencies.size())));
        share.latencyMax = latencies.last();
        share.latencyFirst200 = first200;
    }
    return share;
}

QString ms(qint64 ns)
{
    return QString::number(double(ns) / 1e6, 'f', 1) + QStringLiteral(" ms");
}

Figure streamLatency(const BenchOptions &options, const Share &share)
{
    Figure figure;
    figure.name = QStringLiteral("Latency in a stream at the line rate (%1 position lines/s), "
                                 "each value written \u2192 painted")
                      .arg(options.lineRate, 0, 'f', 0);
    figure.target = QStringLiteral("\u2264 40 ms from the stream's first line on (p99 and the "
                                   "largest over the first 200 ms)");
    if (share.latencyP99 < 0) {
        figure.value = QStringLiteral("not measured");
        return figure;
    }
    figure.value = QStringLiteral("p99 %1, largest over the first 200 ms %2")
                       .arg(ms(share.latencyP99), ms(share.latencyFirst200));
    figure.pass = share.latencyP99 <= 40000000 && share.latencyFirst200 <= 40000000;
    figure.detail = QStringLiteral("the console-hidden run: %1 lines, largest %2")
                        .arg(share.lines)
                        .arg(ms(share.latencyMax));
    return figure;
}

Figure lineRate(BenchPanel &panel, const BenchOptions &options, Variant variant, double hiddenShare,
                Figure *latency = nullptr)
{
    Figure figure;
    figure.name = QStringLiteral("CPU at the line rate (%1 position lines/s), %2")
                      .arg(options.lineRate, 0, 'f', 0)
                      .arg(variantName(variant));
    switch (variant) {
    case Variant::ConsoleHidden:
        figure.target = QStringLiteral("\u2264 2 % of one core");
        break;
    case Variant::ConsoleShown:
        figure.target = QStringLiteral("\u2264 4 % of one core");
        break;
    case Variant::PlotOpen:
        figure.target = QStringLiteral("\u2264 2 % of one core more than with the console hidden");
        break;
    }

    QPushButton *consoleButton = nullptr;
    QAction *plot = nullptr;
    QSet<QWidget *> shownBefore;
    if (variant == Variant::ConsoleShown) {
        consoleButton
            = panel.window()->findChild<QPushButton *>(QStringLiteral("pushButton_Console"));
        if (consoleButton)
            consoleButton->click();
    } else if (variant == Variant::PlotOpen) {
        plot = panel.window()->findChild<QAction *>(QStringLiteral("actionPositionPlot"));
        if (!plot) {
            figure.value = QStringLiteral("n/a");
            figure.detail = QStringLiteral("this build has no position plot");
            return figure;
        }
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->isVisible())
                shownBefore.insert(w);
        }
        plot->trigger();
    }
    BenchPanel::runFor(300); // the pane or the plot laid out and painted

    const Share share = stream(panel, options.lineRateSeconds, options.lineRate);
    if (latency)
        *latency = streamLatency(options, share);

    if (consoleButton)
        consoleButton->click();
    if (plot) {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->isVisible() && !shownBefore.contains(w))
                w->close();
        }
    }
    BenchPanel::runFor(100);

    if (share.thread < 0) {
        figure.value = QStringLiteral("not finished");
        figure.detail = QStringLiteral("the label did not show the last line in time");
        return figure;
    }
    figure.value = QStringLiteral("%1 % of one core").arg(share.thread, 0, 'f', 2);
    figure.detail = QStringLiteral("GUI thread over %1 s (%2 % in the kernel), ")
                        .arg(share.seconds, 0, 'f', 1)
                        .arg(share.system, 0, 'f', 2);
    const double limit = variant == Variant::ConsoleHidden ? 2.0
        : variant == Variant::ConsoleShown                 ? 4.0
                                                           : hiddenShare + 2.0;
    figure.pass = share.thread <= limit;
    figure.detail
        += QStringLiteral("%1 lines written one by one as they fall due, taken in "
                          "%2 reads (%3 \u00b5s of CPU per line); %4 paints of the "
                          "position label (%5 per second); whole process incl. the "
                          "controller end %6 %")
               .arg(share.lines)
               .arg(share.reads)
               .arg(share.thread / 100.0 * share.seconds * 1e6 / double(share.lines), 0, 'f', 1)
               .arg(share.paints)
               .arg(double(share.paints) / share.seconds, 0, 'f', 0)
               .arg(share.process, 0, 'f', 2);
    return figure;
}

} // namespace

QVector<Figure> measureLineRate(BenchPanel &panel, const BenchOptions &options)
{
    Figure latency;
    const Figure hidden = lineRate(panel, options, Variant::ConsoleHidden, 0.0, &latency);
    const double hiddenShare = hidden.value.section(QLatin1Char(' '), 0, 0).toDouble();
    return { latency, hidden, lineRate(panel, options, Variant::ConsoleShown, 0.0),
             lineRate(panel, options, Variant::PlotOpen, hiddenShare) };
}
