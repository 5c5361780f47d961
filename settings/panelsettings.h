#ifndef PANELSETTINGS_H
#define PANELSETTINGS_H

// What a panel instance remembers between runs: the port chosen in Configure, the options of
// the Connection menu, the window's place, the step size, the plot's time range and the folder
// of the last record, in the platform's native settings format, one file per instance under
// the user's configuration directory. Every value read is checked (type and range) and a bad
// one is taken as its default; a file the toolkit cannot parse is set aside as <file>.bad.
// notice() says which of those happened, for the status bar. Each setter writes at once and
// checks that the write reached the disk; when it did not, writeFailed() says why and the
// value stays in memory (and is written with the next write that succeeds).
// The named positions are stored here too, entry by entry, so that saving one rewrites one.

#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QVariant>

#include "numbers.h"

#include <memory>
#include <optional>

class QSettings;

class PanelSettings : public QObject
{
    Q_OBJECT

public:
    static constexpr double defaultStep = 200.0;
    static constexpr double largestStep = ::largestStep; // the step box's range
    static constexpr int defaultPlotMinutes = 1;
    // The most named positions an instance keeps; a longer stored list is read as this many.
    static constexpr int maxPositions = 1000;

    // One stored named position as the file holds it; whoever owns the list checks it.
    struct StoredPosition
    {
        QVariant name;
        QVariant micrometres;
    };

    // instanceName empty: the default instance.
    explicit PanelSettings(const QString &instanceName, QObject *parent = nullptr);
    ~PanelSettings() override;

    // Where the settings file of an instance is, without opening it.
    static QString filePath(const QString &instanceName);

    // The file's path; on some platforms a registry key.
    QString fileName() const;
    // What went wrong when the file was read, for the operator; empty when nothing did.
    QString notice() const { return problem; }
    // For the parts that keep their own entries in the same file; write them with commit().
    QSettings &store() { return *settings; }
    // Writes what was changed through store() or the setters; false, with writeError() and
    // writeFailed(), when it did not reach the disk.
    bool commit();
    // Why the last write failed; empty when it succeeded.
    QString writeError() const { return failure; }

    QString port() const { return portName; }
    bool reconnect() const { return reconnecting; }
    bool allowScripts() const { return scripts; }
    QString socketPath() const { return socket; } // empty: the instance's default
    QString scriptGroup() const { return group; } // the group that may reach it; empty: none
    std::optional<QPoint> windowPosition() const { return place; }
    double stepSize() const { return step; }
    int plotMinutes() const { return minutes; }
    QString recordFolder() const { return folder; }
    // Moves longer than this ask first; 0: none asks.
    double confirmMovesOver() const { return confirmOver; }

    bool setPort(const QString &name);
    bool setReconnect(bool on);
    bool setScripts(bool on, const QString &path);
    bool setScriptGroup(const QString &name);
    void setWindowPosition(const QPoint &position); // written later, with the next write
    bool setStepSize(double micrometres);
    bool setPlotMinutes(int value);
    bool setRecordFolder(const QString &path);
    bool setConfirmMovesOver(double micrometres);

    // The stored named positions (at most maxPositions) and the serial number of the controller
    // they were saved with (invalid when none is stored).
    QList<StoredPosition> storedPositions() const;
    QVariant storedPositionsController() const;
    // Writes the whole list (after a removal, a move or an import).
    bool writePositions(const QString &controller, const QList<StoredPosition> &entries);
    // Writes entry index of a list that has count entries (one saved, renamed or appended):
    // only that entry and the count change, whatever the list's length.
    bool writePosition(int index, int count, const QString &controller,
                       const StoredPosition &entry);

    // The plot's ranges, in minutes.
    static bool isPlotRange(int value) { return value == 1 || value == 10 || value == 60; }

signals:
    // A write did not reach the disk; reason in the system's words, for the status bar, standard
    // error and a script's "error cannot save: <reason>".
    void writeFailed(const QString &reason);

private:
    void open();
    void readValues();
    void readPositionCount();
    void addNotice(const QString &text);
    bool write(const QString &key, const QVariant &value);

    QString application;
    QString path;
    bool unusable = false; // something not a regular file is in place of the file
    QString failure;
    int positionCount = 0;
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
    double confirmOver = 0.0;
};

#endif // PANELSETTINGS_H
