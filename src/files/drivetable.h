#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

// The drive letters the program shows under My Computer, mapped onto native
// folders, and the translation of Windows-form paths ("C:\home\me") to native
// paths ("/home/me") and back.
//
// fromMounts() follows the mounted volumes of this machine: refresh() reads
// them again (where the program reads the drive mask), a volume keeps its
// letter for the whole run, a new one takes the next letter never given, an
// unmounted one disappears. Tests build a table from a list, or from mounts
// they change, and can take a removable drive's medium out and put it back.
class DriveTable
{
public:
    // Values of GetDriveTypeA.
    enum Type { Unknown = 0, NoRootDir = 1, Removable = 2, Fixed = 3, Remote = 4, CdRom = 5, RamDisk = 6 };

    struct Drive
    {
        QChar letter;
        QString nativeRoot;   // folder the drive's root stands for, without trailing '/' (except "/")
        int type = Fixed;
        QString label;        // volume label; empty for "ローカル ディスク"
        bool mediumPresent = true;
    };

    // A mounted volume as the system lists it.
    struct Mount
    {
        QString point;
        QString fileSystemType;
        QString device;
        QString label;
    };
    using MountSource = std::function<QList<Mount>()>;

    DriveTable() = default;
    explicit DriveTable(QList<Drive> drives);

    // C: is the root folder ("/"), further volumes get D:, E:, ... in
    // mount-path order.
    static DriveTable fromMounts(MountSource source = systemMounts, const QString &root = QStringLiteral("/"));
    // The mounted volumes of this machine.
    static QList<Mount> systemMounts();

    // Reads the mounts again; a table made from a list stays as it is.
    void refresh();

    // Bit 0 for A:, bit 1 for B:, ...
    std::uint32_t logicalDrives() const;
    // Drive type of a root such as "C:\"; NoRootDir for unknown roots.
    int driveType(const QString &root) const;
    // "ローカル ディスク (C:)" or "<label> (D:)".
    QString displayName(const QString &root) const;

    // The native folder of a drive letter; nullopt when the drive is unknown
    // or has no medium.
    std::optional<QByteArray> nativeRoot(QChar letter) const;
    // The drive whose root holds a native path (the longest such root), and
    // the path's bytes below that root; nullopt when no drive holds it.
    struct Placed
    {
        QChar letter;
        QByteArray rest;
    };
    std::optional<Placed> driveHolding(const QByteArray &nativePath) const;

    void setMediumPresent(QChar letter, bool present);
    const QList<Drive> &drives() const { return m_drives; }

private:
    const Drive *find(QChar letter) const;
    QList<Drive> m_drives;
    MountSource m_source;
    QString m_root;
    // Every volume seen in this run and its letter.
    QHash<QString, QChar> m_letters;
};
