#include "simulatoroptions.h"

#include "simulatorprotocol.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include <cmath>

namespace {

const QStringList flagNames = { QStringLiteral("silent"), QStringLiteral("crlf") };
const QStringList valueNames = { QStringLiteral("firmware"),     QStringLiteral("inform-delay"),
                                 QStringLiteral("hangup-after"), QStringLiteral("restart-after"),
                                 QStringLiteral("noise"),        QStringLiteral("speed"),
                                 QStringLiteral("calibration") };

// Durations are bounded so that a typo cannot ask for a timer the event loop cannot hold.
constexpr int maxDurationMs = 24 * 3600 * 1000;

bool readDuration(const QString &value, int *ms)
{
    bool ok = false;
    const int number = value.trimmed().toInt(&ok);
    if (!ok || number < 0 || number > maxDurationMs)
        return false;
    *ms = number;
    return true;
}

} // namespace

QString setSimulatorOption(SimulatorOptions &options, const QString &name, const QString &value)
{
    const auto badValue = [&](const QString &expected) {
        return QStringLiteral("invalid value \"%1\" for --%2: %3").arg(value, name, expected);
    };
    const QString durationText
        = QStringLiteral("expected milliseconds from 0 to %1").arg(maxDurationMs);

    if (name == QLatin1String("firmware")) {
        if (!isSupportedFirmware(value))
            return badValue(QStringLiteral("expected 1.06, 1.26 or a version from 3.00 to 9.99"));
        options.firmware = value;
    } else if (name == QLatin1String("inform-delay")) {
        if (!readDuration(value, &options.informDelayMs))
            return badValue(durationText);
    } else if (name == QLatin1String("hangup-after")) {
        if (!readDuration(value, &options.hangupAfterMs))
            return badValue(durationText);
    } else if (name == QLatin1String("restart-after")) {
        if (!readDuration(value, &options.restartAfterMs))
            return badValue(durationText);
    } else if (name == QLatin1String("calibration")) {
        if (!readDuration(value, &options.calibrationMs))
            return badValue(durationText);
    } else if (name == QLatin1String("noise")) {
        if (!readDuration(value, &options.noiseIntervalMs) || options.noiseIntervalMs == 0)
            return badValue(
                QStringLiteral("expected milliseconds from 1 to %1").arg(maxDurationMs));
    } else if (name == QLatin1String("speed")) {
        bool ok = false;
        const double speed = value.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(speed) || speed <= 0.0)
            return badValue(QStringLiteral("expected a speed above 0 in um/s"));
        options.speedUmPerS = speed;
    } else if (name == QLatin1String("silent")) {
        options.silent = true;
    } else if (name == QLatin1String("crlf")) {
        options.crlf = true;
    } else {
        return QStringLiteral("unknown simulator option --%1").arg(name);
    }
    return QString();
}

void addSimulatorOptions(QCommandLineParser &parser)
{
    parser.addOption({ QStringLiteral("firmware"),
                       QStringLiteral("Firmware to report: 1.06, 1.26 or 3.00 to 9.99 (default "
                                      "1.06)."),
                       QStringLiteral("VERSION") });
    parser.addOption({ QStringLiteral("inform-delay"),
                       QStringLiteral("Answer the identification request after MS milliseconds."),
                       QStringLiteral("MS") });
    parser.addOption(
        { QStringLiteral("silent"), QStringLiteral("Never answer: a device that is not there.") });
    parser.addOption(
        { QStringLiteral("crlf"), QStringLiteral("End replies with CR LF instead of CR.") });
    parser.addOption({ QStringLiteral("hangup-after"),
                       QStringLiteral("Hang up the line after MS milliseconds."),
                       QStringLiteral("MS") });
    parser.addOption({ QStringLiteral("restart-after"),
                       QStringLiteral("Restart after MS milliseconds behind the open line: "
                                      "silent for 3 s, then back at position 0 and not "
                                      "calibrated."),
                       QStringLiteral("MS") });
    parser.addOption({ QStringLiteral("noise"),
                       QStringLiteral("Send an unsolicited noise line every MS milliseconds."),
                       QStringLiteral("MS") });
    parser.addOption({ QStringLiteral("speed"),
                       QStringLiteral("Speed of the stage in um/s (default 5000)."),
                       QStringLiteral("UM_PER_S") });
    parser.addOption({ QStringLiteral("calibration"),
                       QStringLiteral("Duration of the automatic calibration in milliseconds "
                                      "(default 1500)."),
                       QStringLiteral("MS") });
}

QString readSimulatorOptions(const QCommandLineParser &parser, SimulatorOptions &options)
{
    for (const QString &name : flagNames) {
        if (parser.isSet(name))
            setSimulatorOption(options, name, QString());
    }
    for (const QString &name : valueNames) {
        if (!parser.isSet(name))
            continue;
        const QString message = setSimulatorOption(options, name, parser.value(name));
        if (!message.isEmpty())
            return message;
    }
    return QString();
}
