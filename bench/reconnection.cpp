// Automatic reconnection while the lost device stays away: the cost of the panel's tries,
// which run once a second for as long as nobody brings it back.

#include "benchpanel.h"
#include "mainwindow.h"
#include "measurements.h"

#include <QAction>
#include <QSerialPort>

// A panel built from an older revision (tools/bench --before) may have its reconnection tries
// elsewhere; it gives no figure then.
#if __has_include("linksupervisor.h")
#include "linksupervisor.h"
#define LUMARVETHON_HAS_LINK_SUPERVISOR 1
#endif

Figure measureReconnection(BenchPanel &panel, const BenchOptions &options)
{
    Figure figure;
    figure.name = QStringLiteral("Reconnection tries while the lost device stays away");
    figure.target
        = QStringLiteral("< 1 % of one core at one try a second (1,000 tries < 10 CPU s)");
#ifndef LUMARVETHON_HAS_LINK_SUPERVISOR
    Q_UNUSED(panel);
    Q_UNUSED(options);
    figure.value = QStringLiteral("not measured");
    figure.detail = QStringLiteral("this panel has no LinkSupervisor");
    return figure;
#else

    // The controller hangs up; the panel lets the port go and tries it again every second.
    panel.window()->findChild<QAction *>(QStringLiteral("actionReconnect"))->setChecked(true);
    panel.controller().hangUp();
    if (!BenchPanel::runUntil([&] { return !panel.port()->isOpen(); }, 5000)) {
        figure.value = QStringLiteral("not measured");
        figure.detail = QStringLiteral("the panel did not notice the hang-up");
        return figure;
    }
    BenchPanel::runFor(100);

    const int tries = options.reconnectTries;
    LinkSupervisor *link = panel.window()->findChild<LinkSupervisor *>();
    const qint64 cpu0 = threadCpuNs();
    for (int i = 0; i < tries; ++i)
        link->tryReconnect();
    const qint64 cpu = threadCpuNs() - cpu0;
    const double perTryUs = double(cpu) / 1000.0 / tries;
    // At one try a second, a try's CPU time in seconds is the share of a core.
    const double share = perTryUs / 1e6 * 100.0;
    figure.value = QStringLiteral("%1 \u00b5s per try (%2 % of one core)")
                       .arg(perTryUs, 0, 'f', 1)
                       .arg(share, 0, 'f', 4);
    figure.pass = share < 1.0;
    figure.detail = QStringLiteral("%1 tries of the panel's own, the port's path gone (the "
                                   "terminal hung up), no serial port listed under it; %2 "
                                   "CPU s in all")
                        .arg(tries)
                        .arg(double(cpu) / 1e9, 0, 'f', 3);
    return figure;
#endif
}
