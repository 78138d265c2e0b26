#include "platform/platformcontext.h"

#include "platform/eventloops.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

PlatformContext::PlatformContext()
    : messageBox(std::make_unique<DesktopMessageBox>()),
      shell(std::make_unique<DesktopShell>()),
      windows(std::make_unique<DesktopWindowServices>())
{
    version.majorVersion = 5;
    version.minorVersion = 0;
    version.buildNumber = 2195;
    version.platformId = 2;
    endProgram = &EventLoops::endProgram;
    fileSystem.setRunner(fileCalls.get());
}

DriveTable PlatformContext::machineDrives(FileCalls &calls, DriveTable::MountSource source, const QString &root)
{
    return DriveTable::fromMounts(std::move(source), root, [&calls](const QList<DriveTable::Mount> &mounts) {
        QStringList keys;
        QList<std::shared_ptr<FileCallRunner::Call>> probes;
        for (const DriveTable::Mount &mount : mounts) {
            keys.append(QStringLiteral("probe:") + mount.point);
            probes.append(std::make_shared<FileCallRunner::ResultCall<DriveTable::Probe>>(
                [mount] { return DriveTable::probeVolume(mount); }));
        }
        QList<std::optional<DriveTable::Probe>> answers;
        for (const auto &answer : calls.runAll(keys, probes, FileCalls::ProbeDeadline)) {
            const auto probe = std::dynamic_pointer_cast<FileCallRunner::ResultCall<DriveTable::Probe>>(answer);
            answers.append(probe ? probe->result() : std::nullopt);
        }
        return answers;
    });
}

std::unique_ptr<PlatformContext> PlatformContext::forThisMachine()
{
    auto context = std::make_unique<PlatformContext>();
    context->drives = machineDrives(*context->fileCalls);
    context->desktopFolder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    context->documentsFolder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    context->tempFolder = QDir::tempPath();
    // The program's folder, for its help file: beside the program (a build
    // folder), or the data folder of an installed program.
    context->programFolder = QCoreApplication::applicationDirPath();
    const QString installed = QDir(context->programFolder).filePath(QStringLiteral(KUROEVIEW_DATA_FROM_PROGRAM));
    if (!QFileInfo::exists(QDir(context->programFolder).filePath(QStringLiteral("KuRoEZuziz.chm"))) &&
        QFileInfo(installed).isDir())
        context->programFolder = QDir::cleanPath(installed);
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    context->profile.setFilePath(config + QStringLiteral("/VoDaRadezu.INI"));
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty() || !QDir::isAbsolutePath(cache))
        cache = QDir::homePath() + QStringLiteral("/.cache");
    context->thumbnailCache = QDir::cleanPath(cache + QStringLiteral("/thumbnails"));
    return context;
}

std::optional<QString> PlatformContext::specialFolder(int identifier) const
{
    const QString native = identifier == 0 ? desktopFolder : identifier == 5 ? documentsFolder : QString();
    if (native.isEmpty())
        return std::nullopt;
    return fileSystem.windowsFolder(QFile::encodeName(QDir::cleanPath(native)));
}

QString PlatformContext::tempPath() const
{
    const auto windowsForm = fileSystem.toWindows(QFile::encodeName(QDir::cleanPath(tempFolder)));
    if (!windowsForm)
        return QString();
    return windowsForm->endsWith(QLatin1Char('\\')) ? *windowsForm : *windowsForm + QLatin1Char('\\');
}

void PlatformContext::yield() { EventLoops::yield(); }
