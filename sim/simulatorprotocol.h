#ifndef SIMULATORPROTOCOL_H
#define SIMULATORPROTOCOL_H

// The controller's side of the wire format, as pure functions: cutting the received bytes
// into commands, and the exact text of every reply line (without its line end, which the
// controller adds according to its line-end mode).

#include <QByteArray>
#include <QList>
#include <QString>

// Longest command the controller takes; a longer one is discarded, also while it is still
// waiting for its end, so a stream of garbage cannot grow memory.
constexpr int maxPendingCommand = 4096;

// Takes every complete command out of pending and leaves an unfinished one in it.
// A command starts with ">" and ends at a CR (not part of the command) or just before the
// next ">": moves are sent without a CR, so the command after them ends them. Bytes before
// the first ">" are dropped. Commands come back trimmed of white space.
QList<QByteArray> takeCommands(QByteArray &pending);

// True for "1.06", "1.26" and every version from "3.00" to "9.99": the versions whose replies
// the panel understands.
bool isSupportedFirmware(const QString &version);

// Travel of the stage in um: the 1.06 stage is the long one.
double travelRange(const QString &version);
// Travel limits in um; the offset (in tenths of a micrometre) shifts the zero into the range.
double lowerLimit(int offsetTenths);
double upperLimit(const QString &version, int offsetTenths);

// A position in um with one decimal, never "-0.0".
QByteArray formatMicrometres(double um);

// "_Ver 106": the version's three digits at bytes 5, 6 and 7.
QByteArray versionReply(const QString &version);
// "_offset 2500": the offset in tenths of a micrometre.
QByteArray offsetReply(int offsetTenths);
// "_status 1" before calibration, "_status 9" after it.
QByteArray statusReply(bool calibrated);
// "_cp 1234.5 um", or "P 1234.5 um" for the 1.26 firmware.
QByteArray positionReply(const QString &version, double um);
// "_tg 1234.5": the target has been reached.
QByteArray targetReachedReply(double um);
// "_err" and the command that was not understood.
QByteArray errorReply(const QByteArray &command);

// Reads a move argument in tenths of a micrometre ("12345.6", "-2500", "1e+06").
// False for anything that is no finite number.
bool parseTenths(const QByteArray &text, double *tenths);

#endif // SIMULATORPROTOCOL_H
