#pragma once

#include "files/filesystem.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

// The hidden file list of the main window: a folder (Windows form), a
// pattern list separated by ';' and the folder's plain files that match it,
// sorted by name without regard to case. Setting a folder that cannot be read
// fails and keeps the old one; setting a different folder raises pathChanged.
// The folder is read when its entries are first asked for after a change of
// folder or pattern (or a refresh), so that it is read once per rebuild.
class FileList : public QObject
{
    Q_OBJECT

public:
    // One reading of the folder, which never changes once made: it may be
    // kept, and read on any thread, after the list has moved on.
    struct Listing
    {
        // The folder in Windows form, as the list had it.
        QString folder;
        QByteArray nativeFolder;
        QStringList entries;
        // The bytes of each entry's name where they differ from its UTF-8.
        std::vector<QByteArray> natives;

        int count() const { return static_cast<int>(entries.size()); }
        // The native path (bytes) of entry i's file; empty past the end.
        QByteArray nativePath(int index) const;
        // Entry i's Windows path (folder, "\\", name); empty past the end.
        QString windowsPath(int index) const;
    };

    explicit FileList(const FileSystem &fileSystem, QObject *parent = nullptr);

    const QString &path() const { return m_path; }
    bool setPath(const QString &windowsFolder);

    const QString &pattern() const { return m_pattern; }
    void setPattern(const QString &pattern);

    // Reads the folder again (when the entries are next asked for).
    void refresh();

    int listCount() const;
    // Entry i, or empty text past the end.
    QString list(int index) const;
    // The native path (bytes) of entry i's file; empty past the end.
    QByteArray nativePath(int index) const;
    // The entries as read now.
    std::shared_ptr<const Listing> listing() const;

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }

    // Geometry of the (never shown) list box, in twips.
    double left = 0.0;
    double width = 0.0;
    double height = 0.0;

    // Case-insensitive match of a name against a ';'-separated wildcard list.
    static bool matchesPattern(const QString &name, const QString &pattern);

signals:
    void pathChanged();

private:
    // Lists the folder if a change made the entries stale.
    void ensureListed() const;

    const FileSystem &m_fileSystem;
    QString m_path;
    QString m_pattern = QStringLiteral("*.*");
    // The pattern's wildcards, case-folded.
    QStringList m_wildcards;
    mutable std::shared_ptr<const Listing> m_listing = std::make_shared<Listing>();
    mutable bool m_stale = false;
    bool m_enabled = true;
};
