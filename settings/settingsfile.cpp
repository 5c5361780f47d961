#include "settingsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

QString settingsFilePath(const QString &organization, const QString &application)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QLatin1Char('/') + organization + QLatin1Char('/') + application
        + QStringLiteral(".conf");
}

QString setAsideIfNotRegular(const QString &path, bool *unusable)
{
    *unusable = false;
    const QFileInfo info(path);
    // exists() follows a link: a dangling one is as good as no file, QSettings replaces it.
    if (!info.exists() || info.isFile())
        return QString();
    const QString kept = path + QStringLiteral(".bad");
    // A directory left from an earlier .bad is not replaced: it may hold what the operator wants.
    const bool moved = !QFileInfo::exists(kept) && QDir().rename(path, kept);
    *unusable = !moved;
    return moved ? QCoreApplication::translate("PanelSettings",
                                               "The settings file %1 was not a regular file and "
                                               "was kept as %2; the defaults are used")
                       .arg(path, kept)
                 : QCoreApplication::translate("PanelSettings",
                                               "The settings file %1 is not a regular file and "
                                               "was left alone; the defaults are used and "
                                               "nothing is remembered")
                       .arg(path);
}

QString writeFailureReason(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return QCoreApplication::translate("PanelSettings", "%1 is not a regular file").arg(path);
    // The same steps as the toolkit's write: a new file beside the old one, as large as it.
    QSaveFile probe(path);
    if (!probe.open(QIODevice::WriteOnly))
        return probe.errorString();
    const QByteArray block(int(std::max<qint64>(info.size(), 4096)), '\n');
    QString reason;
    if (probe.write(block) != block.size() || !probe.flush())
        reason = probe.errorString();
    probe.cancelWriting();
    return reason.isEmpty()
        ? QCoreApplication::translate("PanelSettings", "the file %1 could not be written").arg(path)
        : reason;
}
