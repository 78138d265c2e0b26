#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>
#include <sys/types.h>

// The desktop's trash, laid out as freedesktop.org's desktops share it,
// by the bytes of the names. A file on the file system of the home trash
// ($XDG_DATA_HOME/Trash) goes there; a file elsewhere goes to its file
// system's own trash: $topdir/.Trash/$uid where the administrator made a
// shared .Trash (a sticky folder, no link), else $topdir/.Trash-$uid, made
// 0700. Each trashed file gets a unique name in files/ and its .trashinfo
// in info/ (the original path percent-encoded, the deletion date), and the
// .trashinfo is made first, exclusively, so that two programs never take
// the same name. A file that no trash can take stays where it is: nothing
// is ever deleted here.
namespace Trash {

struct Places
{
    // The home trash's folder ($XDG_DATA_HOME/Trash).
    QByteArray home;
    uid_t uid = 0;
};

// The home trash of this user, from XDG_DATA_HOME (else ~/.local/share).
Places UsersPlaces();

struct Trashed
{
    // Where the file was, and where it now is with its .trashinfo.
    QByteArray original;
    QByteArray file;
    QByteArray info;
};

struct Result
{
    std::optional<Trashed> trashed;
    // Why the file could not be trashed (the system's words), when it was not.
    QString error;
};

// Moves the file or folder at the absolute nativePath into the trash; the
// deletion date is when, in local time.
Result MoveToTrash(const QByteArray &nativePath, const Places &places,
                   const QDateTime &when = QDateTime::currentDateTime());

// Puts a trashed file back where it was, unless something else is there now
// (never overwritten); its .trashinfo goes. The error says why not.
bool Restore(const Trashed &trashed, QString *error = nullptr);

} // namespace Trash
