#pragma once

#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

// The drive letters the program shows under My Computer, mapped onto native
// folders, and the translation of Windows-form paths ("C:\home\me") to native
// paths ("/home/me") and back.
//
// fromMounts() reads the mounted volumes of this machine; tests build a table
// from a list and can take a removable drive's medium out and put it back.
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

    DriveTable() = default;
    explicit DriveTable(QList<Drive> drives);

    // C: is "/", further volumes get D:, E:, ... in mount-path order.
    static DriveTable fromMounts(const QString &mountInfoPath = QStringLiteral("/proc/self/mountinfo"));

    // Bit 0 for A:, bit 1 for B:, ...
    std::uint32_t logicalDrives() const;
    // Drive type of a root such as "C:\"; NoRootDir for unknown roots.
    int driveType(const QString &root) const;
    // "ローカル ディスク (C:)" or "<label> (D:)".
    QString displayName(const QString &root) const;

    // Native path for a Windows-form path; nullopt when the drive is unknown,
    // has no medium, or the path cannot name a native file.
    std::optional<QString> toNative(const QString &windowsPath) const;
    // Windows-form path for a native path, through the drive whose root is the
    // longest prefix; nullopt when no drive holds it or a name holds a '\'.
    std::optional<QString> toWindows(const QString &nativePath) const;

    void setMediumPresent(QChar letter, bool present);
    const QList<Drive> &drives() const { return m_drives; }

private:
    const Drive *find(QChar letter) const;
    QList<Drive> m_drives;
};
