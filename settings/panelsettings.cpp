#include "panelsettings.h"

#include "settingsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSettings>
#include <QStringList>

#include <cmath>

namespace {

const QString organization = QStringLiteral("lumarvethon");
const QString portKey = QStringLiteral("connection/port");
const QString reconnectKey = QStringLiteral("connection/reconnect");
const QString scriptsKey = QStringLiteral("scripts/allow");
const QString socketKey = QStringLiteral("scripts/socket");
const QString groupKey = QStringLiteral("scripts/group");
const QString placeKey = QStringLiteral("window/position");
const QString stepKey = QStringLiteral("positioning/step");
const QString minutesKey = QStringLiteral("plot/minutes");
const QString confirmKey = QStringLiteral("moves/confirmOver");
const QString folderKey = QStringLiteral("record/folder");
const QString positionsCountKey = QStringLiteral("positions/list/size");
const QString positionsControllerKey = QStringLiteral("positions/controller");

// The key of a field of entry index (0-based) of the stored list, as QSettings arrays name it.
QString positionKey(int index, const char *field)
{
    return QStringLiteral("positions/list/%1/%2").arg(index + 1).arg(QLatin1String(field));
}

// For a path where something else than a file stands: reads nothing, writes nothing.
bool readNothing(QIODevice &, QSettings::SettingsMap &)
{
    return true;
}
bool writeNothing(QIODevice &, const QSettings::SettingsMap &)
{
    return false;
}

// Far beyond any desktop; a place outside every screen is dropped by the window later.
constexpr int farthestPlace = 100000;

// The text formats store everything as text, the registry keeps types: both are taken.
std::optional<bool> readBool(const QVariant &value)
{
    if (value.userType() == QMetaType::Bool)
        return value.toBool();
    if (value.userType() == QMetaType::QString) {
        if (value.toString() == QLatin1String("true"))
            return true;
        if (value.toString() == QLatin1String("false"))
            return false;
    }
    return std::nullopt;
}

std::optional<double> readDouble(const QVariant &value, double lowest, double highest)
{
    bool ok = false;
    double number = 0.0;
    if (value.userType() == QMetaType::QString)
        number = QLocale::c().toDouble(value.toString(), &ok);
    else if (value.userType() == QMetaType::Double || value.userType() == QMetaType::Int
             || value.userType() == QMetaType::LongLong)
        number = value.toDouble(&ok);
    if (!ok || !std::isfinite(number) || number < lowest || number > highest)
        return std::nullopt;
    return number;
}

// A text without control characters, of a sane length; absolute when it is a path.
std::optional<QString> readText(const QVariant &value, bool absolutePath)
{
    if (value.userType() != QMetaType::QString)
        return std::nullopt;
    const QString text = value.toString();
    if (text.isEmpty() || text.size() > 4096 || (absolutePath && QDir::isRelativePath(text)))
        return std::nullopt;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return std::nullopt;
    }
    return text;
}

} // namespace

PanelSettings::PanelSettings(const QString &instanceName, QObject *parent)
    : QObject(parent)
    , application(instanceName.isEmpty() ? organization
                                         : organization + QLatin1Char('-') + instanceName)
    , path(filePath(instanceName))
{
    // Before anything opens it: a pipe would block the reader, a directory fails every write.
    problem = setAsideIfNotRegular(path, &unusable);
    open();
    if (unusable)
        return;
    if (settings->status() == QSettings::FormatError) {
        // Set aside, not deleted: the operator may want it back; the defaults are used.
        const QString path = settings->fileName();
        settings.reset();
        const QString kept = path + QStringLiteral(".bad");
        QFile::remove(kept);
        const bool moved = QFile::rename(path, kept);
        open();
        problem = moved
            ? QCoreApplication::translate("PanelSettings",
                                          "The settings file could not be read and was kept as %1; "
                                          "the defaults are used")
                  .arg(kept)
            : QCoreApplication::translate("PanelSettings",
                                          "The settings file %1 could not be read; the defaults "
                                          "are used")
                  .arg(path);
        return;
    }
    if (settings->status() == QSettings::AccessError)
        addNotice(QCoreApplication::translate(
                      "PanelSettings", "The settings file %1 cannot be read; the defaults are used")
                      .arg(settings->fileName()));
    else
        readValues();
}

PanelSettings::~PanelSettings() = default;

QString PanelSettings::filePath(const QString &instanceName)
{
    return settingsFilePath(
        organization,
        instanceName.isEmpty() ? organization : organization + QLatin1Char('-') + instanceName);
}

void PanelSettings::open()
{
    if (unusable) {
        static const QSettings::Format nowhere
            = QSettings::registerFormat(QStringLiteral("unused"), readNothing, writeNothing);
        settings = std::make_unique<QSettings>(path + QStringLiteral("/unused"), nowhere);
        return;
    }
    settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                           organization, application);
}

bool PanelSettings::commit()
{
    bool written = false;
    if (!unusable) {
        // QSettings keeps the first error for ever; a second object on the same file shares
        // its pending changes, writes them as it opens, and has a status of its own.
        const QSettings writer(QSettings::NativeFormat, QSettings::UserScope, organization,
                               application);
        written = writer.status() == QSettings::NoError;
    }
    if (written) {
        failure.clear();
        return true;
    }
    failure = unusable ? tr("%1 is not a regular file").arg(path) : writeFailureReason(path);
    emit writeFailed(failure);
    return false;
}

QString PanelSettings::fileName() const
{
    return settings->fileName();
}

void PanelSettings::readValues()
{
    QStringList replaced;
    // Takes a value that is there and good; notes one that is there and bad.
    const auto take = [&](const QString &key, auto read, auto &into) {
        const QVariant value = settings->value(key);
        if (!value.isValid())
            return;
        if (const auto checked = read(value))
            into = *checked;
        else
            replaced.append(key);
    };
    take(
        portKey, [](const QVariant &v) { return readText(v, false); }, portName);
    take(reconnectKey, readBool, reconnecting);
    take(scriptsKey, readBool, scripts);
    take(
        socketKey, [](const QVariant &v) { return readText(v, true); }, socket);
    take(
        groupKey, [](const QVariant &v) { return readText(v, false); }, group);
    take(
        placeKey,
        [](const QVariant &v) -> std::optional<std::optional<QPoint>> {
            const QPoint p = v.toPoint();
            if (v.userType() != QMetaType::QPoint || std::abs(p.x()) > farthestPlace
                || std::abs(p.y()) > farthestPlace)
                return std::nullopt;
            return std::optional<QPoint>(p);
        },
        place);
    take(
        stepKey, [](const QVariant &v) { return readDouble(v, 0.0, largestStep); }, step);
    take(
        minutesKey,
        [](const QVariant &v) -> std::optional<int> {
            const std::optional<double> m = readDouble(v, 1, 60);
            if (!m || !isPlotRange(int(*m)) || *m != std::floor(*m))
                return std::nullopt;
            return int(*m);
        },
        minutes);
    take(
        folderKey, [](const QVariant &v) { return readText(v, true); }, folder);
    take(
        confirmKey, [](const QVariant &v) { return readDouble(v, 0.0, 1e9); }, confirmOver);
    readPositionCount();
    if (!replaced.isEmpty())
        addNotice(QCoreApplication::translate("PanelSettings",
                                              "Settings not valid, their defaults are used: %1")
                      .arg(replaced.join(QStringLiteral(", "))));
}

bool PanelSettings::write(const QString &key, const QVariant &value)
{
    settings->setValue(key, value);
    return commit(); // now, so that a crash loses nothing
}

bool PanelSettings::setPort(const QString &name)
{
    portName = name;
    return write(portKey, name);
}

bool PanelSettings::setReconnect(bool on)
{
    reconnecting = on;
    return write(reconnectKey, on);
}

bool PanelSettings::setScripts(bool on, const QString &socketPath)
{
    scripts = on;
    settings->setValue(scriptsKey, on);
    if (!socketPath.isEmpty()) {
        socket = socketPath;
        settings->setValue(socketKey, socketPath);
    }
    return commit();
}

bool PanelSettings::setScriptGroup(const QString &name)
{
    group = name;
    if (!name.isEmpty())
        return write(groupKey, name);
    settings->remove(groupKey); // none: an empty entry would read as a damaged one
    return commit();
}

void PanelSettings::setWindowPosition(const QPoint &position)
{
    if (place == position)
        return;
    place = position;
    // Moves come in bursts while the window is dragged; the toolkit writes them a moment
    // later, once the burst is over.
    settings->setValue(placeKey, position);
}

bool PanelSettings::setStepSize(double micrometres)
{
    step = micrometres;
    return write(stepKey, micrometres);
}

bool PanelSettings::setPlotMinutes(int value)
{
    minutes = value;
    return write(minutesKey, value);
}

bool PanelSettings::setRecordFolder(const QString &path)
{
    folder = path;
    return write(folderKey, path);
}

void PanelSettings::addNotice(const QString &text)
{
    problem += (problem.isEmpty() ? QString() : QStringLiteral("; ")) + text;
}

void PanelSettings::readPositionCount()
{
    const QVariant stored = settings->value(positionsCountKey);
    bool ok = false;
    const qlonglong count = stored.toLongLong(&ok);
    if (!stored.isValid() || (ok && count >= 0 && count <= maxPositions)) {
        positionCount = ok ? int(count) : 0;
        return;
    }
    // Read as far as a list can go, never as far as the file claims (2^31 entries would take
    // half an hour of a panel that cannot be stopped).
    positionCount = ok && count > maxPositions ? maxPositions : 0;
    settings->setValue(positionsCountKey, positionCount); // also for a reader of the array
    addNotice(tr("The list of named positions claims %1 entries; %2 are read")
                  .arg(stored.toString())
                  .arg(positionCount));
}

QList<PanelSettings::StoredPosition> PanelSettings::storedPositions() const
{
    QList<StoredPosition> entries;
    entries.reserve(positionCount);
    for (int i = 0; i < positionCount; ++i)
        entries.append(
            { settings->value(positionKey(i, "name")), settings->value(positionKey(i, "um")) });
    return entries;
}

QVariant PanelSettings::storedPositionsController() const
{
    return settings->value(positionsControllerKey);
}

bool PanelSettings::writePositions(const QString &controller, const QList<StoredPosition> &entries)
{
    settings->remove(QStringLiteral("positions")); // a shorter list leaves nothing behind
    settings->setValue(positionsControllerKey, controller);
    for (int i = 0; i < entries.size(); ++i) {
        settings->setValue(positionKey(i, "name"), entries.at(i).name);
        settings->setValue(positionKey(i, "um"), entries.at(i).micrometres);
    }
    positionCount = int(entries.size());
    settings->setValue(positionsCountKey, positionCount);
    return commit();
}

bool PanelSettings::writePosition(int index, int count, const QString &controller,
                                  const StoredPosition &entry)
{
    settings->setValue(positionsControllerKey, controller);
    settings->setValue(positionKey(index, "name"), entry.name);
    settings->setValue(positionKey(index, "um"), entry.micrometres);
    positionCount = count;
    settings->setValue(positionsCountKey, count);
    return commit();
}

bool PanelSettings::setConfirmMovesOver(double micrometres)
{
    confirmOver = micrometres;
    return write(confirmKey, micrometres);
}
