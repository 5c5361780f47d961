#include "readout.h"

#include "protocol.h"

#include <QLabel>
#include <QSlider>

Readout::Readout(QLabel &positionLabel, QSlider &slider, QLabel &minimumLabel, QLabel &maximumLabel,
                 QObject *parent)
    : QObject(parent)
    , label(positionLabel)
    , slider(slider)
    , minimumLabel(minimumLabel)
    , maximumLabel(maximumLabel)
    , throttle(intervalMs)
{
    connect(&throttle, &UpdateThrottle::due, this, &Readout::show);

    // A label sized to its text asks the window for a new layout whenever the width of the
    // text changes, which cost more than the paint itself. Centred in a fixed box wide
    // enough for any position, the text looks the same and the layout stays put.
    label.setAlignment(Qt::AlignCenter);
    label.setFixedSize(widthFor(QString()), label.sizeHint().height());
}

void Readout::showPosition(const QString &text, double micrometres)
{
    numberText = text;
    position = micrometres;
    positionPending = true;
    limitsAfterPosition = false;
    throttle.request();
}

void Readout::showLimits(double lowest, double highest)
{
    minimum = lowest;
    maximum = highest;
    limitsPending = true;
    limitsAfterPosition = true;
    throttle.request();
}

int Readout::widthFor(const QString &text) const
{
    // The sum of the characters' advances, which the font caches, instead of laying the
    // text out, which costs more than the label's paint; kerning only narrows it.
    const QFontMetrics metrics = label.fontMetrics();
    const auto advance = [&metrics](const QString &s) {
        int width = 0;
        for (const QChar c : s)
            width += metrics.horizontalAdvance(c);
        return width;
    };
    const QMargins margins = label.contentsMargins();
    const int width = qMax(advance(text), advance(QStringLiteral("-00000.0 \u00b5m")));
    return width + margins.left() + margins.right() + 2 * label.margin() + 2;
}

void Readout::show()
{
    // Limits that came after the last position re-clamp the slider's value, as they did
    // when every line was shown at once; otherwise the position goes into the newest range.
    if (limitsPending && !limitsAfterPosition)
        applyLimits();
    if (positionPending) {
        const QString text = numberText + QStringLiteral(" \u00b5m");
        // Wide enough for any position; a longer text widens it (and a shorter one after
        // narrows it back), at the price of a layout each time.
        const int width = widthFor(text);
        if (width != label.maximumWidth())
            label.setFixedWidth(width);
        label.setText(text);
        // While the operator holds the slider (it has the focus then), it stays where it is.
        if (!slider.hasFocus())
            slider.setValue(Protocol::truncateToInt(position));
    }
    if (limitsPending && limitsAfterPosition)
        applyLimits();
    positionPending = limitsPending = false;
}

void Readout::applyLimits()
{
    minimumLabel.setText(Protocol::limitLabel(minimum));
    maximumLabel.setText(Protocol::limitLabel(maximum));
    slider.setMinimum(Protocol::truncateToInt(minimum));
    slider.setMaximum(Protocol::truncateToInt(maximum));
}
