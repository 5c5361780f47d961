#ifndef RFC4180_H
#define RFC4180_H

// The one writer and reader of RFC 4180 CSV: the session record writes with it, the named
// positions are exported and imported with it.

#include <QByteArray>
#include <QList>
#include <QString>

namespace Rfc4180 {

// A field as it is written: quoted, with its quotes doubled, only when it holds a comma, a
// quote or a line break.
QByteArray field(const QByteArray &text);

using Record = QList<QByteArray>;

// Splits CSV text into records; a record may end in CRLF or a bare LF. False, with the
// number of the record where it happened in *badRow and the reason in *why, for a quote that
// is not closed or text behind a closing quote. Stops after most records (when most > 0): what
// follows is left unread.
bool splitRecords(const QByteArray &data, QList<Record> *records, int *badRow, QString *why,
                  int most = 0);

} // namespace Rfc4180

#endif // RFC4180_H
