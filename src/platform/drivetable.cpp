#include "platform/drivetable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>

namespace {

QString unescapeMountField(const QString &field)
{
    // mountinfo writes spaces, tabs, newlines and backslashes as \ooo.
    QString out;
    for (int i = 0; i < field.size(); ++i) {
        if (field[i] == QLatin1Char('\\') && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += QChar(code);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

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
    if (mountPoint == QLatin1String("/") || pseudo.contains(fsType))
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

DriveTable DriveTable::fromMounts(const QString &mountInfoPath)
{
    QList<Drive> drives;
    drives.append(Drive{QLatin1Char('C'), QStringLiteral("/"), Fixed, QString(), true});

    struct Mount { QString point; int type; };
    QList<Mount> mounts;
    QFile file(mountInfoPath);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString &line : lines) {
            const int dash = line.indexOf(QLatin1String(" - "));
            if (dash < 0)
                continue;
            const QStringList left = line.left(dash).split(QLatin1Char(' '));
            const QStringList right = line.mid(dash + 3).split(QLatin1Char(' '));
            if (left.size() < 5 || right.size() < 2)
                continue;
            const QString point = unescapeMountField(left[4]);
            if (point.contains(QLatin1Char('\\')))
                continue;
            if (!isVolumeMount(point, right[0], right[1]))
                continue;
            if (std::any_of(mounts.begin(), mounts.end(), [&](const Mount &m) { return m.point == point; }))
                continue;
            mounts.append(Mount{point, typeForMount(point, right[0], right[1])});
        }
    }
    std::sort(mounts.begin(), mounts.end(), [](const Mount &a, const Mount &b) { return a.point < b.point; });
    char letter = 'D';
    for (const Mount &mount : mounts) {
        if (letter > 'Z')
            break;
        const QString label = mount.point.section(QLatin1Char('/'), -1);
        drives.append(Drive{QLatin1Char(letter), mount.point, mount.type,
                            mount.type == Fixed ? QString() : label, true});
        ++letter;
    }
    return DriveTable(drives);
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

std::optional<QString> DriveTable::toNative(const QString &windowsPath) const
{
    if (windowsPath.size() < 2 || windowsPath[1] != QLatin1Char(':'))
        return std::nullopt;
    const Drive *drive = find(windowsPath[0]);
    if (!drive || !drive->mediumPresent)
        return std::nullopt;
    QString rest = windowsPath.mid(2);
    if (rest.contains(QLatin1Char('/')) || rest.contains(QChar(0)))
        return std::nullopt;
    const QStringList parts = rest.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    QString native = drive->nativeRoot;
    for (const QString &part : parts) {
        if (!native.endsWith(QLatin1Char('/')))
            native += QLatin1Char('/');
        native += part;
    }
    return native;
}

std::optional<QString> DriveTable::toWindows(const QString &nativePath) const
{
    if (!nativePath.startsWith(QLatin1Char('/')))
        return std::nullopt;
    const QString clean = QDir::cleanPath(nativePath);
    const Drive *best = nullptr;
    for (const Drive &drive : m_drives) {
        const QString &root = drive.nativeRoot;
        const bool holds = root == QLatin1String("/") || clean == root || clean.startsWith(root + QLatin1Char('/'));
        if (holds && (!best || root.size() > best->nativeRoot.size()))
            best = &drive;
    }
    if (!best)
        return std::nullopt;
    QString rest = best->nativeRoot == QLatin1String("/") ? clean.mid(1) : clean.mid(best->nativeRoot.size() + 1);
    if (rest.contains(QLatin1Char('\\')))
        return std::nullopt;
    rest.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return QStringLiteral("%1:\\%2").arg(best->letter, rest);
}

void DriveTable::setMediumPresent(QChar letter, bool present)
{
    for (Drive &drive : m_drives)
        if (drive.letter == letter.toUpper())
            drive.mediumPresent = present;
}
