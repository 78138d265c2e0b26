#pragma once

#include "files/drivetable.h"
#include "files/nativefile.h"
#include "files/nativenames.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The file-system calls of the program, on Windows-form paths mapped through
// the drive table. Names on disk are bytes; they show as NativeNames gives
// them, and every path goes back to the exact bytes: for the folders it has
// listed, FileSystem keeps which shown name stands for which bytes (and
// lists a folder to find out where a shown name does not show as it is).
class FileSystem
{
public:
    explicit FileSystem(const DriveTable &drives) : m_drives(drives) {}

    // FindFirstFileA/FindNextFileA on "<folder>\*.*", folders only, in the
    // order the directory gives them, without "." and "..". nullopt when the
    // folder cannot be enumerated (missing, no medium, no permission).
    std::optional<QStringList> listSubFolders(const QString &windowsFolder) const;

    // Plain files of a folder (no dot-files), unsorted, with their bytes;
    // nullopt when unreadable.
    std::optional<std::vector<NativeNames::Listed>> listFiles(const QString &windowsFolder) const;

    bool isReadableFolder(const QString &windowsFolder) const;
    bool fileExists(const QString &windowsPath) const;
    // Length in bytes; nullopt when it cannot be read.
    std::optional<qint64> fileLength(const QString &windowsPath) const;
    // Deletes the files matching a pattern such as "C:\tmp\\KRUtemp\*.tmp".
    int deleteFiles(const QString &windowsPattern) const;
    bool makeFolder(const QString &windowsFolder) const;
    bool removeFolder(const QString &windowsFolder) const;

    // The native path (bytes) of a Windows-form path; nullopt when no drive
    // (with a medium) holds it.
    std::optional<QByteArray> toNative(const QString &windowsPath) const;
    // The Windows-form path of a native path; nullopt when no drive holds it.
    std::optional<QString> toWindows(const QByteArray &nativePath) const;

private:
    struct Entry
    {
        NativeNames::Listed name;
        NativeFile::Kind kind;
    };
    // A folder's entries as they show (each shown name unique), remembered
    // for the way back; nullopt when the folder cannot be read.
    std::optional<std::vector<Entry>> listFolder(const QByteArray &folder) const;
    QByteArray nativeName(const QByteArray &folder, const QString &shown) const;
    QString shownName(const QByteArray &folder, const QByteArray &name) const;

    const DriveTable &m_drives;
    // Per native folder listed: shown name -> bytes, for the names that do
    // not show as they are.
    mutable QHash<QByteArray, QHash<QString, QByteArray>> m_shownNames;
};
