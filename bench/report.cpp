// The machine a run was made on, the table of figures, and docs/performance.md.

#include "measurements.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <QThread>
#include <QtGlobal>

#include <sys/utsname.h>

namespace {

QString cpuModel()
{
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (!info.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    for (const QByteArray &line : info.readAll().split('\n')) {
        if (line.startsWith("model name")) {
            const int colon = line.indexOf(':');
            return QString::fromLatin1(line.mid(colon + 1).trimmed());
        }
    }
    return QStringLiteral("unknown");
}

QString kernel()
{
    utsname name {};
    if (uname(&name) != 0)
        return QStringLiteral("unknown");
    return QStringLiteral("%1 %2 %3")
        .arg(QString::fromLatin1(name.sysname), QString::fromLatin1(name.release),
             QString::fromLatin1(name.machine));
}

const char *howToRun = R"(# Performance

The panel's speed and memory figures, measured by `lumarvethon-bench` (sources in `bench/`).
Every figure goes through a real pseudo-terminal and the panel's real `QSerialPort`; the
controller's end of the terminal runs on a thread of its own, and CPU figures are the GUI
thread's alone.

Run it with

    tools/bench

which builds a Release tree in `build/bench` and runs the program (offscreen); the program
prints the table below and rewrites this file. `tools/bench --quick` makes a shorter run
for a smoke check; `build/bench/bench/lumarvethon-bench --help` lists the options. The
figures are only as quiet as the machine: the load average is recorded with them.

What is measured:

1. Throughput: position lines ("_cp dddd.d um\r", 14 bytes) written as fast as the terminal
   takes them, until the position label shows the last one; against the serial line's
   own rate at 115200 baud (10 bits a byte).
2. Latency of a lone reply: one line at a time, from the controller's write to the label's
   text (checked right after the window's readyRead handler and after every batch of
   events), and to the label's next paint. Each line is written 70 to 76 ms after the one
   before was painted, so that it comes alone, as the poll's replies do.
3. CPU while connected: the poll runs every 150 ms and the controller end answers every
   position query, first with the same position (a stage at rest), then with a new one
   each time, then at rest again after homing; getrusage of the GUI thread over the run, scaled to a minute.
4. Memory: VmRSS after a warm-up of a tenth of the stream and after the rest, with the
   console open; every eleventh line is an "ok" line that the console shows.
5. Start-up: this program re-executes itself to build the application object and the main
   window, show it and handle its first paint; from just before the spawn to after that
   paint, median of the runs.
6. CPU at the line rate: position lines written one by one as they fall due, 823 a second
   (the most that 115200 baud carries), for 30 s (5 s with --quick), each line with a new
   value; getrusage (RUSAGE_THREAD) of the GUI thread, which is the whole panel (the
   controller end runs on a thread of its own), from the first line to the label showing
   the last one, as a share of one core. Three runs: the console hidden, the console shown,
   and the position plot open (the action "actionPositionPlot", n/a where the panel has
   none). The details give the reads, the label's paints and the whole process's share.
   In the console-hidden run, each value's latency too: from its write to the first paint
   of the label that shows it or a later value; the 99th percentile, and the largest over
   the stream's first 200 ms, where the read-out's pacing has to find its rhythm.
   These rows are offscreen: paints go to memory only. The rows whose names end in "under
   Xvfb", a real X server, are the same runs in this program started again by xvfb-run on Qt's xcb
   platform, as an operator's desktop renders them: every paint also travels to the X
   server, so they are the higher figures, and the ones to compare with a measurement of
   the panel taken from outside under X (top, pidstat). The panel's own work is the
   offscreen figure; the difference is what the display costs.
7. CPU for a flood: the GUI thread's CPU time in the throughput run, per 100,000 lines.
8. The plot under streamed moves: a position plot whose clock the benchmark sets is given a
   target every millisecond and a position every 150 ms for 10 minutes (600,000 moves, a
   script's 1,000 a second); VmRSS before and after, the longest of five redraws of the
   "Last 10 minutes" range with the paint that follows, and the growth from minute 60 to 70,
   when the plot holds its full hour.
9. Reconnection: the controller end hangs up with Connection > Reconnect automatically on;
   the panel's own try (the one its timer makes every second) is then called 1,000 times
   while the port's path stays gone, and its GUI-thread CPU time per try is the share of a
   core that the trying costs at one try a second.

`tools/bench --before REV` builds the panel as it was at the git revision REV with today's
`bench/` sources (in `build/bench-before`), runs it, then runs today's panel right after it
with the same options, and writes both columns below: one run, one machine, one load.

About the CPU figures: the panel's own work on an idle poll tick (the query written, the
reply cut and interpreted, the identification check) is about 50,000 instructions, some
20 µs, as callgrind counts it. (Re-setting the home button's style sheet on every tick used
to repolish and repaint it, some 660,000 instructions a tick, and grew the toolkit's pixmap
cache; the panel now sets a style sheet only when it changes.) What getrusage shows beyond
that is the kernel's and the event loop's cost of waking up three times a tick (timer, write
notifier, read notifier) and of the terminal's system calls. On the virtual machine these
figures come from, that cost varies from run to run between about 0.17 % and 0.9 % of a
core with nothing else running, so the 0.2 % target is met on some runs and missed on
others. Writing the query at once instead of from the event loop saves one wake-up but did
not move the figure beyond that noise. The row with a changing read-out repaints the
position label on every poll (about 120,000 instructions a paint): the work the panel is
there to do.

Where the time went at the line rate. Callgrind over the stream (GUI thread, one line a
read) counted about 440,000 instructions a line before the change: 42 % re-running the
window's layout, because the position label was as wide as its text, so every new width
was a new size hint (the label's text laid out again for it, the main window's layout
animating its widgets to the same geometry); 27 % the label's paint (shaping the text and
blending its glyphs, about 117,000); 11 % the slider's paint (54,000); 11 % the rest of the
repaint (backing store, backgrounds); under 4 % reading and interpreting the line (16,000);
no style sheet is touched on this path. Beyond the instructions, every line was a read of
its own and so a wake-up of the thread: with the read-out already limited to 60 updates a
second but still one read a line, the thread took 44 µs a line, against 30 µs once the reads
were paced (two runs a minute apart on the busy machine).

What changed before: the parser still sets the position (and the limits) on every line, but the
label, the slider and the limit labels are updated by an UpdateThrottle at most every 15 ms
(at once when the last update is that old, else when the interval is up, always with the
newest value); the label sits in a fixed box wide enough for any position, centred, so a
new text no longer asks for a layout (an over-long text widens the box until a normal one
comes); and a ReadPacer lets the port's read notifier rest 16 ms after a small read that
follows another within 32 ms, so a stream at the line rate is taken in about 60 reads a
second of some 14 lines each. A lone reply (the poll's) is read at once and makes no rest,
and a flood, whose reads are large, is read as fast as it comes. The price is latency:
a line of a stream waits for the port's rest to end, and then perhaps for the read-out. Now each line costs about 4,500 instructions to read and
interpret, and each of the about 60 updates a second about 300,000 to paint the label and
the slider, with no layout. The CPU figures of this virtual machine depend on the load
that others put on it (the same binary gives 1.5 to 3 times the time per instruction on a
busy machine), which is why the before and after columns come from one run.

What changed last (the columns below, the panel at 1db24aa and now): the window was split into
the design and the features beside it (PanelFeatures, Readout), and the features that came
meanwhile take every position reply too: the position plot, made at the first connection and
fed from then on whether it is shown or not, the "Moving"/"At rest" indicator, the watch on
reference runs and the named positions' view of the stage. The plot fed while hidden is the
cost that shows: a flood costs about 0.01 CPU s more per 100,000 lines, and the plot-open run
now opens a plot that already holds what the earlier runs sent instead of an empty one. The
split alone changes nothing measurable: the panel just before it (d0696f2) against now gave
1.85 % and 1.70 % against 2.09 % and 2.00 % of a core at the line rate (console hidden, shown),
start-up 87.9 ms against 89.5 ms and memory flat in both; the same build run twice back to back
gave 2.11 % against 2.20 %, 1.82 % against 2.09 % and 5.17 % against 3.88 % (plot open), which
is the noise of this machine. The idle rows vary as much between runs as between builds.
)";

} // namespace

QString loadAverage()
{
    QFile load(QStringLiteral("/proc/loadavg"));
    if (!load.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    const QList<QByteArray> fields = load.readAll().split(' ');
    return QString::fromLatin1(fields.mid(0, 3).join(' '));
}

QString machineDescription(const QString &loadBefore, const QString &loadAfter)
{
    QStringList lines;
    lines << QStringLiteral("- Date: %1").arg(QDateTime::currentDateTime().toString(Qt::ISODate));
    lines << QStringLiteral("- CPU: %1, %2 cores").arg(cpuModel()).arg(QThread::idealThreadCount());
    lines << QStringLiteral("- Kernel: %1").arg(kernel());
    lines << QStringLiteral("- Qt: %1 (built against %2), build type %3")
                 .arg(QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR),
                      QStringLiteral(LUMARVETHON_BUILD_TYPE));
    lines << QStringLiteral("- Load average (1, 5, 15 min): %1 at the start, %2 at the end")
                 .arg(loadBefore, loadAfter);
    return lines.join('\n');
}

QString formatTable(const QVector<Figure> &figures, const QVector<Figure> &before)
{
    const auto result = [](const Figure &f) {
        if (f.value == QLatin1String("n/a"))
            return f.value;
        return f.pass ? QStringLiteral("PASS") : QStringLiteral("MISS");
    };
    const auto earlier = [&before](const QString &name) {
        for (const Figure &f : before) {
            if (f.name == name)
                return f;
        }
        return Figure { name, QStringLiteral("\u2013"), QString(), false, QString() };
    };
    QStringList lines;
    if (before.isEmpty()) {
        lines << QStringLiteral("| Figure | Measured | Target | Result |");
        lines << QStringLiteral("|---|---|---|---|");
    } else {
        lines << QStringLiteral("| Figure | Before | After | Target | Result before | "
                                "Result after |");
        lines << QStringLiteral("|---|---|---|---|---|---|");
    }
    for (const Figure &f : figures) {
        if (before.isEmpty()) {
            lines << QStringLiteral("| %1 | %2 | %3 | %4 |")
                         .arg(f.name, f.value, f.target, result(f));
        } else {
            const Figure b = earlier(f.name);
            lines << QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 |")
                         .arg(f.name, b.value, f.value, f.target,
                              b.detail.isEmpty() ? QStringLiteral("\u2013") : result(b), result(f));
        }
    }
    lines << QString();
    if (!before.isEmpty())
        lines << QStringLiteral("After:") << QString();
    for (const Figure &f : figures)
        lines << QStringLiteral("- %1: %2").arg(f.name, f.detail);
    if (!before.isEmpty()) {
        lines << QString() << QStringLiteral("Before:") << QString();
        for (const Figure &f : before)
            lines << QStringLiteral("- %1: %2").arg(f.name, f.detail);
    }
    return lines.join('\n');
}

bool writeFigures(const QString &path, const QVector<Figure> &figures)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    for (const Figure &f : figures) {
        const QStringList fields { f.name, f.value, f.target,
                                   f.pass ? QStringLiteral("1") : QStringLiteral("0"), f.detail };
        file.write(fields.join('\t').toUtf8() + '\n');
    }
    return file.commit();
}

bool readFigures(const QString &path, QVector<Figure> *figures)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QStringList fields = QString::fromUtf8(line).split('\t');
        if (fields.size() == 5)
            figures->append(
                { fields[0], fields[1], fields[2], fields[3] == QLatin1String("1"), fields[4] });
    }
    return true;
}

bool writeReport(const QString &path, const QString &machine, const QString &table)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QByteArray text = howToRun;
    text += "## Last run\n\n";
    text += machine.toUtf8() + "\n\n" + table.toUtf8() + "\n";
    file.write(text);
    return file.commit();
}
