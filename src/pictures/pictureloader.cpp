#include "pictures/pictureloader.h"

#include "pictures/bitmapfallback.h"
#include "pictures/heifdecoder.h"
#include "pictures/jpegdecoder.h"
#include "pictures/frames.h"
#include "pictures/jpegxldecoder.h"
#include "pictures/rawdecoder.h"
#include "pictures/svgdrawing.h"
#include "pictures/tiffdecoder.h"
#include "pictures/webpdecoder.h"
#include "core/picturetypes.h"
#include "files/nativefile.h"
#include "platform/twips.h"

#include <jconfig.h>
#include <jxl/decode.h>
#include <libheif/heif.h>
#include <tiffio.h>
#include <webp/decode.h>

#include <QColorSpace>
#include <QFile>
#include <QImageReader>

#include <cmath>
#include <mutex>

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

// Shown in the screen's colours: a picture whose file names another space
// (an ICC profile of Adobe RGB or Display P3) is converted to sRGB.
void ToScreenColours(QImage &image, const QColorSpace &space)
{
    if (!space.isValid() || space == QColorSpace(QColorSpace::SRgb) || image.isNull())
        return;
    image.setColorSpace(space);
    image.convertToColorSpace(QColorSpace::SRgb);
}

// The size wanted in pixels for a natural size in pixels; none without wanted.
std::function<QSize(QSize)> AtLeast(const SizeWanted &wanted, double perPixelX, double perPixelY)
{
    if (!wanted)
        return {};
    return [=](QSize natural) { return wanted(natural.width() * perPixelX, natural.height() * perPixelY); };
}

// Valid bitmaps, icons and cursors that Qt's readers refuse.
std::optional<QImage> ReadFallback(QFile &file)
{
    if (file.size() > FallbackLimitBytes || !file.seek(0))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    return bytes.startsWith("BM") ? BitmapFallback::ReadBmp(bytes) : BitmapFallback::ReadIcon(bytes);
}

// The size a drawing's image is rendered at: the size wanted, else its
// natural size within MetafileImagePixels.
QSize DrawnSize(const Picture &picture, double perPixelX, double perPixelY, const SizeWanted &wanted)
{
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
    return QSize(std::max(1, int(std::lround(width))), std::max(1, int(std::lround(height))));
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
    picture.image = metafile->Render(DrawnSize(picture, perPixelX, perPixelY, wanted));
    if (picture.image.isNull())
        return std::nullopt;
    picture.drawing = std::make_shared<const Metafile>(std::move(*metafile));
    return picture;
}

// A JPEG through the program's own decoder. nullopt with handled set when
// the answer is final (decoded, over the budget, cancelled); handled false
// when the decoder could not read the file and Qt's reader may try.
std::optional<Picture> LoadJpeg(const QByteArray &nativePath, double perPixelX, double perPixelY,
                                const SizeWanted &wanted, const Options &options, bool &handled)
{
    JpegDecoder::Request request;
    request.cancelled = options.cancelled;
    request.exifThumbnailAllowed = options.exifThumbnailAllowed;
    request.atLeast = AtLeast(wanted, perPixelX, perPixelY);
    JpegDecoder::Result result = JpegDecoder::DecodeFile(nativePath, request);
    handled = result.decoded || result.overBudget || result.cancelled;
    if (!result.decoded)
        return std::nullopt;
    Picture picture;
    picture.widthTwips = result.decoded->natural.width() * perPixelX;
    picture.heightTwips = result.decoded->natural.height() * perPixelY;
    picture.image = std::move(result.decoded->image);
    if (!result.decoded->iccProfile.isEmpty())
        ToScreenColours(picture.image, QColorSpace::fromIccProfile(result.decoded->iccProfile));
    picture.reduced = picture.image.width() < result.decoded->natural.width() ||
                      picture.image.height() < result.decoded->natural.height();
    picture.fromEmbeddedCopy = result.decoded->fromExifThumbnail;
    return picture;
}

std::optional<QByteArray> ReadWhole(QFile &file)
{
    if (file.size() > WholeFileLimitBytes || !file.seek(0))
        return std::nullopt;
    return file.readAll();
}

// A file read whole by a decoder of libraries (HEIF and AVIF, WebP, JPEG
// XL): decode(bytes, atLeast) gives the picture at the size wanted (at
// least), its natural size and its colours' space.
template <typename Decode>
std::optional<Picture> LoadWhole(QFile &file, double perPixelX, double perPixelY, const SizeWanted &wanted,
                                 const Decode &decode)
{
    const std::optional<QByteArray> bytes = ReadWhole(file);
    if (!bytes)
        return std::nullopt;
    auto decoded = decode(*bytes, AtLeast(wanted, perPixelX, perPixelY));
    if (!decoded)
        return std::nullopt;
    ToScreenColours(decoded->image, decoded->colourSpace);
    Picture picture;
    picture.widthTwips = decoded->natural.width() * perPixelX;
    picture.heightTwips = decoded->natural.height() * perPixelY;
    picture.reduced = decoded->image.width() < decoded->natural.width();
    if constexpr (requires { decoded->fromThumbnail; })
        picture.fromEmbeddedCopy = decoded->fromThumbnail;
    picture.image = std::move(decoded->image);
    return picture;
}

// A camera's RAW file: the reader its name or its content asks for, before
// the TIFF reader its container would choose. handled false when LibRaw does
// not know the file and the others may try.
bool RawFirst(const QByteArray &nativePath, const QByteArray &head)
{
    if (RawDecoder::LooksLikeRaw(head))
        return true;
    const QByteArray name = nativePath.mid(nativePath.lastIndexOf('/') + 1);
    return PictureTypes::ReaderForName(name) == PictureTypes::Reader::raw && !JpegDecoder::LooksLikeJpeg(head) &&
           !Metafile::LooksLikeMetafile(head);
}

std::optional<Picture> LoadRaw(const QByteArray &nativePath, double perPixelX, double perPixelY,
                               const SizeWanted &wanted, const Options &options, bool &handled)
{
    RawDecoder::Result result = RawDecoder::Decode(nativePath, AtLeast(wanted, perPixelX, perPixelY), options.cancelled);
    handled = result.decoded.has_value() || result.refused;
    if (!result.decoded)
        return std::nullopt;
    RawDecoder::Decoded &decoded = *result.decoded;
    Picture picture;
    picture.widthTwips = decoded.natural.width() * perPixelX;
    picture.heightTwips = decoded.natural.height() * perPixelY;
    picture.reduced = decoded.image.width() < decoded.natural.width();
    if (!decoded.developed && qint64(decoded.sensor.width()) * decoded.sensor.height() >
                                  qint64(decoded.natural.width()) * decoded.natural.height())
        picture.sensorPixels = decoded.sensor;
    picture.image = std::move(decoded.image);
    return picture;
}

std::optional<Picture> LoadTiff(QFile &file, double perPixelX, double perPixelY, const Options &options)
{
    std::optional<TiffDecoder::Decoded> decoded = TiffDecoder::Decode(file.handle(), options.cancelled);
    if (!decoded)
        return std::nullopt;
    ToScreenColours(decoded->image, decoded->colourSpace);
    Picture picture;
    picture.widthTwips = decoded->natural.width() * perPixelX;
    picture.heightTwips = decoded->natural.height() * perPixelY;
    picture.image = std::move(decoded->image);
    return picture;
}

std::optional<Picture> LoadSvg(QFile &file, double perPixelX, double perPixelY, const SizeWanted &wanted)
{
    if (file.size() > SvgDrawing::LimitBytes)
        return std::nullopt;
    std::optional<SvgDrawing> svg = SvgDrawing::Parse(file.readAll());
    if (!svg)
        return std::nullopt;
    Picture picture;
    // Its pixels are screen pixels of 96 per inch.
    picture.widthTwips = svg->naturalPixels().width() * 15.0;
    picture.heightTwips = svg->naturalPixels().height() * 15.0;
    if (picture.widthTwips > Metafile::MaximumSideTwips || picture.heightTwips > Metafile::MaximumSideTwips)
        return std::nullopt;
    picture.image = svg->Render(DrawnSize(picture, perPixelX, perPixelY, wanted));
    if (picture.image.isNull())
        return std::nullopt;
    picture.drawing = std::make_shared<const SvgDrawing>(std::move(*svg));
    return picture;
}

// Qt's reader on the file, at the picture shown (of an icon or cursor file
// the largest); false when the file cannot be read again from its start.
bool SetUpQtReader(QImageReader &reader, QFile &file)
{
    static std::once_flag limitSet;
    std::call_once(limitSet, [] { QImageReader::setAllocationLimit(AllocationLimitMegabytes); });
    reader.setDevice(&file);
    reader.setAutoTransform(true);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format();
    if (format == "ico" || format == "cur") {
        const int best = LargestImage(reader);
        // A fresh start on the same file, straight to that picture.
        if (!file.seek(0))
            return false;
        reader.setDevice(&file);
        reader.jumpToImage(best);
    }
    return true;
}

// The reader's picture's size as shown (upright).
QSize UprightSize(QImageReader &reader)
{
    const QSize stored = reader.size();
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    return turned ? stored.transposed() : stored;
}

std::optional<Picture> LoadWithQt(QFile &file, double perPixelX, double perPixelY, const Options &options)
{
    QImageReader reader;
    if (!SetUpQtReader(reader, file))
        return std::nullopt;
    // The natural size is the upright size.
    const QSize stored = reader.size();
    QSize upright = UprightSize(reader);
    // What the header claims decides before anything is decoded; a reader
    // that cannot tell is held to the allocation limit.
    const qint64 claimed = stored.isValid() ? qint64(stored.width()) * stored.height() * 4 : 0;
    std::optional<DecodeBudget::Reservation> reservation = DecodeBudget::Reserve(claimed, options.cancelled);
    if (!reservation)
        return std::nullopt;
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        std::optional<QImage> fallback = ReadFallback(file);
        if (!fallback)
            return std::nullopt;
        image = std::move(*fallback);
        upright = image.size();
    }
    if (!upright.isValid())
        upright = image.size();
    if (image.hasAlphaChannel() && FullyTransparent(image))
        image = image.convertToFormat(QImage::Format_RGB32);
    ToScreenColours(image, image.colorSpace());
    Picture picture;
    picture.widthTwips = upright.width() * perPixelX;
    picture.heightTwips = upright.height() * perPixelY;
    picture.image = std::move(image);
    return picture;
}

// The reader the file's content chooses; handled false when none of the
// program's own took it and Qt's readers may try.
std::optional<Picture> LoadByContent(QFile &file, const QByteArray &nativePath, const QByteArray &head, double perPixelX,
                                     double perPixelY, const SizeWanted &wanted, const Options &options, bool &handled)
{
    std::optional<Picture> picture;
    if (Metafile::LooksLikeMetafile(head)) {
        picture = LoadMetafile(file, perPixelX, perPixelY, wanted);
        handled = true;
    } else if (JpegDecoder::LooksLikeJpeg(head)) {
        picture = LoadJpeg(nativePath, perPixelX, perPixelY, wanted, options, handled);
    } else if (HeifDecoder::LooksLikeHeif(head)) {
        picture = LoadWhole(file, perPixelX, perPixelY, wanted, [&](const QByteArray &bytes, const auto &atLeast) {
            return HeifDecoder::Decode(bytes, atLeast, options.cancelled);
        });
        handled = true;
    } else if (WebpDecoder::LooksLikeWebp(head)) {
        picture = LoadWhole(file, perPixelX, perPixelY, wanted, [&](const QByteArray &bytes, const auto &atLeast) {
            return WebpDecoder::Decode(bytes, atLeast, options.cancelled);
        });
        handled = true;
    } else if (JpegXlDecoder::LooksLikeJxl(head)) {
        picture = LoadWhole(file, perPixelX, perPixelY, wanted, [&](const QByteArray &bytes, const auto &) {
            return JpegXlDecoder::Decode(bytes, options.cancelled);
        });
        handled = true;
    } else if (SvgDrawing::LooksLikeSvg(head)) {
        picture = LoadSvg(file, perPixelX, perPixelY, wanted);
        handled = true;
    } else if (TiffDecoder::LooksLikeTiff(head)) {
        picture = LoadTiff(file, perPixelX, perPixelY, options);
        handled = true;
    }
    return picture;
}

} // namespace

std::optional<QSizeF> NaturalSize(const QByteArray &nativePath, double perPixelX, double perPixelY)
{
    QFile file;
    if (NativeFile::KindOf(nativePath) != NativeFile::Kind::File ||
        !NativeFile::Open(file, nativePath, QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray head = file.peek(4096);
    const auto inTwips = [&](std::optional<QSize> pixels) -> std::optional<QSizeF> {
        if (!pixels || pixels->isEmpty())
            return std::nullopt;
        return QSizeF(pixels->width() * perPixelX, pixels->height() * perPixelY);
    };
    if (RawFirst(nativePath, head)) {
        if (const std::optional<QSize> natural = RawDecoder::NaturalSize(nativePath))
            return inTwips(natural);
    }
    if (Metafile::LooksLikeMetafile(head) || SvgDrawing::LooksLikeSvg(head)) {
        // A drawing tells its size when it is read; it is drawn at a pixel.
        const std::optional<Picture> drawn =
            LoadReduced(nativePath, perPixelX, perPixelY, [](double, double) { return QSize(1, 1); });
        return drawn ? std::optional<QSizeF>(QSizeF(drawn->widthTwips, drawn->heightTwips)) : std::nullopt;
    }
    if (HeifDecoder::LooksLikeHeif(head)) {
        const std::optional<QByteArray> bytes = ReadWhole(file);
        return bytes ? inTwips(HeifDecoder::NaturalSize(*bytes)) : std::nullopt;
    }
    if (WebpDecoder::LooksLikeWebp(head))
        return inTwips(WebpDecoder::NaturalSize(head));
    if (JpegXlDecoder::LooksLikeJxl(head))
        return inTwips(JpegXlDecoder::NaturalSize(file.read(256 * 1024)));
    if (TiffDecoder::LooksLikeTiff(head))
        return inTwips(TiffDecoder::NaturalSize(file.handle()));
    if (JpegDecoder::LooksLikeJpeg(head)) {
        if (const std::optional<QSize> natural = JpegDecoder::NaturalSize(nativePath))
            return inTwips(natural);
    }
    QImageReader reader;
    if (!file.seek(0) || !SetUpQtReader(reader, file))
        return std::nullopt;
    return inTwips(UprightSize(reader));
}

std::optional<qint64> DateTaken(const QByteArray &nativePath)
{
    if (std::optional<qint64> taken = JpegDecoder::DateTaken(nativePath))
        return taken;
    QFile file;
    if (NativeFile::KindOf(nativePath) != NativeFile::Kind::File || !NativeFile::Open(file, nativePath, QIODevice::ReadOnly))
        return std::nullopt;
    return RawFirst(nativePath, file.peek(4096)) ? RawDecoder::DateTaken(nativePath) : std::nullopt;
}

QString Readers()
{
    static const QString readers = [] {
        QStringList parts{QStringLiteral("jpeg-turbo %1").arg(LIBJPEG_TURBO_VERSION_NUMBER),
                          QStringLiteral("heif %1").arg(QString::fromLatin1(heif_get_version())),
                          QStringLiteral("jxl %1").arg(JxlDecoderVersion()),
                          QStringLiteral("webp %1").arg(WebPGetDecoderVersion()),
                          QStringLiteral("raw %1").arg(RawDecoder::Version()),
                          QStringLiteral("tiff %1").arg(QString::fromLatin1(TIFFGetVersion()).section(QLatin1Char('\n'), 0, 0)),
                          QStringLiteral("qt %1").arg(QLatin1String(qVersion()))};
        for (const QByteArray &format : QImageReader::supportedImageFormats())
            parts.append(QString::fromLatin1(format));
        return parts.join(QLatin1Char(' '));
    }();
    return readers;
}

std::optional<Picture> Load(const QByteArray &nativePath, const Options &options)
{
    return LoadReduced(nativePath, Twips::perPixelX(), Twips::perPixelY(), SizeWanted(), options);
}

std::optional<Picture> LoadReduced(const QByteArray &nativePath, double perPixelX, double perPixelY,
                                   const SizeWanted &wanted, const Options &options)
{
    QFile file;
    if (NativeFile::KindOf(nativePath) != NativeFile::Kind::File ||
        !NativeFile::Open(file, nativePath, QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray head = file.peek(4096);
    std::optional<Picture> picture;
    bool handled = false;
    if (RawFirst(nativePath, head))
        picture = LoadRaw(nativePath, perPixelX, perPixelY, wanted, options, handled);
    if (!handled)
        picture = LoadByContent(file, nativePath, head, perPixelX, perPixelY, wanted, options, handled);
    if (!handled && file.seek(0))
        picture = LoadWithQt(file, perPixelX, perPixelY, options);
    if (picture) {
        picture->source = nativePath;
        picture->mayAnimate = Frames::MayAnimate(head);
    }
    return picture;
}

} // namespace PictureLoader
