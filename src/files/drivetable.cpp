#include "files/drivetable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QStringList>

#include <algorithm>

namespace {

int typeForMount(const QString &mountPoint, const QString &fsType, const QString &source)
{
    static const QStringList remote = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "sshfs", "davfs", "fuse.davfs2"};
    if (remote.contains(fsType))
        return DriveTable::Remote;
    if (fsType == QLatin1String("iso9660") || fsType == QLatin1String("udf"))
        return DriveTable::CdRom;
    if (mountPoint.startsWith(QLatin1String("/media/")) || mountPoint.startsWith(QLatin1String("/run/media/")))
        return DriveTable::Removable;
    if (source.startsWith(QLatin1String("/dev/"))) {
        const QString device = QFileInfo(source).canonicalFilePath();
        QString name = QFileInfo(device).fileName();
        // A partition's removable flag lives on its parent block device.
        for (QString candidate : {name, name.left(name.size() - 1), name.left(name.size() - 2)}) {
            QFile flag(QStringLiteral("/sys/class/block/%1/removable").arg(candidate));
            if (!candidate.isEmpty() && flag.open(QIODevice::ReadOnly))
                return flag.readAll().trimmed() == "1" ? DriveTable::Removable : DriveTable::Fixed;
        }
    }
    return DriveTable::Fixed;
}

bool isVolumeMount(const QString &mountPoint, const QString &fsType, const QString &source)
{
    static const QStringList pseudo = {"proc", "sysfs", "devtmpfs", "devpts", "tmpfs", "cgroup", "cgroup2",
        "securityfs", "pstore", "debugfs", "tracefs", "mqueue", "hugetlbfs", "configfs", "fusectl",
        "binfmt_misc", "autofs", "bpf", "overlay", "nsfs", "rpc_pipefs", "efivarfs", "ramfs", "squashfs",
        "fuse.portal", "fuse.gvfsd-fuse"};
    if (mountPoint == QLatin1String("/") || mountPoint.contains(QLatin1Char('\\')) || pseudo.contains(fsType))
        return false;
    for (const char *skip : {"/proc", "/sys", "/dev", "/run/user", "/snap", "/boot/efi"}) {
        const QString prefix = QLatin1String(skip);
        if (mountPoint == prefix || mountPoint.startsWith(prefix + QLatin1Char('/')))
            return false;
    }
    return source.startsWith(QLatin1Char('/')) || typeForMount(mountPoint, fsType, source) == DriveTable::Remote
        || mountPoint.startsWith(QLatin1String("/media/")) || mountPoint.startsWith(QLatin1String("/run/media/"));
}

} // namespace

DriveTable::DriveTable(QList<Drive> drives) : m_drives(std::move(drives)) {}

QList<DriveTable::Mount> DriveTable::systemMounts()
{
    QList<Mount> mounts;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes())
        mounts.append(Mount{volume.rootPath(), QString::fromUtf8(volume.fileSystemType()),
                            QString::fromUtf8(volume.device()), volume.name()});
    return mounts;
}

DriveTable DriveTable::fromMounts(MountSource source, const QString &root)
{
    DriveTable table;
    table.m_source = std::move(source);
    table.m_root = root;
    table.m_letters.insert(root, QLatin1Char('C'));
    table.refresh();
    return table;
}

void DriveTable::refresh()
{
    if (!m_source)
        return;
    QList<Mount> mounts;
    for (const Mount &mount : m_source()) {
        if (mount.point == m_root || !isVolumeMount(mount.point, mount.fileSystemType, mount.device))
            continue;
        if (std::none_of(mounts.begin(), mounts.end(), [&](const Mount &m) { return m.point == mount.point; }))
            mounts.append(mount);
    }
    std::sort(mounts.begin(), mounts.end(), [](const Mount &a, const Mount &b) { return a.point < b.point; });
    QList<Drive> drives;
    drives.append(Drive{QLatin1Char('C'), m_root, Fixed, QString(), true});
    for (const Mount &mount : mounts) {
        QChar letter = m_letters.value(mount.point);
        if (letter.isNull()) {
            // The next letter no volume of this run had.
            const QList<QChar> given = m_letters.values();
            for (char candidate = 'D'; candidate <= 'Z' && letter.isNull(); ++candidate)
                if (!given.contains(QLatin1Char(candidate)))
                    letter = QLatin1Char(candidate);
            if (letter.isNull())
                continue;
            m_letters.insert(mount.point, letter);
        }
        const int type = typeForMount(mount.point, mount.fileSystemType, mount.device);
        // The volume's label; a removable or network volume without one is
        // called by its folder, a fixed one "ローカル ディスク".
        QString label = mount.label;
        if (label.isEmpty() && type != Fixed)
            label = mount.point.section(QLatin1Char('/'), -1);
        drives.append(Drive{letter, mount.point, type, label, true});
    }
    std::sort(drives.begin(), drives.end(), [](const Drive &a, const Drive &b) { return a.letter < b.letter; });
    // A medium taken out (tests) stays out across a refresh.
    for (Drive &drive : drives)
        if (const Drive *before = find(drive.letter); before && before->nativeRoot == drive.nativeRoot)
            drive.mediumPresent = before->mediumPresent;
    m_drives = drives;
}

const DriveTable::Drive *DriveTable::find(QChar letter) const
{
    const QChar upper = letter.toUpper();
    for (const Drive &drive : m_drives)
        if (drive.letter == upper)
            return &drive;
    return nullptr;
}

std::uint32_t DriveTable::logicalDrives() const
{
    std::uint32_t mask = 0;
    for (const Drive &drive : m_drives) {
        const int bit = drive.letter.unicode() - 'A';
        if (bit >= 0 && bit < 26)
            mask |= 1u << bit;
    }
    return mask;
}

int DriveTable::driveType(const QString &root) const
{
    if (root.size() < 2 || root[1] != QLatin1Char(':'))
        return NoRootDir;
    const Drive *drive = find(root[0]);
    return drive ? drive->type : NoRootDir;
}

QString DriveTable::displayName(const QString &root) const
{
    if (root.isEmpty())
        return QString();
    const Drive *drive = find(root[0]);
    if (!drive)
        return QString();
    const QString name = drive->label.isEmpty() ? QStringLiteral("ローカル ディスク") : drive->label;
    return QStringLiteral("%1 (%2:)").arg(name, drive->letter);
}

std::optional<QByteArray> DriveTable::nativeRoot(QChar letter) const
{
    const Drive *drive = find(letter);
    if (!drive || !drive->mediumPresent)
        return std::nullopt;
    return QFile::encodeName(drive->nativeRoot);
}

std::optional<DriveTable::Placed> DriveTable::driveHolding(const QByteArray &nativePath) const
{
    if (!nativePath.startsWith('/'))
        return std::nullopt;
    const Drive *best = nullptr;
    QByteArray bestRoot;
    for (const Drive &drive : m_drives) {
        const QByteArray root = QFile::encodeName(drive.nativeRoot);
        const bool holds = root == "/" || nativePath == root || nativePath.startsWith(root + '/');
        if (holds && (!best || root.size() > bestRoot.size())) {
            best = &drive;
            bestRoot = root;
        }
    }
    if (!best)
        return std::nullopt;
    return Placed{best->letter, bestRoot == "/" ? nativePath.mid(1) : nativePath.mid(bestRoot.size() + 1)};
}

void DriveTable::setMediumPresent(QChar letter, bool present)
{
    for (Drive &drive : m_drives)
        if (drive.letter == letter.toUpper())
            drive.mediumPresent = present;
}
