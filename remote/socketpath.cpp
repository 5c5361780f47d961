#include "socketpath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SocketPath {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ScriptServer", text);
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

QString runtimeDirectory()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime;
    // The temporary directory is shared: a name of the user's own there, so that no one
    // else can take the socket's place first.
    return QDir(QDir::tempPath()).filePath(QStringLiteral("lumarvethon-%1").arg(::getuid()));
}

QString defaultPath()
{
    return QDir(runtimeDirectory()).filePath(QStringLiteral("lumarvethon.sock"));
}

bool groupId(const QString &name, gid_t *gid, QString *error)
{
    const struct group *entry = ::getgrnam(name.toLocal8Bit().constData());
    if (!entry) {
        *error = tr("there is no group %1").arg(name);
        return false;
    }
    *gid = entry->gr_gid;
    return true;
}

bool makePrivateDirectory(const QString &directory, gid_t group, QString *error)
{
    const QByteArray name = QFile::encodeName(directory);
    const mode_t mode = group == noGroup ? 0700 : 0770;
    // Made private; the group gets it below, once it is the group's.
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        *error = tr("cannot make the directory %1: %2").arg(directory, systemError());
        return false;
    }
    // Opened, not named again, so that what is checked is what gets the modes.
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat status
    {
    };
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        *error = errno == ENOTDIR || errno == ELOOP
            ? tr("%1 is not a directory").arg(directory)
            : tr("cannot use the directory %1: %2").arg(directory, systemError());
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    bool ok = false;
    // Open to others, or to a group other than the chosen one: someone else may have put
    // something there.
    const bool open = (status.st_mode & 007) != 0
        || ((status.st_mode & 070) != 0 && (group == noGroup || status.st_gid != group));
    if (status.st_uid != ::getuid())
        *error = tr("the directory %1 belongs to another user").arg(directory);
    else if (open)
        *error = tr("the directory %1 is open to other users").arg(directory);
    else if ((group != noGroup && ::fchown(fd, uid_t(-1), group) != 0) || ::fchmod(fd, mode) != 0)
        *error = tr("cannot give the directory %1 to its group: %2").arg(directory, systemError());
    else
        ok = true;
    ::close(fd);
    return ok;
}

bool openToGroup(const QString &path, gid_t group, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    if (::lchown(name.constData(), uid_t(-1), group) != 0 || ::chmod(name.constData(), 0660) != 0) {
        *error = tr("cannot give the socket %1 to its group: %2").arg(path, systemError());
        return false;
    }
    return true;
}

FileId fileId(const QString &path)
{
    struct stat status
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return FileId();
    return FileId { status.st_dev, status.st_ino };
}

bool isSocket(const QString &path)
{
    struct stat status
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISSOCK(status.st_mode);
}

bool moveIntoPlace(const QString &temporary, const QString &path, QString *error)
{
    // A second name that is refused where the path is taken; rename() would replace it.
    const QByteArray from = QFile::encodeName(temporary);
    if (::link(from.constData(), QFile::encodeName(path).constData()) != 0) {
        *error = tr("cannot listen on %1: %2").arg(path, systemError());
        ::unlink(from.constData());
        return false;
    }
    ::unlink(from.constData());
    return true;
}

void removeIfSame(const QString &path, const FileId &id)
{
    if (!id.isNull() && fileId(path) == id)
        ::unlink(QFile::encodeName(path).constData());
}

} // namespace SocketPath
