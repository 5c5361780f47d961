#include "positionlist.h"

#include <QHash>
#include <QSet>
#include <QSettings>

namespace {

const QString group = QStringLiteral("positions");
const QString arrayKey = QStringLiteral("list");
const QString controllerKey = QStringLiteral("controller");

} // namespace

PositionList::PositionList(QSettings &store, QObject *parent)
    : QObject(parent)
    , store(store)
{
    load();
}

void PositionList::load()
{
    store.beginGroup(group);
    const QVariant serial = store.value(controllerKey);
    if (serial.userType() == QMetaType::QString)
        controllerSerial = serial.toString();
    else if (serial.isValid())
        ++dropped;
    const int count = store.beginReadArray(arrayKey);
    QSet<QString> names;
    for (int i = 0; i < count; ++i) {
        store.setArrayIndex(i);
        const QVariant name = store.value(QStringLiteral("name"));
        const QVariant value = store.value(QStringLiteral("um"));
        NamedPosition position;
        position.name = name.toString();
        // The file holds both as text; anything else is no entry this panel wrote.
        if (name.userType() != QMetaType::QString || value.userType() != QMetaType::QString
            || !isValidPositionName(position.name) || names.contains(position.name)
            || !readPositionNumber(value.toString(), &position.micrometres)) {
            ++dropped;
            continue;
        }
        names.insert(position.name);
        list.append(position);
    }
    store.endArray();
    store.endGroup();
}

void PositionList::write()
{
    writeRows(0, int(list.size()), true);
}

void PositionList::writeEntry(int row)
{
    // One entry and the count: the other entries stay as they are in the store.
    writeRows(row, row + 1, false);
}

void PositionList::writeRows(int first, int end, bool whole)
{
    store.beginGroup(group);
    if (whole)
        store.remove(QString()); // the whole group, so that no longer list leaves entries behind
    store.setValue(controllerKey, controllerSerial);
    store.beginWriteArray(arrayKey, int(list.size()));
    for (int i = first; i < end; ++i) {
        store.setArrayIndex(i);
        store.setValue(QStringLiteral("name"), list.at(i).name);
        store.setValue(QStringLiteral("um"), formatPosition(list.at(i).micrometres));
    }
    store.endArray();
    store.endGroup();
    store.sync();
    emit changed();
}

int PositionList::indexOf(const QString &name) const
{
    for (int i = 0; i < list.size(); ++i) {
        if (list.at(i).name == name)
            return i;
    }
    return -1;
}

std::optional<double> PositionList::find(const QString &name) const
{
    const int row = indexOf(name);
    if (row < 0)
        return std::nullopt;
    return list.at(row).micrometres;
}

QString PositionList::saveRefusal(const QString &name, double micrometres) const
{
    double checked = 0.0;
    if (!isValidPositionName(name))
        return tr("\"%1\" cannot be a name: letters, digits, spaces, \"-\" and \"_\", at most "
                  "%2")
            .arg(name)
            .arg(longestPositionName);
    if (!readPositionNumber(formatPosition(micrometres), &checked))
        return tr("%1 \u00b5m is out of range").arg(micrometres);
    if (list.size() >= mostPositions && indexOf(name) < 0)
        return tr("the list is full: %1 positions are the most it holds").arg(mostPositions);
    return QString();
}

bool PositionList::save(const QString &name, double micrometres, const QString &controller)
{
    if (!saveRefusal(name, micrometres).isEmpty())
        return false;
    int row = indexOf(name);
    if (row >= 0) {
        list[row].micrometres = micrometres;
    } else {
        row = int(list.size());
        list.append({ name, micrometres });
    }
    if (!controller.isEmpty())
        controllerSerial = controller;
    writeEntry(row);
    return true;
}

bool PositionList::rename(int row, const QString &name)
{
    if (row < 0 || row >= list.size() || !isValidPositionName(name))
        return false;
    const int taken = indexOf(name);
    if (taken >= 0 && taken != row)
        return false;
    list[row].name = name;
    writeEntry(row);
    return true;
}

bool PositionList::setPosition(int row, double micrometres)
{
    double checked = 0.0;
    if (row < 0 || row >= list.size() || !readPositionNumber(formatPosition(micrometres), &checked))
        return false;
    list[row].micrometres = micrometres;
    write();
    return true;
}

bool PositionList::insert(int row, const NamedPosition &position)
{
    if (!saveRefusal(position.name, position.micrometres).isEmpty() || indexOf(position.name) >= 0)
        return false;
    list.insert(row < 0 || row > list.size() ? int(list.size()) : row, position);
    write();
    return true;
}

void PositionList::remove(int row)
{
    if (row < 0 || row >= list.size())
        return;
    list.removeAt(row);
    write();
}

void PositionList::moveRow(int from, int to)
{
    if (from < 0 || from >= list.size() || to < 0 || to >= list.size() || from == to)
        return;
    list.move(from, to);
    write();
}

bool PositionList::merge(const QList<NamedPosition> &positions, MergeCount *count, QString *error)
{
    QHash<QString, int> rows;
    rows.reserve(int(list.size()));
    for (int row = 0; row < list.size(); ++row)
        rows.insert(list.at(row).name, row);
    MergeCount counted;
    for (const NamedPosition &position : positions)
        ++(rows.contains(position.name) ? counted.replaced : counted.added);
    if (list.size() + counted.added > mostPositions) {
        *error = tr("%1 positions would be more than the %2 a list holds")
                     .arg(list.size() + counted.added)
                     .arg(mostPositions);
        return false;
    }
    for (const NamedPosition &position : positions) {
        const auto row = rows.constFind(position.name);
        if (row != rows.constEnd())
            list[*row].micrometres = position.micrometres;
        else
            list.append(position);
    }
    *count = counted;
    write();
    return true;
}
