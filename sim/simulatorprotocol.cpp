#include "simulatorprotocol.h"

#include <QRegularExpression>

#include <cmath>

QList<QByteArray> takeCommands(QByteArray &pending)
{
    QList<QByteArray> commands;
    for (;;) {
        const int start = pending.indexOf('>');
        if (start < 0) {
            pending.clear(); // nothing here can become a command
            break;
        }
        if (start > 0)
            pending.remove(0, start);

        const int cr = pending.indexOf('\r', 1);
        const int next = pending.indexOf('>', 1);
        int end = -1;
        int consumed = 0;
        if (cr >= 0 && (next < 0 || cr < next)) {
            end = cr;
            consumed = cr + 1;
        } else if (next >= 0) {
            end = next;
            consumed = next;
        }
        if (end < 0) {
            if (pending.size() > maxPendingCommand)
                pending.clear();
            break;
        }
        if (end <= maxPendingCommand) // an overlong command is garbage, however it ends
            commands.append(pending.left(end).trimmed());
        pending.remove(0, consumed);
    }
    return commands;
}

bool isSupportedFirmware(const QString &version)
{
    if (version == QLatin1String("1.06") || version == QLatin1String("1.26"))
        return true;
    static const QRegularExpression later(QStringLiteral("^[3-9]\\.[0-9][0-9]$"));
    return later.match(version).hasMatch();
}

double travelRange(const QString &version)
{
    return version == QLatin1String("1.06") ? 15000.0 : 6500.0;
}

double lowerLimit(int offsetTenths)
{
    return -offsetTenths * 0.1;
}

double upperLimit(const QString &version, int offsetTenths)
{
    return travelRange(version) - offsetTenths * 0.1;
}

QByteArray formatMicrometres(double um)
{
    QByteArray text = QByteArray::number(um, 'f', 1);
    if (text == "-0.0")
        text = "0.0";
    return text;
}

QByteArray versionReply(const QString &version)
{
    QByteArray digits = version.toLatin1();
    digits.replace('.', QByteArray());
    return "_Ver " + digits;
}

QByteArray offsetReply(int offsetTenths)
{
    return "_offset " + QByteArray::number(offsetTenths);
}

QByteArray statusReply(bool calibrated)
{
    return calibrated ? QByteArrayLiteral("_status 9") : QByteArrayLiteral("_status 1");
}

QByteArray positionReply(const QString &version, double um)
{
    const QByteArray prefix = version == QLatin1String("1.26") ? "P " : "_cp ";
    return prefix + formatMicrometres(um) + " um";
}

QByteArray targetReachedReply(double um)
{
    return "_tg " + formatMicrometres(um);
}

QByteArray errorReply(const QByteArray &command)
{
    return "_err " + command;
}

bool parseTenths(const QByteArray &text, double *tenths)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return false;
    *tenths = value;
    return true;
}
