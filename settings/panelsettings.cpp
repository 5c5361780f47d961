#include "panelsettings.h"

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
const QString folderKey = QStringLiteral("record/folder");

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

PanelSettings::PanelSettings(const QString &instanceName)
    : application(instanceName.isEmpty() ? organization
                                         : organization + QLatin1Char('-') + instanceName)
{
    open();
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
        problem = QCoreApplication::translate(
                      "PanelSettings", "The settings file %1 cannot be read; the defaults are used")
                      .arg(settings->fileName());
    else
        readValues();
}

PanelSettings::~PanelSettings() = default;

void PanelSettings::open()
{
    settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                           organization, application);
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
    if (!replaced.isEmpty())
        problem = QCoreApplication::translate("PanelSettings",
                                              "Settings not valid, their defaults are used: %1")
                      .arg(replaced.join(QStringLiteral(", ")));
}

void PanelSettings::write(const QString &key, const QVariant &value)
{
    settings->setValue(key, value);
    settings->sync(); // now, so that a crash loses nothing
}

void PanelSettings::setPort(const QString &name)
{
    portName = name;
    write(portKey, name);
}

void PanelSettings::setReconnect(bool on)
{
    reconnecting = on;
    write(reconnectKey, on);
}

void PanelSettings::setScripts(bool on, const QString &path)
{
    scripts = on;
    settings->setValue(scriptsKey, on);
    if (!path.isEmpty()) {
        socket = path;
        settings->setValue(socketKey, path);
    }
    settings->sync();
}

void PanelSettings::setScriptGroup(const QString &name)
{
    group = name;
    if (name.isEmpty()) { // none: an empty entry would read as a damaged one
        settings->remove(groupKey);
        settings->sync();
    } else {
        write(groupKey, name);
    }
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

void PanelSettings::setStepSize(double micrometres)
{
    step = micrometres;
    write(stepKey, micrometres);
}

void PanelSettings::setPlotMinutes(int value)
{
    minutes = value;
    write(minutesKey, value);
}

void PanelSettings::setRecordFolder(const QString &path)
{
    folder = path;
    write(folderKey, path);
}
