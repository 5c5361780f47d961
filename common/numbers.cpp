#include "numbers.h"

#include <algorithm>
#include <cmath>

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
