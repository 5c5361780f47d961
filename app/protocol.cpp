#include "protocol.h"

#include "numbers.h"

#include <cmath>
#include <limits>

namespace Protocol {

QString wireNumber(double value)
{
    // Six significant digits as the controller has always been sent, but never an exponent,
    // which a target of 100 mm in tenths (1e+06) would otherwise get.
    return QString::fromLatin1(plainNumber(value, 6, 6));
}

QByteArray absoluteMove(double micrometres)
{
    return ">ma " + wireNumber(micrometres * 10.0).toLocal8Bit();
}

QByteArray sliderMove(int micrometres)
{
    // In 64 bits, so that no slider value can overflow on its way to tenths.
    return ">ma " + QByteArray::number(qint64(micrometres) * 10);
}

QByteArray relativeMove(double stepMicrometres, bool forward)
{
    return ">mr " + wireNumber(stepMicrometres * (forward ? 10.0 : -10.0)).toLocal8Bit();
}

int truncateToInt(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(value);
}

double numberOrZero(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok); // C locale, surrounding white space ignored
    return ok ? value : 0.0;
}

std::optional<double> positionNumber(const QString &text)
{
    // Far beyond any stage's travel: a line that says more is garbled.
    constexpr double farthest = 1e6;
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || std::abs(value) > farthest)
        return std::nullopt;
    return value;
}

Grammar grammarFor(const QString &firmwareVersion)
{
    if (firmwareVersion == QLatin1String("1.26"))
        return Grammar::Fw126;
    if (firmwareVersion == QLatin1String("1.06"))
        return Grammar::General;
    if (!firmwareVersion.isEmpty() && firmwareVersion.at(0).unicode() >= u'3')
        return Grammar::General;
    return Grammar::None;
}

double travelRangeFor(const QString &firmwareVersion)
{
    return firmwareVersion == QLatin1String("1.06") ? 15000.0 : 6500.0;
}

QString decodeLine(const QByteArray &line)
{
    const int nul = line.indexOf('\0');
    return QString::fromUtf8(line.constData(), nul < 0 ? line.size() : nul);
}

QString versionFromLine(const QByteArray &line)
{
    if (line.size() < 8)
        return QString();
    QString version;
    version.reserve(4);
    version += QChar::fromLatin1(line.at(5));
    version += QLatin1Char('.');
    version += QChar::fromLatin1(line.at(6));
    version += QChar::fromLatin1(line.at(7));
    return version;
}

QString positionText(const QString &line, Grammar grammar)
{
    // The number stands between a prefix ("P " or "_cp ") and the unit with the CR (" um\r").
    const int head = grammar == Grammar::Fw126 ? 2 : 4;
    const int length = line.size() - head - 4;
    return length > 0 ? line.mid(head, length) : QString();
}

QByteArray offsetTextFromLine(const QByteArray &line)
{
    const int t = line.indexOf('t');
    const int length = line.size() - t - 3;
    return t >= 0 && length > 0 ? line.mid(t + 2, length) : QByteArray();
}

bool isPassThrough(const QByteArray &line)
{
    if (line.startsWith("_tg"))
        return false;
    return (line.startsWith('_') || line.startsWith("ok")) && line.endsWith('\r')
        && !line.contains('P');
}

QString limitLabel(double micrometres)
{
    return QString::number(micrometres, 'g', 6) + QStringLiteral(" \u00b5m");
}

} // namespace Protocol
