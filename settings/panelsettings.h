#ifndef PANELSETTINGS_H
#define PANELSETTINGS_H

// What a panel instance remembers between runs: the port chosen in Configure, the options of
// the Connection menu, the window's place, the step size, the plot's time range and the folder
// of the last record, in the platform's native settings format, one file per instance under
// the user's configuration directory. Every value read is checked (type and range) and a bad
// one is taken as its default; a file the toolkit cannot parse is set aside as <file>.bad.
// notice() says which of those happened, for the status bar. Each setter writes at once.

#include <QPoint>
#include <QString>

#include <memory>
#include <optional>

class QSettings;
class QVariant;

class PanelSettings
{
public:
    static constexpr double defaultStep = 200.0;
    static constexpr double largestStep = 6000.0; // the step box's range
    static constexpr int defaultPlotMinutes = 1;

    // instanceName empty: the default instance.
    explicit PanelSettings(const QString &instanceName);
    ~PanelSettings();

    // The file's path; on some platforms a registry key.
    QString fileName() const;
    // What went wrong when the file was read, for the operator; empty when nothing did.
    QString notice() const { return problem; }
    // For the parts that keep their own entries in the same file.
    QSettings &store() { return *settings; }

    QString port() const { return portName; }
    bool reconnect() const { return reconnecting; }
    bool allowScripts() const { return scripts; }
    QString socketPath() const { return socket; } // empty: the instance's default
    QString scriptGroup() const { return group; } // the group that may reach it; empty: none
    std::optional<QPoint> windowPosition() const { return place; }
    double stepSize() const { return step; }
    int plotMinutes() const { return minutes; }
    QString recordFolder() const { return folder; }

    void setPort(const QString &name);
    void setReconnect(bool on);
    void setScripts(bool on, const QString &path);
    void setScriptGroup(const QString &name);
    void setWindowPosition(const QPoint &position);
    void setStepSize(double micrometres);
    void setPlotMinutes(int value);
    void setRecordFolder(const QString &path);

    // The plot's ranges, in minutes.
    static bool isPlotRange(int value) { return value == 1 || value == 10 || value == 60; }

private:
    void open();
    void readValues();
    void write(const QString &key, const QVariant &value);

    QString application;
    std::unique_ptr<QSettings> settings;
    QString problem;
    QString portName;
    bool reconnecting = false;
    bool scripts = false;
    QString socket;
    QString group;
    std::optional<QPoint> place;
    double step = defaultStep;
    int minutes = defaultPlotMinutes;
    QString folder;
};

#endif // PANELSETTINGS_H
