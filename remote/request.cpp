#include "request.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Skips a run of digits from at; returns how many there were.
int skipDigits(const QByteArray &text, int &at)
{
    const int start = at;
    while (at < text.size() && isDigit(text.at(at)))
        ++at;
    return at - start;
}

bool wellFormed(const QByteArray &text)
{
    // Checked by hand: the toolkit's conversions accept "nan", "inf", white space and, in some
    // versions, group separators, none of which a script means as a position.
    int at = 0;
    if (at < text.size() && (text.at(at) == '+' || text.at(at) == '-'))
        ++at;
    int digits = skipDigits(text, at);
    if (at < text.size() && text.at(at) == '.') {
        ++at;
        digits += skipDigits(text, at);
    }
    if (digits == 0)
        return false;
    if (at < text.size() && (text.at(at) == 'e' || text.at(at) == 'E')) {
        ++at;
        if (at < text.size() && (text.at(at) == '+' || text.at(at) == '-'))
            ++at;
        if (skipDigits(text, at) == 0)
            return false;
    }
    return at == text.size();
}

Request refused(const QByteArray &reason)
{
    Request request;
    request.error = reason;
    return request;
}

Request withNumber(Request::Kind kind, const QByteArray &argument)
{
    Request request;
    if (!readNumber(argument, &request.value))
        return refused(QByteArrayLiteral("bad number"));
    request.kind = kind;
    return request;
}

Request withName(Request::Kind kind, const QByteArray &argument)
{
    Request request;
    if (!decodeName(argument, &request.name))
        return refused(QByteArrayLiteral("bad name"));
    request.kind = kind;
    return request;
}

bool isHexDigit(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

} // namespace

bool decodeName(const QByteArray &encoded, QString *name)
{
    for (int i = 0; i < encoded.size(); ++i) {
        const char c = encoded.at(i);
        if (c == ' ' || c == ';' || c == '=' || static_cast<unsigned char>(c) < 0x20
            || static_cast<unsigned char>(c) >= 0x7f)
            return false;
        if (c == '%'
            && !(i + 2 < encoded.size() && isHexDigit(encoded.at(i + 1))
                 && isHexDigit(encoded.at(i + 2))))
            return false;
    }
    const QByteArray decoded = QByteArray::fromPercentEncoding(encoded);
    if (decoded.isEmpty())
        return false;
    for (const char c : decoded) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f)
            return false;
    }
    *name = QString::fromLatin1(decoded);
    return true;
}

QByteArray encodeName(const QString &name)
{
    // Letters, digits, "-", ".", "_" and "~" stay as they are.
    return name.toUtf8().toPercentEncoding();
}

bool readNumber(const QByteArray &text, double *value)
{
    if (!wellFormed(text))
        return false;
    bool ok = false;
    const double number = text.toDouble(&ok); // the C locale's notation, as checked above
    if (!ok || !std::isfinite(number))
        return false;
    *value = number;
    return true;
}

QByteArray plainNumber(double value, int significantDigits, int maxDecimals)
{
    if (value == 0.0 || !std::isfinite(value))
        return value == 0.0 ? QByteArrayLiteral("0") : QByteArray::number(value);
    const int leading = int(std::floor(std::log10(std::abs(value))));
    const int decimals = std::clamp(significantDigits - 1 - leading, 0, maxDecimals);
    QByteArray text = QByteArray::number(value, 'f', decimals);
    if (text.contains('.')) {
        while (text.endsWith('0'))
            text.chop(1);
        if (text.endsWith('.'))
            text.chop(1);
    }
    return text == "-0" ? QByteArrayLiteral("0") : text;
}

QByteArray formatNumber(double value)
{
    return plainNumber(value, 10, 9);
}

qint64 monotonicMilliseconds()
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

bool expired(const Request &request, qint64 now)
{
    return request.deadline >= 0 && now > request.deadline;
}

Request parseRequest(const QByteArray &line)
{
    QByteArray text = line;
    if (text.endsWith('\r'))
        text.chop(1);
    if (text.startsWith("deadline ")) {
        // "deadline <ms> <request>": digits only, and one deadline to a request.
        const int end = text.indexOf(' ', 9);
        const QByteArray digits = text.mid(9, end < 0 ? -1 : end - 9);
        int at = 0;
        bool ok
            = end > 0 && digits.size() <= 18 && skipDigits(digits, at) == digits.size() && at > 0;
        Request request = ok ? parseRequest(text.mid(end + 1)) : Request();
        if (!ok || request.deadline >= 0)
            return refused(QByteArrayLiteral("bad deadline"));
        request.deadline = digits.toLongLong();
        return request;
    }
    const int space = text.indexOf(' ');
    const QByteArray word = space < 0 ? text : text.left(space);
    const bool bare = space < 0;
    const QByteArray argument = bare ? QByteArray() : text.mid(space + 1).trimmed();

    if (word == "move")
        return withNumber(Request::Kind::Move, argument);
    if (word == "step") {
        Request request = withNumber(Request::Kind::Step, argument);
        request.value = std::round(request.value * 100.0) / 100.0;
        if (request.kind == Request::Kind::Step && std::abs(request.value) > largestStep)
            return refused("step outside " + formatNumber(-largestStep) + ".."
                           + formatNumber(largestStep));
        return request;
    }
    if (word == "goto")
        return withName(Request::Kind::GoTo, argument);
    if (word == "save")
        return withName(Request::Kind::Save, argument);
    if (word == "wait") {
        Request request = withNumber(Request::Kind::Wait, argument);
        if (bare || argument.isEmpty()) {
            request.kind = Request::Kind::Wait;
            request.value = defaultWaitSeconds;
        } else if (request.kind == Request::Kind::Wait
                   && (request.value < 0.0 || request.value > longestWaitSeconds)) {
            return refused(QByteArrayLiteral("bad number"));
        }
        return request;
    }

    static const struct
    {
        const char *word;
        Request::Kind kind;
    } plain[] = {
        { "connect", Request::Kind::Connect },     { "disconnect", Request::Kind::Disconnect },
        { "state", Request::Kind::State },         { "position", Request::Kind::Position },
        { "home", Request::Kind::Home },           { "stop", Request::Kind::Stop },
        { "calibrate", Request::Kind::Calibrate }, { "positions", Request::Kind::Positions },
    };
    if (text.trimmed() == word) { // trailing blanks are no argument
        for (const auto &entry : plain) {
            if (word == entry.word) {
                Request request;
                request.kind = entry.kind;
                return request;
            }
        }
    }
    return refused(QByteArrayLiteral("unknown command"));
}
