// The line-rate figures as an operator's desktop renders them: this program run again under
// a real X server (xvfb-run with Qt's xcb platform), measuring only the line rate, its rows
// named as such beside the offscreen ones. Offscreen paints into memory only; under X every
// paint also goes to the server, which is what a person's session pays.

#include "measurements.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

QVector<Figure> measureLineRateUnderXvfb(const QString &program, const BenchOptions &options)
{
    Figure missing;
    missing.name = QStringLiteral("CPU at the line rate, under Xvfb (a real X server)");
    missing.target = QStringLiteral("for comparison with the offscreen rows");
    missing.pass = true;
    if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty()) {
        missing.value = QStringLiteral("n/a (no xvfb-run)");
        return { missing };
    }
    QTemporaryDir dir;
    const QString raw = dir.filePath(QStringLiteral("xvfb.tsv"));
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral("xvfb-run"),
                { QStringLiteral("-a"), QStringLiteral("-s"),
                  QStringLiteral("-screen 0 1280x1024x24"), program, QStringLiteral("--only"),
                  QStringLiteral("linerate"), QStringLiteral("--line-rate-seconds"),
                  QString::number(options.lineRateSeconds), QStringLiteral("--raw"), raw });
    QVector<Figure> figures;
    if (!child.waitForFinished(10 * 60 * 1000) || child.exitCode() != 0
        || !readFigures(raw, &figures) || figures.isEmpty()) {
        child.kill();
        child.waitForFinished();
        missing.value = QStringLiteral("n/a (the run under Xvfb failed)");
        return { missing };
    }
    for (Figure &figure : figures)
        figure.name += QStringLiteral(", under Xvfb (a real X server)");
    return figures;
}
