#include "files/nativefile.h"

#include <QFile>

#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace NativeFile {

namespace {

std::shared_ptr<const Observer> TheObserver;

void Observe(const QByteArray &path, Asked asked = Asked::Look)
{
    if (const std::shared_ptr<const Observer> observer = std::atomic_load(&TheObserver))
        (*observer)(path, asked);
}

Kind KindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return Kind::File;
    if (S_ISDIR(mode))
        return Kind::Folder;
    return Kind::Other;
}

} // namespace

void SetObserver(std::shared_ptr<const Observer> observer) { std::atomic_store(&TheObserver, std::move(observer)); }

Kind KindOf(const QByteArray &path)
{
    Observe(path);
    struct stat info {};
    if (path.isEmpty() || ::stat(path.constData(), &info) != 0)
        return Kind::Missing;
    return KindOfMode(info.st_mode);
}

bool Exists(const QByteArray &path)
{
    Observe(path);
    struct stat info {};
    return !path.isEmpty() && ::lstat(path.constData(), &info) == 0;
}

std::optional<qint64> ModifiedSeconds(const QByteArray &path)
{
    Observe(path);
    struct stat info{};
    if (path.isEmpty() || ::stat(path.constData(), &info) != 0)
        return std::nullopt;
    return qint64(info.st_mtime);
}

std::optional<qint64> ChangedNanoseconds(const QByteArray &path)
{
    Observe(path);
    struct stat info{};
    if (path.isEmpty() || ::stat(path.constData(), &info) != 0)
        return std::nullopt;
    return qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
}

bool IsReadable(const QByteArray &path)
{
    Observe(path);
    return !path.isEmpty() && ::access(path.constData(), R_OK) == 0;
}

std::optional<qint64> Length(const QByteArray &path)
{
    Observe(path);
    struct stat info {};
    if (path.isEmpty() || ::stat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return static_cast<qint64>(info.st_size);
}

bool IsReadableFolder(const QByteArray &path)
{
    return KindOf(path) == Kind::Folder && ::access(path.constData(), R_OK | X_OK) == 0;
}

bool Open(QFile &file, const QByteArray &path, QIODevice::OpenMode mode)
{
    if (path.isEmpty())
        return false;
    Observe(path, Asked::Open);
    const int flags = (mode & QIODevice::WriteOnly) ? O_WRONLY | O_CREAT | O_TRUNC : O_RDONLY;
    const int descriptor = ::open(path.constData(), flags | O_CLOEXEC, 0644);
    if (descriptor < 0)
        return false;
    if (!file.open(descriptor, mode, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        return false;
    }
    return true;
}

std::optional<std::vector<Entry>> List(const QByteArray &folder)
{
    Observe(folder, Asked::List);
    DIR *directory = folder.isEmpty() ? nullptr : ::opendir(folder.constData());
    if (!directory)
        return std::nullopt;
    const int descriptor = ::dirfd(directory);
    std::vector<Entry> entries;
    while (const dirent *entry = ::readdir(directory)) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        Kind kind = Kind::Other;
        switch (entry->d_type) {
        case DT_REG: kind = Kind::File; break;
        case DT_DIR: kind = Kind::Folder; break;
        case DT_LNK:
        case DT_UNKNOWN: {
            // Where the link leads (a broken one leads nowhere).
            struct stat info {};
            kind = ::fstatat(descriptor, name, &info, 0) == 0 ? KindOfMode(info.st_mode) : Kind::Missing;
            break;
        }
        default: break;
        }
        entries.push_back(Entry{QByteArray(name), kind});
    }
    ::closedir(directory);
    return entries;
}

QByteArray CurrentFolder()
{
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() > (1u << 20))
            return QByteArray();
        buffer.resize(buffer.size() * 2);
    }
    return QByteArray(buffer.data());
}

QByteArray Absolute(const QByteArray &path)
{
    const QByteArray whole = path.startsWith('/') ? path : CurrentFolder() + '/' + path;
    QList<QByteArray> parts;
    for (const QByteArray &part : whole.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.isEmpty())
                parts.removeLast();
        } else {
            parts.append(part);
        }
    }
    return '/' + parts.join('/');
}

QByteArray Join(const QByteArray &folder, const QByteArray &name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

namespace {

bool Unreserved(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           QByteArray("-._~!$&'()*+,=:@/").contains(c);
}

} // namespace

QByteArray UriOf(const QByteArray &nativePath)
{
    QByteArray uri = "file://";
    static const char hex[] = "0123456789ABCDEF";
    for (const char c : nativePath) {
        if (Unreserved(c)) {
            uri += c;
        } else {
            uri += '%';
            uri += hex[uchar(c) >> 4];
            uri += hex[uchar(c) & 15];
        }
    }
    return uri;
}

} // namespace NativeFile
