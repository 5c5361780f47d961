#ifndef POSITIONLIST_H
#define POSITIONLIST_H

// The named positions of one panel instance, kept in its settings file together with the USB
// serial number of the controller they were saved with. Every change is written at once.
// Names are unique and follow isValidPositionName; entries read back that break the rules
// are left out (and counted), so a damaged file never brings a bad name or number in. It
// holds at most mostPositions entries.

#include "positionscsv.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class QSettings;

class PositionList : public QObject
{
    Q_OBJECT

public:
    // store: the instance's settings, which outlive the list.
    explicit PositionList(QSettings &store, QObject *parent = nullptr);

    const QList<NamedPosition> &positions() const { return list; }
    int indexOf(const QString &name) const;
    std::optional<double> find(const QString &name) const;
    // The serial number of the controller the list was last saved with; empty when unknown.
    QString controller() const { return controllerSerial; }
    // Entries of the file left out as bad when it was read.
    int leftOut() const { return dropped; }

    // Why save(name, micrometres) would be refused; empty when it would not.
    QString saveRefusal(const QString &name, double micrometres) const;
    // Saves under name, replacing a position of that name; false for a bad name or number,
    // or a new name when the list is full.
    bool save(const QString &name, double micrometres, const QString &controller);
    // Puts back an entry at row (or at the end); false when its name is taken now or the
    // list is full.
    bool insert(int row, const NamedPosition &position);
    // False for a bad or taken name, or a bad number.
    bool rename(int row, const QString &name);
    bool setPosition(int row, double micrometres);
    void remove(int row);
    void moveRow(int from, int to);
    struct MergeCount
    {
        int added = 0;
        int replaced = 0;
    };
    // Adds what a file brought (names unique), replacing positions of the same names; the
    // controller they were saved with stays as it was. In time linear in both lists. False,
    // with the reason, when the list would hold more than mostPositions; then nothing changes.
    bool merge(const QList<NamedPosition> &positions, MergeCount *count, QString *error);

signals:
    void changed();

private:
    void load();
    void writeEntry(int row); // a saved or renamed entry alone, whatever the length
    void write();
    void writeRows(int first, int end, bool whole); // rows [first, end), or all anew

    QSettings &store;
    QList<NamedPosition> list;
    QString controllerSerial;
    int dropped = 0;
};

#endif // POSITIONLIST_H
