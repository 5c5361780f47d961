#ifndef CSVFORMAT_H
#define CSVFORMAT_H

// The pieces of a CSV row as the session record and the plot's export write them: plain
// bytes that any spreadsheet or CSV reader takes as they stand. Fields are written by
// Rfc4180::field.

#include <QByteArray>
#include <QDateTime>

namespace CsvFormat {

// A line from the link made readable and safe for a text file: printable ASCII stays, a
// backslash becomes "\\", any other byte "\xNN" (two upper-case hex digits).
QByteArray escapedLine(const QByteArray &line);

// ISO 8601 with milliseconds and the offset from UTC, as "2026-12-07T08:15:02.123+01:00",
// in the time's own offset.
QByteArray isoTime(const QDateTime &time);

// Seconds with three decimals: 1234 ms gives "1.234".
QByteArray seconds(qint64 milliseconds);

// The end of every row; RFC 4180 ends records with CR LF.
inline constexpr char rowEnd[] = "\r\n";

} // namespace CsvFormat

#endif // CSVFORMAT_H
