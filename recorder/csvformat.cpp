#include "csvformat.h"

#include <cstdio>
#include <cstdlib>

namespace CsvFormat {

QByteArray escapedLine(const QByteArray &line)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(line.size());
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\') {
            out.append("\\\\");
        } else if (byte >= 0x20 && byte < 0x7F) {
            out.append(c);
        } else {
            out.append("\\x");
            out.append(hex[byte >> 4]);
            out.append(hex[byte & 0x0F]);
        }
    }
    return out;
}

QByteArray isoTime(const QDateTime &time)
{
    // Formatted by hand: QDateTime's ISO text leaves out the offset of a local time, and a
    // format string is parsed anew on every call, which a row per reply cannot afford.
    const QDate date = time.date();
    const QTime clock = time.time();
    const int offset = time.offsetFromUtc();
    const int offsetMinutes = std::abs(offset) / 60;
    char text[48];
    const int length = std::snprintf(
        text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", date.year(),
        date.month(), date.day(), clock.hour(), clock.minute(), clock.second(), clock.msec(),
        offset < 0 ? '-' : '+', offsetMinutes / 60, offsetMinutes % 60);
    return QByteArray(text, length);
}

QByteArray seconds(qint64 milliseconds)
{
    char text[32];
    const int length
        = std::snprintf(text, sizeof text, "%s%lld.%03lld", milliseconds < 0 ? "-" : "",
                        static_cast<long long>(std::llabs(milliseconds) / 1000),
                        static_cast<long long>(std::llabs(milliseconds) % 1000));
    return QByteArray(text, length);
}

} // namespace CsvFormat
