#ifndef MEASUREMENTS_H
#define MEASUREMENTS_H

// The panel's figures, each measured through the real pseudo-terminal and the real
// QSerialPort, and the table they are reported in.

#include <QByteArray>
#include <QString>
#include <QVector>

class BenchPanel;

// One row of the table.
struct Figure
{
    QString name;
    QString value; // the measured figure as text
    QString target; // the target as text
    bool pass = false;
    QString detail; // what else was seen (sample counts, side figures)
};

// The serial line's own limit: 115200 baud, 10 bits per byte, 14-byte position lines.
constexpr double lineRateLinesPerSecond = 115200.0 / 10.0 / 14.0;

struct BenchOptions
{
    qint64 throughputLines = 200000;
    int latencySamples = 600;
    int idleSeconds = 30;
    int lineRateSeconds = 30;
    double lineRate = lineRateLinesPerSecond; // lower only for profiling under valgrind
    qint64 memoryLines = 1000000; // received position lines
    qint64 memoryConsoleLines = 100000; // of which shown in the console, on top
    int startupRuns = 10;
    int reconnectTries = 1000;
    QString sourceDir; // the working directory of the start-up runs (the window's icon)
};

// Measurements over one connected panel, in this order.
// Throughput, and the CPU that the flood of lines cost.
QVector<Figure> measureThroughput(BenchPanel &panel, const BenchOptions &options);
QVector<Figure> measureLatency(BenchPanel &panel, const BenchOptions &options);
// Idle with the stage at rest, with a read-out that changes on every poll, and at rest
// once homed.
QVector<Figure> measureIdleCpu(BenchPanel &panel, const BenchOptions &options);
Figure measureMemory(BenchPanel &panel, const BenchOptions &options);
// Lines one by one at the serial line's rate: console hidden, console shown, plot open.
QVector<Figure> measureLineRate(BenchPanel &panel, const BenchOptions &options);

// Position line "_cp dddd.d um\r" for a value in tenths, and the label text it shows.
QByteArray benchPositionLine(qint64 tenths);
QString benchLabelText(qint64 tenths);

// The position plot with a script's 1,000 moves a second laid down on its own clock: the
// memory of 10 minutes of them, the longest redraw of that range, and the growth once an hour
// is held (a plot without a clock of its own: n/a).
Figure measurePlotTargets(const BenchOptions &options);

// The named positions' storage with 1,000 of them: one save, the whole list, the longest write.
Figure measurePositionStorage();

// Automatic reconnection's tries after the controller has hung up (ends the connection).
Figure measureReconnection(BenchPanel &panel, const BenchOptions &options);

// The line-rate figures again in this program started under xvfb-run on Qt's xcb platform.
QVector<Figure> measureLineRateUnderXvfb(const QString &program, const BenchOptions &options);

// Start-up in fresh processes: this program re-executed with the probe flag.
Figure measureStartup(const QString &program, const BenchOptions &options);
// The probe itself: builds the application and the window, shows it, prints the time since
// spawnNs (steady clock, taken by the parent just before it started this process) and since
// entering main, and returns the exit code.
int runStartupProbe(int &argc, char **argv, qint64 spawnNs, qint64 mainNs);

// Resident set of this process in KiB (VmRSS), or -1.
qint64 residentKiB();
// CPU time (user + system) of the calling thread and of the whole process, in ns; the
// thread's system time alone in systemNs.
qint64 threadCpuNs(qint64 *systemNs = nullptr);
qint64 processCpuNs();

// The machine, the table, and the file.
QString machineDescription(const QString &loadBefore, const QString &loadAfter);
QString loadAverage();
// With figures from an earlier run (before), a column for them beside this run's.
QString formatTable(const QVector<Figure> &figures, const QVector<Figure> &before = {});
// The figures as tab-separated lines, for a later run's table.
bool writeFigures(const QString &path, const QVector<Figure> &figures);
bool readFigures(const QString &path, QVector<Figure> *figures);
bool writeReport(const QString &path, const QString &machine, const QString &table);

#endif // MEASUREMENTS_H
