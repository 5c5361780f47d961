// Start-up to the shown window, in fresh processes: this program runs itself with the probe
// flag, which does what the panel's entry point does up to the first painted window.

#include "controllerthread.h"
#include "mainwindow.h"
#include "measurements.h"

#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

class FirstPaint : public QObject
{
public:
    bool painted = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !painted) {
            painted = true;
            // Quits once this paint and whatever it posted have been handled.
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }
};

double median(QVector<double> values)
{
    if (values.isEmpty())
        return -1.0;
    std::sort(values.begin(), values.end());
    const int n = int(values.size());
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2.0;
}

} // namespace

int runStartupProbe(int &argc, char **argv, qint64 spawnNs, qint64 mainNs)
{
    QApplication app(argc, argv);
    MainWindow window;
    window.setWindowIcon(QIcon(QStringLiteral("images/Lumarvethon_Icon_only@500x.png")));
    FirstPaint paint;
    window.installEventFilter(&paint);
    window.show();
    QTimer::singleShot(5000, &app, &QCoreApplication::quit);
    app.exec();
    const qint64 now = monotonicNs();
    if (!paint.painted)
        return 3;
    std::printf("startup %lld %lld\n", static_cast<long long>(now - spawnNs),
                static_cast<long long>(now - mainNs));
    return 0;
}

Figure measureStartup(const QString &program, const BenchOptions &options)
{
    Figure figure;
    figure.name = QStringLiteral("Start-up to the shown, painted window (offscreen)");
    figure.target = QStringLiteral("< 200 ms");

    QVector<double> total;
    QVector<double> inMain;
    QString failure;
    for (int run = 0; run < options.startupRuns; ++run) {
        QProcess probe;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        probe.setProcessEnvironment(environment);
        probe.setWorkingDirectory(options.sourceDir);
        const qint64 spawn = monotonicNs();
        probe.start(program, { QStringLiteral("--startup-probe"), QString::number(spawn) });
        if (!probe.waitForFinished(20000) || probe.exitCode() != 0) {
            failure = QStringLiteral("probe run %1 failed: %2")
                          .arg(run)
                          .arg(QString::fromLocal8Bit(probe.readAllStandardError()).trimmed());
            probe.kill();
            probe.waitForFinished(1000);
            continue;
        }
        const QList<QByteArray> words = probe.readAllStandardOutput().trimmed().split(' ');
        if (words.size() != 3 || words.at(0) != "startup") {
            failure = QStringLiteral("probe run %1 printed no figure").arg(run);
            continue;
        }
        total.append(words.at(1).toDouble() / 1e6);
        inMain.append(words.at(2).toDouble() / 1e6);
    }
    if (total.isEmpty()) {
        figure.value = QStringLiteral("not measured");
        figure.detail = failure;
        return figure;
    }
    const double value = median(total);
    figure.value = QStringLiteral("median %1 ms").arg(value, 0, 'f', 1);
    figure.pass = value < 200.0;
    figure.detail = QStringLiteral("%1 runs, %2 to %3 ms from spawn; median %4 ms of it from "
                                   "entering main (the rest: exec and loading the libraries)")
                        .arg(total.size())
                        .arg(*std::min_element(total.begin(), total.end()), 0, 'f', 1)
                        .arg(*std::max_element(total.begin(), total.end()), 0, 'f', 1)
                        .arg(median(inMain), 0, 'f', 1);
    if (!failure.isEmpty())
        figure.detail += QStringLiteral("; ") + failure;
    return figure;
}
