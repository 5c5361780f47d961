#ifndef READOUT_H
#define READOUT_H

// The read-out: the position label, the slider and its limit labels follow the parsed state
// through an UpdateThrottle, so that a controller streaming positions at the serial line's
// rate repaints them about 30 times a second instead of once a line. The newest values are
// the ones shown; what a value means is the reply parser's.

#include "updatethrottle.h"

#include <QObject>
#include <QString>

class QLabel;
class QSlider;

class Readout : public QObject
{
    Q_OBJECT

public:
    // A streaming port is read every 25 ms (ReadPacer), at least twice the read-out's own
    // interval, so that every read after the first two of a stream finds the read-out free to
    // show it at once: each value of a stream is shown within about 25 ms, from its first line
    // on, and a lone reply within 12 ms. A flood, whose reads are not paced, is shown at most
    // every 12 ms.
    static constexpr int readIntervalMs = 25;
    static constexpr int intervalMs = 12;

    Readout(QLabel &positionLabel, QSlider &slider, QLabel &minimumLabel, QLabel &maximumLabel,
            QObject *parent = nullptr);

    // numberText as the reply gave it; the slider goes to micrometres.
    void showPosition(const QString &numberText, double micrometres);
    void showLimits(double minimum, double maximum);

private:
    void show();
    void applyLimits();
    int widthFor(const QString &text) const;

    QLabel &label;
    QSlider &slider;
    QLabel &minimumLabel;
    QLabel &maximumLabel;
    UpdateThrottle throttle;
    QString numberText;
    double position = 0.0;
    double minimum = 0.0;
    double maximum = 0.0;
    bool positionPending = false;
    bool limitsPending = false;
    bool limitsAfterPosition = false; // the newest change waiting is a limit change
};

#endif // READOUT_H
