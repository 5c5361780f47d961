// lumarvethon-bench: measures the panel against its speed and memory targets, prints the
// table and writes it to docs/performance.md. Not a test: it reports figures, it does not
// fail on them.

#include "benchpanel.h"
#include "controllerthread.h"
#include "measurements.h"

#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>

#include <cstdio>
#include <cstring>

namespace {

void usage()
{
    std::printf("usage: lumarvethon-bench [--quick] [--output FILE] [--idle-seconds N]\n"
                "                         [--startup-runs N] [--only FIGURE]\n"
                "FIGURE is one of throughput, latency, idle, memory, startup (for profiling;\n"
                "the file is then not written).\n"
                "Measures the panel through a real pseudo-terminal and writes the table to\n"
                "FILE (default: %s).\n",
                LUMARVETHON_PERFORMANCE_FILE);
}

} // namespace

int main(int argc, char *argv[])
{
    const qint64 mainNs = monotonicNs();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    if (argc == 3 && std::strcmp(argv[1], "--startup-probe") == 0) {
        const qint64 spawnNs = QByteArray(argv[2]).toLongLong();
        int probeArgc = 1;
        return runStartupProbe(probeArgc, argv, spawnNs, mainNs);
    }

    BenchOptions options;
    options.sourceDir = QStringLiteral(LUMARVETHON_SOURCE_DIR);
    QString output = QStringLiteral(LUMARVETHON_PERFORMANCE_FILE);
    QByteArray only;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--quick") {
            options.throughputLines = 20000;
            options.latencySamples = 200;
            options.idleSeconds = 5;
            options.memoryLines = 100000;
            options.memoryConsoleLines = 10000;
            options.startupRuns = 3;
        } else if (arg == "--output" && hasValue) {
            output = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--idle-seconds" && hasValue) {
            options.idleSeconds = qMax(1, QByteArray(argv[++i]).toInt());
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
    if (only != "startup") {
        BenchPanel panel;
        QString error;
        if (!panel.connectPanel(&error)) {
            std::fprintf(stderr, "lumarvethon-bench: %s\n", qPrintable(error));
            return 1;
        }
        if (wanted("throughput"))
            figures << measureThroughput(panel, options);
        if (wanted("latency"))
            figures << measureLatency(panel, options);
        if (wanted("idle"))
            figures << measureIdleCpu(panel, options);
        if (wanted("memory"))
            figures << measureMemory(panel, options);
    }
    if (wanted("startup"))
        figures << measureStartup(QCoreApplication::applicationFilePath(), options);

    const QString machine = machineDescription(loadBefore, loadAverage());
    const QString table = formatTable(figures);
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
