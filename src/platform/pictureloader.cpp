#include "platform/pictureloader.h"

#include "platform/bitmapfallback.h"
#include "platform/twips.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <mutex>
#include <QImageReader>

namespace PictureLoader {

namespace {

// Of the pictures in an icon or cursor file, the largest one.
int LargestImage(QImageReader &reader)
{
    const int count = reader.imageCount();
    int best = 0;
    qint64 bestArea = -1;
    for (int i = 0; i < count && i < 64; ++i) {
        if (!reader.jumpToImage(i))
            break;
        const QSize size = reader.size();
        const qint64 area = qint64(size.width()) * size.height();
        if (area > bestArea) {
            bestArea = area;
            best = i;
        }
    }
    return best;
}

// An alpha channel that hides every pixel is one the writer never filled
// in (bitmaps with alpha masks often carry zeros); the colours are meant.
bool FullyTransparent(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(line[x]) != 0)
                return false;
    }
    return true;
}

// Valid bitmaps, icons and cursors that Qt's readers refuse.
std::optional<QImage> ReadFallback(const QString &nativePath)
{
    QFile file(nativePath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > FallbackLimitBytes)
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    return bytes.startsWith("BM") ? BitmapFallback::ReadBmp(bytes) : BitmapFallback::ReadIcon(bytes);
}

std::optional<Picture> LoadMetafile(QFile &file, double perPixelX, double perPixelY, const SizeWanted &wanted)
{
    if (file.size() > MetafileLimitBytes)
        return std::nullopt;
    std::optional<Metafile> metafile = Metafile::Parse(file.readAll());
    if (!metafile)
        return std::nullopt;
    Picture picture;
    picture.widthTwips = metafile->widthTwips();
    picture.heightTwips = metafile->heightTwips();
    double width = std::max(1.0, picture.widthTwips / perPixelX);
    double height = std::max(1.0, picture.heightTwips / perPixelY);
    if (wanted) {
        const QSize size = wanted(picture.widthTwips, picture.heightTwips);
        width = size.width();
        height = size.height();
    } else if (width * height > MetafileImagePixels) {
        const double shrink = std::sqrt(MetafileImagePixels / (width * height));
        width *= shrink;
        height *= shrink;
    }
    picture.image = metafile->Render(QSize(std::max(1, int(std::lround(width))), std::max(1, int(std::lround(height)))));
    if (picture.image.isNull())
        return std::nullopt;
    picture.metafile = std::make_shared<const Metafile>(std::move(*metafile));
    return picture;
}

} // namespace

std::optional<Picture> Load(const QString &nativePath)
{
    return LoadReduced(nativePath, Twips::perPixelX(), Twips::perPixelY(), SizeWanted());
}

std::optional<Picture> LoadReduced(const QString &nativePath, double perPixelX, double perPixelY,
                                   const SizeWanted &wanted)
{
    if (!QFileInfo(nativePath).isFile())
        return std::nullopt;
    {
        QFile file(nativePath);
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        if (Metafile::LooksLikeMetafile(file.peek(32)))
            return LoadMetafile(file, perPixelX, perPixelY, wanted);
    }
    static std::once_flag limitSet;
    std::call_once(limitSet, [] { QImageReader::setAllocationLimit(AllocationLimitMegabytes); });
    QImageReader reader(nativePath);
    reader.setAutoTransform(true);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format();
    if (format == "ico" || format == "cur") {
        const int best = LargestImage(reader);
        reader.setFileName(nativePath);
        reader.jumpToImage(best);
    }
    // The natural size is the upright size; a JPEG wanted much smaller is
    // decoded at a reduced scale straight away.
    QSize stored = reader.size();
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    QSize upright = turned ? stored.transposed() : stored;
    if (wanted && format == "jpeg" && upright.isValid()) {
        const QSize target = wanted(upright.width() * perPixelX, upright.height() * perPixelY);
        if (target.isValid() && target.width() * 2 <= upright.width() && target.height() * 2 <= upright.height())
            reader.setScaledSize(turned ? target.transposed() : target);
    }
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        std::optional<QImage> fallback = ReadFallback(nativePath);
        if (!fallback)
            return std::nullopt;
        image = std::move(*fallback);
        upright = image.size();
    }
    if (!upright.isValid() || reader.scaledSize().isEmpty())
        upright = image.size();
    if (image.hasAlphaChannel() && FullyTransparent(image))
        image = image.convertToFormat(QImage::Format_RGB32);
    Picture picture;
    picture.widthTwips = upright.width() * perPixelX;
    picture.heightTwips = upright.height() * perPixelY;
    picture.image = std::move(image);
    return picture;
}

} // namespace PictureLoader
