#include "catalogue/thumbnaildrawing.h"

#include "platform/twips.h"

#include <cmath>

namespace ThumbnailDrawing {

ThumbnailSize ThumbnailSizeFor(double width, double height, double side)
{
    if (width <= side && height <= side)
        return {width, height, false};
    const double factor = width >= height ? side / width : side / height;
    return {factor * width, factor * height, true};
}

QSize PixelsOf(const Scale &scale, double width, double height)
{
    const ThumbnailSize size = ThumbnailSizeFor(width, height, scale.side);
    return QSize(std::max<int>(1, static_cast<int>(std::lround(Twips::roundHalfEven(size.width / scale.perPixelX) * scale.ratio))),
                 std::max<int>(1, static_cast<int>(std::lround(Twips::roundHalfEven(size.height / scale.perPixelY) * scale.ratio))));
}

bool UsesColourOnColour(const QString &entry)
{
    const QString last = entry.right(3);
    return last.compare(QLatin1String("JPG"), Qt::CaseInsensitive) == 0 ||
           last.compare(QLatin1String("BMP"), Qt::CaseInsensitive) == 0;
}

QImage DrawThumbnail(const QImage &picture, int width, int height, bool colourOnColour)
{
    if (picture.isNull() || width <= 0 || height <= 0)
        return QImage();
    if (picture.width() == width && picture.height() == height)
        return picture;
    // A small picture doubled for a high-density screen keeps its pixels
    // crisp instead of blurring them.
    const bool wholeMultiple = width > picture.width() && width % picture.width() == 0 &&
                               height % picture.height() == 0 && width / picture.width() == height / picture.height();
    return picture.scaled(width, height, Qt::IgnoreAspectRatio,
                          colourOnColour || wholeMultiple ? Qt::FastTransformation : Qt::SmoothTransformation);
}

QImage Compact(const QImage &thumbnail)
{
    if (thumbnail.isNull())
        return thumbnail;
    return thumbnail.convertToFormat(thumbnail.hasAlphaChannel() ? QImage::Format_ARGB8565_Premultiplied
                                                                 : QImage::Format_RGB16);
}

bool SameShape(QSize copy, QSizeF natural)
{
    if (copy.isEmpty() || natural.isEmpty())
        return false;
    // Measured along the longer side, where rounding weighs least.
    if (natural.width() >= natural.height())
        return std::abs(natural.height() * copy.width() / natural.width() - copy.height()) <= 1.0;
    return std::abs(natural.width() * copy.height() / natural.height() - copy.width()) <= 1.0;
}

bool LargeEnough(QSize copy, QSize cell) { return copy.width() >= cell.width() && copy.height() >= cell.height(); }

} // namespace ThumbnailDrawing
