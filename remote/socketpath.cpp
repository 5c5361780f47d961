#include "socketpath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
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

bool makePrivateDirectory(const QString &directory, QString *error)
{
    const QByteArray name = QFile::encodeName(directory);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        *error = tr("cannot make the directory %1: %2").arg(directory, systemError());
        return false;
    }
    struct stat status
    {
    };
    if (::lstat(name.constData(), &status) != 0) {
        *error = tr("cannot use the directory %1: %2").arg(directory, systemError());
        return false;
    }
    if (!S_ISDIR(status.st_mode))
        *error = tr("%1 is not a directory").arg(directory);
    else if (status.st_uid != ::getuid())
        *error = tr("the directory %1 belongs to another user").arg(directory);
    else if ((status.st_mode & 077) != 0)
        *error = tr("the directory %1 is open to other users").arg(directory);
    else
        return true;
    return false;
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
