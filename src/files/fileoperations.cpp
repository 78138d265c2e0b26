#include "files/fileoperations.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileOperations {

namespace {

constexpr qsizetype LongestName = 255;

Outcome Failed(int code) { return Outcome{false, SystemError(code)}; }

// Where the file system cannot rename without replacing: a hard link takes
// the name only where there is none, and the old name goes after.
Outcome RenameByLink(const QByteArray &from, const QByteArray &to)
{
    if (::link(from.constData(), to.constData()) == 0) {
        if (::unlink(from.constData()) == 0)
            return Outcome{true, {}};
        const int error = errno;
        ::unlink(to.constData());
        return Failed(error);
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EMLINK && errno != ENOSYS)
        return Failed(errno);
    // No hard links either (FAT, some shares): the name is looked at just before.
    struct stat there{};
    if (::lstat(to.constData(), &there) == 0)
        return Failed(EEXIST);
    if (errno != ENOENT)
        return Failed(errno);
    return ::rename(from.constData(), to.constData()) == 0 ? Outcome{true, {}} : Failed(errno);
}

} // namespace

QString SystemError(int code)
{
    if (code == EEXIST || code == ENOTEMPTY)
        return QStringLiteral("同じ名前のファイルがすでにあります。");
    return qt_error_string(code);
}

QString NameProblem(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("名前を入力してください。");
    if (name.contains(QLatin1Char('/')))
        return QStringLiteral("名前に「/」は使えません。");
    if (name.contains(QChar(0)))
        return QStringLiteral("名前に使えない文字が含まれています。");
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("この名前は使えません。");
    if (QFile::encodeName(name).size() > LongestName)
        return QStringLiteral("名前が長すぎます。");
    return QString();
}

Outcome Rename(const QByteArray &nativePath, const QByteArray &newName)
{
    if (newName.isEmpty() || newName.contains('/') || newName.contains('\0') || newName == "." || newName == "..")
        return Failed(EINVAL);
    const qsizetype slash = nativePath.lastIndexOf('/');
    if (slash < 0)
        return Failed(EINVAL);
    const QByteArray to = nativePath.left(slash + 1) + newName;
    if (to == nativePath)
        return Outcome{true, {}};
    if (::renameat2(AT_FDCWD, nativePath.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return Outcome{true, {}};
    if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP || errno == EOPNOTSUPP)
        return RenameByLink(nativePath, to);
    return Failed(errno);
}

} // namespace FileOperations
