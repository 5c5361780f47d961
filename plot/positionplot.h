#ifndef POSITIONPLOT_H
#define POSITIONPLOT_H

// The live position plot: a window that draws the stage's position over the last 1, 10 or
// 60 minutes, with the targets of the moves as a dashed step line (its end at the last
// target; bounded as the positions are) and the two limits as lines, and exports what it holds as
// CSV or as a picture. It is handed positions, targets and limits through plain calls. A position
// costs an append to the bounded buffer; the chart is redrawn by a timer, only while the window is
// shown and not paused and only when positions came in, from an outline of the buffer as wide as
// the chart.

#include "levelbuffer.h"
#include "samplebuffer.h"

#include <QDateTime>
#include <QWidget>

#include <functional>
#include <memory>

class QComboBox;
class QPushButton;
class QTimer;

class PositionPlot : public QWidget
{
    Q_OBJECT

public:
    static constexpr int redrawIntervalMs = 150;
    // A target line that runs from bottom to top this often is drawn thin (see redraw()).
    static constexpr double crowdedSweeps = 20.0;

    // The milliseconds since the plot's start, never decreasing.
    using Clock = std::function<qint64()>;

    // A window of its own even with a parent, which owns it. The clock is the time elapsed
    // since the plot was made unless one is given (a benchmark lays down minutes at once).
    explicit PositionPlot(QWidget *parent = nullptr, Clock clock = Clock());
    ~PositionPlot() override;

    void addPosition(double micrometres);
    void setTarget(double micrometres);
    void setLimits(double minimum, double maximum);

    // The time range shown, in minutes: 1, 10 or 60; another value is ignored.
    int rangeMinutes() const;
    void setRangeMinutes(int minutes);

    const SampleBuffer &samples() const { return buffer; }
    const LevelBuffer &targetLevels() const { return targets; }
    QDateTime startTime() const { return start; }
    bool isPaused() const { return paused; }

    // Write the samples held as CSV, or the chart as a PNG picture; false when the file
    // cannot be written.
    bool exportCsv(const QString &path) const;
    bool saveImage(const QString &path);

signals:
    void rangeChosen(int minutes); // by the operator or setRangeMinutes

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    struct Chart;

    void redraw();
    void togglePause();
    void chooseRange();
    void askExportCsv();
    void askSaveImage();

    std::unique_ptr<Chart> chart;
    SampleBuffer buffer;
    Clock clock;
    QDateTime start;
    QTimer *redrawTimer = nullptr;
    QComboBox *range = nullptr;
    QPushButton *pauseButton = nullptr;
    LevelBuffer targets;
    double minimum = 0.0;
    double maximum = 0.0;
    bool limitsKnown = false;
    bool paused = false;
    bool changed = false; // something to draw since the last redraw
};

#endif // POSITIONPLOT_H
