#ifndef RECORDINGFEATURE_H
#define RECORDINGFEATURE_H

// The session record and the position plot as the operator reaches them: File > Record
// session… and Stop recording, View > Position plot, and a "REC" indicator in the status bar
// while a record is written. The plot is made at the first connection (or when first shown,
// if earlier) and fed from then on, shown or not, so that it opens on what the panel has
// seen; its buffers bound what it keeps.

#include <QObject>
#include <QString>

class QAction;
class QLabel;
class QMainWindow;
class QMenu;
class PanelSettings;
class PositionPlot;
class SessionRecorder;

class RecordingFeature : public QObject
{
    Q_OBJECT

public:
    RecordingFeature(QMainWindow &window, PanelSettings &settings, QMenu &fileMenu,
                     QMenu &viewMenu);

    SessionRecorder &recorder() const { return *sessionRecorder; }
    PositionPlot *plot() const { return positionPlot; } // null until made
    QLabel &indicator() const { return *recIndicator; }

    bool start(const QString &path, bool replaceExisting, QString *error);

    // What happens on the link.
    void connected(const QString &portName);
    void addPosition(double micrometres);
    void setTarget(double micrometres);
    void setLimits(double minimum, double maximum);
    void showPlot();

signals:
    // A warning for the status bar (or standard error, headless).
    void warning(const QString &text);

private:
    void askFile();
    void showState(bool recording);
    void makePlot();

    QMainWindow &window;
    PanelSettings &remembered;
    SessionRecorder *sessionRecorder = nullptr;
    PositionPlot *positionPlot = nullptr;
    QAction *actionRecord = nullptr;
    QAction *actionStopRecording = nullptr;
    QLabel *recIndicator = nullptr;
    double lastTarget = 0.0; // of the last absolute or slider move, for a plot made later
    bool targetKnown = false;
    double minimum = 0.0;
    double maximum = 0.0;
    bool limitsKnown = false;
};

#endif // RECORDINGFEATURE_H
