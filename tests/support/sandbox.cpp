#include "sandbox.h"

#include "app/mainwindow.h"
#include "favourites/favourites.h"
#include "platform/eventloops.h"
#include "platform/twips.h"

#include <QAction>
#include <QCoreApplication>
#include <QImage>

#include <QDir>
#include <QFile>
#include <QWidget>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void RecordingWindowServices::animateWindow(QWidget *window, int milliseconds, std::uint32_t flags)
{
    calls.append(Call{QStringLiteral("animate"), window, milliseconds, flags});
    if (onAnimate)
        onAnimate(window);
    if (!window)
        return;
    if (flags & AwHide)
        window->hide();
    else
        window->show();
}

namespace {

// Removes a folder and all it holds by the bytes of their names (which Qt's
// own removal, going through text, cannot do for names that are not UTF-8),
// unreadable folders included.
void RemoveTree(const QByteArray &folder)
{
    ::chmod(folder.constData(), 0700);
    if (DIR *directory = ::opendir(folder.constData())) {
        while (const dirent *entry = ::readdir(directory)) {
            const QByteArray name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            const QByteArray path = folder + '/' + name;
            struct stat info {};
            if (::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode))
                RemoveTree(path);
            else
                ::unlink(path.constData());
        }
        ::closedir(directory);
    }
    ::rmdir(folder.constData());
}

} // namespace

Sandbox::Sandbox() : m_owned(std::in_place), m_root(m_owned->path()) { SetUp(); }

Sandbox::~Sandbox()
{
    if (m_owned)
        RemoveTree(QFile::encodeName(m_root));
}

Sandbox::Sandbox(const QString &sharedRoot) : m_root(sharedRoot) { SetUp(); }

void Sandbox::SetUp()
{
    Twips::setPerPixelOverride(15.0);
    // Events run at every yield of a load, not once per display frame, so
    // that every step of a load is a moment a click can land in (the tests
    // of the frames set an interval themselves).
    EventLoops::setFrameInterval(0);
    const QString base = m_root;
    for (const char *folder : {"c/Users/me/Desktop", "c/Users/me/Documents", "c/tmp", "config"})
        QDir().mkpath(base + QLatin1Char('/') + QLatin1String(folder));
    qputenv("HOME", QFile::encodeName(base));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(base + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(base + QStringLiteral("/data")));

    context = std::make_unique<PlatformContext>();
    context->drives = DriveTable({DriveTable::Drive{QLatin1Char('C'), base + QStringLiteral("/c"), DriveTable::Fixed,
                                                    QString(), true}});
    context->desktopFolder = base + QStringLiteral("/c/Users/me/Desktop");
    context->documentsFolder = base + QStringLiteral("/c/Users/me/Documents");
    context->tempFolder = base + QStringLiteral("/c/tmp");
    context->programFolder = base + QStringLiteral("/c/Program Files/KuRoEView");
    context->profile.setFilePath(base + QStringLiteral("/config/VoDaRadezu.INI"));
    auto messageBox = std::make_unique<RecordingMessageBox>();
    messages = messageBox.get();
    context->messageBox = std::move(messageBox);
    auto recordingShell = std::make_unique<RecordingShell>();
    shell = recordingShell.get();
    context->shell = std::move(recordingShell);
    auto windowServices = std::make_unique<RecordingWindowServices>();
    windows = windowServices.get();
    context->windows = std::move(windowServices);
    context->endProgram = [this](int code) { endCalls.append(code); };
}

QString Sandbox::path(const QString &relative) const { return m_root + QLatin1Char('/') + relative; }

bool Sandbox::makeFolder(const QString &relative) const { return QDir().mkpath(path(relative)); }

QByteArray Sandbox::nativePath(const QString &relativeFolder, const QByteArray &name) const
{
    return QFile::encodeName(path(relativeFolder)) + '/' + name;
}

bool Sandbox::makeNativeFolder(const QString &relativeFolder, const QByteArray &name) const
{
    return makeFolder(relativeFolder) && ::mkdir(nativePath(relativeFolder, name).constData(), 0755) == 0;
}

bool Sandbox::writeNativeFile(const QString &relativeFolder, const QByteArray &name, const QByteArray &bytes) const
{
    if (!makeFolder(relativeFolder))
        return false;
    const int fd = ::open(nativePath(relativeFolder, name).constData(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == ssize_t(bytes.size());
    return ::close(fd) == 0 && written;
}

bool Sandbox::writeFile(const QString &relative, const QByteArray &bytes) const
{
    const QString full = path(relative);
    QDir().mkpath(full.section(QLatin1Char('/'), 0, -2));
    QFile file(full);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray Sandbox::readFile(const QString &relative) const
{
    QFile file(path(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Sandbox::addDrive(QChar letter, int type, const QString &folder, bool mediumPresent)
{
    QList<DriveTable::Drive> drives = context->drives.drives();
    makeFolder(folder);
    drives.append(DriveTable::Drive{letter, path(folder), type, QString(), mediumPresent});
    setDrives(drives);
}

void Sandbox::setDrives(const QList<DriveTable::Drive> &drives) { context->drives = DriveTable(drives); }

void Sandbox::poseAs(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor)
{
    context->version.platformId = platformId;
    context->version.majorVersion = major;
    context->version.minorVersion = minor;
}

void WritePicture(Sandbox &sandbox, const QString &relative)
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::green);
    QDir().mkpath(sandbox.path(relative).section(QLatin1Char('/'), 0, -2));
    image.save(sandbox.path(relative), "BMP");
}

QStringList VisibleFavourites(const MainWindow &form)
{
    QStringList paths;
    for (int i = 0; i < form.favouriteEntries.size(); ++i)
        if (form.favouriteEntries[i]->isVisible())
            paths.append(form.favourites()->FavouritePath(i));
    return paths;
}

bool IsBlank(const QImage &image)
{
    if (image.isNull())
        return true;
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != first)
                return false;
    return true;
}

void FreeClosedWindows()
{
    EventLoops::releaseDue();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
