#include "files/trash.h"

#include "files/fileoperations.h"

#include <QtGlobal>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Trash {

namespace {

using FileOperations::SystemError;

QByteArray Parent(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

QByteArray BaseName(const QByteArray &path) { return path.mid(path.lastIndexOf('/') + 1); }

// The path without a trailing slash.
QByteArray Tidied(QByteArray path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

// The device of the nearest existing folder at or above path.
std::optional<dev_t> DeviceAbove(QByteArray path)
{
    for (;;) {
        struct stat facts{};
        if (::stat(path.constData(), &facts) == 0)
            return facts.st_dev;
        if (path == "/")
            return std::nullopt;
        path = Parent(path);
    }
}

// The top folder of the file system the file at path is on: the highest
// folder above it on the same device.
QByteArray TopDirectory(const QByteArray &path, dev_t device)
{
    QByteArray at = Parent(path);
    while (at != "/") {
        const QByteArray up = Parent(at);
        struct stat facts{};
        if (::stat(up.constData(), &facts) != 0 || facts.st_dev != device)
            break;
        at = up;
    }
    return at;
}

// A folder of this user's own, made 0700 where it is missing (its parents
// too, when parents is set); no link, no one else's.
bool OwnFolder(const QByteArray &path, uid_t uid, bool parents, int *error)
{
    if (::mkdir(path.constData(), 0700) != 0) {
        if (errno == ENOENT && parents && path != "/" && OwnFolder(Parent(path), uid, true, error))
            return OwnFolder(path, uid, false, error);
        if (errno != EEXIST) {
            *error = errno;
            return false;
        }
    }
    struct stat facts{};
    if (::lstat(path.constData(), &facts) != 0 || !S_ISDIR(facts.st_mode) || facts.st_uid != uid) {
        *error = EACCES;
        return false;
    }
    return true;
}

// A trash folder with its files/ and info/, made where it is missing.
bool TrashFolder(const QByteArray &trash, uid_t uid, bool parents, int *error)
{
    return OwnFolder(trash, uid, parents, error) && OwnFolder(trash + "/files", uid, false, error) &&
           OwnFolder(trash + "/info", uid, false, error);
}

struct Chosen
{
    QByteArray trash;
    // Empty for the home trash, whose .trashinfo holds absolute paths.
    QByteArray topDirectory;
};

std::optional<Chosen> TrashFor(const QByteArray &path, const struct stat &file, const Places &places, int *error)
{
    const std::optional<dev_t> home = DeviceAbove(places.home);
    if (home && *home == file.st_dev)
        return TrashFolder(places.home, places.uid, true, error) ? std::optional<Chosen>(Chosen{places.home, {}})
                                                                 : std::nullopt;
    const QByteArray top = TopDirectory(path, file.st_dev);
    const QByteArray prefix = top == "/" ? QByteArray() : top;
    const QByteArray uid = QByteArray::number(places.uid);
    // A shared .Trash counts only when it is a real, sticky folder.
    struct stat shared{};
    const QByteArray sharedTrash = prefix + "/.Trash";
    if (::lstat(sharedTrash.constData(), &shared) == 0 && S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX) &&
        TrashFolder(sharedTrash + '/' + uid, places.uid, false, error))
        return Chosen{sharedTrash + '/' + uid, top};
    if (TrashFolder(prefix + "/.Trash-" + uid, places.uid, false, error))
        return Chosen{prefix + "/.Trash-" + uid, top};
    return std::nullopt;
}

bool WriteAll(int descriptor, const QByteArray &bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(descriptor, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}

} // namespace

Places UsersPlaces()
{
    QByteArray data = qgetenv("XDG_DATA_HOME");
    if (!data.startsWith('/'))
        data = qgetenv("HOME") + "/.local/share";
    return Places{Tidied(data) + "/Trash", ::getuid()};
}

Result MoveToTrash(const QByteArray &nativePath, const Places &places, const QDateTime &when)
{
    Result result;
    const QByteArray path = Tidied(nativePath);
    struct stat file{};
    if (!path.startsWith('/') || path == "/" || ::lstat(path.constData(), &file) != 0) {
        result.error = SystemError(path.startsWith('/') && path != "/" ? errno : EINVAL);
        return result;
    }
    int error = 0;
    const std::optional<Chosen> chosen = TrashFor(path, file, places, &error);
    if (!chosen) {
        result.error = SystemError(error);
        return result;
    }
    // The original place, absolute in the home trash, else from the top folder.
    QByteArray original = path;
    if (!chosen->topDirectory.isEmpty() && chosen->topDirectory != "/")
        original = path.mid(chosen->topDirectory.size() + 1);
    else if (!chosen->topDirectory.isEmpty())
        original = path.mid(1);
    const QByteArray contents = "[Trash Info]\nPath=" + original.toPercentEncoding("/") +
                                "\nDeletionDate=" + when.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() + "\n";
    QByteArray base = BaseName(path);
    // A .trashinfo name must fit beside its ending.
    if (base.size() > 200)
        base.truncate(200);
    for (int n = 1; n < 10000; ++n) {
        const QByteArray name = n == 1 ? base : base + '.' + QByteArray::number(n);
        const QByteArray info = chosen->trash + "/info/" + name + ".trashinfo";
        const QByteArray target = chosen->trash + "/files/" + name;
        const int descriptor = ::open(info.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (descriptor < 0) {
            if (errno == EEXIST)
                continue;
            result.error = SystemError(errno);
            return result;
        }
        struct stat taken{};
        if (::lstat(target.constData(), &taken) == 0) {
            // A file left in files/ without its .trashinfo keeps its name.
            ::close(descriptor);
            ::unlink(info.constData());
            continue;
        }
        const bool written = WriteAll(descriptor, contents) && ::fsync(descriptor) == 0;
        const int writeError = errno;
        if (::close(descriptor) != 0 || !written) {
            ::unlink(info.constData());
            result.error = SystemError(written ? errno : writeError);
            return result;
        }
        if (::rename(path.constData(), target.constData()) != 0) {
            const int moveError = errno;
            ::unlink(info.constData());
            result.error = SystemError(moveError);
            return result;
        }
        result.trashed = Trashed{path, target, info};
        return result;
    }
    result.error = SystemError(EEXIST);
    return result;
}

bool Restore(const Trashed &trashed, QString *error)
{
    // Never over something that is there now.
    if (::renameat2(AT_FDCWD, trashed.file.constData(), AT_FDCWD, trashed.original.constData(), RENAME_NOREPLACE) != 0) {
        int code = errno;
        if (code == EINVAL || code == ENOSYS) {
            struct stat there{};
            code = ::lstat(trashed.original.constData(), &there) == 0 ? EEXIST
                   : ::rename(trashed.file.constData(), trashed.original.constData()) == 0 ? 0
                                                                                           : errno;
        }
        if (code != 0) {
            if (error)
                *error = SystemError(code);
            return false;
        }
    }
    ::unlink(trashed.info.constData());
    return true;
}

} // namespace Trash
