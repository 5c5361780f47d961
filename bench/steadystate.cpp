// The panel left running: CPU time while it idles on the poll, and resident memory after
// a long stream of replies and console lines.

#include "benchpanel.h"
#include "mainwindow.h"
#include "measurements.h"

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstdio>
#include <sys/resource.h>

static qint64 usageNs(int who, qint64 *systemNs = nullptr)
{
    rusage usage {};
    if (getrusage(who, &usage) != 0)
        return -1;
    const auto ns
        = [](const timeval &t) { return qint64(t.tv_sec) * 1000000000 + t.tv_usec * 1000; };
    if (systemNs)
        *systemNs = ns(usage.ru_stime);
    return ns(usage.ru_utime) + ns(usage.ru_stime);
}

qint64 threadCpuNs(qint64 *systemNs)
{
    return usageNs(RUSAGE_THREAD, systemNs);
}

qint64 processCpuNs()
{
    return usageNs(RUSAGE_SELF);
}

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

static Figure idleCpu(BenchPanel &panel, int seconds, bool creeping, bool homed)
{
    Figure figure;
    if (creeping)
        figure.name = QStringLiteral("CPU while polling, read-out changing on every poll");
    else if (homed)
        figure.name = QStringLiteral("CPU while connected, homed and idle");
    else
        figure.name = QStringLiteral("CPU while connected and idle, polling every 150 ms");
    figure.target = QStringLiteral("< 0.2 % of one core (< 120 ms per minute)");

    panel.controller().setAnswerPolls(true, creeping);
    BenchPanel::runFor(1000); // the answers are flowing, the window has settled

    const qint64 polls0 = panel.controller().pollsAnswered();
    const qint64 thread0 = threadCpuNs();
    const qint64 process0 = processCpuNs();
    const qint64 wall0 = monotonicNs();
    BenchPanel::runFor(seconds * 1000);
    const qint64 wall = monotonicNs() - wall0;
    const qint64 thread = threadCpuNs() - thread0;
    const qint64 process = processCpuNs() - process0;
    const qint64 polls = panel.controller().pollsAnswered() - polls0;
    panel.controller().setAnswerPolls(false);

    const double share = 100.0 * double(thread) / double(wall);
    const double perMinuteMs = double(thread) / 1e6 * 60e9 / double(wall);
    figure.value = QStringLiteral("%1 ms per minute (%2 % of one core)")
                       .arg(perMinuteMs, 0, 'f', 1)
                       .arg(share, 0, 'f', 3);
    figure.pass = share < 0.2;
    figure.detail = QStringLiteral("GUI thread over %1 s, %2 polls answered (%3 \u00b5s each)%4; "
                                   "whole process incl. the controller end %5 %")
                        .arg(double(wall) / 1e9, 0, 'f', 1)
                        .arg(polls)
                        .arg(polls ? double(thread) / 1000.0 / double(polls) : 0.0, 0, 'f', 0)
                        .arg(creeping ? QStringLiteral(", each with a new position")
                                      : QStringLiteral(", the stage at rest"))
                        .arg(100.0 * double(process) / double(wall), 0, 'f', 3);
    return figure;
}

QVector<Figure> measureIdleCpu(BenchPanel &panel, const BenchOptions &options)
{
    QVector<Figure> figures { idleCpu(panel, options.idleSeconds, false, false),
                              idleCpu(panel, options.idleSeconds, true, false) };
    // Once homed, the poll tick no longer re-colours the home button.
    auto *home = panel.window()->findChild<QPushButton *>(QStringLiteral("pushButton_home"));
    if (home && home->isEnabled()) {
        home->click();
        figures << idleCpu(panel, options.idleSeconds, false, true);
    }
    return figures;
}

namespace {

// Every eleventh line is a pass-through line that the console shows, the others are
// position lines; the last line of a phase is a position line with a value of its own.
QByteArray mixedLine(qint64 i, qint64 count, int phase)
{
    char text[40];
    int n;
    if (i == count - 1)
        n = std::snprintf(text, sizeof text, "_cp 700%d.0 um\r", phase);
    else if (i % 11 == 10)
        n = std::snprintf(text, sizeof text, "ok %07lld\r", static_cast<long long>(i));
    else
        n = std::snprintf(text, sizeof text, "_cp %04lld.%lld um\r",
                          static_cast<long long>((i % 65000) / 10), static_cast<long long>(i % 10));
    return QByteArray(text, n);
}

bool streamPhase(BenchPanel &panel, qint64 lines, int phase)
{
    const QString sentinel = QStringLiteral("700%1.0 \u00b5m").arg(phase);
    panel.controller().startStream(lines,
                                   [lines, phase](qint64 i) { return mixedLine(i, lines, phase); });
    QLabel *label = panel.positionLabel();
    const bool shown = BenchPanel::runUntil([&] { return label->text() == sentinel; }, 600000);
    BenchPanel::runUntil([&] { return !panel.controller().streaming(); }, 5000);
    BenchPanel::runFor(200); // the repaints and deferred deletions of the phase
    return shown;
}

} // namespace

Figure measureMemory(BenchPanel &panel, const BenchOptions &options)
{
    Figure figure;
    figure.name = QStringLiteral("Resident memory growth after warm-up");
    figure.target = QStringLiteral("< 1 MiB (flat)");

    // The operator has the console open, so its lines are laid out and painted too.
    auto *consoleButton
        = panel.window()->findChild<QPushButton *>(QStringLiteral("pushButton_Console"));
    if (consoleButton)
        consoleButton->click();
    panel.controller().setAnswerPolls(false);

    // Eleven lines in a group: ten position lines and one console line.
    const qint64 total = options.memoryLines + options.memoryConsoleLines;
    const qint64 warmUp = total / 10;
    const qint64 before = residentKiB();
    const bool warm = streamPhase(panel, warmUp, 1);
    const qint64 afterWarmUp = residentKiB();
    const bool rest = streamPhase(panel, total - warmUp, 2);
    const qint64 after = residentKiB();
    if (consoleButton)
        consoleButton->click();

    if (!warm || !rest) {
        figure.value = QStringLiteral("not finished");
        figure.detail = QStringLiteral("the label did not show the end of a phase");
        return figure;
    }
    const qint64 growth = after - afterWarmUp;
    figure.value
        = QStringLiteral("%1 KiB (%2 \u2192 %3 KiB)").arg(growth).arg(afterWarmUp).arg(after);
    figure.pass = growth < 1024;
    const auto *console = panel.window()->findChild<QPlainTextEdit *>();
    figure.detail = QStringLiteral("%1 position + %2 console lines in all, warm-up %3 lines; "
                                   "%4 KiB before the warm-up; console holds %5 blocks")
                        .arg(options.memoryLines)
                        .arg(options.memoryConsoleLines)
                        .arg(warmUp)
                        .arg(before)
                        .arg(console ? console->document()->blockCount() : -1);
    return figure;
}
