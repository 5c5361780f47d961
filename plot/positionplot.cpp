#include "positionplot.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QTimer>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
// Qt 5 keeps the chart classes in a namespace of their own.
QT_CHARTS_USE_NAMESPACE
#endif

struct PositionPlot::Chart
{
    QChartView *view = nullptr;
    QLineSeries *position = nullptr;
    QLineSeries *target = nullptr;
    QLineSeries *minimum = nullptr;
    QLineSeries *maximum = nullptr;
    QDateTimeAxis *time = nullptr;
    QValueAxis *value = nullptr;
};

namespace {

QLineSeries *addSeries(QChart *chart, const QString &name, const QPen &pen)
{
    auto *series = new QLineSeries(chart);
    series->setName(name);
    series->setPen(pen);
    chart->addSeries(series);
    return series;
}

// A horizontal line across the shown time, or none while its level is not known.
void placeLevel(QLineSeries *series, bool known, double level, double from, double to)
{
    if (known)
        series->replace(QVector<QPointF> { QPointF(from, level), QPointF(to, level) });
    else
        series->clear();
}

} // namespace

PositionPlot::PositionPlot(QWidget *parent, Clock clockGiven)
    : QWidget(parent, Qt::Window)
    , chart(std::make_unique<Chart>())
    , clock(std::move(clockGiven))
    , start(QDateTime::currentDateTime())
    , redrawTimer(new QTimer(this))
{
    if (!clock) {
        QElapsedTimer elapsed;
        elapsed.start();
        clock = [elapsed] { return elapsed.elapsed(); };
    }
    setObjectName(QStringLiteral("positionPlot"));
    setWindowTitle(tr("Position"));
    resize(820, 480);

    range = new QComboBox;
    range->setObjectName(QStringLiteral("plotRange"));
    range->addItem(tr("Last minute"), 1);
    range->addItem(tr("Last 10 minutes"), 10);
    range->addItem(tr("Last 60 minutes"), 60);
    pauseButton = new QPushButton(tr("Pause"));
    pauseButton->setObjectName(QStringLiteral("plotPause"));
    auto *exportButton = new QPushButton(tr("Export CSV\u2026"));
    exportButton->setObjectName(QStringLiteral("plotExport"));
    auto *imageButton = new QPushButton(tr("Save image\u2026"));
    imageButton->setObjectName(QStringLiteral("plotImage"));

    auto *qchart = new QChart;
    chart->position = addSeries(qchart, tr("Position"), QPen(QColor(0x1f, 0x5f, 0xbf), 1));
    QPen dashed(QColor(0x2e, 0x8b, 0x57), 2);
    dashed.setStyle(Qt::DashLine);
    chart->target = addSeries(qchart, tr("Target"), dashed);
    chart->minimum = addSeries(qchart, tr("Limits"), QPen(QColor(0xc0, 0x30, 0x30), 1));
    chart->maximum = addSeries(qchart, tr("Limits"), QPen(QColor(0xc0, 0x30, 0x30), 1));
    chart->time = new QDateTimeAxis(qchart);
    chart->time->setFormat(QStringLiteral("HH:mm:ss"));
    chart->time->setTickCount(7);
    chart->time->setTitleText(tr("Time"));
    chart->value = new QValueAxis(qchart);
    chart->value->setTitleText(tr("Position (\u00b5m)"));
    chart->value->setLabelFormat(QStringLiteral("%.0f"));
    qchart->addAxis(chart->time, Qt::AlignBottom);
    qchart->addAxis(chart->value, Qt::AlignLeft);
    for (QLineSeries *series : { chart->position, chart->target, chart->minimum, chart->maximum }) {
        series->attachAxis(chart->time);
        series->attachAxis(chart->value);
    }
    qchart->legend()->setAlignment(Qt::AlignBottom);
    // One legend entry stands for both limits.
    for (QLegendMarker *marker : qchart->legend()->markers(chart->maximum))
        marker->setVisible(false);
    chart->view = new QChartView(qchart); // the view owns the chart
    chart->view->setObjectName(QStringLiteral("plotChart"));

    auto *controls = new QHBoxLayout;
    controls->addWidget(new QLabel(tr("Show:")));
    controls->addWidget(range);
    controls->addStretch();
    controls->addWidget(pauseButton);
    controls->addWidget(exportButton);
    controls->addWidget(imageButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(chart->view);

    redrawTimer->setInterval(redrawIntervalMs);
    connect(redrawTimer, &QTimer::timeout, this, &PositionPlot::redraw);
    connect(range, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &PositionPlot::chooseRange);
    connect(pauseButton, &QPushButton::clicked, this, &PositionPlot::togglePause);
    connect(exportButton, &QPushButton::clicked, this, &PositionPlot::askExportCsv);
    connect(imageButton, &QPushButton::clicked, this, &PositionPlot::askSaveImage);
}

PositionPlot::~PositionPlot() = default;

void PositionPlot::addPosition(double micrometres)
{
    buffer.append(clock(), micrometres);
    changed = true;
}

void PositionPlot::setTarget(double micrometres)
{
    targets.append(clock(), micrometres);
    changed = true;
}

void PositionPlot::setLimits(double minimumUm, double maximumUm)
{
    minimum = minimumUm;
    maximum = maximumUm;
    limitsKnown = true;
    changed = true;
}

void PositionPlot::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    changed = true;
    redrawTimer->start();
    redraw();
}

void PositionPlot::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    redrawTimer->stop();
}

void PositionPlot::redraw()
{
    if (!changed || paused || !isVisible())
        return;
    changed = false;

    const qint64 now = clock();
    const qint64 from = now - range->currentData().toLongLong() * 60 * 1000;
    // A column of two pixels is as fine as the line needs; fewer points cost less to stroke.
    const int columns = std::max(50, int(chart->view->chart()->plotArea().width()) / 2);
    QVector<QPointF> points = buffer.outline(from, now, columns);

    // The chart's time axis counts milliseconds since the epoch.
    const double origin = double(start.toMSecsSinceEpoch());
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    for (QPointF &point : points) {
        point.rx() += origin;
        low = std::min(low, point.y());
        high = std::max(high, point.y());
    }
    const auto include = [&low, &high](double level) {
        low = std::min(low, level);
        high = std::max(high, level);
    };
    if (limitsKnown) {
        include(minimum);
        include(maximum);
    }
    QVector<QPointF> targetPoints = targets.stepLine(from, now, columns);
    double travel = 0.0; // up and down, along the target line
    for (int i = 0; i < targetPoints.size(); ++i) {
        if (i > 0)
            travel += std::abs(targetPoints[i].y() - targetPoints[i - 1].y());
        targetPoints[i].rx() += origin;
        include(targetPoints[i].y());
    }
    if (low > high) { // nothing known yet
        low = 0.0;
        high = 1.0;
    }
    const double margin = std::max(1.0, (high - low) * 0.05);
    // A dashed line two pixels wide costs its length in dashes to stroke: streamed targets that
    // run up and down the chart hundreds of times took 140 ms a paint. Where they crowd into
    // a band the dashes are not seen anyway, and one pixel is stroked about ten times faster.
    QPen pen = chart->target->pen();
    const qreal width = travel > crowdedSweeps * (high - low) ? 1.0 : 2.0;
    if (pen.widthF() != width) {
        pen.setWidthF(width);
        chart->target->setPen(pen);
    }

    chart->position->replace(points);
    chart->target->replace(targetPoints);
    placeLevel(chart->minimum, limitsKnown, minimum, origin + from, origin + now);
    placeLevel(chart->maximum, limitsKnown, maximum, origin + from, origin + now);
    chart->time->setRange(QDateTime::fromMSecsSinceEpoch(qint64(origin) + from),
                          QDateTime::fromMSecsSinceEpoch(qint64(origin) + now));
    chart->value->setRange(low - margin, high + margin);
    chart->value->applyNiceNumbers();
}

void PositionPlot::togglePause()
{
    paused = !paused;
    pauseButton->setText(paused ? tr("Resume") : tr("Pause"));
    changed = true;
    redraw();
}

int PositionPlot::rangeMinutes() const
{
    return range->currentData().toInt();
}

void PositionPlot::setRangeMinutes(int minutes)
{
    const int index = range->findData(minutes);
    if (index >= 0)
        range->setCurrentIndex(index);
}

void PositionPlot::chooseRange()
{
    changed = true;
    redraw();
    emit rangeChosen(rangeMinutes());
}

bool PositionPlot::exportCsv(const QString &path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(samplesCsv(buffer, start));
    return file.commit();
}

bool PositionPlot::saveImage(const QString &path)
{
    return chart->view->grab().save(path, "PNG");
}

void PositionPlot::askExportCsv()
{
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Export CSV"), QStringLiteral("position.csv"), tr("CSV files (*.csv)"));
    if (!path.isEmpty() && !exportCsv(path))
        QMessageBox::warning(this, tr("Export CSV"), tr("Cannot write %1.").arg(path));
}

void PositionPlot::askSaveImage()
{
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save image"), QStringLiteral("position.png"), tr("PNG images (*.png)"));
    if (!path.isEmpty() && !saveImage(path))
        QMessageBox::warning(this, tr("Save image"), tr("Cannot write %1.").arg(path));
}
