#ifndef REQUEST_H
#define REQUEST_H

// The script protocol's words as pure functions: a request line in, a parsed request or the
// reason it is refused out; and the numbers of the replies. Numbers are micrometres (seconds
// for wait), read and written with "." whatever the locale.

#include <QByteArray>
#include <QString>

struct Request
{
    enum class Kind {
        Invalid, // refused: see error
        Connect,
        Disconnect,
        State,
        Position,
        Home,
        Stop,
        Calibrate,
        Move,
        Step,
        Wait,
        Positions,
        GoTo,
        Save,
    };
    Kind kind = Kind::Invalid;
    double value = 0.0; // micrometres for move and step, seconds for wait
    QString name; // of a named position, for goto and save, decoded
    QByteArray error; // the reason without "error ", for Invalid
    // The optional "deadline <ms> " before a request: the CLOCK_MONOTONIC millisecond after
    // which it is refused with "error expired" instead of carried out; -1 without one.
    qint64 deadline = -1;
};

// How long wait waits when no time is given, and the longest time it accepts.
inline constexpr double defaultWaitSeconds = 30.0;
inline constexpr double longestWaitSeconds = 86400.0;

// line: the request without its LF; a CR at its end is ignored.
Request parseRequest(const QByteArray &line);

// The system's monotonic clock (CLOCK_MONOTONIC) in milliseconds, which a client on the same
// machine writes its deadlines in: it goes on while the panel is stopped, and a request read
// after its deadline is refused.
qint64 monotonicMilliseconds();
// Whether request has a deadline before now (monotonicMilliseconds()).
bool expired(const Request &request, qint64 now);

// A decimal number such as "-12.5", "3" or "1e3": digits with an optional sign, point and
// exponent, finite. False for anything else (NaN, infinities, "1,5", an empty text).
bool readNumber(const QByteArray &text, double *value);

// A number in plain decimal notation, never with an exponent (a reader that takes "12.5"
// need not take "1.25e+01"): rounded to significantDigits, and to at most maxDecimals
// decimals, trailing zeros dropped, "." as the decimal point, zero as "0" (not "-0").
QByteArray plainNumber(double value, int significantDigits, int maxDecimals);

// Names of positions travel percent-encoded ("%20" for a space; "%", ";" and "=" encoded
// too). False for an empty name, a stray "%" or a decoded byte outside printable ASCII.
bool decodeName(const QByteArray &encoded, QString *name);
QByteArray encodeName(const QString &name);

// A number as the replies write it: up to ten significant digits, at most nine decimals.
QByteArray formatNumber(double value);

// The step a script may ask for: as the step box takes it, at most largestStep either way,
// rounded to hundredths of a micrometre.
inline constexpr double largestStep = 6000.0;

#endif // REQUEST_H
