// The named positions' storage at the largest list an instance keeps: the cost of saving one
// position with 10 and with 1,000 in the list (one entry written), of writing the whole list
// (after a removal, a move or an import), and the longest single write, which is how long the
// event loop stands still for it. Beside them, the list's own whole-list rewrite per save.

#include "measurements.h"

// A panel built from an older revision (tools/bench --before) writes its list another way; it
// gives no figure then.
#if __has_include("settingsfile.h")
#include "panelsettings.h"
#include "positionlist.h"

#include <QElapsedTimer>
#include <QSettings>

#include <algorithm>

namespace {

struct Costs
{
    double meanMs = 0.0;
    double longestMs = 0.0;
};

template<class Write> Costs timed(int runs, Write write)
{
    Costs costs;
    QElapsedTimer clock;
    for (int i = 0; i < runs; ++i) {
        clock.start();
        write(i);
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        costs.meanMs += ms / runs;
        costs.longestMs = std::max(costs.longestMs, ms);
    }
    return costs;
}

QList<PanelSettings::StoredPosition> entries(int count)
{
    QList<PanelSettings::StoredPosition> list;
    for (int i = 0; i < count; ++i)
        list.append({ QStringLiteral("p%1").arg(i, 4, 10, QLatin1Char('0')).leftJustified(64, 'x'),
                      QString::number(i * 1.5) });
    return list;
}

// Saving one position into a list of length count, runs times (the name and value change).
Costs saveOne(PanelSettings &settings, int count, int runs)
{
    settings.writePositions(QStringLiteral("serial"), entries(count));
    return timed(runs, [&](int i) {
        settings.writePosition(count - 1, count, QStringLiteral("serial"),
                               { QStringLiteral("moved"), QString::number(i) });
    });
}

} // namespace

Figure measurePositionStorage()
{
    constexpr int runs = 100;
    Figure figure;
    figure.name = QStringLiteral("Named positions, 1,000: save one, longest stall");
    figure.target = QStringLiteral("save as at 10; < 50 ms");
    PanelSettings settings(QStringLiteral("bench-positions"));
    const Costs short10 = saveOne(settings, 10, runs);
    const Costs long1000 = saveOne(settings, PanelSettings::maxPositions, runs);
    const Costs whole = timed(10, [&](int) {
        settings.writePositions(QStringLiteral("serial"), entries(PanelSettings::maxPositions));
    });
    // The list as the panel keeps it: a save of a name it holds writes that one entry.
    PositionList list(settings.store());
    const QString held
        = list.positions().isEmpty() ? QStringLiteral("moved") : list.positions().constFirst().name;
    const Costs listSave
        = timed(runs, [&](int i) { list.save(held, i, QStringLiteral("serial")); });
    const double stall = std::max({ short10.longestMs, long1000.longestMs, whole.longestMs });
    figure.value = QStringLiteral("%1 ms (at 10: %2 ms), %3 ms")
                       .arg(long1000.meanMs, 0, 'f', 2)
                       .arg(short10.meanMs, 0, 'f', 2)
                       .arg(stall, 0, 'f', 1);
    figure.pass = stall < 50.0;
    figure.detail = QStringLiteral("mean of %1 saves; whole list of 1,000 written in %2 ms "
                                   "(longest %3 ms); PositionList::save of one of %6 entries: "
                                   "%4 ms mean, %5 ms longest")
                        .arg(runs)
                        .arg(whole.meanMs, 0, 'f', 1)
                        .arg(whole.longestMs, 0, 'f', 1)
                        .arg(listSave.meanMs, 0, 'f', 1)
                        .arg(listSave.longestMs, 0, 'f', 1)
                        .arg(list.positions().size());
    return figure;
}

#else

Figure measurePositionStorage()
{
    Figure figure;
    figure.name = QStringLiteral("Named positions, 1,000: save one, longest stall");
    figure.target = QStringLiteral("save as at 10; < 50 ms");
    figure.value = QStringLiteral("not measured");
    figure.detail = QStringLiteral("this panel writes its list another way");
    return figure;
}

#endif
