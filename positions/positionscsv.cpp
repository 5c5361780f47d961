#include "positionscsv.h"

#include "rfc4180.h"

#include <QLocale>
#include <QSet>
#include <QStringList>

#include <cmath>

namespace {

const QByteArray header = QByteArrayLiteral("name,position_um");

bool isNameCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == ' '
        || u == '-' || u == '_';
}

bool isNumberCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || u == '.' || u == '-' || u == '+' || u == 'e' || u == 'E';
}

} // namespace

bool isValidPositionName(const QString &name)
{
    if (name.isEmpty() || name.size() > longestPositionName || name.startsWith(u' ')
        || name.endsWith(u' '))
        return false;
    for (const QChar c : name) {
        if (!isNameCharacter(c))
            return false;
    }
    return true;
}

bool readPositionNumber(const QString &text, double *micrometres)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (!isNumberCharacter(c))
            return false;
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(value) || std::fabs(value) > largestPosition)
        return false;
    *micrometres = value;
    return true;
}

QString formatPosition(double micrometres)
{
    if (micrometres == 0.0)
        return QStringLiteral("0"); // and not "-0"
    return QString::number(micrometres, 'g', 10);
}

QByteArray positionsCsv(const QList<NamedPosition> &positions)
{
    QByteArray csv = header + "\r\n";
    for (const NamedPosition &position : positions)
        csv += Rfc4180::field(position.name.toUtf8()) + ','
            + formatPosition(position.micrometres).toLatin1() + "\r\n";
    return csv;
}

bool parsePositionsCsv(const QByteArray &data, QList<NamedPosition> *positions, QString *error)
{
    QList<Rfc4180::Record> records;
    int badRow = 0;
    QString why;
    const auto refuse = [&](int row, const QString &reason) {
        *error = QStringLiteral("row %1: %2").arg(row).arg(reason);
        return false;
    };
    // The header, the most a list holds, and one more to tell a file that is too long.
    const int mostRecords = mostPositions + 2;
    if (!Rfc4180::splitRecords(data, &records, &badRow, &why, mostRecords))
        return refuse(badRow, why);
    if (records.size() >= mostRecords)
        return refuse(mostRecords, QStringLiteral("more than %1 positions").arg(mostPositions));
    if (records.isEmpty() || records.constFirst() != header.split(','))
        return refuse(1, QStringLiteral("the header is not \"%1\"").arg(QLatin1String(header)));

    QList<NamedPosition> read;
    QSet<QString> names;
    for (int i = 1; i < records.size(); ++i) {
        const QList<QByteArray> &fields = records.at(i);
        const int row = i + 1;
        if (fields.size() != 2)
            return refuse(row, QStringLiteral("%1 fields instead of 2").arg(fields.size()));
        NamedPosition position;
        position.name = QString::fromUtf8(fields.at(0));
        if (!isValidPositionName(position.name))
            return refuse(row, QStringLiteral("\"%1\" is no valid name").arg(position.name));
        if (names.contains(position.name))
            return refuse(row, QStringLiteral("\"%1\" appears twice").arg(position.name));
        if (!readPositionNumber(QString::fromUtf8(fields.at(1)), &position.micrometres))
            return refuse(row,
                          QStringLiteral("\"%1\" is no position in micrometres")
                              .arg(QString::fromUtf8(fields.at(1))));
        names.insert(position.name);
        read.append(position);
    }
    *positions = read;
    return true;
}
