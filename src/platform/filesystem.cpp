#include "platform/filesystem.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

std::optional<QStringList> listEntries(const std::optional<QString> &native, QDir::Filters filters)
{
    if (!native)
        return std::nullopt;
    const QFileInfo info(*native);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable())
        return std::nullopt;
    QStringList names;
    QDirIterator it(*native, filters);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        // Broken links and link loops come with the system entries; only
        // what leads to a folder is one.
        if ((filters & QDir::Dirs) && !it.fileInfo().isDir())
            continue;
        if (FileSystem::isRepresentable(name))
            names.append(name);
    }
    return names;
}

} // namespace

bool FileSystem::isRepresentable(const QString &name)
{
    if (name.isEmpty() || name.contains(QLatin1Char('\\')) || name.contains(QChar::ReplacementCharacter))
        return false;
    for (const QChar c : name)
        if (c.unicode() < 0x20)
            return false;
    // Names that are not valid UTF-8 on disk decode with surrogate escapes or
    // replacement characters; a round trip tells.
    return QFile::decodeName(QFile::encodeName(name)) == name && QString::fromUtf8(name.toUtf8()) == name;
}

std::optional<QStringList> FileSystem::listSubFolders(const QString &windowsFolder) const
{
    return listEntries(toNative(windowsFolder),
                       QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

std::optional<QStringList> FileSystem::listFiles(const QString &windowsFolder) const
{
    auto names = listEntries(toNative(windowsFolder), QDir::Files);
    if (names)
        names->removeIf([](const QString &name) { return name.startsWith(QLatin1Char('.')); });
    return names;
}

bool FileSystem::isReadableFolder(const QString &windowsFolder) const
{
    const auto native = toNative(windowsFolder);
    if (!native)
        return false;
    const QFileInfo info(*native);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

bool FileSystem::fileExists(const QString &windowsPath) const
{
    const auto native = toNative(windowsPath);
    return native && QFileInfo(*native).isFile();
}

std::optional<qint64> FileSystem::fileLength(const QString &windowsPath) const
{
    const auto native = toNative(windowsPath);
    if (!native)
        return std::nullopt;
    const QFileInfo info(*native);
    if (!info.isFile())
        return std::nullopt;
    return info.size();
}

int FileSystem::deleteFiles(const QString &windowsPattern) const
{
    const qsizetype cut = windowsPattern.lastIndexOf(QLatin1Char('\\'));
    if (cut < 0)
        return 0;
    const auto folder = toNative(windowsPattern.left(cut));
    if (!folder)
        return 0;
    const QString pattern = windowsPattern.mid(cut + 1);
    const QRegularExpression match(QRegularExpression::wildcardToRegularExpression(pattern),
                                   QRegularExpression::CaseInsensitiveOption);
    int deleted = 0;
    QDir dir(*folder);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (match.match(name).hasMatch() && dir.remove(name))
            ++deleted;
    }
    return deleted;
}

bool FileSystem::makeFolder(const QString &windowsFolder) const
{
    const auto native = toNative(windowsFolder);
    return native && QDir().mkdir(*native);
}

bool FileSystem::removeFolder(const QString &windowsFolder) const
{
    const auto native = toNative(windowsFolder);
    return native && QDir().rmdir(*native);
}
