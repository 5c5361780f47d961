#include "rfc4180.h"

namespace Rfc4180 {

QByteArray field(const QByteArray &text)
{
    bool needsQuotes = false;
    for (const char c : text) {
        if (c == ',' || c == '"' || c == '\r' || c == '\n') {
            needsQuotes = true;
            break;
        }
    }
    if (!needsQuotes)
        return text;
    QByteArray quoted = text;
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

bool splitRecords(const QByteArray &data, QList<Record> *records, int *badRow, QString *why,
                  int most)
{
    Record record;
    QByteArray field;
    bool quoted = false; // inside quotes
    bool closedQuote = false; // the field's closing quote has been read
    const auto endField = [&] {
        record.append(field);
        field.clear();
        closedQuote = false;
    };
    for (int i = 0; i < data.size(); ++i) {
        const char c = data.at(i);
        if (quoted) {
            if (c != '"') {
                field += c;
            } else if (i + 1 < data.size() && data.at(i + 1) == '"') {
                field += '"';
                ++i;
            } else {
                quoted = false;
                closedQuote = true;
            }
            continue;
        }
        if (c == ',') {
            endField();
        } else if (c == '\n' || (c == '\r' && i + 1 < data.size() && data.at(i + 1) == '\n')) {
            if (c == '\r')
                ++i;
            endField();
            records->append(record);
            record = Record();
            if (most > 0 && records->size() >= most)
                return true;
        } else if (closedQuote) {
            *badRow = int(records->size()) + 1;
            *why = QStringLiteral("text after a closing quote");
            return false;
        } else if (c == '"' && field.isEmpty()) {
            quoted = true;
        } else {
            field += c;
        }
    }
    if (quoted) {
        *badRow = int(records->size()) + 1;
        *why = QStringLiteral("a quoted field is not closed");
        return false;
    }
    if (!field.isEmpty() || closedQuote || !record.isEmpty()) {
        endField();
        records->append(record);
    }
    return true;
}

} // namespace Rfc4180
