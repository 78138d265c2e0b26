#pragma once

#include "platform/drivetable.h"

#include <QString>
#include <QStringList>

#include <optional>

// The file-system calls of the program, on Windows-form paths mapped through
// the drive table. Names that cannot be shown as they are on disk (a '\' in
// the name, bytes that are not valid UTF-8) are left out of every listing.
class FileSystem
{
public:
    explicit FileSystem(const DriveTable &drives) : m_drives(drives) {}

    // FindFirstFileA/FindNextFileA on "<folder>\*.*", folders only, in the
    // order the directory gives them, without "." and "..". nullopt when the
    // folder cannot be enumerated (missing, no medium, no permission).
    std::optional<QStringList> listSubFolders(const QString &windowsFolder) const;

    // Plain files of a folder (no dot-files), unsorted; nullopt when unreadable.
    std::optional<QStringList> listFiles(const QString &windowsFolder) const;

    bool isReadableFolder(const QString &windowsFolder) const;
    bool fileExists(const QString &windowsPath) const;
    // Length in bytes; nullopt when it cannot be read.
    std::optional<qint64> fileLength(const QString &windowsPath) const;
    // Deletes the files matching a pattern such as "C:\tmp\\KRUtemp\*.tmp".
    int deleteFiles(const QString &windowsPattern) const;
    bool makeFolder(const QString &windowsFolder) const;
    bool removeFolder(const QString &windowsFolder) const;

    std::optional<QString> toNative(const QString &windowsPath) const { return m_drives.toNative(windowsPath); }
    std::optional<QString> toWindows(const QString &nativePath) const { return m_drives.toWindows(nativePath); }

    // A name that a Windows-form path can carry unchanged.
    static bool isRepresentable(const QString &name);

private:
    const DriveTable &m_drives;
};
