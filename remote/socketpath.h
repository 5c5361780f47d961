#ifndef SOCKETPATH_H
#define SOCKETPATH_H

// Keeping the script socket's path the panel's own: where it goes by default, the private
// directory it goes in when the session has no runtime directory, which file at the path
// may be replaced, and which file the panel may remove again. Plain calls on the file
// system; the server decides when.

#include <QString>

#include <sys/types.h>

namespace SocketPath {

// $XDG_RUNTIME_DIR, or "lumarvethon-<uid>" in the temporary directory when that is unset.
QString runtimeDirectory();
// runtimeDirectory() + "/lumarvethon.sock".
QString defaultPath();

// No group: the socket and its directory stay the user's own.
constexpr gid_t noGroup = gid_t(-1);

// The id of the named group; false, with the reason, when there is none.
bool groupId(const QString &name, gid_t *gid, QString *error);

// Makes the private directory (mode 0700; 0770 and the group's when a group is given) if it
// is missing, and gives one of the user's own these modes; false, with the reason, when it
// is no directory, belongs to another user or is open to others than the user and the group.
bool makePrivateDirectory(const QString &directory, gid_t group, QString *error);

// Opens the socket at path to the group (mode 0660, the group's); false, with the reason,
// when the user may not give it to that group.
bool openToGroup(const QString &path, gid_t group, QString *error);

// Which file a path names (without following a final symbolic link); null when none.
struct FileId
{
    dev_t device = 0;
    ino_t inode = 0;
    bool isNull() const { return device == 0 && inode == 0; }
    bool operator==(const FileId &other) const
    {
        return device == other.device && inode == other.inode;
    }
};
FileId fileId(const QString &path);
// Whether path names a socket itself (a symbolic link to one is not).
bool isSocket(const QString &path);

// Gives the file at temporary the name path as well, only while path names nothing, then
// drops the temporary name. False, with the reason, when path is taken.
bool moveIntoPlace(const QString &temporary, const QString &path, QString *error);

// Removes path only while it still names the file id.
void removeIfSame(const QString &path, const FileId &id);

} // namespace SocketPath

#endif // SOCKETPATH_H
