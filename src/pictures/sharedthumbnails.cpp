#include "pictures/sharedthumbnails.h"

#include "files/nativefile.h"
#include "pictures/pictureloader.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const Software = "KuRoEView " QT_STRINGIFY(KUROEVIEW_VERSION_MAJOR) "." QT_STRINGIFY(
    KUROEVIEW_VERSION_MINOR) "." QT_STRINGIFY(KUROEVIEW_VERSION_REVISION);

// Makes the folder and its parents, private to the user where it makes them.
bool MakeFolder(const QByteArray &folder)
{
    struct stat info{};
    if (::stat(folder.constData(), &info) == 0)
        return S_ISDIR(info.st_mode);
    const qsizetype slash = folder.lastIndexOf('/');
    if (slash > 0 && !MakeFolder(folder.left(slash)))
        return false;
    return ::mkdir(folder.constData(), 0700) == 0 || errno == EEXIST;
}

// Marks the thumbnails this program made from a decode of the picture.
const QString DecodedKey = QStringLiteral("KuRoEView::Decoded");
// A failure counts only for the file's state and the readers it was found with.
const QString ChangedKey = QStringLiteral("KuRoEView::Changed");
const QString ReadersKey = QStringLiteral("KuRoEView::Readers");


// The folder of this program's records of files it could not read.
QString FailFolder()
{
    return QStringLiteral("fail/") + QString::fromLatin1(Software).toLower().replace(QLatin1Char(' '), QLatin1Char('-'));
}

} // namespace

QByteArray SharedThumbnails::UriOf(const QByteArray &nativePath) { return NativeFile::UriOf(nativePath); }

bool SharedThumbnails::Holds(const QByteArray &nativePath) const
{
    return enabled() && nativePath.startsWith(QFile::encodeName(m_folder) + '/');
}

void SharedThumbnails::Forget(const QByteArray &nativePath) const
{
    if (!enabled())
        return;
    const QByteArray uri = UriOf(nativePath);
    for (const Size &size : Sizes)
        QFile::remove(PathOf(QLatin1String(size.folder), uri));
    QFile::remove(PathOf(FailFolder(), uri));
}

QString SharedThumbnails::PathOf(const QString &subfolder, const QByteArray &uri) const
{
    return m_folder + QLatin1Char('/') + subfolder + QLatin1Char('/') +
           QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) + QStringLiteral(".png");
}

namespace {

// A thumbnail file whose URI and modification time match, read within bounds.
std::optional<QImage> ReadValid(const QString &path, const QByteArray &uri, qint64 modified, int maximumSide,
                                QSize *natural, bool decodedOnly)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > SharedThumbnails::ReadLimitBytes)
        return std::nullopt;
    QImageReader reader(&file, "png");
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > maximumSide * 4 || size.height() > maximumSide * 4)
        return std::nullopt;
    // Read whole (it is small) before its keys: the reader's own text lookup
    // splits keys at their "::".
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return std::nullopt;
    if (image.text(QStringLiteral("Thumb::URI")).toUtf8() != uri ||
        image.text(QStringLiteral("Thumb::MTime")) != QString::number(modified))
        return std::nullopt;
    // This program's thumbnails before it marked them may have been made from
    // a camera's stale copy: they are made again.
    if (decodedOnly && image.text(QStringLiteral("Software")).startsWith(QLatin1String("KuRoEView")) &&
        image.text(DecodedKey) != QLatin1String("1"))
        return std::nullopt;
    if (natural) {
        const int width = image.text(QStringLiteral("Thumb::Image::Width")).toInt();
        const int height = image.text(QStringLiteral("Thumb::Image::Height")).toInt();
        *natural = width > 0 && height > 0 ? QSize(width, height) : QSize();
    }
    return image;
}

} // namespace

std::optional<SharedThumbnails::Found> SharedThumbnails::Read(const QByteArray &nativePath, qint64 modified,
                                                              int side) const
{
    if (!enabled() || Holds(nativePath) || side > Sizes.back().side)
        return std::nullopt;
    const QByteArray uri = UriOf(nativePath);
    for (const auto &[subfolder, limit] : Sizes) {
        if (side > limit)
            continue;
        Found found;
        std::optional<QImage> image =
            ReadValid(PathOf(QLatin1String(subfolder), uri), uri, modified, limit, &found.natural, true);
        if (!image)
            continue;
        // A thumbnail is no larger than its picture: a smaller one is the picture's own size.
        if (found.natural.isEmpty() && std::max(image->width(), image->height()) < limit)
            found.natural = image->size();
        if (!found.natural.isEmpty() && std::max(found.natural.width(), found.natural.height()) > side &&
            std::max(image->width(), image->height()) < std::min(side, limit))
            continue;
        found.image = std::move(*image);
        return found;
    }
    return std::nullopt;
}

bool SharedThumbnails::Failed(const QByteArray &nativePath, qint64 modified, qint64 changed) const
{
    if (!enabled() || Holds(nativePath))
        return false;
    const QByteArray uri = UriOf(nativePath);
    const std::optional<QImage> mark = ReadValid(PathOf(FailFolder(), uri), uri, modified, 64, nullptr, false);
    return mark && mark->text(ChangedKey) == QString::number(changed) && mark->text(ReadersKey) == PictureLoader::Readers();
}


bool SharedThumbnails::Store(const QString &subfolder, const QByteArray &uri, const QImage &image) const
{
    const QString path = PathOf(subfolder, uri);
    const QByteArray folder = QFile::encodeName(path.left(path.lastIndexOf(QLatin1Char('/'))));
    if (!MakeFolder(folder))
        return false;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        return false;
    // A private temporary file beside it, renamed into place whole.
    QByteArray temporary = QFile::encodeName(path) + ".kuroeview-XXXXXX";
    const int descriptor = ::mkstemp(temporary.data());
    if (descriptor < 0)
        return false;
    ::fchmod(descriptor, 0600);
    qsizetype written = 0;
    while (written < png.size()) {
        const ssize_t n = ::write(descriptor, png.constData() + written, size_t(png.size() - written));
        if (n <= 0)
            break;
        written += n;
    }
    const bool whole = written == png.size() && ::close(descriptor) == 0;
    if (!whole || ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

void SharedThumbnails::Write(const QByteArray &nativePath, qint64 modified, qint64 length, const QImage &picture,
                             QSize natural, int keptSide) const
{
    if (!enabled() || Holds(nativePath) || picture.isNull())
        return;
    const QByteArray uri = UriOf(nativePath);
    const auto store = [&](const QString &subfolder, int limit) {
        QImage thumbnail = std::max(picture.width(), picture.height()) > limit
                               ? picture.scaled(limit, limit, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                               : picture;
        thumbnail = thumbnail.convertToFormat(thumbnail.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        thumbnail.setText(QStringLiteral("Thumb::URI"), QString::fromUtf8(uri));
        thumbnail.setText(QStringLiteral("Thumb::MTime"), QString::number(modified));
        thumbnail.setText(QStringLiteral("Thumb::Size"), QString::number(length));
        thumbnail.setText(QStringLiteral("Thumb::Image::Width"), QString::number(natural.width()));
        thumbnail.setText(QStringLiteral("Thumb::Image::Height"), QString::number(natural.height()));
        thumbnail.setText(QStringLiteral("Software"), QLatin1String(Software));
        thumbnail.setText(DecodedKey, QStringLiteral("1"));
        Store(subfolder, uri, thumbnail);
    };
    // Each larger one only from a picture with more than the one before holds.
    int before = 0;
    for (const auto &[subfolder, limit] : Sizes) {
        if (limit > std::max(keptSide, NormalSide) || std::max(picture.width(), picture.height()) <= before)
            break;
        store(QLatin1String(subfolder), limit);
        before = limit;
    }
}

int SharedThumbnails::KeptSide(int cellSide)
{
    if (cellSide < NormalSide)
        return NormalSide;
    for (const auto &[subfolder, limit] : Sizes)
        if (limit >= std::max(cellSide, LargeSide))
            return limit;
    return Sizes.back().side;
}

void SharedThumbnails::WriteFailure(const QByteArray &nativePath, qint64 modified, qint64 changed) const
{
    if (!enabled() || Holds(nativePath))
        return;
    QImage mark(1, 1, QImage::Format_ARGB32);
    mark.fill(Qt::transparent);
    const QByteArray uri = UriOf(nativePath);
    mark.setText(QStringLiteral("Thumb::URI"), QString::fromUtf8(uri));
    mark.setText(QStringLiteral("Thumb::MTime"), QString::number(modified));
    mark.setText(QStringLiteral("Software"), QLatin1String(Software));
    mark.setText(ChangedKey, QString::number(changed));
    mark.setText(ReadersKey, PictureLoader::Readers());
    Store(FailFolder(), uri, mark);
}
