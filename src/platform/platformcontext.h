#pragma once

#include "files/drivetable.h"
#include "files/filesystem.h"
#include "platform/filecalls.h"
#include "platform/profilestore.h"
#include "platform/services.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// The platform version record of GetVersionExA (the fields the program uses).
struct VersionRecord
{
    std::uint32_t size = 148;
    std::uint32_t majorVersion = 0;
    std::uint32_t minorVersion = 0;
    std::uint32_t buildNumber = 0;
    std::uint32_t platformId = 0;
    std::array<char, 128> servicePack{};
};

// Everything the program asks of the machine: drives, special folders, the
// temporary folder, the settings file, the version record and the desktop
// services. The main window receives one at construction; tests build their
// own in a sandbox and replace any service.
class PlatformContext
{
public:
    PlatformContext();
    PlatformContext(const PlatformContext &) = delete;
    PlatformContext &operator=(const PlatformContext &) = delete;

    // The context of this Linux desktop session.
    static std::unique_ptr<PlatformContext> forThisMachine();
    // The drives of this machine's mounts (or of the mounts given, with
    // their root), each probed off the window thread within
    // FileCalls::ProbeDeadline.
    static DriveTable machineDrives(FileCalls &calls, DriveTable::MountSource source = DriveTable::systemMounts,
                                    const QString &root = QStringLiteral("/"));

    DriveTable drives;
    FileSystem fileSystem{drives};
    // Where fileSystem's calls run; it goes before fileSystem, waiting for
    // the calls that still use it.
    std::unique_ptr<FileCalls> fileCalls = std::make_unique<FileCalls>();
    ProfileStore profile;

    // Native folders; empty when the machine has none.
    QString desktopFolder;
    QString documentsFolder;
    QString tempFolder;
    QString programFolder;
    // The desktop's shared thumbnail cache ($XDG_CACHE_HOME/thumbnails);
    // empty for none.
    QString thumbnailCache;

    // The Linux record describes Windows NT 5.0, which the program calls
    // "Windows 2000".
    VersionRecord version;

    std::unique_ptr<MessageBoxService> messageBox;
    std::unique_ptr<ShellService> shell;
    std::unique_ptr<WindowServices> windows;

    // SHGetSpecialFolderLocation + SHGetPathFromIDList: 0 desktop, 5 documents;
    // nullopt when the folder is missing or cannot be named.
    std::optional<QString> specialFolder(int identifier) const;
    // GetTempPathA: the temporary folder in Windows form with a trailing '\'.
    QString tempPath() const;

    // Ends the program with an exit code once the handlers on the stack have
    // returned (EventLoops::endProgram); tests record it instead.
    std::function<void(int)> endProgram;

    // Lets pending events run once (EventLoops::yield).
    static void yield();
};
