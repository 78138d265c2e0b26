#include "files/drivetable.h"

#include "files/nativefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// A field of the mount table, whose spaces, tabs, line breaks and
// backslashes are written as octal escapes ("\040").
QByteArray Unescaped(const QByteArray &field)
{
    QByteArray text;
    text.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const auto isOctal = [&](qsizetype at) { return at < field.size() && field[at] >= '0' && field[at] <= '7'; };
        if (field[i] == '\\' && isOctal(i + 1) && isOctal(i + 2) && isOctal(i + 3)) {
            text.append(char(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0')));
            i += 3;
        } else {
            text.append(field[i]);
        }
    }
    return text;
}

// A device's label, from the links the system keeps for labelled devices
// (their names escape unusual bytes as "\x20").
QString LabelOf(const QString &device)
{
    if (!device.startsWith(QLatin1String("/dev/")))
        return QString();
    const QString target = QFileInfo(device).canonicalFilePath();
    const QDir labels(QStringLiteral("/dev/disk/by-label"));
    for (const QFileInfo &link : labels.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (link.canonicalFilePath() != target || target.isEmpty())
            continue;
        QByteArray name = QFile::encodeName(link.fileName());
        QByteArray label;
        for (qsizetype i = 0; i < name.size(); ++i) {
            bool hex = false;
            if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
                const int value = name.mid(i + 2, 2).toInt(&hex, 16);
                if (hex) {
                    label.append(char(value));
                    i += 3;
                }
            }
            if (!hex)
                label.append(name[i]);
        }
        return QString::fromUtf8(label);
    }
    return QString();
}

} // namespace

DriveTable::DriveTable(QList<Drive> drives) : m_drives(std::make_shared<const QList<Drive>>(std::move(drives))) {}

QList<DriveTable::Mount> DriveTable::mountsFromMountInfo(const QByteArray &text)
{
    QList<Mount> mounts;
    for (const QByteArray &line : text.split('\n')) {
        // ID PARENT MAJOR:MINOR ROOT POINT OPTIONS [OPTIONAL...] - TYPE SOURCE SUPER-OPTIONS
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-", 6);
        if (fields.size() < 6 || dash < 0 || dash + 2 >= fields.size())
            continue;
        mounts.append(Mount{QFile::decodeName(Unescaped(fields[4])), QString::fromUtf8(Unescaped(fields[dash + 1])),
                            QString::fromUtf8(Unescaped(fields[dash + 2])), QString()});
    }
    return mounts;
}

QList<DriveTable::Mount> DriveTable::systemMounts()
{
    // The table is the kernel's own: reading it waits for no volume.
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return {};
    return mountsFromMountInfo(table.readAll());
}

DriveTable::Probe DriveTable::probeVolume(const Mount &mount)
{
    // The volume's root: a share whose server is out of reach keeps this waiting.
    NativeFile::KindOf(QFile::encodeName(mount.point));
    return Probe{LabelOf(mount.device)};
}

DriveTable DriveTable::fromMounts(MountSource source, const QString &root, Prober prober)
{
    DriveTable table;
    table.m_source = std::move(source);
    table.m_prober = std::move(prober);
    table.m_root = root;
    table.m_letters.insert(root, QLatin1Char('C'));
    table.refresh();
    return table;
}

DriveTable::Drives DriveTable::snapshot() const { return std::atomic_load(&m_drives); }

void DriveTable::replace(QList<Drive> drives)
{
    std::atomic_store(&m_drives, Drives(std::make_shared<const QList<Drive>>(std::move(drives))));
}

void DriveTable::refresh()
{
    if (!m_source)
        return;
    QList<Mount> mounts;
    for (const Mount &mount : m_source()) {
        if (mount.point == m_root || !isVolumeMount(mount.point, mount.fileSystemType, mount.device))
            continue;
        // Of a point mounted twice, the later mount is the one seen there.
        const auto same = std::find_if(mounts.begin(), mounts.end(), [&](const Mount &m) { return m.point == mount.point; });
        if (same != mounts.end())
            *same = mount;
        else
            mounts.append(mount);
    }
    std::sort(mounts.begin(), mounts.end(), [](const Mount &a, const Mount &b) { return a.point < b.point; });
    QList<int> types;
    QList<Mount> probed;
    for (const Mount &mount : mounts) {
        types.append(typeForMount(mount.point, mount.fileSystemType, mount.device));
        if (isProbed(types.last()))
            probed.append(mount);
    }
    const QList<std::optional<Probe>> answers = m_prober ? m_prober(probed) : QList<std::optional<Probe>>();

    const Drives before = snapshot();
    QList<Drive> drives;
    drives.append(Drive{QLatin1Char('C'), m_root, Fixed, QString(), true});
    qsizetype probe = 0;
    for (qsizetype i = 0; i < mounts.size(); ++i) {
        const Mount &mount = mounts[i];
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
        int type = types[i];
        QString label = mount.label;
        bool answering = true;
        if (isProbed(type) && m_prober) {
            const std::optional<Probe> &answer = probe < answers.size() ? answers[probe] : std::nullopt;
            ++probe;
            if (answer && label.isEmpty())
                label = answer->label;
            answering = answer.has_value();
        }
        if (!answering) {
            // Nothing is known of it but that it is mounted, as of a share
            // whose server is out of reach.
            type = Remote;
            label.clear();
        }
        if (label.isEmpty() && type != Fixed) {
            // A removable or network volume without a label is called by
            // its folder, a fixed one "ローカル ディスク".
            label = mount.point.section(QLatin1Char('/'), -1);
        }
        drives.append(Drive{letter, mount.point, type, label, true, answering});
    }
    std::sort(drives.begin(), drives.end(), [](const Drive &a, const Drive &b) { return a.letter < b.letter; });
    // A medium taken out (tests) stays out across a refresh.
    for (Drive &drive : drives)
        if (const Drive *earlier = find(*before, drive.letter); earlier && earlier->nativeRoot == drive.nativeRoot)
            drive.mediumPresent = earlier->mediumPresent;
    replace(std::move(drives));
}

const DriveTable::Drive *DriveTable::find(const QList<Drive> &drives, QChar letter)
{
    const QChar upper = letter.toUpper();
    for (const Drive &drive : drives)
        if (drive.letter == upper)
            return &drive;
    return nullptr;
}

std::uint32_t DriveTable::logicalDrives() const
{
    std::uint32_t mask = 0;
    for (const Drive &drive : *snapshot()) {
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
    const Drives drives = snapshot();
    const Drive *drive = find(*drives, root[0]);
    return drive ? drive->type : NoRootDir;
}

QString DriveTable::displayName(const QString &root) const
{
    if (root.isEmpty())
        return QString();
    const Drives drives = snapshot();
    const Drive *drive = find(*drives, root[0]);
    if (!drive)
        return QString();
    const QString name = drive->label.isEmpty() ? QStringLiteral("ローカル ディスク") : drive->label;
    return QStringLiteral("%1 (%2:)").arg(name, drive->letter);
}

std::optional<QByteArray> DriveTable::nativeRoot(QChar letter) const
{
    const Drives drives = snapshot();
    const Drive *drive = find(*drives, letter);
    if (!drive || !drive->mediumPresent)
        return std::nullopt;
    return QFile::encodeName(drive->nativeRoot);
}

std::optional<DriveTable::Placed> DriveTable::driveHolding(const QByteArray &nativePath) const
{
    if (!nativePath.startsWith('/'))
        return std::nullopt;
    const Drives drives = snapshot();
    const Drive *best = nullptr;
    QByteArray bestRoot;
    for (const Drive &drive : *drives) {
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

bool DriveTable::answers(const QByteArray &nativePath) const
{
    const Drives drives = snapshot();
    for (const Drive &drive : *drives) {
        if (drive.answering)
            continue;
        const QByteArray root = QFile::encodeName(drive.nativeRoot);
        if (nativePath == root || nativePath.startsWith(root.endsWith('/') ? root : root + '/'))
            return false;
    }
    return true;
}

void DriveTable::setMediumPresent(QChar letter, bool present)
{
    QList<Drive> drives = *snapshot();
    for (Drive &drive : drives)
        if (drive.letter == letter.toUpper())
            drive.mediumPresent = present;
    replace(std::move(drives));
}
