// The position plot under a script that streams moves: 1,000 targets a second for ten
// minutes, with the poll's positions beside them, laid down on the plot's own clock so that
// minutes take a moment. Reports the resident memory they cost, the longest redraw of the
// last 10 minutes (series and paint), and the growth over ten more minutes once an hour is
// held, which must be none.

#include "measurements.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#if __has_include("levelbuffer.h")
#include "positionplot.h"

#include <QComboBox>
#include <QPixmap>

#include <algorithm>

namespace {

constexpr qint64 minuteMs = 60 * 1000;

// Targets every millisecond, a position every 150 ms, from *now up to untilMs.
void layDown(PositionPlot &plot, qint64 &now, qint64 untilMs)
{
    for (; now < untilMs; ++now) {
        plot.setTarget(double(now * 7919 % 10000) * 0.5);
        if (now % 150 == 0)
            plot.addPosition(double(now % 5000));
    }
}

} // namespace

Figure measurePlotTargets(const BenchOptions &options)
{
    Q_UNUSED(options)
    Figure figure;
    figure.name = QStringLiteral("Plot, 1,000 moves/s for 10 min: memory, redraw");
    figure.target = QStringLiteral("flat, < 20 ms");

    qint64 now = 0;
    PositionPlot plot(nullptr, [&now] { return now; });
    plot.show();
    auto *range = plot.findChild<QComboBox *>(QStringLiteral("plotRange"));
    QCoreApplication::processEvents();
    const qint64 before = residentKiB();
    layDown(plot, now, 10 * minuteMs);
    const qint64 afterTen = residentKiB();

    // The longest of a few redraws of the last 10 minutes, each followed by its paint.
    qint64 longestUs = 0;
    for (int i = 0; i < 5; ++i) {
        range->setCurrentIndex(0);
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        range->setCurrentIndex(1); // redraws at once
        plot.grab();
        longestUs = std::max(longestUs, timer.nsecsElapsed() / 1000);
    }

    layDown(plot, now, 60 * minuteMs);
    const qint64 atHour = residentKiB();
    layDown(plot, now, 70 * minuteMs);
    const qint64 afterHour = residentKiB();

    const qint64 growth = afterTen - before;
    figure.value = QStringLiteral("+%1 KiB, %2 ms").arg(growth).arg(longestUs / 1000.0, 0, 'f', 1);
    figure.pass = longestUs < 20000 && afterHour - atHour < 256 && growth < 2048;
    figure.detail = QStringLiteral("600,000 targets and 4,000 positions in 10 min; minutes 60 "
                                   "to 70 grow it by %1 KiB; %2 targets kept at 70 min")
                        .arg(afterHour - atHour)
                        .arg(plot.targetLevels().size());
    return figure;
}

#else

Figure measurePlotTargets(const BenchOptions &)
{
    Figure figure;
    figure.name = QStringLiteral("Plot, 1,000 moves/s for 10 min: memory, redraw");
    figure.target = QStringLiteral("flat, < 20 ms");
    figure.value = QStringLiteral("n/a");
    figure.detail = QStringLiteral("this build's plot takes no clock of its own");
    return figure;
}

#endif
