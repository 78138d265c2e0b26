#include "platform/pictureloader.h"

#include "platform/twips.h"

#include <QFileInfo>
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

} // namespace

std::optional<Picture> Load(const QString &nativePath)
{
    if (!QFileInfo(nativePath).isFile())
        return std::nullopt;
    QImageReader::setAllocationLimit(AllocationLimitMegabytes);
    QImageReader reader(nativePath);
    reader.setAutoTransform(true);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format();
    if (format == "ico" || format == "cur") {
        const int best = LargestImage(reader);
        reader.setFileName(nativePath);
        reader.jumpToImage(best);
    }
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return std::nullopt;
    Picture picture;
    picture.widthTwips = image.width() * Twips::perPixelX();
    picture.heightTwips = image.height() * Twips::perPixelY();
    picture.image = std::move(image);
    return picture;
}

} // namespace PictureLoader
