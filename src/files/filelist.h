#pragma once

#include "files/filesystem.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

// The hidden file list of the main window: a folder (Windows form), a
// pattern list separated by ';' and the folder's plain files that match it,
// sorted by name without regard to case (or in another order chosen, by
// setOrder). Setting a folder that cannot be read fails and keeps the old
// one; setting a different folder raises pathChanged.
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
        // Each entry's facts, where the order needed them (else empty), and
        // whether their dates taken were read (else they are the modified).
        std::vector<FileSystem::Facts> facts;
        bool takenRead = false;

        int count() const { return static_cast<int>(entries.size()); }
        // The native path (bytes) of entry i's file; empty past the end.
        QByteArray nativePath(int index) const;
        // The bytes of entry i's name.
        QByteArray nativeName(int index) const;
        // Entry i's Windows path (folder, "\\", name); empty past the end.
        QString windowsPath(int index) const;
    };

    // The orders of the entries beside the name's: the name with its numbers
    // as numbers (img2 before img10), the time modified, the time a camera
    // took the picture (else modified), the length, the type (the name's
    // ending); each with the name as the second key.
    enum class Order { Name, Natural, Modified, Taken, Size, Type };

    explicit FileList(const FileSystem &fileSystem, QObject *parent = nullptr);

    Order order() const { return m_order; }
    bool reversed() const { return m_reversed; }
    // The entries are read again in that order when next asked for.
    void setOrder(Order order, bool reversed);
    // Where the time a picture was taken comes from (the picture readers).
    void setDateTaken(FileSystem::DateTaken dateTaken) { m_dateTaken = std::move(dateTaken); }
    const FileSystem::DateTaken &dateTaken() const { return m_dateTaken; }
    static bool NeedsFacts(Order order) { return order == Order::Modified || order == Order::Taken || order == Order::Size; }

    // Position k of the order holds the listing's entry permutation[k]
    // (whatever order the listing is in); the listing's facts must be there
    // where the order needs them.
    static std::vector<int> OrderOf(const Listing &listing, Order order, bool reversed);
    static std::shared_ptr<Listing> Reordered(const Listing &listing, const std::vector<int> &permutation);
    // Names compared with their runs of digits as numbers.
    static bool NaturalLess(QStringView a, QStringView b);

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
    Order m_order = Order::Name;
    bool m_reversed = false;
    FileSystem::DateTaken m_dateTaken;
};
