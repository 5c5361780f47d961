#ifndef INSTANCELOCK_H
#define INSTANCELOCK_H

// Keeps a second panel of the same instance (same user, same machine, same name) from running
// beside the first, which would overwrite what the first remembers. A lock file beside the
// settings file holds the owner's process id; it is taken over when that process is gone and
// released when the lock is destroyed.

#include <QLockFile>
#include <QString>

#include <memory>

class InstanceLock
{
public:
    enum class Result { Taken, Held, Unavailable };

    // The lock of the settings file at settingsPath; nothing happens until tryLock().
    explicit InstanceLock(const QString &settingsPath);
    ~InstanceLock();

    // Held: another running panel owns it (message() names it). Unavailable: the lock file
    // cannot be made (a read-only configuration); the panel then runs without the lock.
    Result tryLock();
    QString message() const { return text; }
    QString fileName() const { return path; }

private:
    QString path;
    std::unique_ptr<QLockFile> lock;
    QString text;
};

#endif // INSTANCELOCK_H
