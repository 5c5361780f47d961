#ifndef POSITIONSCSV_H
#define POSITIONSCSV_H

// The rules of named positions as pure functions: which names are allowed, how a position is
// read from text, and the CSV form of a list (name,position_um; RFC 4180; "." decimals).

#include <QByteArray>
#include <QList>
#include <QString>

struct NamedPosition
{
    QString name;
    double micrometres = 0.0;
    bool operator==(const NamedPosition &other) const
    {
        return name == other.name && micrometres == other.micrometres;
    }
};

// The longest name, and the largest position magnitude (that of the target box).
inline constexpr int longestPositionName = 64;
inline constexpr double largestPosition = 1000000.0;
// The most named positions one instance keeps: a list that any window, reply or file holds
// whole without a wait.
inline constexpr int mostPositions = 1000;

// ASCII letters, digits, spaces, "-" and "_"; 1 to 64 of them, not beginning or ending with
// a space (which nobody could tell apart in the table).
bool isValidPositionName(const QString &name);

// A finite number within +-largestPosition written with "." ("12.5", "-3", "1e3"); false for
// anything else, white space and group separators included.
bool readPositionNumber(const QString &text, double *micrometres);
QString formatPosition(double micrometres);

// The list as CSV with its header line, CRLF line ends.
QByteArray positionsCsv(const QList<NamedPosition> &positions);
// Reads a whole file; on the first bad row returns false with *error naming it ("row 3: ...",
// the header being row 1) and leaves *positions alone. A file of more than mostPositions
// rows is refused at the row beyond, without reading the rest.
bool parsePositionsCsv(const QByteArray &data, QList<NamedPosition> *positions, QString *error);

#endif // POSITIONSCSV_H
