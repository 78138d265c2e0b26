#pragma once

#include "files/drivetable.h"
#include "files/filecallrunner.h"
#include "files/nativefile.h"
#include "files/nativenames.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// The file-system calls of the program, on Windows-form paths mapped through
// the drive table. Names on disk are bytes; they show as NativeNames gives
// them, and every path goes back to the exact bytes: for the folders it has
// listed, FileSystem keeps which shown name stands for which bytes (and
// lists a folder to find out where a shown name does not show as it is).
//
// Every call goes through the runner, if one is set: on the window thread
// the platform's runner moves it to a thread of its own, so that a share
// that does not answer never holds up the window; such a call reports what
// a folder that cannot be read reports. A path on a volume that did not
// answer its probe (DriveTable::answers) fails at once. FileSystem may be
// called from any thread.
class FileSystem
{
public:
    explicit FileSystem(const DriveTable &drives) : m_drives(drives) {}

    void setRunner(FileCallRunner *runner) { m_runner = runner; }
    FileCallRunner *runner() const { return m_runner; }

    // FindFirstFileA/FindNextFileA on "<folder>\*.*", folders only, in the
    // order the directory gives them, without "." and "..". nullopt when the
    // folder cannot be enumerated (missing, no medium, no permission).
    // answered, when given, tells whether the folder answered in time (a
    // folder that cannot be read answers too).
    std::optional<QStringList> listSubFolders(const QString &windowsFolder, bool *answered = nullptr) const;
    // Starts listing the sub-folders of these folders side by side, for the
    // listSubFolders calls that follow.
    void prefetchSubFolders(const QStringList &windowsFolders) const;

    // Plain files of a folder (no dot-files), unsorted, with their bytes,
    // and the folder's own native path; nullopt when unreadable.
    // With facts, each file's modification time and length too, and what
    // dateTaken gives of it (the time a camera took the picture), in the
    // order of names.
    struct Facts
    {
        qint64 modified = 0;
        qint64 length = 0;
        qint64 taken = 0;
    };
    using DateTaken = std::function<std::optional<qint64>(const QByteArray &nativePath)>;
    struct Files
    {
        QByteArray nativeFolder;
        std::vector<NativeNames::Listed> names;
        std::vector<Facts> facts;
    };
    std::optional<Files> listFiles(const QString &windowsFolder, bool withFacts = false,
                                   DateTaken dateTaken = DateTaken()) const;
    // The facts of files of a native folder, by their names' bytes.
    std::optional<std::vector<Facts>> factsOf(const QByteArray &nativeFolder, const std::vector<QByteArray> &names,
                                              DateTaken dateTaken = DateTaken()) const;

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
    // The Windows-form path of a native folder; nullopt when it is no
    // folder or no drive holds it.
    std::optional<QString> windowsFolder(const QByteArray &nativeFolder) const;

private:
    template <typename T, typename Work>
    std::optional<T> ask(const QString &key, Work work) const
    {
        return FileCallRunner::ask<T>(m_runner, key, std::move(work));
    }
    std::optional<QStringList> subFoldersNow(const QString &windowsFolder) const;
    std::optional<QByteArray> toNativeNow(const QString &windowsPath) const;
    std::optional<QString> toWindowsNow(const QByteArray &nativePath) const;
    bool isReadableFolderNow(const QString &windowsFolder) const;

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
    FileCallRunner *m_runner = nullptr;
    // Per native folder listed: shown name -> bytes, for the names that do
    // not show as they are.
    mutable std::mutex m_namesLock;
    mutable QHash<QByteArray, QHash<QString, QByteArray>> m_shownNames;
    // The folders being listed now: a second listing of one (the tree's and
    // the catalogue's, of a folder on a slow share) waits for the first and
    // takes its entries, rather than asking the share again.
    struct Listing;
    std::optional<std::vector<NativeFile::Entry>> ListOnce(const QByteArray &folder) const;
    mutable std::mutex m_listingsLock;
    mutable QHash<QByteArray, std::shared_ptr<Listing>> m_listings;
};
