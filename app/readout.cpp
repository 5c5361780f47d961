// The read-out: the position label, the slider and its limit labels follow the parsed state
// through an UpdateThrottle, so that a controller streaming positions at the serial line's
// rate repaints them about 30 times a second instead of once a line; and a
// ReadPacer takes such a stream in at the same pace, a few lines a read.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "protocol.h"
#include "readpacer.h"
#include "updatethrottle.h"

#include <QLabel>

// A streaming port is read every 25 ms, at least twice the read-out's own interval, so that
// every read after the first two of a stream finds the read-out free to show it at once:
// each value of a stream is shown within about 25 ms, from its first line on, and a lone
// reply within 12 ms. A flood, whose reads are not paced, is shown at most every 12 ms.
static constexpr int readoutIntervalMs = 12;
static constexpr int readIntervalMs = 25;

void MainWindow::setUpReadout()
{
    readoutThrottle = new UpdateThrottle(readoutIntervalMs, this);
    connect(readoutThrottle, &UpdateThrottle::due, this, &MainWindow::showReadout);
    new ReadPacer(serial, readIntervalMs, this);

    // A label sized to its text asks the window for a new layout whenever the width of the
    // text changes, which cost more than the paint itself. Centred in a fixed box wide
    // enough for any position, the text looks the same and the layout stays put.
    QLabel *label = ui->label_Position;
    label->setAlignment(Qt::AlignCenter);
    label->setFixedSize(readoutWidth(QString()), label->sizeHint().height());
}

int MainWindow::readoutWidth(const QString &text) const
{
    // The sum of the characters' advances, which the font caches, instead of laying the
    // text out, which costs more than the label's paint; kerning only narrows it.
    const QLabel *label = ui->label_Position;
    const QFontMetrics metrics = label->fontMetrics();
    const auto advance = [&metrics](const QString &s) {
        int width = 0;
        for (const QChar c : s)
            width += metrics.horizontalAdvance(c);
        return width;
    };
    const QMargins margins = label->contentsMargins();
    const int width = qMax(advance(text), advance(QStringLiteral("-00000.0 \u00b5m")));
    return width + margins.left() + margins.right() + 2 * label->margin() + 2;
}

void MainWindow::requestReadout(bool limits)
{
    if (limits)
        limitsPending = true;
    else
        positionPending = true;
    limitsAfterPosition = limits;
    readoutThrottle->request();
}

void MainWindow::showReadout()
{
    // Limits that came after the last position re-clamp the slider's value, as they did
    // when every line was shown at once; otherwise the position goes into the newest range.
    if (limitsPending && !limitsAfterPosition)
        showLimits();
    if (positionPending) {
        const QString text = shownPosition + QStringLiteral(" \u00b5m");
        QLabel *label = ui->label_Position;
        // Wide enough for any position; a longer text widens it (and a shorter one after
        // narrows it back), at the price of a layout each time.
        const int width = readoutWidth(text);
        if (width != label->maximumWidth())
            label->setFixedWidth(width);
        label->setText(text);
        // While the operator holds the slider (it has the focus then), it stays where it is.
        if (!ui->horizontalSlider->hasFocus())
            ui->horizontalSlider->setValue(Protocol::truncateToInt(position));
    }
    if (limitsPending && limitsAfterPosition)
        showLimits();
    positionPending = limitsPending = false;
}

void MainWindow::showLimits()
{
    ui->label_Slidermin->setText(Protocol::limitLabel(minPosition));
    ui->label_Slidermax->setText(Protocol::limitLabel(maxPosition));
    ui->horizontalSlider->setMinimum(Protocol::truncateToInt(minPosition));
    ui->horizontalSlider->setMaximum(Protocol::truncateToInt(maxPosition));
}
