// lumarvethon-bench: measures the panel against its speed and memory targets, prints the
// table and writes it to docs/performance.md. Not a test: it reports figures, it does not
// fail on them.

#include "benchpanel.h"
#include "controllerthread.h"
#include "measurements.h"

#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

namespace {

void usage()
{
    std::printf(
        "usage: lumarvethon-bench [--quick] [--output FILE] [--idle-seconds N]\n"
        "                         [--line-rate-seconds N] [--line-rate LINES_PER_S]\n"
        "                         [--startup-runs N]\n"
        "                         [--only FIGURE] [--raw FILE] [--before FILE]\n"
        "FIGURE is one of throughput, latency, idle, memory, linerate, xvfb, plot, reconnect,\n"
        "startup, positions (for profiling; the file is then not written).\n"
        "Measures the panel through a real pseudo-terminal and writes the table to\n"
        "FILE (default: %s).\n"
        "--raw FILE saves the figures for a later run's --before FILE, which shows\n"
        "them beside its own (tools/bench --before REV does both).\n",
        LUMARVETHON_PERFORMANCE_FILE);
}

} // namespace

int main(int argc, char *argv[])
{
    const qint64 mainNs = monotonicNs();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The panels measured remember their window's place: not in the user's configuration.
    // The start-up probes inherit the directory.
    QTemporaryDir configuration;
    if (qEnvironmentVariableIsEmpty("LUMARVETHON_BENCH_CONFIG")) {
        qputenv("LUMARVETHON_BENCH_CONFIG", "1");
        qputenv("XDG_CONFIG_HOME", configuration.path().toUtf8());
    }

    if (argc == 3 && std::strcmp(argv[1], "--startup-probe") == 0) {
        const qint64 spawnNs = QByteArray(argv[2]).toLongLong();
        int probeArgc = 1;
        return runStartupProbe(probeArgc, argv, spawnNs, mainNs);
    }

    BenchOptions options;
    options.sourceDir = QStringLiteral(LUMARVETHON_SOURCE_DIR);
    QString output = QStringLiteral(LUMARVETHON_PERFORMANCE_FILE);
    QByteArray only;
    QString raw;
    QString beforeFile;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--quick") {
            options.throughputLines = 20000;
            options.latencySamples = 100;
            options.idleSeconds = 5;
            options.lineRateSeconds = 5;
            options.memoryLines = 100000;
            options.memoryConsoleLines = 10000;
            options.startupRuns = 3;
        } else if (arg == "--output" && hasValue) {
            output = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--idle-seconds" && hasValue) {
            options.idleSeconds = qMax(1, QByteArray(argv[++i]).toInt());
        } else if (arg == "--line-rate-seconds" && hasValue) {
            options.lineRateSeconds = qMax(1, QByteArray(argv[++i]).toInt());
        } else if (arg == "--line-rate" && hasValue) {
            options.lineRate = qBound(1.0, QByteArray(argv[++i]).toDouble(), 100000.0);
        } else if (arg == "--raw" && hasValue) {
            raw = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--before" && hasValue) {
            beforeFile = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--only" && hasValue) {
            only = argv[++i];
        } else if (arg == "--startup-runs" && hasValue) {
            options.startupRuns = qMax(1, QByteArray(argv[++i]).toInt());
        } else {
            usage();
            return arg == "--help" ? 0 : 2;
        }
    }

    const QString loadBefore = loadAverage();
    QApplication app(argc, argv);
    const auto wanted = [&only](const char *figure) {
        const bool yes = only.isEmpty() || only == figure;
        if (yes) {
            std::printf("measuring %s...\n", figure);
            std::fflush(stdout);
        }
        return yes;
    };
    QVector<Figure> figures;
    if (only != "startup" && only != "positions" && only != "xvfb") {
        BenchPanel panel;
        QString error;
        if (!panel.connectPanel(&error)) {
            std::fprintf(stderr, "lumarvethon-bench: %s\n", qPrintable(error));
            return 1;
        }
        if (wanted("throughput"))
            figures += measureThroughput(panel, options);
        if (wanted("latency"))
            figures << measureLatency(panel, options);
        if (wanted("idle"))
            figures << measureIdleCpu(panel, options);
        if (wanted("memory"))
            figures << measureMemory(panel, options);
        if (wanted("linerate"))
            figures += measureLineRate(panel, options);
        if (wanted("reconnect"))
            figures << measureReconnection(panel, options);
    }
    // The offscreen rows above are the panel's own cost; a desktop adds the X server's share.
    if (only.isEmpty() || only == "xvfb") {
        std::printf("measuring linerate under Xvfb...\n");
        std::fflush(stdout);
        figures += measureLineRateUnderXvfb(QCoreApplication::applicationFilePath(), options);
    }
    if (wanted("plot"))
        figures << measurePlotTargets(options);
    if (wanted("positions"))
        figures << measurePositionStorage();
    if (wanted("startup"))
        figures << measureStartup(QCoreApplication::applicationFilePath(), options);

    const QString machine = machineDescription(loadBefore, loadAverage());
    QVector<Figure> before;
    if (!beforeFile.isEmpty() && !readFigures(beforeFile, &before)) {
        std::fprintf(stderr, "lumarvethon-bench: cannot read %s\n", qPrintable(beforeFile));
        return 1;
    }
    if (!raw.isEmpty() && !writeFigures(raw, figures)) {
        std::fprintf(stderr, "lumarvethon-bench: cannot write %s\n", qPrintable(raw));
        return 1;
    }
    const QString table = formatTable(figures, before);
    std::printf("\n%s\n\n%s\n", qPrintable(machine), qPrintable(table));
    if (!only.isEmpty())
        return 0;
    if (!writeReport(output, machine, table)) {
        std::fprintf(stderr, "lumarvethon-bench: cannot write %s\n", qPrintable(output));
        return 1;
    }
    std::printf("\nwritten to %s\n", qPrintable(output));
    return 0;
}
