#include "instancelock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

InstanceLock::InstanceLock(const QString &settingsPath)
    : path(settingsPath + QStringLiteral(".running"))
    , lock(std::make_unique<QLockFile>(path))
{
    // Never stale by age: a panel runs for weeks. Only a dead owner gives the lock up.
    lock->setStaleLockTime(0);
}

InstanceLock::~InstanceLock() = default; // QLockFile unlocks on destruction

InstanceLock::Result InstanceLock::tryLock()
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    // tryLock() removes a lock whose process is gone (same host) before taking it.
    if (lock->tryLock(0))
        return Result::Taken;
    qint64 pid = 0;
    QString host;
    QString application;
    if (lock->error() == QLockFile::LockFailedError
        && lock->getLockInfo(&pid, &host, &application)) {
        text = QCoreApplication::translate("InstanceLock",
                                           "this instance runs already (process %1); its lock "
                                           "is %2")
                   .arg(pid)
                   .arg(path);
        return Result::Held;
    }
    if (lock->error() == QLockFile::LockFailedError) {
        text = QCoreApplication::translate("InstanceLock",
                                           "this instance runs already; its lock is %1")
                   .arg(path);
        return Result::Held;
    }
    text = QCoreApplication::translate("InstanceLock",
                                       "cannot make the lock %1, so a second panel of this "
                                       "instance would not be noticed")
               .arg(path);
    return Result::Unavailable;
}
