#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
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
//
// The mounts come from the system's mount table alone; nothing is asked of
// a volume by refresh() itself. What needs the volume (does it answer, its
// label) comes from a prober, which the platform runs off the window thread
// with a deadline: a volume that does not answer in time keeps its letter,
// shows as a network drive without a label, and every path on it counts as
// one that cannot be read (answers()) until a later refresh finds it
// answering again.
//
// The table may be read from any thread while the window thread refreshes
// it: readers see the drives of one reading or of the next, never a mix.
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
        // False for a volume that did not answer its probe in time.
        bool answering = true;
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

    // What a probe of a volume found: nullopt when it did not answer.
    struct Probe
    {
        QString label;
    };
    // Probes the mounts (in the order given) and returns one answer each.
    using Prober = std::function<QList<std::optional<Probe>>(const QList<Mount> &)>;

    DriveTable() = default;
    explicit DriveTable(QList<Drive> drives);

    // C: is the root folder ("/"), further volumes get D:, E:, ... in
    // mount-path order. Without a prober every volume answers.
    static DriveTable fromMounts(MountSource source = systemMounts, const QString &root = QStringLiteral("/"),
                                 Prober prober = Prober());
    // The mounted volumes of this machine, from its mount table
    // (/proc/self/mountinfo), without touching any of them.
    static QList<Mount> systemMounts();
    // The same, from the text of a mountinfo file.
    static QList<Mount> mountsFromMountInfo(const QByteArray &text);
    // The probe itself, which may block for as long as the volume takes:
    // the volume's root is looked at, and its label read from the system's
    // list of labelled devices.
    static Probe probeVolume(const Mount &mount);
    // Whether refresh() probes a volume of this type: the volumes that are
    // read at start-up (fixed and network), never removable media.
    static bool isProbed(int type) { return type == Fixed || type == Remote; }

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

    // False when the native path lies on a volume that did not answer.
    bool answers(const QByteArray &nativePath) const;

    void setMediumPresent(QChar letter, bool present);
    // The drives as read last.
    QList<Drive> drives() const { return *snapshot(); }

private:
    using Drives = std::shared_ptr<const QList<Drive>>;
    Drives snapshot() const;
    void replace(QList<Drive> drives);
    static const Drive *find(const QList<Drive> &drives, QChar letter);

    Drives m_drives = std::make_shared<const QList<Drive>>();
    MountSource m_source;
    Prober m_prober;
    QString m_root;
    // Every volume seen in this run and its letter.
    QHash<QString, QChar> m_letters;
};
