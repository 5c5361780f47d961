#ifndef PROTOCOL_H
#define PROTOCOL_H

// The controller's line protocol as pure functions: the bytes of every command, and the
// cutting of the reply lines. The window's slots decide when to send and what to show;
// these functions only say what the bytes are and what they mean.
//
// Units: the panel works in micrometres; moves go out in tenths of a micrometre; position
// replies come in micrometres, offsets in tenths of a micrometre.

#include <QByteArray>
#include <QString>

#include <optional>

namespace Protocol {

// Fixed commands, each ending in one CR.
inline const QByteArray positionQuery = QByteArrayLiteral(">cp\r");
inline const QByteArray identify = QByteArrayLiteral(">inform\r");
inline const QByteArray statusQuery = QByteArrayLiteral(">status\r");
inline const QByteArray stop = QByteArrayLiteral(">stop\r");
inline const QByteArray home = QByteArrayLiteral(">home\r");
inline const QByteArray autoCalibrate = QByteArrayLiteral(">auto\r");

// A panel number as the controller reads it: six significant digits (at most six decimals),
// never an exponent, "." as the decimal point whatever the locale.
QString wireNumber(double value);

// Moves carry no terminator: the next command on the line ends them.
QByteArray absoluteMove(double micrometres); // from the target box
QByteArray sliderMove(int micrometres); // from the slider, in integer form
QByteArray relativeMove(double stepMicrometres, bool forward);

// Truncates toward zero into the int range (NaN gives 0), for slider values and ranges.
int truncateToInt(double value);

// Reads a number as the controller writes it; anything that is no number reads as 0.
double numberOrZero(const QString &text);
// The position a reply's number text stands for, when it is one: it reads as a number, is
// finite and lies within +-1e6 um. None otherwise: the read-out shows such a text, but no
// script, record column, plot or saved position is given it.
std::optional<double> positionNumber(const QString &text);

// The grammar that a firmware version speaks.
enum class Grammar {
    None, // unknown or unsupported version: lines after the version step are dropped
    Fw126, // firmware 1.26: positions as "P 1234.5 um"
    General, // firmware 1.06 and from 3 on: positions as "_cp 1234.5 um"
};
Grammar grammarFor(const QString &firmwareVersion);
double travelRangeFor(const QString &firmwareVersion);

// A reply line as text: UTF-8 up to its first NUL byte.
QString decodeLine(const QByteArray &line);

// The version that a line containing "Ver" reports: the bytes at 5, 6 and 7 as "a.bc".
// Empty when the line is too short to hold them.
QString versionFromLine(const QByteArray &line);

// The number text of a position line (with its CR), cut as the grammar writes it.
QString positionText(const QString &line, Grammar grammar);

// The number text of an offset line: from the second byte after the first "t" up to the CR.
QByteArray offsetTextFromLine(const QByteArray &line);

// Whether an uninterpreted reply goes on to the console ("ok" and "_" lines, not "_tg").
bool isPassThrough(const QByteArray &line);

// A limit for the labels beside the slider, such as "-250 µm".
QString limitLabel(double micrometres);

} // namespace Protocol

#endif // PROTOCOL_H
