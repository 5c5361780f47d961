#ifndef NUMBERS_H
#define NUMBERS_H

// Numbers as the panel writes them, on the wire to the controller and in the replies to
// scripts alike, and the bound of a relative step that the step box and scripts share.

#include <QByteArray>

// A number in plain decimal notation, never with an exponent (a reader that takes "12.5"
// need not take "1.25e+01"): rounded to significantDigits, and to at most maxDecimals
// decimals, trailing zeros dropped, "." as the decimal point, zero as "0" (not "-0").
QByteArray plainNumber(double value, int significantDigits, int maxDecimals);

// The largest relative step, in micrometres either way: the step box's range, and what a
// script may ask for.
inline constexpr double largestStep = 6000.0;

#endif // NUMBERS_H
